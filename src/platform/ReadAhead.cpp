#include "platform/ReadAhead.h"

#include <algorithm>
#include <iterator>
#include <sys/resource.h>
#include <system_error>

namespace platform {

namespace {

// A worker begins a folder only while this many entries are left in the budget.
constexpr std::size_t kStartEntries = 64;

} // namespace

// One folder the walk will enter, from the moment it is handed to a reader until the
// walk has left it. A node's parent outlives it: the parent holds its untaken children,
// and a taken node is on the walk's path below its parent.
struct ReadAhead::Node
{
    Node* parent = nullptr;
    std::size_t level = 0;
    std::size_t index = 0; // its entry in the parent's listing
    bool read = false;
    bool inFrontier = false;
    std::size_t budgeted = 0;        // entries drawn from the budget
    std::size_t nextChild = 0;       // the next subfolder entry not yet handed out
    SharedFolderHandle parentHandle; // until the folder is open
    DirectorySearch listing;
    // Handed out, in the walk's order; those from firstUntaken on are not yet taken.
    std::vector<std::shared_ptr<Node>> children;
    std::size_t firstUntaken = 0;
};

bool ReadAhead::WalkOrder::operator()(const Node* a, const Node* b) const
{
    // The walk meets a's next subfolder before b's when, seen from the folder where
    // their paths part, a's branch comes first.
    std::size_t ai = a->nextChild;
    std::size_t bi = b->nextChild;
    while (a->level > b->level) {
        ai = a->index;
        a = a->parent;
    }
    while (b->level > a->level) {
        bi = b->index;
        b = b->parent;
    }
    while (a != b) {
        ai = a->index;
        a = a->parent;
        bi = b->index;
        b = b->parent;
    }
    return ai < bi;
}

ReadAhead::Limits ReadAhead::fitted(Limits limits)
{
    rlimit open{};
    if (::getrlimit(RLIMIT_NOFILE, &open) == 0 && open.rlim_cur != RLIM_INFINITY)
        limits.folders = std::min<std::size_t>(limits.folders, open.rlim_cur / 4);
    limits.folders = std::max<std::size_t>(limits.folders, 1);
    return limits;
}

ReadAhead::ReadAhead(int threads, Limits limits, const MountTable* mounts,
                     const std::atomic_bool* stop)
    : m_limits(fitted(limits)), m_mounts(mounts), m_stop(stop), m_budget(limits.entries)
{
    m_workers.reserve(size_t(std::max(threads, 0)));
    for (int i = 0; i < threads; ++i) {
        try {
            m_workers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break; // as many as the system gives; none leaves the walk to itself
        }
    }
}

ReadAhead::~ReadAhead()
{
    finish();
}

void ReadAhead::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
    }
    m_workReady.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
    std::vector<std::shared_ptr<Node>> path;
    {
        std::lock_guard lock(m_mutex);
        m_frontier.clear();
        std::swap(path, m_path);
    }
}

bool ReadAhead::canStart() const
{
    return !m_lost && !m_frontier.empty() && m_ahead < m_limits.folders &&
           m_budget.left() >= kStartEntries && !m_stop->load(std::memory_order_relaxed);
}

void ReadAhead::wakeWorker()
{
    if (m_idle > 0 && canStart())
        m_workReady.notify_one();
}

std::shared_ptr<ReadAhead::Node> ReadAhead::handOut(Node* parent)
{
    m_frontier.erase(parent); // its place in the order moves on
    auto node = std::make_shared<Node>();
    node->parent = parent;
    node->level = parent->level + 1;
    node->index = parent->nextChild;
    node->parentHandle = parent->listing.handle();
    parent->nextChild = parent->listing.nextFolder(parent->nextChild + 1);
    if (parent->nextChild < parent->listing.count())
        m_frontier.insert(parent);
    else
        parent->inFrontier = false;
    return node;
}

void ReadAhead::read(Node& node, EntryBudget* budget)
{
    // The folders above it, for the loop check; their ids never change once read.
    thread_local std::vector<FolderId> path;
    path.resize(node.level);
    std::size_t k = node.level;
    for (const Node* up = node.parent; up; up = up->parent)
        path[--k] = up->listing.id();
    const int parentFd = node.parentHandle ? node.parentHandle->fd() : -1;
    node.listing.open(parentFd, node.parent->listing.name(node.index), m_mounts, m_stop, path,
                      budget);
    node.budgeted = budget ? node.listing.count() : 0;
    node.parentHandle.reset();
    // A folder keeps its descriptor only while something may still be opened below it.
    if (node.listing.complete() && node.listing.nextFolder(0) == node.listing.count())
        node.listing.dropHandle();
}

