#include "app/FolderTreeModel.h"

#include "app/FolderSizeStore.h"
#include "app/MyThread.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr auto kDrainInterval = std::chrono::milliseconds(10);
// How long one turn of the event loop may spend applying handed-over changes.
constexpr auto kDrainBudget = std::chrono::milliseconds(8);

} // namespace

TFolderTreeModel::TFolderTreeModel(TFolderSizeStore& store, QObject* parent)
    : QAbstractItemModel(parent), m_store(store),
      m_readAheadThreads(TMyThread::DefaultReadAheadThreads)
{
    m_drainTimer.setInterval(kDrainInterval);
    connect(&m_drainTimer, &QTimer::timeout, this, &TFolderTreeModel::drain);
}

TFolderTreeModel::~TFolderTreeModel()
{
    // The walk keeps its own reference to the queue and to the store; it is told to
    // stop and left to end by itself. So is a refresh, which then finds no model.
    CancelScan();
    dropRefreshes(true);
}

bool TFolderTreeModel::StartScan(const QString& folderText)
{
    if (m_scanning)
        return false;
    clear();
    auto queue = std::make_shared<TTreeChangeQueue>();
    std::shared_ptr<TMyThread> thread =
        TMyThread::Start(folderText, queue, m_store, m_readAheadThreads);
    if (!thread)
        return false;
    m_queue = std::move(queue);
    m_thread = thread;
    m_scanning = true;
    m_drainTimer.start();
    return true;
}

void TFolderTreeModel::CancelScan()
{
    if (std::shared_ptr<TMyThread> thread = m_thread.lock())
        thread->Terminate();
}

void TFolderTreeModel::AbandonScan()
{
    CancelScan();
    m_drainTimer.stop();
}

// --- nodes -----------------------------------------------------------------------

TFolderTreeModel::Node& TFolderTreeModel::node(std::int32_t entry)
{
    const size_t i = size_t(entry) - 1;
    return m_nodePages[i >> kNodePageBits][i & ((size_t(1) << kNodePageBits) - 1)];
}

const TFolderTreeModel::Node& TFolderTreeModel::node(std::int32_t entry) const
{
    return const_cast<TFolderTreeModel*>(this)->node(entry);
}

std::uint32_t TFolderTreeModel::storeName(std::string_view name)
{
    // A name never crosses a page: the rest of a page too short for it stays unused.
    constexpr size_t pageSize = size_t(1) << kNamePageBits;
    const size_t length = std::min<size_t>(name.size(), 255);
    const size_t used = m_nameEnd & (pageSize - 1);
    if (m_nameEnd == m_namePages.size() * pageSize || used + length + 1 > pageSize) {
        m_nameEnd = m_namePages.size() * pageSize;
        m_namePages.emplace_back(new char[pageSize]);
    }
    char* at = m_namePages[m_nameEnd >> kNamePageBits].get() + (m_nameEnd & (pageSize - 1));
    at[0] = char(length);
    std::memcpy(at + 1, name.data(), length);
    const auto offset = std::uint32_t(m_nameEnd);
    m_nameEnd += length + 1;
    return offset;
}

std::vector<std::uint32_t>& TFolderTreeModel::childrenOf(std::int32_t entry)
{
    Node& n = node(entry);
    if (n.children == 0) {
        m_childLists.emplace_back();
        n.children = std::uint32_t(m_childLists.size());
    }
    return m_childLists[n.children - 1];
}

std::int32_t TFolderTreeModel::parentEntry(std::int32_t entry) const
{
    return entry >= 1 && size_t(entry) <= m_nodeCount ? std::int32_t(node(entry).parent) : 0;
}

std::int32_t TFolderTreeModel::childCount(std::int32_t entry) const
{
    if (entry < 1 || size_t(entry) > m_nodeCount)
        return 0;
    const Node& n = node(entry);
    return n.children ? std::int32_t(m_childLists[n.children - 1].size()) : 0;
}

std::int32_t TFolderTreeModel::childEntry(std::int32_t entry, std::int32_t row) const
{
    if (row < 0 || row >= childCount(entry))
        return 0;
    return std::int32_t(m_childLists[node(entry).children - 1][size_t(row)]);
}

bool TFolderTreeModel::isCompleted(std::int32_t entry) const
{
    return entry >= 1 && size_t(entry) <= m_nodeCount && m_completed[size_t(entry) - 1];
}

