#pragma once
// Path texts as the user types them, turned into the names the file system records.
// Paths are raw bytes; they are decoded only for display.

#include <QByteArray>

namespace platform {

// Replaces each component of `path` by the name its folder records for it: the exact
// name when it exists, else the single entry of the parent that equals it without
// regard to case, else nothing (the component is dropped, its separator stays). A
// trailing "/" stays; a text without "/" is returned unchanged.
QByteArray LongFormPath(const QByteArray& path);

} // namespace platform
