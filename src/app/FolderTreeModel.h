#pragma once
// The folder tree of the last scan, as the tree view shows it: one compact node per
// folder, addressed by its entry number in the size store. The interface thread
// builds it from the changes the scan thread hands over and reads the totals of
// completed folders from the store, so a node holds no text and no path of its own.

#include "app/TreeChangeQueue.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QIcon>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TFolderSizeStore;
class TMyThread;

class TFolderTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    static constexpr int EntryRole = Qt::UserRole; // the node's entry number

    explicit TFolderTreeModel(TFolderSizeStore& store, QObject* parent = nullptr);
    ~TFolderTreeModel() override;

    // Clears the tree and starts a scan of `folderText` whose changes this model
    // takes over. Does nothing while a scan runs. Returns false when no scan started.
    bool StartScan(const QString& folderText);
    // Sets the running scan's termination flag; does not wait for it.
    void CancelScan();
    // Cancels the running scan and takes nothing more from it: the tree stays as it
    // is and scanFinished is not emitted. For a window that is going away.
    void AbandonScan();
    bool Scanning() const { return m_scanning; }
    std::weak_ptr<TMyThread> ScanThread() const { return m_thread; }
    // How many threads read folders ahead of the walk in the scans started from now
    // on; 0 lets the walk read every folder itself.
    void SetReadAheadThreads(int threads) { m_readAheadThreads = threads; }
    int ReadAheadThreads() const { return m_readAheadThreads; }

    // The order of siblings: a negative result puts entry1 before entry2. With a
    // comparison set, the children of a folder are re-sorted whenever one of them
    // completes, and the whole tree when the root completes; new folders are appended
    // unsorted. Setting it re-sorts every level at once.
    using Compare = std::function<int(std::int32_t entry1, std::int32_t entry2)>;
    void SetCompare(Compare compare);
    // Re-sorts the children of every folder now, for example after the criterion
    // behind the comparison changed.
    void SortAll();

    // The icon every node shows.
    void setFolderIcon(const QIcon& icon) { m_folderIcon = icon; }

    // Tree access by entry number (1-based); 0 is "no node".
    std::int32_t nodeCount() const { return std::int32_t(m_nodeCount); }
    std::int32_t parentEntry(std::int32_t entry) const;
    std::int32_t childCount(std::int32_t entry) const;
    std::int32_t childEntry(std::int32_t entry, std::int32_t row) const;
    bool isCompleted(std::int32_t entry) const;
    QByteArray nodeName(std::int32_t entry) const; // raw bytes; the scan path for the root
    QString nodeText(std::int32_t entry) const;
    QModelIndex indexOfEntry(std::int32_t entry) const;
    // The node of a folder by its path (raw bytes, a trailing "/" aside); 0 when the tree
    // has none: outside the scanned folder, or not seen by the scan.
    std::int32_t EntryOfPath(const QByteArray& path) const;

    // The folder path of a node as the kernel takes it, without a trailing "/" (the root
    // keeps the scan path as it is).
    QByteArray NodePath(std::int32_t entry) const;

    // Bringing a finished tree up to date with the disk, while no scan runs. The listing
    // and the walks run on threads of their own, one refresh after the other; what they
    // found is applied between two turns of the event loop, with the texts, the order
    // of siblings and the running totals following. A scan started meanwhile discards
    // them. Refreshing a folder's own entries lists it once: its files give its own
    // share, subfolders that have a node keep their totals, new ones are walked as a
    // scan walks them, gone ones leave the tree, and the difference reaches every folder
    // above it. A folder that cannot be listed any more leaves the tree with its totals,
    // and its parent is refreshed in turn.
    void RefreshFolder(std::int32_t entry);
    // Walks the folder's whole subtree again and replaces its nodes. False when it cannot
    // start (a scan runs, no such node). CancelRefresh stops it and keeps the tree.
    bool RefreshSubtree(std::int32_t entry);
    void CancelRefresh();
    // Whether a refresh runs or waits; whether it is a subtree's.
    bool Refreshing() const { return bool(m_refreshJob) || !m_pendingRefresh.empty(); }
    bool SubtreeRefreshing() const;

