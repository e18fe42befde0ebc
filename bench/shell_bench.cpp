// Shows a folder in a navigator and makes one full enumeration pass, reading each item's
// display name and icon index, as the contents list does when it fills.
//
//   shell_bench PATH
//
// The last line reads `enumerate: items=N seconds=S`.

#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"
#include "shell/SystemIconTable.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: shell_bench PATH\n");
        return 2;
    }
    QString error;
    if (!shell::ShellStartup(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QByteArray path(argv[1]);
    shell::TShellNavigator nav;
    QElapsedTimer timer;
    timer.start();
    try {
        nav.SetFolderPath(path);
    } catch (const shell::EShellNavigatorError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    long long items = 0;
    std::size_t nameChars = 0;
    long long iconSum = 0;
    while (nav.NextObject()) {
        nameChars += std::size_t(nav.DisplayName().size());
        iconSum += nav.ObjectIconIndex();
        ++items;
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("names: chars=%zu icon_index_sum=%lld icons=%d\n", nameChars, iconSum,
                shell::SystemIconTable::instance().count());
    std::printf("enumerate: items=%lld seconds=%.3f\n", items, seconds);
    return 0;
}
