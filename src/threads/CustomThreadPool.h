#pragma once
// The list of a pool's threads and the rules for ending them: a thread leaves the list
// as it ends, and a thread that is told to stop and does not within KillTimeout is
// forgotten. Every wait for threads on the interface thread keeps events flowing,
// since an ending thread reports there. Owned by whoever made it (the program's two
// pools live from start-up to shut-down); threads hold it only while in its list.

#include "threads/CriticalSection.h"
#include "threads/PoolEnvironment.h"
#include "threads/PoolThread.h"

#include <QObject>
#include <QThread>
#include <cstdint>
#include <memory>
#include <vector>

namespace threads {

class TCustomThreadPool : public QObject
{
    Q_OBJECT
public:
    explicit TCustomThreadPool(
        std::shared_ptr<TPoolEnvironment> environment = SystemPoolEnvironment(),
        QObject* parent = nullptr);
    ~TCustomThreadPool() override;

    void AddThread(const std::shared_ptr<TPoolThread>& thread);
    // Interface thread: a thread that is ending leaves the list; any other is stopped.
    void RemoveThread(TPoolThread* thread);
    // Ends every thread; with `wait`, returns only when the list is empty.
    virtual void TerminateAll(bool wait);

    int Count();
    std::uint32_t ThreadLimit() const { return m_threadLimit; }
    QThread::Priority WorkerPriority() const { return QThread::NormalPriority; }
    std::uint32_t KillTimeout() const { return 3000; }
    TCriticalSection& PoolLock() { return m_poolLock; }
    TPoolEnvironment& Environment() const { return *m_environment; }

signals:
    void OnWorkerEnded(threads::TPoolThread* thread);
    void OnAllWorkersEnded(threads::TCustomThreadPool* pool);

protected:
    enum class ListChange
    {
        Added,
        Removed
    };
    // Runs after a thread joined (under PoolLock) or left the list.
    virtual void Notify(TPoolThread& thread, ListChange change);
    void StopThread(TPoolThread* thread);
    // Drops a thread that is in the list without waiting for it; true when it was there.
    bool Forget(TPoolThread* thread);
    bool Contains(const TPoolThread* thread);
    // The list, for walking it under PoolLock.
    const std::vector<std::shared_ptr<TPoolThread>>& Threads() const { return m_threads; }

private:
    const std::shared_ptr<TPoolEnvironment> m_environment;
    const std::uint32_t m_threadLimit;
    TCriticalSection m_poolLock;
    std::vector<std::shared_ptr<TPoolThread>> m_threads; // guarded by m_poolLock
};

// Runs the interface thread's pending events, when called there.
void PumpMainThreadEvents();

} // namespace threads

Q_DECLARE_METATYPE(threads::TPoolThread*)