QByteArray TFolderTreeModel::nodeName(std::int32_t entry) const
{
    if (entry < 1 || size_t(entry) > m_nodeCount)
        return {};
    if (entry == 1)
        return m_rootName;
    const std::uint32_t offset = node(entry).name;
    const char* at =
        m_namePages[offset >> kNamePageBits].get() + (offset & ((1u << kNamePageBits) - 1));
    return QByteArray(at + 1, static_cast<unsigned char>(at[0]));
}

QString TFolderTreeModel::nodeText(std::int32_t entry) const
{
    const QString name = QFile::decodeName(nodeName(entry));
    if (!isCompleted(entry))
        return name;
    // A completed folder's entry in the store no longer changes.
    return TMyThread::CompletedNodeText(m_store.FolderSizes(entry - 1), name,
                                        m_store.FolderFileCounts(entry - 1));
}

QModelIndex TFolderTreeModel::indexOfEntry(std::int32_t entry) const
{
    if (entry < 1 || size_t(entry) > m_nodeCount)
        return {};
    return createIndex(int(node(entry).row), 0, quintptr(entry));
}

std::int32_t TFolderTreeModel::EntryOfPath(const QByteArray& givenPath) const
{
    if (m_nodeCount == 0)
        return 0;
    const auto trimmed = [](QByteArray p) {
        while (p.size() > 1 && p.endsWith('/'))
            p.chop(1);
        return p;
    };
    const QByteArray root = trimmed(m_rootName);
    const QByteArray path = trimmed(givenPath);
    if (path == root)
        return 1;
    const QByteArray prefix = root.endsWith('/') ? root : root + '/';
    if (!path.startsWith(prefix))
        return 0;
    std::int32_t entry = 1;
    for (const QByteArray& name : path.mid(prefix.size()).split('/')) {
        if (name.isEmpty())
            continue;
        std::int32_t found = 0;
        for (std::int32_t row = 0, n = childCount(entry); row < n && !found; ++row) {
            const std::int32_t child = childEntry(entry, row);
            if (nodeName(child) == name)
                found = child;
        }
        if (!found)
            return 0;
        entry = found;
    }
    return entry;
}

void TFolderTreeModel::totalsChanged(const std::vector<std::int32_t>& changedEntries)
{
    std::vector<std::int32_t> entries = changedEntries;
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    std::vector<std::int32_t> parents;
    for (const std::int32_t entry : entries) {
        if (!reachable(entry))
            continue;
        const QModelIndex index = indexOfEntry(entry);
        Q_EMIT dataChanged(index, index, {Qt::DisplayRole});
        if (const std::int32_t parent = parentEntry(entry))
            parents.push_back(parent);
    }
    if (!m_compare)
        return;
    std::sort(parents.begin(), parents.end());
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    m_newOrders.clear();
    std::vector<std::uint32_t> order;
    for (const std::int32_t parent : parents) {
        if (sortedChildren(parent, true, order))
            m_newOrders.emplace_back(parent, std::move(order));
    }
    if (m_newOrders.empty())
        return;
    QList<QPersistentModelIndex> changed;
    for (const auto& [parent, newOrder] : m_newOrders)
        changed.append(indexOfEntry(parent));
    applyOrders(changed);
}

// --- QAbstractItemModel ----------------------------------------------------------

QModelIndex TFolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 && m_nodeCount > 0 ? createIndex(0, 0, quintptr(1)) : QModelIndex();
    const std::int32_t child = childEntry(std::int32_t(parent.internalId()), row);
    return child ? createIndex(row, 0, quintptr(child)) : QModelIndex();
}

QModelIndex TFolderTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    return indexOfEntry(parentEntry(std::int32_t(child.internalId())));
}

int TFolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_nodeCount > 0 ? 1 : 0;
    if (parent.column() != 0)
        return 0;
    return childCount(std::int32_t(parent.internalId()));
}

int TFolderTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool TFolderTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant TFolderTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const auto entry = std::int32_t(index.internalId());
    switch (role) {
    case Qt::DisplayRole:
        return nodeText(entry);
    case EntryRole:
        return entry;
    case Qt::DecorationRole:
        return m_folderIcon.isNull() ? QVariant() : QVariant(m_folderIcon);
    default:
        return {};
    }
}

// --- taking over the scan's changes ----------------------------------------------

void TFolderTreeModel::clear()
{
    // What a refresh finds in this tree is not applied to the next.
    dropRefreshes(false);
    beginResetModel();
    m_nodePages.clear();
    m_nodeCount = 0;
    m_childLists.clear();
    m_completed.clear();
    m_namePages.clear();
    m_nameEnd = 0;
    m_rootName.clear();
    m_batch.clear();
    m_batchPos = 0;
    m_completedRun.clear();
    m_justCompleted.clear();
    m_newOrders.clear();
    endResetModel();
}

