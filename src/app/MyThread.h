#pragma once
// The scan: a thread that walks the chosen folder depth-first, gives every folder an
// entry in the size store and hands the tree's changes to the interface thread in
// order. A few more threads read the folders of the first levels ahead of it, so the
// walk seldom waits for the disk. It owns its per-level tables and the read-ahead and
// frees itself when the walk ends; whoever started it keeps only a weak reference, for
// Cancel.

#include "app/TreeChangeQueue.h"
#include "platform/DirectorySearch.h"
#include "platform/MountTable.h"
#include "platform/ReadAhead.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class TFolderSizeStore;

class TMyThread
{
public:
    static constexpr int MaxScanDepth = 1000;
    // Threads that read folders ahead of the walk. The disk answers several requests
    // at once, so the count is chosen for the disk rather than for the processors;
    // 0 leaves all reading to the walk's own thread.
    static constexpr int DefaultReadAheadThreads = 4;

    // Starts a scan of the long form of `folderText` on a new thread and returns it;
    // nothing when no thread could be started. Keep only a weak reference: the thread
    // frees itself when its walk ends. When the read-ahead's threads cannot be
    // started, the walk reads every folder itself.
    static std::shared_ptr<TMyThread> Start(const QString& folderText,
                                            std::shared_ptr<TTreeChangeQueue> queue,
                                            TFolderSizeStore& store,
                                            int readAheadThreads = DefaultReadAheadThreads);

    // Cancel: the walk notices the flag after the entry it is handling.
    void Terminate() { m_terminated.store(true, std::memory_order_relaxed); }
    bool Terminated() const { return m_terminated.load(std::memory_order_relaxed); }

    // The path of the folder field's text as the file system records it.
    static QByteArray LongFormPath(const QString& folderText);

    // The text of a node whose walk has completed: size in MB, name, file count and
    // a filler that makes the item wide enough for the columns drawn over it.
    static QString CompletedNodeText(std::int64_t bytes, const QString& name, std::int64_t files);
    // Its first and third fields: "1234,56 MB" and "17 Dateien".
    static QString SizeText(std::int64_t bytes);
    static QString CountText(std::int64_t files);

    // The thread's body: one whole scan. Public so that a test can run it on a thread
    // of its own choosing.
    TMyThread(QByteArray scanPath, std::shared_ptr<TTreeChangeQueue> queue, TFolderSizeStore& store,
              int readAheadThreads = 0);
    void RunScan();

    // A walk of one folder of a finished tree instead of a whole scan: the folder is the
    // walk's root, at `depth` levels below the scanned folder, so that its nodes end
    // where a whole scan's would; `above` are the folders on the way down to it, from
    // the scanned one, so that a folder that repeats one of them lists nothing, as in a
    // scan. Its subfolders named in `keptFolders` (sorted) already have nodes: they are
    // listed, not walked, and those found are KeptFound() after RunScan. Call before
    // RunScan.
    void WalkWithinTree(int depth, std::vector<std::string> keptFolders,
                        std::vector<platform::FolderId> above = {});
    const std::vector<std::string>& KeptFound() const { return m_keptFound; }
    // Whether the root could be listed; false also when it is gone or not a folder.
    bool RootListed() const { return m_rootListed; }

private:
    // Below this level the walk gives back the descriptors of the levels above it,
    // so a deep chain holds a bounded number of them.
    static constexpr int kLevelsKeptOpen = 64;
    // Folders below the deepest node are still walked, their files counted into it,
    // down to this level; deeper ones count as empty. No real tree comes near it, but
    // a virtual file system can be endless.
    static constexpr size_t kDeepestWalkedLevel = 65536;

    // `index` is the folder's entry in the listing of the level above.
    void WalkFolder(int level, std::string_view name, size_t index);
    void SumBelowDeepestNode(std::string_view name, size_t index);
    void AddFolderNode(std::string_view name, int level);
    void CountFile(size_t level, std::int64_t size);
    void PublishLevel(int level);

    // The open folder of each level. Entering a level opens its folder below the
    // level above; leaving it brings the level above back when it was parked.
    platform::DirectorySearch& FindRec(size_t level)
    {
        return level < size_t(MaxScanDepth) ? FindRecs[level]
                                            : m_deeperRecs[level - size_t(MaxScanDepth)];
    }
    void EnterLevel(size_t level, std::string_view name, size_t index);
    void LeaveLevel(size_t level);
    void ReopenLevel(size_t level, int childFd);

    const QByteArray m_scanPath;
    const std::shared_ptr<TTreeChangeQueue> m_queue;
    TFolderSizeStore& m_store;
    std::atomic_bool m_terminated{false};
    platform::MountTable m_mounts;
    const int m_readAheadThreads;
    std::unique_ptr<platform::ReadAhead> m_readAhead; // during RunScan, when threads started

    std::array<platform::DirectorySearch, MaxScanDepth> FindRecs;
    std::deque<platform::DirectorySearch> m_deeperRecs; // levels from MaxScanDepth on
    // Per level: its folder's name in the listing of the level above (valid while that
    // listing is), and which folder it is, so that a folder met again on the way down
    // (a bind mount inside itself) is not walked twice.
    std::vector<std::string_view> m_levelNames;
    std::vector<platform::FolderId> m_levelIds; // after m_idsAbove folders above the root
    size_t m_idsAbove = 0;
    std::vector<size_t> m_deeperNext; // the next entry of each level below the deepest node
    std::array<std::int32_t, MaxScanDepth + 1> LevelNodes{};
    // The bytes and files found so far directly in each level's folder and in its
    // completed subfolders; the totals of a level are the sum from it down to the
    // deepest level, formed when they are published. The deepest node's level also
    // holds everything below it.
    std::array<std::int64_t, MaxScanDepth + 1> LevelBytes{};
    std::array<std::int64_t, MaxScanDepth + 1> LevelFiles{};
    // The level of the deepest node: MaxScanDepth, less the root's depth in a tree.
    int m_deepest = MaxScanDepth;
    std::vector<std::string> m_keptFolders, m_keptFound;
    bool m_rootListed = false;
};
