#pragma once
// Lists folders ahead of a depth-first walk on a few worker threads, so that the walk
// finds a folder's listing ready when it enters it instead of waiting for the disk.
// The walk owns one for a scan: it hands over the listing of its root and then takes
// the folders of the first levels one by one, in the order it enters them. The workers
// read them in that same order, as far ahead as a fixed number of entries and folders
// allows; whatever no worker has begun when the walk needs it, the walk reads itself.
// Folders are opened below their parent's handle, never by path.

#include "platform/DirectorySearch.h"
#include "platform/EntryBudget.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace platform {

class MountTable;

class ReadAhead
{
public:
    struct Limits
    {
        std::size_t entries = 16384; // entries listed but not yet taken by the walk
        std::size_t folders = 512;   // folders being read or read, not yet taken
        std::size_t levels = 64;     // folders below this level are left to the walk
    };
    // `limits` with at most a quarter of the process's descriptors for the folders
    // read ahead, each of which may hold one: a folder that cannot be opened for want
    // of a descriptor would count as empty.
    static Limits fitted(Limits limits);

    // Starts up to `threads` workers (threads() says how many could be started). Reads
    // stop early once `stop` is set; `mounts` and `stop` must outlive this object.
    ReadAhead(int threads, Limits limits, const MountTable* mounts, const std::atomic_bool* stop);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    int threads() const { return int(m_workers.size()); }
    const Limits& limits() const { return m_limits; }

    // The walk has listed its root (level 0); its subfolders are read from now on.
    void begin(const DirectorySearch& root);
    // The walk enters the folder of entry `index` of the folder it is in, one level
    // above `level`. Fills `search` as DirectorySearch::open would have, complete,
    // waiting while a worker reads it. False when the folder is not one the
    // read-ahead covers; the walk then opens it itself.
    bool take(std::size_t level, std::size_t index, DirectorySearch& search);
    // Stops the workers and waits for them; a read under way ends at its next entry.
    void finish();

private:
    struct Node;
    // Orders the folders with subfolders still to hand out by the position of the
    // next of them in the walk's order.
    struct WalkOrder
    {
        bool operator()(const Node* a, const Node* b) const;
    };

    void work();
    bool canStart() const;
    // Creates the node of `parent`'s next subfolder, which it takes off the frontier.
    std::shared_ptr<Node> handOut(Node* parent);
    // Reads the folder of a node made by handOut; runs without the lock.
    void read(Node& node, EntryBudget* budget);
    // After a read: a folder whose subfolders are to be read joins the frontier.
    void joinFrontier(Node& node);
    void wakeWorker();
    void loseTrack();

    const Limits m_limits;
    const MountTable* const m_mounts;
    const std::atomic_bool* const m_stop;
    EntryBudget m_budget;

    std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_nodeRead;
    bool m_shutdown = false;
    bool m_lost = false; // the walk left the read-ahead's order: it reads all by itself
    int m_idle = 0;
    std::size_t m_ahead = 0; // nodes handed to workers and not yet taken
    const Node* m_awaited = nullptr;
    std::set<Node*, WalkOrder> m_frontier;
    std::vector<std::shared_ptr<Node>> m_path;     // the walk's folders, by level
    std::vector<std::shared_ptr<Node>> m_finished; // the walk's thread only
    std::vector<std::thread> m_workers;
};

} // namespace platform
