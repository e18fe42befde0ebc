#pragma once
// How far a running operation has come. The engine writes it on its thread; the interface
// reads a snapshot on a timer. Counters are atomics; only the name of the object in hand
// takes a lock, once per object. Owned by the OperationJob (or the benchmark).

#include <QByteArray>
#include <QMutex>
#include <atomic>
#include <cstdint>

namespace fileops {

class OperationProgress
{
public:
    struct Snapshot
    {
        std::uint64_t itemsDone = 0;
        std::uint64_t itemsTotal = 0; // 0 while unknown
        std::uint64_t bytesDone = 0;
        std::uint64_t bytesTotal = 0; // 0 while unknown
        QByteArray current;           // the object in hand
    };

    void setTotals(std::uint64_t items, std::uint64_t bytes)
    {
        m_itemsTotal.store(items, std::memory_order_relaxed);
        m_bytesTotal.store(bytes, std::memory_order_relaxed);
    }
    void addItem() { m_itemsDone.fetch_add(1, std::memory_order_relaxed); }
    void addBytes(std::uint64_t n) { m_bytesDone.fetch_add(n, std::memory_order_relaxed); }
    void setCurrent(const QByteArray& path)
    {
        QMutexLocker lock(&m_mutex);
        m_current = path;
    }
    Snapshot snapshot() const
    {
        Snapshot s;
        s.itemsDone = m_itemsDone.load(std::memory_order_relaxed);
        s.itemsTotal = m_itemsTotal.load(std::memory_order_relaxed);
        s.bytesDone = m_bytesDone.load(std::memory_order_relaxed);
        s.bytesTotal = m_bytesTotal.load(std::memory_order_relaxed);
        QMutexLocker lock(&m_mutex);
        s.current = m_current;
        return s;
    }

private:
    std::atomic<std::uint64_t> m_itemsDone{0};
    std::atomic<std::uint64_t> m_itemsTotal{0};
    std::atomic<std::uint64_t> m_bytesDone{0};
    std::atomic<std::uint64_t> m_bytesTotal{0};
    mutable QMutex m_mutex;
    QByteArray m_current;
};

} // namespace fileops