void ReadAhead::joinFrontier(Node& node)
{
    if (m_lost || node.level >= m_limits.levels || !node.listing.complete())
        return;
    node.nextChild = node.listing.nextFolder(0);
    if (node.nextChild >= node.listing.count())
        return;
    node.inFrontier = true;
    m_frontier.insert(&node);
    wakeWorker();
}

void ReadAhead::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (!m_shutdown && !canStart()) {
            ++m_idle;
            m_workReady.wait(lock);
            --m_idle;
        }
        if (m_shutdown)
            return;
        Node* parent = *m_frontier.begin();
        std::shared_ptr<Node> node = handOut(parent);
        parent->children.push_back(node);
        ++m_ahead;
        wakeWorker();
        lock.unlock();
        read(*node, &m_budget);
        lock.lock();
        node->read = true;
        joinFrontier(*node);
        if (m_awaited == node.get())
            m_nodeRead.notify_one();
        node.reset(); // its parent still holds it: nothing is freed under the lock
    }
}

void ReadAhead::begin(const DirectorySearch& root)
{
    auto node = std::make_shared<Node>();
    node->listing.share(root, true);
    node->read = true;
    std::lock_guard lock(m_mutex);
    m_path.assign(1, node);
    joinFrontier(*node);
}

bool ReadAhead::take(std::size_t level, std::size_t index, DirectorySearch& search)
{
    std::unique_lock lock(m_mutex);
    if (m_lost || level == 0 || level > m_limits.levels || level > m_path.size())
        return false;
    Node* parent = m_path[level - 1].get();
    std::shared_ptr<Node> node;
    if (parent->firstUntaken < parent->children.size()) {
        std::vector<std::shared_ptr<Node>>& children = parent->children;
        node = std::move(children[parent->firstUntaken++]);
        if (parent->firstUntaken == children.size()) {
            children.clear();
            parent->firstUntaken = 0;
        } else if (parent->firstUntaken >= 64 && parent->firstUntaken * 2 >= children.size()) {
            children.erase(children.begin(),
                           children.begin() + std::ptrdiff_t(parent->firstUntaken));
            parent->firstUntaken = 0;
        }
        --m_ahead;
        if (node->index != index) {
            loseTrack();
            return false;
        }
        // A worker is reading it. The walk waits rather than read another folder
        // meanwhile: that one might hang (a network mount that is gone) and hold up
        // the walk although this folder is ready.
        if (!node->read) {
            m_awaited = node.get();
            m_nodeRead.wait(lock, [&] { return node->read; });
            m_awaited = nullptr;
        }
        m_budget.give(node->budgeted);
        if (!node->listing.complete()) {
            // The budget ran dry in the middle of this folder; the rest is read now.
            lock.unlock();
            node->listing.readRest(m_stop);
            lock.lock();
            joinFrontier(*node);
        }
        if (m_ahead <= m_limits.folders - m_limits.folders / 4 &&
            m_budget.left() >= m_limits.entries / 4)
            wakeWorker();
    } else {
        if (!parent->inFrontier || parent->nextChild != index) {
            loseTrack();
            return false;
        }
        // No worker has begun it: the walk reads it rather than wait.
        node = handOut(parent);
        lock.unlock();
        read(*node, nullptr);
        lock.lock();
        node->read = true;
        joinFrontier(*node);
    }
    search.share(node->listing, true);
    // The folders from this level down belong to a branch the walk has finished; they
    // are freed outside the lock.
    std::move(m_path.begin() + std::ptrdiff_t(level), m_path.end(), std::back_inserter(m_finished));
    m_path.resize(level);
    m_path.push_back(std::move(node));
    lock.unlock();
    m_finished.clear();
    return true;
}

void ReadAhead::loseTrack()
{
    // Never expected: the walk asked for a folder out of the order it reads in. From
    // here on it reads every folder itself; the nodes stay until finish().
    m_lost = true;
    m_frontier.clear();
}

} // namespace platform
