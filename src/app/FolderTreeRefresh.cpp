// Keeping a finished tree true to the disk: a folder's own entries are listed again, or
// its whole subtree walked again, on a thread of its own with the scan's walk; the
// interface thread then grafts the new folders, drops the gone ones and carries the
// difference up to the root and into the running totals.

#include "app/FolderSizeStore.h"
#include "app/FolderTreeModel.h"
#include "app/MyThread.h"
#include "platform/PathAt.h"

#include <QMetaObject>
#include <algorithm>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

// What a job's thread may reach of the model: nothing once the model is gone.
struct TFolderTreeModel::RefreshOwner
{
    std::mutex mutex;
    TFolderTreeModel* model = nullptr;
};

struct TFolderTreeModel::RefreshTask
{
    // Set by the interface thread.
    std::int32_t entry = 0;
    QByteArray path;
    qsizetype rootLength = 0; // the scanned folder's part of the path
    int depth = 0;
    bool whole = false;
    std::vector<std::string> kept; // sorted names of the child nodes the walk keeps
    // Set by the job's thread.
    bool listed = false;
    bool cancelled = false;
    std::vector<std::string> keptFound;
    TTreeChangeQueue::Batch batch;
    std::unique_ptr<TFolderSizeStore> store;
};

namespace {

// The folders on the way from the scanned folder down to the one at `path`, the scanned
// one first, opened one below the other; as many as can be found.
std::vector<platform::FolderId> foldersAbove(const QByteArray& path, qsizetype rootLength)
{
    std::vector<platform::FolderId> ids;
    const auto add = [&ids](int fd) {
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0)
            ids.push_back({st.st_dev, st.st_ino});
        return fd >= 0;
    };
    int fd = ::open(path.left(rootLength).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    QList<QByteArray> names = path.mid(rootLength).split('/');
    names.removeAll(QByteArray());
    // The last name is the folder itself.
    for (qsizetype i = 0; add(fd) && i + 1 < names.size(); ++i) {
        const int below =
            ::openat(fd, names[i].constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = below;
    }
    if (fd >= 0)
        ::close(fd);
    return ids;
}

} // namespace

struct TFolderTreeModel::RefreshJob
{
    std::vector<RefreshTask> tasks;
    bool whole = false; // one subtree
    int readAheadThreads = 0;
    std::atomic_bool cancelled{false};
    std::mutex mutex; // guards walker
    std::shared_ptr<TMyThread> walker;

    void run()
    {
        for (RefreshTask& task : tasks) {
            if (cancelled.load(std::memory_order_relaxed)) {
                task.cancelled = true;
                continue;
            }
            // The walk opens its root by path and would follow a link there: a folder
            // that has become a link (or anything else) is gone from the tree.
            struct stat st;
            const platform::PathAt at(
                std::string_view(task.path.constData(), size_t(task.path.size())));
            if (task.entry != 1 && (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                                    !S_ISDIR(st.st_mode)))
                continue;
            auto queue = std::make_shared<TTreeChangeQueue>();
            task.store = std::make_unique<TFolderSizeStore>();
            auto walker = std::make_shared<TMyThread>(task.path, queue, *task.store,
                                                      task.whole ? readAheadThreads : 0);
            walker->WalkWithinTree(task.depth, std::move(task.kept),
                                   task.depth > 0 ? foldersAbove(task.path, task.rootLength)
                                                  : std::vector<platform::FolderId>());
            {
                std::lock_guard lock(mutex);
                this->walker = walker;
                if (cancelled.load(std::memory_order_relaxed))
                    walker->Terminate();
            }
            walker->RunScan();
            {
                std::lock_guard lock(mutex);
                this->walker.reset();
            }
            task.listed = walker->RootListed();
            task.cancelled = walker->Terminated();
            task.keptFound = walker->KeptFound();
            std::sort(task.keptFound.begin(), task.keptFound.end());
            queue->TakeAll(task.batch);
        }
    }