Q_SIGNALS:
    // Refreshed folders were applied: the running totals may have changed.
    void foldersRefreshed();
    // A subtree refresh ended, applied or cancelled.
    void subtreeRefreshFinished(bool cancelled);

public:
    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void scanStarted(const QByteArray& scanPath); // raw bytes, as handed to the kernel
    void topLevelFolderAdded(const QModelIndex& folder);
    void scanFinished(bool cancelled);

private:
    // 16 bytes a folder, plus its name (a length byte and the raw bytes) in the arena
    // and four bytes in its parent's child list.
    struct Node
    {
        std::uint32_t parent;   // entry number of the parent, 0 for the root
        std::uint32_t row;      // position among its siblings
        std::uint32_t name;     // offset of the name in the arena
        std::uint32_t children; // slot in m_childLists + 1, 0 while it has none
    };
    static constexpr int kNodePageBits = 12;
    static constexpr int kNamePageBits = 20;

    Node& node(std::int32_t entry);
    const Node& node(std::int32_t entry) const;
    std::uint32_t storeName(std::string_view name);
    std::vector<std::uint32_t>& childrenOf(std::int32_t entry);

    void clear();
    void drain();
    void applyStarted(std::string_view scanPath);
    size_t applyAdded(const TTreeChangeQueue::Batch& batch, size_t from);
    void applyCompleted(std::int32_t entry);
    void flushCompleted();
    void resortCompleted();
    bool sortedChildren(std::int32_t entry, bool whole, std::vector<std::uint32_t>& out);
    void applyOrders(const QList<QPersistentModelIndex>& parents);

    struct RefreshJob;
    struct RefreshTask;
    bool reachable(std::int32_t entry) const;
    void startRefreshJob();
    // Cancels the refreshes and forgets them; `modelGoing` also cuts the jobs off the model.
    void dropRefreshes(bool modelGoing);
    void refreshJobDone(const std::shared_ptr<RefreshJob>& job);
    void applyRefresh(RefreshTask& task, std::vector<std::int32_t>& changed);
    std::int32_t graft(std::int32_t parent, RefreshTask& task);
    void removeChildren(std::int32_t entry, const std::vector<bool>& gone);
    void addToTotals(std::int32_t entry, std::int64_t bytes, std::int64_t files,
                     std::vector<std::int32_t>& changed);
    void totalsChanged(const std::vector<std::int32_t>& entries);

    TFolderSizeStore& m_store;
    std::shared_ptr<TTreeChangeQueue> m_queue;
    std::weak_ptr<TMyThread> m_thread;
    int m_readAheadThreads;
    bool m_scanning = false;
    QTimer m_drainTimer;
    TTreeChangeQueue::Batch m_batch; // taken over, applied up to m_batchPos
    size_t m_batchPos = 0;
    std::vector<std::int32_t> m_completedRun; // completed since the last dataChanged
    Compare m_compare;
    // Children completed before the current drain are in order among themselves;
    // those completed during it are marked until their siblings are re-sorted.
    std::vector<bool> m_justCompleted;
    std::vector<std::pair<std::int32_t, std::vector<std::uint32_t>>> m_newOrders;
    std::vector<std::uint32_t> m_settled, m_moved; // scratch of the merge
    QIcon m_folderIcon;

    std::vector<std::unique_ptr<Node[]>> m_nodePages;
    size_t m_nodeCount = 0;
    std::vector<std::vector<std::uint32_t>> m_childLists;
    std::vector<bool> m_completed;
    std::vector<std::unique_ptr<char[]>> m_namePages;
    size_t m_nameEnd = 0; // next free offset
    QByteArray m_rootName;

    // Refreshes: the folders waiting, in order, and the job running; the owner lets a
    // job's thread reach the model only while it exists.
    struct RefreshRequest
    {
        std::int32_t entry;
        bool whole;
        bool operator==(const RefreshRequest&) const = default;
    };
    struct RefreshOwner;
    std::vector<RefreshRequest> m_pendingRefresh;
    std::shared_ptr<RefreshJob> m_refreshJob;
    std::shared_ptr<RefreshOwner> m_refreshOwner;
};
