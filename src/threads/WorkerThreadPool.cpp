#include "threads/WorkerThreadPool.h"

#include "threads/MainThreadCall.h"
#include "threads/WorkerThread.h"

#include <algorithm>
#include <cmath>

namespace threads {

TWorkerThreadPool::TWorkerThreadPool(bool usesCom, std::shared_ptr<TPoolEnvironment> environment,
                                     QObject* parent)
    : TCustomThreadPool(std::move(environment), parent), m_usesCom(usesCom)
{
}

TWorkerThreadPool::~TWorkerThreadPool()
{
    TerminateAll(true);
}

void TWorkerThreadPool::AddWorkItem(IWorkItemRef item)
{
    if (!item)
        return;
    // The flag is read under the queue's lock, which CancelWork holds while it sets the
    // flag and empties the queue: an item is either removed by the cancel or dropped.
    const bool queued = m_queue.Locked([&](std::deque<IWorkItemRef>& items) {
        if (m_clearing.load())
            return false;
        m_pendingCount.fetch_add(1);
        items.push_back(std::move(item));
        return true;
    });
    if (!queued)
        return;
    std::lock_guard lock(PoolLock());
    TryStartWorker();
}

void TWorkerThreadPool::TryStartWorker()
{
    // A worker that has decided to end (idle too long, or told to stop) takes no more
    // work, though it stays in the list until its end has been reported: counting it
    // could leave a queued item without any worker.
    const std::uint32_t count = std::uint32_t(std::count_if(
        Threads().begin(), Threads().end(), [](const auto& t) { return !t->Terminated(); }));
    if (count >= ThreadLimit())
        return;
    const std::uint32_t now = Environment().TickCount();
    if (now - m_lastSpawnTick < 200 && count > 1)
        return;
    const int load = SampleCpuLoad();
    if (count == 0 || load < int(CpuLimit()))
        AddThread(std::make_shared<TWorkerThread>(m_usesCom));
    m_lastSpawnTick = now;
}

int TWorkerThreadPool::SampleCpuLoad()
{
    const std::uint32_t now = Environment().TickCount();
    // By difference, so that the sample keeps being renewed when the tick count wraps.
    if (now - m_cpuSampleTick > 200) {
        m_cpuLoad = Environment().ProcessorLoad();
        m_cpuSampleTick = now;
    }
    const double rounded = std::nearbyint(m_cpuLoad); // ties to even
    return rounded > 0 ? int(rounded) : 0;
}

void TWorkerThreadPool::Notify(TPoolThread& thread, ListChange change)
{
    TCustomThreadPool::Notify(thread, change);
    if (change == ListChange::Added && !thread.Resume()) {
        // No thread could be made: the next item tries again.
        Forget(&thread);
    }
}

bool TWorkerThreadPool::PopInto(TWorkerThread& worker, bool endIfEmpty)
{
    return m_queue.Locked([&](std::deque<IWorkItemRef>& items) {
        IWorkItemRef item;
        if (!items.empty()) {
            item = std::move(items.front());
            items.pop_front();
        }
        const bool popped = item != nullptr;
        worker.SetCurrentItem(std::move(item));
        // Under the queue's lock: an item added afterwards finds the worker ending and
        // starts another one (TryStartWorker runs after the item is queued).
        if (!popped && endIfEmpty)
            worker.Terminate();
        return popped;
    });
}

bool TWorkerThreadPool::ItemsDone(int count)
{
    // Never below zero: a terminate resets the count while items still finish.
    std::int32_t pending = m_pendingCount.load();
    while (pending > 0 &&
           !m_pendingCount.compare_exchange_weak(pending, std::max(pending - count, 0))) {
    }
    return pending > 0 && pending - count <= 0;
}

void TWorkerThreadPool::CancelWork(const void* owner)
{
    // Set under the queue's lock: every item is either queued before (and removed now,
    // when it is the owner's) or refused by AddWorkItem until the cancel is over.
    m_queue.Locked([&](std::deque<IWorkItemRef>&) { m_clearing.store(true); });
    struct ClearingEnds
    {
        std::atomic_bool& flag;
        ~ClearingEnds() { flag.store(false); }
    } clearingEnds{m_clearing};
    const int removed = m_queue.Remove(owner);
    {
        std::lock_guard lock(PoolLock());
        const auto& threads = Threads();
        for (auto it = threads.rbegin(); it != threads.rend(); ++it) {
            if (auto* worker = dynamic_cast<TWorkerThread*>(it->get()))
                worker->CancelCurrentItem();
        }
    }
    // Removed items never run: they count as done, or the pool would never again
    // report that all its work is done.
    if (removed > 0 && ItemsDone(removed))
        emit OnAllWorkDone(this);
}

void TWorkerThreadPool::TerminateAll(bool wait)
{
    CancelWork(nullptr);
    TCustomThreadPool::TerminateAll(wait);
    m_queue.Remove(nullptr);
    if (m_pendingCount.exchange(0) != 0)
        emit OnAllWorkDone(this);
}

} // namespace threads
