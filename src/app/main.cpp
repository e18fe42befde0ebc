// Fegmann: a disk clean-up tool. The program knows no arguments but --help and
// --version and keeps no state.

#include "app/AboutBox.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "shell/ShellStartup.h"
#include "threads/ThreadPools.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char* argv[])
{
    if (const int exitCode = CommandLine::answerBeforeStart(argc, argv, stdout); exitCode >= 0)
        return exitCode;
    QApplication app(argc, argv);
    CommandLine::reportIgnored(QCoreApplication::arguments(), stderr);
    PrepareApplication(app);
    // The namespace layer is set up before any window exists.
    QString error;
    if (!shell::ShellStartup(&error)) {
        QMessageBox::critical(nullptr, ApplicationTitle(), error);
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