    void cancel()
    {
        cancelled.store(true, std::memory_order_relaxed);
        std::lock_guard lock(mutex);
        if (walker)
            walker->Terminate();
    }
};

QByteArray TFolderTreeModel::NodePath(std::int32_t entry) const
{
    if (entry < 1 || size_t(entry) > m_nodeCount)
        return {};
    std::vector<std::int32_t> chain;
    for (std::int32_t e = entry; e > 1; e = parentEntry(e))
        chain.push_back(e);
    QByteArray path = m_rootName;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.endsWith('/'))
            path += '/';
        path += nodeName(*it);
    }
    return path;
}

bool TFolderTreeModel::reachable(std::int32_t entry) const
{
    if (entry < 1 || size_t(entry) > m_nodeCount)
        return false;
    for (std::int32_t e = entry; e != 1;) {
        const std::int32_t parent = parentEntry(e);
        if (parent == 0 || childEntry(parent, std::int32_t(node(e).row)) != e)
            return false;
        e = parent;
    }
    return true;
}

bool TFolderTreeModel::SubtreeRefreshing() const
{
    return m_refreshJob && m_refreshJob->whole;
}

void TFolderTreeModel::RefreshFolder(std::int32_t entry)
{
    if (m_scanning || !reachable(entry) || !isCompleted(entry))
        return;
    const RefreshRequest request{entry, false};
    if (std::find(m_pendingRefresh.begin(), m_pendingRefresh.end(), request) ==
        m_pendingRefresh.end())
        m_pendingRefresh.push_back(request);
    startRefreshJob();
}

bool TFolderTreeModel::RefreshSubtree(std::int32_t entry)
{
    if (m_scanning || !reachable(entry))
        return false;
    const RefreshRequest request{entry, true};
    if (std::find(m_pendingRefresh.begin(), m_pendingRefresh.end(), request) ==
        m_pendingRefresh.end())
        m_pendingRefresh.push_back(request);
    startRefreshJob();
    return true;
}

void TFolderTreeModel::CancelRefresh()
{
    const bool whole = SubtreeRefreshing();
    m_pendingRefresh.erase(std::remove_if(m_pendingRefresh.begin(), m_pendingRefresh.end(),
                                          [](const RefreshRequest& r) { return r.whole; }),
                           m_pendingRefresh.end());
    if (whole)
        m_refreshJob->cancel();
}

void TFolderTreeModel::dropRefreshes(bool modelGoing)
{
    const bool whole = SubtreeRefreshing();
    if (m_refreshJob)
        m_refreshJob->cancel();
    m_refreshJob.reset();
    m_pendingRefresh.clear();
    if (modelGoing && m_refreshOwner) {
        std::lock_guard lock(m_refreshOwner->mutex);
        m_refreshOwner->model = nullptr;
    } else if (whole) {
        Q_EMIT subtreeRefreshFinished(true);
    }
}

