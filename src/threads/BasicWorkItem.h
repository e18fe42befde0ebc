#pragma once
// The common ground of work items: the cancel and pause flags that Execute polls
// through CheckCancelled, the owner that CancelWork compares, and a completion that
// reaches a receiver on the interface thread only while the receiver exists.
// Subclasses implement Execute; whoever queues an item shares it with the pool.

#include "threads/WorkItem.h"

#include <QObject>
#include <QPointer>
#include <atomic>

namespace threads {

class TBasicWorkItem : public IWorkItem
{
public:
    using DoneHandler = std::function<void(TBasicWorkItem& item)>;

    std::function<void()> GetCompletion() override;
    const void* GetOwner() const override { return m_owner; }
    void Cancel() override { m_cancelled.store(true, std::memory_order_relaxed); }
    void SetPaused(bool paused) override { m_paused.store(paused, std::memory_order_relaxed); }

    // Holds while paused, then tells whether the item was cancelled. Long steps call it
    // between parts of their work, and every completion calls it before it acts.
    bool CheckCancelled();
    bool Cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    bool Paused() const { return m_paused.load(std::memory_order_relaxed); }

    // Set on the interface thread before the item is queued. The handler runs as the
    // completion, with the item, while `receiver` (when given) still exists; an empty
    // handler leaves the item without completion.
    void SetOnDone(QObject* receiver, DoneHandler handler);
    void SetOwner(const void* owner) { m_owner = owner; }

protected:
    // For subclasses that complete with a step of their own instead of a handler.
    void SetCompletion(QObject* receiver, std::function<void()> step);
    // The flag itself, for loops below Execute that poll it without pausing.
    const std::atomic_bool& CancelledFlag() const { return m_cancelled; }

private:
    std::atomic_bool m_cancelled{false};
    std::atomic_bool m_paused{false};
    std::function<void()> m_completion;
    DoneHandler m_onDone;
    QPointer<QObject> m_receiver;
    bool m_hasReceiver = false;
    const void* m_owner = nullptr;
};

} // namespace threads
