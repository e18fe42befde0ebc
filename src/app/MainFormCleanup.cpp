// The tree follows the clean-up: every folder of the tree that an operation of the
// contents list changed, or that the list's notifier reports changed, is refreshed from
// the disk, and so are its totals, those of every folder above it and the status bar's.
// F5 in the tree walks the selected folder's subtree again. During a scan the tree is
// the scan's: what changes then is taken in by the next refresh or scan.

#include "app/FolderSizeStore.h"
#include "app/MainForm.h"
#include "controls/ShellList.h"
#include "fileops/NameRules.h"
#include "fileops/TrashStore.h"
#include "threads/ChangeNotifier.h"
#include "ui_MainForm.h"

#include <QShortcut>

void TMainForm::setupCleanup()
{
    TShellList* list = ui->ShellList1;
    list->OnOperation = [this](TShellOperations operation, const shell::TFileNames& files,
                               const QByteArray& destination) {
        ShellList1Operation(operation, files, destination);
    };
    // Whatever another program changes in the shown folder reaches its node as well, a
    // burst of changes as one refresh. The notifier drops a report that repeats the last
    // one within its repeat time (a file written twice), so the folder is refreshed once
    // more when that time has passed.
    const auto refreshShownFolder = [this] {
        if (!ScanRunning())
            RefreshTreeFolder(ui->ShellList1->PathBytes());
    };
    m_shownFolderChanged.setSingleShot(true);
    m_shownFolderChanged.setInterval(kShownFolderGatherMs);
    connect(&m_shownFolderChanged, &QTimer::timeout, this, refreshShownFolder);
    m_shownFolderSettled.setSingleShot(true);
    m_shownFolderSettled.setInterval(int(threads::TShellChangeNotifier::kRepeatMs) + 100);
    connect(&m_shownFolderSettled, &QTimer::timeout, this, refreshShownFolder);
    list->ChangeNotifier().SetOnChange(
        [this](QObject*, threads::TNotificationEvent, const QByteArray&, const QByteArray&) {
            if (ScanRunning())
                return;
            if (!m_shownFolderChanged.isActive())
                m_shownFolderChanged.start();
            m_shownFolderSettled.start();
        });
    // The question before deleting takes a folder's size from the scan when it has it.
    list->SetKnownFolderSizes([this](const QByteArray& folder) -> std::optional<std::int64_t> {
        const std::int32_t entry = m_model.EntryOfPath(folder);
        if (entry == 0 || !m_model.isCompleted(entry))
            return std::nullopt;
        return m_store.FolderSizes(entry - 1);
    });
    connect(&m_model, &TFolderTreeModel::foldersRefreshed, this, [this] {
        ui->TreeView1->viewport()->update();
        Timer1Timer(); // the status bar's totals
    });
    connect(&m_model, &TFolderTreeModel::subtreeRefreshFinished, this, [this] {
        if (!ScanRunning())
            ui->BitBtn2->setEnabled(false);
    });
    auto* refresh = new QShortcut(QKeySequence(Qt::Key_F5), ui->TreeView1, nullptr, nullptr,
                                  Qt::WidgetShortcut);
    connect(refresh, &QShortcut::activated, this, &TMainForm::TreeView1Refresh);
    // While it runs, "Abbrechen" (and with it Esc) stops it, as it stops a scan.
}

void TMainForm::TreeView1Refresh()
{
    const QModelIndex current = ui->TreeView1->currentIndex();
    if (ScanRunning() || !current.isValid())
        return;
    if (m_model.RefreshSubtree(current.data(TFolderTreeModel::EntryRole).toInt()))
        ui->BitBtn2->setEnabled(true);
}

void TMainForm::RefreshTreeFolder(const QByteArray& path)
{
    // The nearest folder of the tree at or above the path: one the scan never saw is new
    // to its parent, which walks it.
    for (QByteArray p = shell::WithoutTrailingSlash(path); !p.isEmpty();) {
        if (const std::int32_t entry = m_model.EntryOfPath(p)) {
            m_model.RefreshFolder(entry);
            return;
        }
        const QByteArray parent = fileops::ParentOf(p);
        if (parent == p)
            return;
        p = parent;
    }
}

void TMainForm::ShellList1Operation(TShellOperations operation, const shell::TFileNames& files,
                                    const QByteArray& destination)
{
    if (ScanRunning() || m_model.nodeCount() == 0)
        return;
    // The folders the objects were in, the one they went to (a rename's destination is
    // the new name), and those of what stands for them now: the entries in the trash, the
    // restored objects. An object entering or leaving a trash has its info file beside it.
    QList<QByteArray> folders;
    const auto add = [&folders](const QByteArray& folder) {
        folders.append(folder);
        if (fileops::TrashStore::isFilesFolder(folder))
            folders.append(fileops::ParentOf(folder) + "/info");
    };
    for (const QByteArray& file : files)
        add(fileops::ParentOf(file));
    if (!destination.isEmpty())
        add((operation & soRename) ? fileops::ParentOf(destination) : destination);
    for (const QByteArray& result : ui->ShellList1->ReportedResults())
        add(fileops::ParentOf(result));
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const QByteArray& folder : std::as_const(folders))
        RefreshTreeFolder(folder);
}
