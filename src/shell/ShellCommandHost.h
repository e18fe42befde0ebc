#pragma once
// What the verbs of the context menu need of the interface: a confirmation before objects
// are deleted, answers to the questions of a running operation, a progress display while
// it runs, messages about what could not be done, opening a file with its program and
// the properties of objects. The namespace holds no widget: the contents list gives its
// navigator a host made of dialogs, tests give one that answers by itself. The owner of
// the navigator owns the host.

#include "shell/DeleteConfirmation.h"
#include "shell/ShellPaths.h"

#include <QObject>
#include <QString>
#include <memory>

class QUrl;

namespace fileops {
class OperationHost;
class OperationJob;
} // namespace fileops

namespace shell {

class TShellCommandHost
{
public:
    virtual ~TShellCommandHost() = default;

    // Asks before deleting; true when the user agrees. The question measures itself.
    virtual bool Confirm(TDeleteConfirmation& question) = 0;
    // The byte totals of folders that are already known, for the question; none by default.
    virtual TDeleteConfirmation::KnownFolderSize KnownFolderSizes() const { return {}; }
    // Answers the questions of running operations (conflicts, deleting for good).
    virtual fileops::OperationHost* Questions() = 0;
    // Shows the progress of `job` while it runs; the display lives as long as the result.
    virtual std::unique_ptr<QObject> Watch(fileops::OperationJob& job) = 0;
    // Tells the user what could not be done.
    virtual void ShowMessage(const QString& title, const QString& text) = 0;
    // Opens a file or folder with the program the desktop has for it.
    virtual bool Open(const QUrl& url) = 0;
    // Shows the properties of the objects.
    virtual void ShowProperties(const TFileNames& paths) = 0;
};

} // namespace shell
