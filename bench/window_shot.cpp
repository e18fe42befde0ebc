// Takes the pictures of the documentation from the real windows on a real screen
// (for example under `xvfb-run -s "-screen 0 1024x768x24"` with the xcb platform):
//
//   window_shot --about FILE.png
//
// shows the main window with the about box open over it and saves the whole screen.
//
//   window_shot --titles
//
// shows the main window, the about box and the folder chooser one after another and
// prints, for each, the title that the window manager receives (_NET_WM_NAME, read with
// xprop): "title: TEXT".

#include "app/AboutBox.h"
#include "app/Application.h"
#include "app/MainForm.h"
#include "controls/DirectoryEdit.h"
#include "shell/ShellStartup.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace {

// The title as the window manager reads it from the window's property.
QString managerTitle(QWidget& window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                          QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(10000) || xprop.exitCode() != 0)
        return QStringLiteral("<xprop failed>");
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("= \"(.*)\"")).match(out);
    return m.hasMatch() ? m.captured(1) : QStringLiteral("<none>");
}

void printTitle(QWidget& window)
{
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "window_shot: a window was not shown\n");
    QTest::qWait(100);
    std::printf("title: %s\n", qPrintable(managerTitle(window)));
    std::fflush(stdout);
}

int titles()
{
    TMainForm form;
    form.show();
    printTitle(form);
    {
        TAboutBox about(&form);
        about.show();
        printTitle(about);
    }
    QTimer::singleShot(0, [] {
        if (QWidget* chooser = QApplication::activeModalWidget()) {
            printTitle(*chooser);
            chooser->close();
        }
    });
    TDirectoryEdit::ShowStandardChooser(&form, TDirectoryEdit::DialogTitle(), QStringLiteral("/"));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    PrepareApplication(app);
    const QStringList args = QCoreApplication::arguments();
    const bool about = args.size() == 3 && args[1] == QLatin1String("--about");
    const bool titlesOnly = args.size() == 2 && args[1] == QLatin1String("--titles");
    if (!about && !titlesOnly) {
        std::fprintf(stderr, "usage: window_shot --about FILE.png | --titles\n");
        return 2;
    }
    QString error;
    if (!shell::ShellStartup(&error)) {
        std::fprintf(stderr, "window_shot: %s\n", qPrintable(error));
        return 1;
    }
    if (titlesOnly)
        return titles();
    TMainForm form;
    form.show();
    TAboutBox aboutBox(&form);
    aboutBox.show();
    if (!QTest::qWaitForWindowExposed(&form) || !QTest::qWaitForWindowExposed(&aboutBox)) {
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
