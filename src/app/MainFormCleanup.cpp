// The tree follows the clean-up: what the contents list deletes or moves away leaves the
// sizes and counts of its folder and of every folder above it, and the status bar's
// totals; a folder that is gone leaves the tree. During a scan the tree is the scan's.

#include "app/FolderSizeStore.h"
#include "app/MainForm.h"
#include "controls/ShellList.h"
#include "fileops/NameRules.h"
#include "ui_MainForm.h"

#include <QHash>
#include <algorithm>
#include <map>

void TMainForm::setupCleanup()
{
    TShellList* list = ui->ShellList1;
    list->OnOperation = [this](TShellOperations operation, const shell::TFileNames& files,
                               const QByteArray& destination) {
        ShellList1Operation(operation, files, destination);
    };
    // The question before deleting takes a folder's size from the scan when it has it.
    list->SetKnownFolderSizes([this](const QByteArray& folder) -> std::optional<std::int64_t> {
        const std::int32_t entry = m_model.EntryOfPath(folder);
        if (entry == 0 || !m_model.isCompleted(entry))
            return std::nullopt;
        return m_store.FolderSizes(entry - 1);
    });
}

void TMainForm::ShellList1Operation(TShellOperations operation, const shell::TFileNames& files,
                                    const QByteArray& destination)
{
    if (ScanRunning() || m_model.nodeCount() == 0 || !(operation & (soDelete | soMove)))
        return;
    // A move into a folder of the tree brings there what it takes away elsewhere.
    const std::int32_t target = (operation & soMove) ? m_model.EntryOfPath(destination) : 0;
    // An object below another one that left went with it: it is counted once.
    QList<QByteArray> paths;
    for (const QByteArray& file : files)
        paths.append(shell::WithoutTrailingSlash(file));
    std::sort(paths.begin(), paths.end());
    struct Change
    {
        std::int64_t bytes = 0;
        std::int64_t files = 0;
    };
    std::map<std::int32_t, Change> changes;
    const auto change = [&](std::int32_t from, std::int64_t bytes, std::int64_t count) {
        for (std::int32_t e = from; e != 0; e = m_model.parentEntry(e)) {
            changes[e].bytes += bytes;
            changes[e].files += count;
        }
    };
    std::vector<std::int32_t> goneFolders;
    Change total;
    QHash<QByteArray, std::int32_t> folderEntries;
    QByteArray lastCounted;
    for (const QByteArray& path : std::as_const(paths)) {
        if (!lastCounted.isEmpty() && fileops::IsSameOrBelow(path, lastCounted))
            continue;
        if (operation & soMove) {
            // Only what really left its folder: not what is still there (a failed or
            // skipped move), nor what was moved into the folder it was in.
            if (shell::PathExists(path) || shell::SamePath(fileops::ParentOf(path), destination))
                continue;
        }
        const QByteArray parentPath = fileops::ParentOf(path);
        auto found = folderEntries.constFind(parentPath);
        if (found == folderEntries.cend())
            found = folderEntries.insert(parentPath, m_model.EntryOfPath(parentPath));
        const std::int32_t parent = *found;
        if (parent == 0)
            continue; // not in the scanned tree
        Change left;
        if (const std::int32_t own = m_model.EntryOfPath(path)) {
            // A folder the scan counted leaves with its totals.
            left.bytes = m_store.FolderSizes(own - 1);
            left.files = m_store.FolderFileCounts(own - 1);
            goneFolders.push_back(own);
        } else {
            const std::int64_t size = ui->ShellList1->ReportedSize(path);
            if (size < 0)
                continue; // a folder the scan never saw: nothing of it was counted
            left.bytes = size;
            left.files = 1;
        }
        lastCounted = path;
        change(parent, -left.bytes, -left.files);
        if (target != 0) {
            change(target, left.bytes, left.files);
        } else {
            total.bytes += left.bytes;
            total.files += left.files;
        }
    }
    if (changes.empty())
        return;
    std::vector<std::int32_t> changed;
    for (const auto& [entry, delta] : changes) {
        if (delta.bytes != 0 || delta.files != 0) {
            m_store.Adjust(entry, delta.bytes, delta.files);
            changed.push_back(entry);
        }
    }
    m_store.AdjustTotals(-total.bytes, -total.files);
    for (const std::int32_t entry : goneFolders)
        m_model.RemoveFolder(entry);
    m_model.TotalsChanged(changed);
    ui->TreeView1->viewport()->update();
    Timer1Timer(); // the status bar's totals
}
