#pragma once
// The user's choice of files and folders behind the contents list's check boxes: a
// short list of entries (a file as its path, a folder with everything below it as its
// path and "/*"), three states for any path, and the changes a check box click makes,
// splitting a folder entry when something below it is taken out and joining entries
// when a folder becomes wholly selected. It keeps totals of the bytes, files and
// folders selected: every operation measures them afresh from the entries it leaves
// (folders on SelectionPool), so that they follow the disk as it is, and drops the
// entries whose objects have gone. Created and owned by a TShellLink; everything here
// runs on the interface thread.

#include "shell/IdList.h"
#include "shell/ShellPaths.h"

#include <QObject>
#include <QSet>
#include <algorithm>
#include <cstdint>
#include <memory>

namespace shell {
class TShellLink;
}

namespace threads {

class TBasicWorkItem;
class TFolderSizeThread;

// Also the check box image index of an item.
enum TSelectionState
{
    ssNoCheckBox = 1, // not a file-system object, drive not ready, unresolved link
    ssSelected = 2,
    ssNotSelected = 3,
    ssPartlySelected = 4, // something below is selected
};

class TSelectionList : public QObject
{
    Q_OBJECT
public:
    explicit TSelectionList(shell::TShellLink* link);
    ~TSelectionList() override;

    shell::TShellLink* Link() const { return m_link; }

    const shell::TFileNames& Paths() const { return m_paths; }
    // Cancels the sizes being measured and selects each path in order.
    void SetPaths(const shell::TFileNames& paths);
    QByteArray GetPath(int index) const { return m_paths.value(index); }
    void Assign(const TSelectionList& other) { SetPaths(other.Paths()); }

    TSelectionState GetState(const QByteArray& path, bool* inherited = nullptr) const;
    void SelectPath(QByteArray path);
    void DeselectPath(QByteArray path);
    // Empties the selection and zeroes the totals.
    void Clear();
    // The highest folder that is wholly selected once `path` is: `path` itself when
    // nothing joins, "/" when everything does; empty for a path that names nothing.
    QByteArray CollapseTarget(const QByteArray& path) const;

    // Turns a path into its entry form; false, leaving it as it is, when it is not an
    // absolute path of an existing object ("", ".", "..", relative paths, paths with a
    // ".." component or a last component "*", which the folder form cannot tell apart).
    bool NormalizePath(QByteArray& path) const;
    // Whether an entry form lies inside a selected folder entry (or is an entry).
    bool IsCovered(const QByteArray& path) const;
    TSelectionState LookupState(const QByteArray& path, bool& inherited) const;
    // Deletes the entries below a path.
    void RemoveBelow(const QByteArray& path);
    // Replaces the folder entry that covers `path` (inside `folder`) by entries for
    // everything but `path`; `result` is the covering entry, which the caller deletes.
    void ExpandCovering(const QByteArray& folder, const QByteArray& path, QByteArray& result);
    bool AllSelected(const QByteArray& path) const;
    void CollapseUp(const QByteArray& folder, const QByteArray& path, QByteArray& result) const;

    // The same for the items of the namespace.
    TSelectionState GetItemState(const shell::TIdList& item) const;
    void SelectItem(const shell::TIdList& item);
    void DeselectItem(const shell::TIdList& item);
    shell::TIdList CollapseItem(const shell::TIdList& item) const;
    // A click on an item's check box: a selected item is taken out, any other selected
    // and joined with its folder where that becomes wholly selected. Returns the new state.
    TSelectionState ToggleItem(const shell::TIdList& item);
    TSelectionState TogglePath(const QByteArray& path);

    // While updating, changes do not make the coupled controls refresh; EndUpdate does.
    void BeginUpdate() { m_updating = true; }
    void EndUpdate();
    bool Updating() const { return m_updating; }

    bool ResolveShortcuts() const { return m_resolveShortcuts; }
    void SetResolveShortcuts(bool on) { m_resolveShortcuts = on; }
    bool CalculateSizes() const { return m_calculateSizes; }
    void SetCalculateSizes(bool on) { m_calculateSizes = on; }

    // Final when no size job is pending.
    std::uint64_t TotalBytes() const
    {
        return std::uint64_t(std::max<std::int64_t>(m_totalBytes, 0));
    }
    std::int64_t TotalFiles() const { return std::max<std::int64_t>(m_totalFiles, 0); }
    std::int64_t TotalFolders() const { return std::max<std::int64_t>(m_totalFolders, 0); }
    int PendingSizes() const { return int(m_sizing.size()); }
    // Cancels this list's size jobs and zeroes the totals.
    void CancelSizes();

signals:
    void OnChange(threads::TSelectionList* sender);
    // After each size job that changed the totals.
    void OnCompletedCalculateFiles(threads::TSelectionList* sender);

private:
    class Batch;
    class EntriesStat;
    // Resolves a link to a folder when asked to and brings the path to its entry form.
    bool Resolve(QByteArray& path) const;
    void AppendEntry(const QByteArray& entry);
    void DeleteEntry(const QByteArray& entry);
    void ExpandFrom(QByteArray folder, QByteArray path, QByteArray& result);
    void QueueSize(const QByteArray& folder);
    void SizeDone(TFolderSizeThread& item);
    // Measures the totals afresh and drops the entries that name nothing.
    void Recompute();
    void EntriesChecked(EntriesStat& item);
    void CancelOwnSizes();
    void ZeroTotals();
    void Changed();

    shell::TShellLink* const m_link;
    shell::TFileNames m_paths; // insertion order
    QSet<QByteArray> m_index;  // the same entries, for lookups
    bool m_updating = false;
    bool m_resolveShortcuts = true;
    bool m_calculateSizes = true;
    int m_batchDepth = 0;
    bool m_changed = false;
    bool m_remeasure = false;
    std::int64_t m_totalBytes = 0;
    std::int64_t m_totalFiles = 0;
    std::int64_t m_totalFolders = 0;
    QList<std::shared_ptr<TBasicWorkItem>> m_sizing; // queued and not yet done
};

} // namespace threads
