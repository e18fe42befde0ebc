#pragma once
// The byte total and file count of every folder node of the last scan, addressed by
// the node's 1-based entry number, and the scan's running totals. There is one writer
// at a time: the scan thread while a scan runs, the interface thread between scans,
// when it brings the tree up to date; the interface thread reads while a scan writes. Every value
// is a 64-bit atomic, so a reader never sees half of one. Storage grows in blocks that never move,
// so an entry a reader has found stays valid while the store grows.

#include <array>
#include <atomic>
#include <cstdint>

class TFolderSizeStore
{
public:
    TFolderSizeStore() = default;
    ~TFolderSizeStore();
    TFolderSizeStore(const TFolderSizeStore&) = delete;
    TFolderSizeStore& operator=(const TFolderSizeStore&) = delete;

    // The writer only.
    void Reset();            // one entry (the root) holding 0 and 0; totals 0
    std::int32_t AddEntry(); // a new entry holding 0; returns its entry number
    void CountFile(std::int64_t size);
    void StoreTotals(std::int32_t entry, std::int64_t bytes, std::int64_t files);

    // The writer only: a change of a folder's totals is added to its entry, and to the
    // running totals, never below zero.
    void Adjust(std::int32_t entry, std::int64_t bytes, std::int64_t files);
    void AdjustTotals(std::int64_t bytes, std::int64_t files);

    // Any thread. Indexes are entry number - 1; an index outside the store reads 0.
    std::int32_t FolderEntryCount() const { return m_count.load(std::memory_order_acquire); }
    std::int64_t FolderSizes(std::int32_t index) const { return read(index, 0); }
    std::int64_t FolderFileCounts(std::int32_t index) const { return read(index, 1); }
    std::int64_t TotalBytesFound() const { return m_totalBytes.load(std::memory_order_relaxed); }
    std::int64_t TotalFilesFound() const { return m_totalFiles.load(std::memory_order_relaxed); }

private:
    // Block k holds kFirstBlock << k entries of two values each, so the store has
    // room for 2^31 entries in 22 blocks and wastes at most half of the last one.
    static constexpr int kFirstBlockBits = 10;
    static constexpr int kBlocks = 22;
    std::int64_t* slot(std::int32_t index) const;
    std::int64_t read(std::int32_t index, int which) const;

    std::array<std::atomic<std::int64_t*>, kBlocks> m_blocks{};
    std::atomic<std::int32_t> m_count{0};
    std::atomic<std::int64_t> m_totalBytes{0};
    std::atomic<std::int64_t> m_totalFiles{0};
};

// The process-wide store that the scan fills and the main window reads. It is never
// destroyed, so that a scan still running while the process exits finds it intact.
TFolderSizeStore& FolderStore();