void TFolderTreeModel::drain()
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + kDrainBudget;
    for (unsigned steps = 0;;) {
        if (m_batchPos == m_batch.changes.size()) {
            m_queue->TakeAll(m_batch);
            m_batchPos = 0;
            if (m_batch.changes.empty())
                break;
        }
        const TTreeChangeQueue::Change& c = m_batch.changes[m_batchPos];
        switch (c.kind) {
        case TTreeChangeQueue::Kind::Started:
            applyStarted(m_batch.name(c));
            ++m_batchPos;
            break;
        case TTreeChangeQueue::Kind::FolderAdded:
            m_batchPos = applyAdded(m_batch, m_batchPos);
            break;
        case TTreeChangeQueue::Kind::FolderCompleted:
            applyCompleted(c.entry);
            ++m_batchPos;
            break;
        case TTreeChangeQueue::Kind::Finished: {
            const bool cancelled = c.flag;
            ++m_batchPos;
            resortCompleted();
            flushCompleted();
            m_drainTimer.stop();
            m_scanning = false;
            m_thread.reset();
            Q_EMIT scanFinished(cancelled);
            return; // a handler may already have started the next scan
        }
        }
        if (++steps % 32 == 0 && Clock::now() >= deadline)
            break;
    }
    resortCompleted();
    flushCompleted();
}

void TFolderTreeModel::applyStarted(std::string_view scanPath)
{
    beginInsertRows({}, 0, 0);
    m_rootName = QByteArray(scanPath.data(), qsizetype(scanPath.size()));
    m_nodePages.emplace_back(new Node[size_t(1) << kNodePageBits]);
    m_nodePages[0][0] = Node{0, 0, 0, 0};
    m_completed.push_back(false);
    m_justCompleted.push_back(false);
    m_nodeCount = 1;
    endInsertRows();
    Q_EMIT scanStarted(m_rootName);
}

size_t TFolderTreeModel::applyAdded(const TTreeChangeQueue::Batch& batch, size_t from)
{
    // Consecutive folders of one parent go in as one block of rows.
    const std::int32_t parent = batch.changes[from].parent;
    size_t to = from + 1;
    while (to < batch.changes.size() && to - from < 4096 &&
           batch.changes[to].kind == TTreeChangeQueue::Kind::FolderAdded &&
           batch.changes[to].parent == parent)
        ++to;
    const int first = childCount(parent);
    beginInsertRows(indexOfEntry(parent), first, first + int(to - from) - 1);
    std::vector<std::uint32_t>& siblings = childrenOf(parent);
    for (size_t i = from; i < to; ++i) {
        const TTreeChangeQueue::Change& c = batch.changes[i];
        Q_ASSERT(size_t(c.entry) == m_nodeCount + 1);
        if ((m_nodeCount >> kNodePageBits) == m_nodePages.size())
            m_nodePages.emplace_back(new Node[size_t(1) << kNodePageBits]);
        ++m_nodeCount;
        node(c.entry) = Node{std::uint32_t(parent), std::uint32_t(siblings.size()),
                             storeName(batch.name(c)), 0};
        m_completed.push_back(false);
        m_justCompleted.push_back(false);
        siblings.push_back(std::uint32_t(c.entry));
    }
    endInsertRows();
    if (batch.changes[from].flag) {
        for (size_t i = from; i < to; ++i)
            Q_EMIT topLevelFolderAdded(indexOfEntry(batch.changes[i].entry));
    }
    return to;
}

void TFolderTreeModel::applyCompleted(std::int32_t entry)
{
    if (entry < 1 || size_t(entry) > m_nodeCount)
        return;
    m_completed[size_t(entry) - 1] = true;
    m_justCompleted[size_t(entry) - 1] = true;
    // The folder's own child list is final now: give back its spare room.
    if (const Node& n = node(entry); n.children)
        m_childLists[n.children - 1].shrink_to_fit();
    m_completedRun.push_back(entry);
}

