#include "threads/WorkerThread.h"

#include "threads/MainThreadCall.h"
#include "threads/WorkerThreadPool.h"

#include <optional>
#include <thread>

namespace threads {

IWorkItemRef TWorkerThread::CurrentItem() const
{
    std::lock_guard lock(m_itemMutex);
    return m_currentItem;
}

void TWorkerThread::SetCurrentItem(IWorkItemRef item)
{
    // The previous item is released after the lock: its end may take locks of its own.
    IWorkItemRef previous;
    std::lock_guard lock(m_itemMutex);
    previous = std::exchange(m_currentItem, std::move(item));
}

void TWorkerThread::CancelCurrentItem()
{
    if (const IWorkItemRef item = CurrentItem())
        item->Cancel();
    Resume();
}

void TWorkerThread::SetPaused(bool paused)
{
    TPoolThread::SetPaused(paused);
    if (const IWorkItemRef item = CurrentItem())
        item->SetPaused(paused);
}

bool TWorkerThread::GetNextItem()
{
    bool waiting = false;
    std::uint32_t start = 0;
    for (;;) {
        bool popped = false;
        bool idleTooLong = false;
        const bool inPool = WithPool([&](TCustomThreadPool& p) {
            auto& pool = static_cast<TWorkerThreadPool&>(p);
            // The idle time is judged before the look at the queue, so that the worker
            // gives up only together with finding the queue empty.
            const std::uint32_t now = pool.Environment().TickCount();
            if (waiting)
                idleTooLong = now - start > pool.IdleTimeout();
            popped = pool.PopInto(*this, idleTooLong);
            if (!waiting)
                start = now;
            waiting = true;
        });
        if (!inPool) {
            Terminate();
            return false;
        }
        if (popped)
            return true;
        if (idleTooLong)
            return false; // PopInto has told the thread to end
        if (ShouldStop())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool TWorkerThread::FinishItem(bool executed)
{
    const IWorkItemRef item = CurrentItem();
    std::optional<TMainThreadCall> completion;
    if (executed) {
        std::function<void()> step = item->GetCompletion();
        bool inPool = true;
        if (step)
            inPool = WithPool([&](TCustomThreadPool& pool) { completion.emplace(&pool, step); });
        if (!inPool)
            return false;
        if (completion)
            completion->Wait();
    }
    std::optional<TMainThreadCall> allDone;
    const bool inPool = WithPool([&](TCustomThreadPool& p) {
        auto& pool = static_cast<TWorkerThreadPool&>(p);
        if (pool.ItemsDone(1))
            allDone.emplace(&pool, [p = &pool] { emit p->OnAllWorkDone(p); });
    });
    if (allDone)
        allDone->Wait();
    return inPool;
}

void TWorkerThread::Execute()
{
    TPoolThread::Execute();
    // No apartment to set up on Linux: UsesCom is kept for the pools that ask for it.
    while (!ShouldStop()) {
        if (!GetNextItem())
            break;
        const IWorkItemRef item = CurrentItem();
        if (!item)
            continue;
        try {
            item->Execute();
        } catch (...) {
            // An item that fails ends its worker without completion; it still counts as
            // done, so that the pool's count of pending work stays true.
            FinishItem(false);
            break;
        }
        if (!FinishItem(true))
            break;
    }
    SetCurrentItem(nullptr);
}

} // namespace threads
