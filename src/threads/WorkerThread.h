#pragma once
// A pool worker: takes items from its pool's queue one after the other, runs each and
// hands its completion to the interface thread, waiting until that ran. It ends when
// told to or after its pool's idle time without work. Made and held by a
// TWorkerThreadPool while it is in the pool's list, and by itself while it runs.

#include "threads/PoolThread.h"
#include "threads/WorkItem.h"

#include <mutex>

namespace threads {

class TWorkerThreadPool;

class TWorkerThread : public TPoolThread
{
public:
    explicit TWorkerThread(bool usesCom) : m_usesCom(usesCom) {}

    // Cancels the item being run, if any.
    void CancelCurrentItem();
    void SetPaused(bool paused) override;

    IWorkItemRef CurrentItem() const;
    bool UsesCom() const { return m_usesCom; }

protected:
    void Execute() override;

private:
    friend class TWorkerThreadPool;
    // The pool sets the item it hands out inside its queue's lock, so that a cancel
    // finds every item either still queued or here.
    void SetCurrentItem(IWorkItemRef item);
    // Waits for the next item; false when the thread is to end.
    bool GetNextItem();
    // Runs the completion of the current item on the interface thread and counts the
    // item as done; false when the pool has let the thread go meanwhile.
    bool FinishItem(bool executed);

    mutable std::mutex m_itemMutex;
    IWorkItemRef m_currentItem; // guarded by m_itemMutex
    const bool m_usesCom;
};

} // namespace threads
