// Fegmann: a disk clean-up tool. The program takes no arguments and keeps no state.

#include "app/AboutBox.h"
#include "app/MainForm.h"
#include "shell/ShellStartup.h"
#include "threads/ThreadPools.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fegmann"));
    QApplication::setApplicationDisplayName(QStringLiteral("Fegmann 1.0"));
    // The namespace layer is set up before any window exists.
    QString error;
    if (!shell::ShellStartup(&error)) {
        QMessageBox::critical(nullptr, QStringLiteral("Fegmann 1.0"), error);
        return 1;
    }
    // The worker pools live until the windows are gone.
    const threads::TThreadPools pools;
    TMainForm form;
    // One about box is made at start-up and stays hidden.
    TAboutBox aboutBox(&form);
    const int exitCode = TMainForm::RunProgram(form);
    shell::ShellShutdown();
    return exitCode;
}