void TFolderTreeModel::startRefreshJob()
{
    if (m_refreshJob || m_pendingRefresh.empty() || m_scanning)
        return;
    auto job = std::make_shared<RefreshJob>();
    job->readAheadThreads = m_readAheadThreads;
    // The folders' own entries go together; a subtree goes alone, so that cancelling
    // it drops nothing else.
    size_t taken = 0;
    for (const RefreshRequest& request : m_pendingRefresh) {
        if (request.whole && !job->tasks.empty())
            break;
        ++taken;
        if (!reachable(request.entry))
            continue;
        RefreshTask& task = job->tasks.emplace_back();
        task.entry = request.entry;
        task.whole = request.whole;
        task.path = NodePath(request.entry);
        task.rootLength = m_rootName.size();
        for (std::int32_t e = request.entry; e != 1; e = parentEntry(e))
            ++task.depth;
        if (!request.whole) {
            for (std::int32_t row = 0, n = childCount(request.entry); row < n; ++row) {
                const QByteArray name = nodeName(childEntry(request.entry, row));
                task.kept.emplace_back(name.constData(), size_t(name.size()));
            }
            std::sort(task.kept.begin(), task.kept.end());
        }
        if (request.whole) {
            job->whole = true;
            break;
        }
    }
    m_pendingRefresh.erase(m_pendingRefresh.begin(), m_pendingRefresh.begin() + qsizetype(taken));
    if (job->tasks.empty()) {
        startRefreshJob();
        return;
    }
    if (!m_refreshOwner) {
        m_refreshOwner = std::make_shared<RefreshOwner>();
        m_refreshOwner->model = this;
    }
    m_refreshJob = job;
    try {
        std::thread([job, owner = m_refreshOwner] {
            job->run();
            std::lock_guard lock(owner->mutex);
            if (owner->model)
                QMetaObject::invokeMethod(
                    owner->model, [model = owner->model, job] { model->refreshJobDone(job); },
                    Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error&) {
        // No thread: nothing is refreshed, and the tree keeps its last good state.
        m_refreshJob.reset();
        m_pendingRefresh.clear();
    }
}

void TFolderTreeModel::refreshJobDone(const std::shared_ptr<RefreshJob>& job)
{
    if (job != m_refreshJob)
        return; // a scan began meanwhile: its tree is another
    // The job stays the running one while it is applied: a refresh asked for meanwhile
    // takes the child nodes as they are afterwards.
    bool cancelled = false;
    std::vector<std::int32_t> changed;
    for (RefreshTask& task : job->tasks) {
        if (task.cancelled) {
            cancelled = true;
            continue;
        }
        applyRefresh(task, changed);
    }
    m_refreshJob.reset();
    totalsChanged(changed);
    if (!changed.empty())
        Q_EMIT foldersRefreshed();
    if (job->whole)
        Q_EMIT subtreeRefreshFinished(cancelled);
    startRefreshJob();
}

void TFolderTreeModel::addToTotals(std::int32_t entry, std::int64_t bytes, std::int64_t files,
                                   std::vector<std::int32_t>& changed)
{
    if (bytes == 0 && files == 0)
        return;
    for (std::int32_t e = entry; e != 0; e = parentEntry(e)) {
        m_store.Adjust(e, bytes, files);
        changed.push_back(e);
    }
    m_store.AdjustTotals(bytes, files);
}

void TFolderTreeModel::applyRefresh(RefreshTask& task, std::vector<std::int32_t>& changed)
{
    const std::int32_t entry = task.entry;
    if (!reachable(entry))
        return; // it left with a folder above it
    const std::int64_t oldBytes = m_store.FolderSizes(entry - 1);
    const std::int64_t oldFiles = m_store.FolderFileCounts(entry - 1);
    if (!task.listed) {
        if (entry == 1)
            return; // the scanned folder stays what was scanned
        // Gone, unreadable or no folder any more: it leaves with its totals, and its
        // parent shows what took its place.
        const std::int32_t parent = parentEntry(entry);
        addToTotals(parent, -oldBytes, -oldFiles, changed);
        std::vector<bool> gone(size_t(childCount(parent)), false);
        gone[node(entry).row] = true;
        removeChildren(parent, gone);
        RefreshFolder(parent);
        return;
    }
    // Child nodes the listing did not find as folders leave; the others keep theirs.
    const std::int32_t count = childCount(entry);
    std::vector<bool> gone(size_t(count), task.whole);
    std::int64_t keptBytes = 0;
    std::int64_t keptFiles = 0;
    if (!task.whole) {
        for (std::int32_t row = 0; row < count; ++row) {
            const std::int32_t child = childEntry(entry, row);
            const QByteArray name = nodeName(child);
            if (std::binary_search(task.keptFound.begin(), task.keptFound.end(),
                                   std::string(name.constData(), size_t(name.size())))) {
                keptBytes += m_store.FolderSizes(child - 1);
                keptFiles += m_store.FolderFileCounts(child - 1);
            } else {
                gone[size_t(row)] = true;
            }
        }
    }
    if (std::find(gone.begin(), gone.end(), true) != gone.end())
        removeChildren(entry, gone);
    if (graft(entry, task) < 0)
        return;
    // The walk's root holds the folder's own files and its new subfolders.
    const std::int64_t newBytes = task.store->FolderSizes(0) + keptBytes;
    const std::int64_t newFiles = task.store->FolderFileCounts(0) + keptFiles;
    m_store.StoreTotals(entry, newBytes, newFiles);
    changed.push_back(entry);
    // Above the root there are only the running totals.
    addToTotals(parentEntry(entry), newBytes - oldBytes, newFiles - oldFiles, changed);
}

std::int32_t TFolderTreeModel::graft(std::int32_t parent, RefreshTask& task)
{
    // The walk numbered its folders 2, 3, ... in the order it added them, its root 1;
    // they become the next entries of the store and nodes of the same numbers.
    std::vector<std::int32_t> mapped(1, parent);
    std::vector<std::uint32_t> top;
    std::vector<std::int32_t> added;
    for (const TTreeChangeQueue::Change& c : task.batch.changes) {
        if (c.kind != TTreeChangeQueue::Kind::FolderAdded)
            continue;
        if (size_t(c.entry) != mapped.size() + 1 || c.parent < 1 ||
            size_t(c.parent) > mapped.size())
            return -1;
        const std::int32_t entry = m_store.AddEntry();
        if (size_t(entry) != m_nodeCount + 1)
            return -1;
        m_store.StoreTotals(entry, task.store->FolderSizes(c.entry - 1),
                            task.store->FolderFileCounts(c.entry - 1));
        if ((m_nodeCount >> kNodePageBits) == m_nodePages.size())
            m_nodePages.emplace_back(new Node[size_t(1) << kNodePageBits]);
        ++m_nodeCount;
        const std::int32_t under = mapped[size_t(c.parent) - 1];
        std::uint32_t row = 0;
        if (under == parent) {
            row = std::uint32_t(childCount(parent) + std::int32_t(top.size()));
            top.push_back(std::uint32_t(entry));
        } else {
            std::vector<std::uint32_t>& siblings = childrenOf(under);
            row = std::uint32_t(siblings.size());
            siblings.push_back(std::uint32_t(entry));
        }
        node(entry) = Node{std::uint32_t(under), row, storeName(task.batch.name(c)), 0};
        m_completed.push_back(true);
        m_justCompleted.push_back(false);
        mapped.push_back(entry);
        added.push_back(entry);
    }
    // The new folders below the new ones are not shown yet: they are put in order before
    // the view learns of them.
    if (m_compare) {
        std::vector<std::uint32_t> order;
        for (const std::int32_t entry : added) {
            if (!sortedChildren(entry, true, order))
                continue;
            std::vector<std::uint32_t>& children = m_childLists[node(entry).children - 1];
            children.swap(order);
            for (size_t row = 0; row < children.size(); ++row)
                node(std::int32_t(children[row])).row = std::uint32_t(row);
        }
    }
    if (top.empty())
        return 0;
    const int first = childCount(parent);
    beginInsertRows(indexOfEntry(parent), first, first + int(top.size()) - 1);
    std::vector<std::uint32_t>& children = childrenOf(parent);
    children.insert(children.end(), top.begin(), top.end());
    endInsertRows();
    return std::int32_t(top.size());
}

void TFolderTreeModel::removeChildren(std::int32_t entry, const std::vector<bool>& gone)
{
    // One removal per run of neighbouring rows, from the last run to the first.
    std::vector<std::uint32_t>& children = childrenOf(entry);
    for (int row = int(children.size()) - 1; row >= 0;) {
        if (!gone[size_t(row)]) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && gone[size_t(first) - 1])
            --first;
        beginRemoveRows(indexOfEntry(entry), first, row);
        children.erase(children.begin() + first, children.begin() + row + 1);
        for (size_t r = size_t(first); r < children.size(); ++r)
            node(std::int32_t(children[r])).row = std::uint32_t(r);
        endRemoveRows();
        row = first - 1;
    }
}
