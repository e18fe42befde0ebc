#pragma once
// The process-wide set-up of the namespace layer, run once before any window: the icon
// theme that the system image list draws from (so that icons resolve offscreen and
// without a desktop too), German type names (QLocale's default), and the system-family flags that
// the navigator and the lists read. Running it twice has no further effect; it is undone only when
// the last user ends.

#include <QString>

namespace shell {

// The flags of the system family; fixed on Linux.
inline constexpr bool IsWinNT = true;
inline constexpr bool OldShell = false;

// Sets up the layer; false with the start-up message in `error` when it cannot be used.
bool ShellStartup(QString* error = nullptr);
void ShellShutdown();
bool ShellIsStarted();
// The root of the drive that holds the system's files, with its trailing "/".
QByteArray SystemDriveRoot();

} // namespace shell
