#include "threads/CustomThreadPool.h"

#include "threads/MainThreadCall.h"
#include "threads/PoolThread.h"
#include "threads/WorkerThread.h"

#include <QCoreApplication>
#include <algorithm>
#include <thread>

namespace threads {

namespace {

std::uint32_t threadLimitFor(int processors)
{
    return 8 * std::uint32_t(processors > 0 ? processors : 1);
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

void PumpMainThreadEvents()
{
    if (!TMainThreadCall::OnMainThread())
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    TMainThreadCall::RunPending();
}

TCustomThreadPool::TCustomThreadPool(std::shared_ptr<TPoolEnvironment> environment, QObject* parent)
    : QObject(parent), m_environment(std::move(environment)),
      m_threadLimit(threadLimitFor(m_environment->ProcessorCount()))
{
    TMainThreadCall::Prepare();
}

TCustomThreadPool::~TCustomThreadPool()
{
    TerminateAll(true);
    // Forgotten threads may have handed calls over before they were let go.
    TMainThreadCall::DropCalls(this);
}

int TCustomThreadPool::Count()
{
    std::lock_guard lock(m_poolLock);
    return int(m_threads.size());
}

bool TCustomThreadPool::Contains(const TPoolThread* thread)
{
    std::lock_guard lock(m_poolLock);
    return std::any_of(m_threads.begin(), m_threads.end(),
                       [thread](const auto& t) { return t.get() == thread; });
}

void TCustomThreadPool::AddThread(const std::shared_ptr<TPoolThread>& thread)
{
    std::lock_guard lock(m_poolLock);
    m_threads.push_back(thread);
    Notify(*thread, ListChange::Added);
}

bool TCustomThreadPool::Forget(TPoolThread* thread)
{
    std::shared_ptr<TPoolThread> dropped;
    {
        std::lock_guard lock(m_poolLock);
        const auto it = std::find_if(m_threads.begin(), m_threads.end(),
                                     [thread](const auto& t) { return t.get() == thread; });
        if (it == m_threads.end())
            return false;
        // Taken under the thread's own lock: once this returns, the thread no longer
        // reaches the pool, so the pool may go away while the thread runs on.
        thread->SetPool(nullptr);
        dropped = std::move(*it);
        m_threads.erase(it);
    }
    Notify(*dropped, ListChange::Removed);
    return true;
}

void TCustomThreadPool::RemoveThread(TPoolThread* thread)
{
    if (thread->Finishing())
        Forget(thread);
    else
        StopThread(thread);
}

void TCustomThreadPool::Notify(TPoolThread& thread, ListChange change)
{
    if (change == ListChange::Added) {
        thread.SetPool(this);
        return;
    }
    if (Count() != 0)
        return;
    // Runs at once on the interface thread. Elsewhere (a worker that could not be
    // started) it is not waited for: the caller may hold PoolLock, which the interface
    // thread may be waiting for.
    TMainThreadCall(this, [this] { emit OnAllWorkersEnded(this); });
}

void TCustomThreadPool::StopThread(TPoolThread* thread)
{
    if (!thread)
        return;
    if (thread->Finishing()) {
        // On its way out: it needs the interface thread to report its end.
        PumpMainThreadEvents();
        sleepMs(1);
        return;
    }
    thread->Terminate();
    thread->Resume();
    const std::uint32_t start = m_environment->TickCount();
    while (m_environment->TickCount() - start < KillTimeout()) {
        if (!Contains(thread))
            return;
        sleepMs(5);
        PumpMainThreadEvents();
    }
    // Linux ends no single thread by force: the thread is forgotten and ends by itself
    // when it next looks at its flag.
    Forget(thread);
}

void TCustomThreadPool::TerminateAll(bool wait)
{
    {
        std::lock_guard lock(m_poolLock);
        for (auto it = m_threads.rbegin(); it != m_threads.rend(); ++it) {
            TPoolThread& thread = **it;
            thread.Terminate();
            if (auto* worker = dynamic_cast<TWorkerThread*>(&thread))
                worker->CancelCurrentItem();
            thread.Resume();
        }
    }
    if (!wait)
        return;
    sleepMs(10);
    for (;;) {
        std::shared_ptr<TPoolThread> first;
        {
            std::lock_guard lock(m_poolLock);
            if (m_threads.empty())
                return;
            first = m_threads.front();
        }
        StopThread(first.get());
    }
}

} // namespace threads
