#include "app/FolderSizeStore.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>

namespace {

std::int64_t loadRelaxed(std::int64_t& v)
{
    return std::atomic_ref<std::int64_t>(v).load(std::memory_order_relaxed);
}

void storeRelaxed(std::int64_t& v, std::int64_t value)
{
    std::atomic_ref<std::int64_t>(v).store(value, std::memory_order_relaxed);
}

} // namespace

TFolderSizeStore& FolderStore()
{
    static TFolderSizeStore* store = new TFolderSizeStore;
    return *store;
}

TFolderSizeStore::~TFolderSizeStore()
{
    for (auto& block : m_blocks)
        std::free(block.load());
}

std::int64_t* TFolderSizeStore::slot(std::int32_t index) const
{
    const auto j = std::uint32_t(index) + (1u << kFirstBlockBits);
    const int block = std::bit_width(j) - 1 - kFirstBlockBits;
    std::int64_t* base = m_blocks[size_t(block)].load(std::memory_order_acquire);
    if (!base)
        return nullptr;
    return base + 2 * (j - (1u << (block + kFirstBlockBits)));
}

std::int64_t TFolderSizeStore::read(std::int32_t index, int which) const
{
    if (index < 0 || index >= FolderEntryCount())
        return 0;
    std::int64_t* s = slot(index);
    return s ? loadRelaxed(s[which]) : 0;
}

void TFolderSizeStore::Reset()
{
    m_totalBytes.store(0, std::memory_order_relaxed);
    m_totalFiles.store(0, std::memory_order_relaxed);
    // Blocks are kept: the interface thread may still be reading entries of the
    // last tree, which it only stops doing once it has taken the new one.
    m_count.store(0, std::memory_order_release);
    AddEntry();
}

std::int32_t TFolderSizeStore::AddEntry()
{
    const std::int32_t index = m_count.load(std::memory_order_relaxed);
    std::int64_t* s = slot(index);
    if (!s) {
        const auto j = std::uint32_t(index) + (1u << kFirstBlockBits);
        const int block = std::bit_width(j) - 1 - kFirstBlockBits;
        const size_t entries = size_t(1) << (block + kFirstBlockBits);
        // calloc leaves untouched pages unmapped, so a half-used block costs little.
        auto* base = static_cast<std::int64_t*>(std::calloc(entries, 2 * sizeof(std::int64_t)));
        if (!base)
            throw std::bad_alloc();
        m_blocks[size_t(block)].store(base, std::memory_order_release);
        s = slot(index);
    }
    storeRelaxed(s[0], 0);
    storeRelaxed(s[1], 0);
    m_count.store(index + 1, std::memory_order_release);
    return index + 1;
}

void TFolderSizeStore::CountFile(std::int64_t size)
{
    // One writer: a plain read and write of each atomic suffices.
    m_totalBytes.store(m_totalBytes.load(std::memory_order_relaxed) + size,
                       std::memory_order_relaxed);
    m_totalFiles.store(m_totalFiles.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void TFolderSizeStore::StoreTotals(std::int32_t entry, std::int64_t bytes, std::int64_t files)
{
    const std::int32_t index = entry - 1;
    if (index < 0 || index >= m_count.load(std::memory_order_relaxed))
        return;
    std::int64_t* s = slot(index);
    storeRelaxed(s[0], bytes);
    storeRelaxed(s[1], files);
}

void TFolderSizeStore::Adjust(std::int32_t entry, std::int64_t bytes, std::int64_t files)
{
    const std::int32_t index = entry - 1;
    if (index < 0 || index >= m_count.load(std::memory_order_relaxed))
        return;
    std::int64_t* s = slot(index);
    storeRelaxed(s[0], std::max<std::int64_t>(loadRelaxed(s[0]) + bytes, 0));
    storeRelaxed(s[1], std::max<std::int64_t>(loadRelaxed(s[1]) + files, 0));
}

void TFolderSizeStore::AdjustTotals(std::int64_t bytes, std::int64_t files)
{
    m_totalBytes.store(
        std::max<std::int64_t>(m_totalBytes.load(std::memory_order_relaxed) + bytes, 0),
        std::memory_order_relaxed);
    m_totalFiles.store(
        std::max<std::int64_t>(m_totalFiles.load(std::memory_order_relaxed) + files, 0),
        std::memory_order_relaxed);
}
