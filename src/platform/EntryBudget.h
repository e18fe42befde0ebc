#pragma once
// A count of listing entries that readers on several threads draw from and give back,
// so that what is read ahead of its use stays below a fixed number of entries. The
// read-ahead owns one; its workers take a grant before each read of a folder's entries
// and return what they did not keep.

#include <atomic>
#include <cstddef>

namespace platform {

class EntryBudget
{
public:
    explicit EntryBudget(std::size_t entries) : m_total(entries), m_left(entries) {}
    EntryBudget(const EntryBudget&) = delete;
    EntryBudget& operator=(const EntryBudget&) = delete;

    std::size_t total() const { return m_total; }
    std::size_t left() const { return m_left.load(std::memory_order_relaxed); }

    // Takes up to `most` entries; nothing when fewer than `least` are left.
    std::size_t take(std::size_t least, std::size_t most)
    {
        std::size_t left = m_left.load(std::memory_order_relaxed);
        for (;;) {
            if (left < least)
                return 0;
            const std::size_t grant = left < most ? left : most;
            if (m_left.compare_exchange_weak(left, left - grant, std::memory_order_relaxed))
                return grant;
        }
    }
    void give(std::size_t entries) { m_left.fetch_add(entries, std::memory_order_relaxed); }

private:
    const std::size_t m_total;
    std::atomic<std::size_t> m_left;
};

} // namespace platform
