// Fegmann: a disk clean-up tool. The program knows no arguments but --help and
// --version and keeps no state.

#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "app/ProgramVersion.h"
#include "shell/ShellStartup.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

int main(int argc, char* argv[])
{
    if (const int exitCode = CommandLine::answerBeforeStart(argc, argv, stdout); exitCode >= 0)
        return exitCode;
    QApplication app(argc, argv);
    CommandLine::reportIgnored(QCoreApplication::arguments(), stderr);
    QApplication::setApplicationName(QStringLiteral("Fegmann"));
    QApplication::setApplicationDisplayName(QStringLiteral("Fegmann " FEGMANN_VERSION));
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(FEGMANN_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(FEGMANN_APP_ID)));
    // The namespace layer is set up before any window exists.
    QString error;
    if (!shell::ShellStartup(&error)) {
        QMessageBox::critical(nullptr, QStringLiteral("Fegmann " FEGMANN_VERSION), error);
        return 1;
    }
    TMainForm form;
    // One about box is made at start-up and stays hidden.
    TAboutBox aboutBox(&form);
    const int exitCode = TMainForm::RunProgram(form);
    shell::ShellShutdown();
    return exitCode;
}
