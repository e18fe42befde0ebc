#include "threads/PoolThread.h"

#include "threads/CustomThreadPool.h"
#include "threads/MainThreadCall.h"

#include <optional>
#include <system_error>
#include <thread>

namespace threads {

bool TPoolThread::Resume()
{
    if (m_started.exchange(true, std::memory_order_acq_rel))
        return true;
    try {
        // The thread holds itself: it is freed when its end step is over, also when its
        // pool has forgotten it long before.
        std::thread([self = shared_from_this()] { self->Run(); }).detach();
    } catch (const std::system_error&) {
        m_started.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

TCustomThreadPool* TPoolThread::Pool() const
{
    std::lock_guard lock(m_poolMutex);
    return m_pool;
}

void TPoolThread::SetPool(TCustomThreadPool* pool)
{
    std::lock_guard lock(m_poolMutex);
    m_pool = pool;
}

bool TPoolThread::ShouldStop()
{
    while (Paused() && !Terminated())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Terminated();
}

void TPoolThread::Execute()
{
    ShouldStop();
}

void TPoolThread::Run()
{
    try {
        Execute();
    } catch (...) {
        // A body that fails ends the thread like any other end.
    }
    m_finishing.store(true, std::memory_order_release);
    std::optional<TMainThreadCall> report;
    WithPool([&](TCustomThreadPool& pool) { report.emplace(&pool, [this] { ReportEnded(); }); });
    if (report)
        report->Wait();
}

void TPoolThread::ReportEnded()
{
    TCustomThreadPool* pool = Pool();
    if (!pool)
        return;
    emit pool->OnWorkerEnded(this);
    pool->RemoveThread(this);
}

} // namespace threads
