// Takes the pictures of the documentation from the real windows on a real screen
// (for example under `xvfb-run -s "-screen 0 1024x768x24"` with the xcb platform):
//
//   window_shot --about FILE.png
//
// shows the main window with the about box open over it and saves the whole screen.

#include "app/AboutBox.h"
#include "app/MainForm.h"
#include "shell/ShellStartup.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 || args[1] != QLatin1String("--about")) {
        std::fprintf(stderr, "usage: window_shot --about FILE.png\n");
        return 2;
    }
    QString error;
    if (!shell::ShellStartup(&error)) {
        std::fprintf(stderr, "window_shot: %s\n", qPrintable(error));
        return 1;
    }
    TMainForm form;
    form.show();
    TAboutBox about(&form);
    about.show();
    if (!QTest::qWaitForWindowExposed(&form) || !QTest::qWaitForWindowExposed(&about)) {
        std::fprintf(stderr, "window_shot: the windows were not shown\n");
        return 1;
    }
    QTest::qWait(300);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    if (screen.isNull() || !screen.save(args[2])) {
        std::fprintf(stderr, "window_shot: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
