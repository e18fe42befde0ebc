#pragma once
// The context menu of one or more objects of the namespace and the verbs behind it:
// which verbs apply (decided by the first object), their German captions and help texts,
// and running a verb. Opening goes to the desktop's program for the file; copy and cut
// put the files on the clipboard; paste, delete (into the trash, or for good inside the
// trash), restore from the trash and emptying the trash run as file operations on a
// worker thread, with the interface kept running while they do. Questions, progress,
// messages and properties go through the command host. The navigator makes one for each
// menu or verb, from the UI object it hands out, and drops it afterwards.

#include "fileops/OperationReport.h"
#include "shell/ShellMenu.h"
#include "shell/ShellPaths.h"

#include <QStringList>
#include <memory>
#include <optional>

namespace fileops {
struct Operation;
}

namespace shell {

class TShellCommandHost;
class TShellUIObject;

class TContextMenuHandler
{
public:
    // `host` may be null: nothing is then deleted (no one could agree), conflicts are
    // skipped and nothing is shown.
    TContextMenuHandler(std::unique_ptr<TShellUIObject> object, TShellCommandHost* host);
    ~TContextMenuHandler();
    TContextMenuHandler(const TContextMenuHandler&) = delete;
    TContextMenuHandler& operator=(const TContextMenuHandler&) = delete;

    // Inserts the items of the verbs at `indexMenu` of `menu`, numbered from `idCmdFirst`
    // and never beyond `idCmdLast`; with CMF_DEFAULTONLY only the default verb, and
    // "rename" only with CMF_CANRENAME. Returns how many command numbers it used, -1
    // when it could insert nothing.
    int QueryContextMenu(TShellMenu& menu, int indexMenu, int idCmdFirst, int idCmdLast,
                         unsigned flags);
    // The verb (GCS_VERBA) or the help text (GCS_HELPTEXTW) of an inserted item, by its
    // offset from idCmdFirst; empty for an offset that names none.
    QString GetCommandString(int offset, unsigned type) const;
    // Runs an inserted item by its offset, or any verb that applies by its text (blind to
    // case); true when it was carried out, at least in part.
    bool InvokeCommand(int offset);
    bool InvokeCommand(const QString& verb);

    // The verbs that apply to these objects, in menu order; "deleteforgood", which has no
    // item of its own, too.
    QStringList Verbs() const;
    const TFileNames& Paths() const { return m_paths; }
    // The report of the file operation the last verb ran, if it ran one.
    const std::optional<fileops::OperationReport>& LastReport() const { return m_lastReport; }

private:
    struct Verb;
    void addVerbs();
    const Verb* findVerb(const QString& verb) const;
    bool run(const Verb& verb);
    bool open();
    bool toClipboard(bool cut);
    bool paste();
    bool deleteObjects(bool forGood);
    bool emptyTrash();
    bool restore();
    bool properties();
    bool runOperation(fileops::Operation operation);
    void tell(const QString& title, const QString& text) const;

    std::unique_ptr<TShellUIObject> m_object;
    TShellCommandHost* m_host;
    TFileNames m_paths; // empty entries for virtual objects
    QList<Verb> m_verbs;
    QList<int> m_inserted; // the verb of each offset of the last QueryContextMenu
    std::optional<fileops::OperationReport> m_lastReport;
};

// Runs a file operation as the verbs do: on a worker thread while the interface keeps
// running, with the host's questions and progress, and a message about what could not be
// done. The report says what was. For other commands that move files (a drop), whose
// `problems` found before the operation (one German sentence each) join that message.
fileops::OperationReport RunOperation(fileops::Operation operation, TShellCommandHost* host,
                                      const QStringList& problems = {});

} // namespace shell