void TFolderTreeModel::flushCompleted()
{
    // One dataChanged per run of neighbouring rows under one parent.
    std::sort(m_completedRun.begin(), m_completedRun.end(), [this](std::int32_t a, std::int32_t b) {
        const Node& na = node(a);
        const Node& nb = node(b);
        return na.parent != nb.parent ? na.parent < nb.parent : na.row < nb.row;
    });
    for (size_t i = 0; i < m_completedRun.size();) {
        size_t j = i + 1;
        while (j < m_completedRun.size() &&
               node(m_completedRun[j]).parent == node(m_completedRun[i]).parent &&
               node(m_completedRun[j]).row == node(m_completedRun[j - 1]).row + 1)
            ++j;
        Q_EMIT dataChanged(indexOfEntry(m_completedRun[i]), indexOfEntry(m_completedRun[j - 1]),
                           {Qt::DisplayRole});
        i = j;
    }
    m_completedRun.clear();
}

// --- the order of siblings -------------------------------------------------------

void TFolderTreeModel::SetCompare(Compare compare)
{
    m_compare = std::move(compare);
    SortAll();
}

void TFolderTreeModel::SortAll()
{
    if (!m_compare || m_nodeCount == 0)
        return;
    m_newOrders.clear();
    std::vector<std::uint32_t> order;
    for (std::int32_t entry = 1; size_t(entry) <= m_nodeCount; ++entry) {
        if (sortedChildren(entry, true, order))
            m_newOrders.emplace_back(entry, std::move(order));
    }
    if (!m_newOrders.empty())
        applyOrders({});
}

void TFolderTreeModel::resortCompleted()
{
    if (m_completedRun.empty())
        return;
    const auto settle = [this] {
        for (std::int32_t entry : m_completedRun)
            m_justCompleted[size_t(entry) - 1] = false;
    };
    if (!m_compare) {
        settle();
        return;
    }
    if (m_justCompleted[0]) {
        // The root's text changed: every level is sorted again.
        settle();
        SortAll();
        return;
    }
    // Each folder whose children completed is sorted once, however many completed.
    std::vector<std::int32_t> parents;
    parents.reserve(m_completedRun.size());
    for (std::int32_t entry : m_completedRun)
        parents.push_back(std::int32_t(node(entry).parent));
    std::sort(parents.begin(), parents.end());
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());

    m_newOrders.clear();
    std::vector<std::uint32_t> order;
    for (std::int32_t parent : parents) {
        if (sortedChildren(parent, false, order))
            m_newOrders.emplace_back(parent, std::move(order));
    }
    settle();
    if (m_newOrders.empty())
        return;
    QList<QPersistentModelIndex> changedParents;
    changedParents.reserve(qsizetype(m_newOrders.size()));
    for (const auto& [parent, newOrder] : m_newOrders)
        changedParents.append(indexOfEntry(parent));
    applyOrders(changedParents);
}

bool TFolderTreeModel::sortedChildren(std::int32_t entry, bool whole,
                                      std::vector<std::uint32_t>& out)
{
    const Node& n = node(entry);
    if (n.children == 0 || m_childLists[n.children - 1].size() < 2)
        return false;
    const std::vector<std::uint32_t>& children = m_childLists[n.children - 1];
    // A stable sort and a merge never step outside the range, even when the
    // comparison is not a strict order (counts compared on their low 32 bits).
    const auto less = [this](std::uint32_t a, std::uint32_t b) {
        return m_compare(std::int32_t(a), std::int32_t(b)) < 0;
    };
    if (whole) {
        out = children;
        std::stable_sort(out.begin(), out.end(), less);
    } else {
        // Completed siblings keep their final totals, so they are still in order;
        // only the ones completed now and the ones still being walked, whose
        // totals may have grown, need a place.
        m_settled.clear();
        m_moved.clear();
        for (std::uint32_t child : children) {
            const size_t i = child - 1;
            (m_completed[i] && !m_justCompleted[i] ? m_settled : m_moved).push_back(child);
        }
        std::stable_sort(m_moved.begin(), m_moved.end(), less);
        out.resize(children.size());
        std::merge(m_settled.begin(), m_settled.end(), m_moved.begin(), m_moved.end(), out.begin(),
                   less);
    }
    return out != children;
}

void TFolderTreeModel::applyOrders(const QList<QPersistentModelIndex>& parents)
{
    Q_EMIT layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
    for (auto& [parent, order] : m_newOrders) {
        std::vector<std::uint32_t>& children = m_childLists[node(parent).children - 1];
        children.swap(order);
        for (size_t row = 0; row < children.size(); ++row)
            node(std::int32_t(children[row])).row = std::uint32_t(row);
    }
    m_newOrders.clear();
    // Indexes carry the entry number, so a moved index only needs its new row.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        const auto entry = std::int32_t(index.internalId());
        after.append(createIndex(int(node(entry).row), index.column(), quintptr(entry)));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
}
