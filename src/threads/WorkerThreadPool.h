#pragma once
// A self-sizing pool of workers for small jobs. The first item always starts a worker;
// beyond that the pool grows by at most one worker per 200 ms once two run, and only
// while the processors are less than 80 % busy, up to 8 workers per processor. Idle
// workers end after a minute. Items of one owner can be cancelled together; items
// added meanwhile, from any thread, are dropped. The program owns two of them (see
// ThreadPools.h); tests make their own with a hand-driven environment.

#include "threads/CustomThreadPool.h"
#include "threads/WorkItemsQueue.h"

#include <atomic>

namespace threads {

class TWorkerThread;

class TWorkerThreadPool : public TCustomThreadPool
{
    Q_OBJECT
public:
    explicit TWorkerThreadPool(
        bool usesCom, std::shared_ptr<TPoolEnvironment> environment = SystemPoolEnvironment(),
        QObject* parent = nullptr);
    ~TWorkerThreadPool() override;

    // Any thread. Queues the item and starts a worker when the rules allow one.
    void AddWorkItem(IWorkItemRef item);
    // Interface thread. Removes the queued items of `owner` (every queued item for
    // none) and cancels the running item of every worker, whoever queued it.
    void CancelWork(const void* owner);
    void TerminateAll(bool wait) override;

    std::int32_t PendingCount() const { return m_pendingCount.load(); }
    bool Clearing() const { return m_clearing.load(); }
    bool UsesCom() const { return m_usesCom; }
    std::uint32_t IdleTimeout() const { return 60000; }
    std::uint32_t CpuLimit() const { return 80; }
    int QueuedCount() const { return m_queue.Count(); }

signals:
    // When the last pending item is done.
    void OnAllWorkDone(threads::TWorkerThreadPool* pool);

protected:
    void Notify(TPoolThread& thread, ListChange change) override;

private:
    friend class TWorkerThread;
    // Under PoolLock.
    void TryStartWorker();
    int SampleCpuLoad();
    // Hands the oldest item to `worker` as its current item, inside the queue's lock;
    // false (and no current item) when the queue is empty, in which case `endIfEmpty`
    // tells the worker to end, inside the same lock.
    bool PopInto(TWorkerThread& worker, bool endIfEmpty);
    // Counts `count` items as done; true when that left no pending item.
    bool ItemsDone(int count);

    const bool m_usesCom;
    TWorkItemsQueue m_queue;
    std::atomic_bool m_clearing{false};
    std::atomic<std::int32_t> m_pendingCount{0};
    // Guarded by PoolLock.
    double m_cpuLoad = 0;
    std::uint32_t m_cpuSampleTick = 0;
    std::uint32_t m_lastSpawnTick = 0;
};

} // namespace threads
