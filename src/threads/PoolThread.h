#pragma once
// A thread that belongs to a pool: made without running, started when the pool adds
// it, and ended by its flag. As it ends it reports to its pool on the interface thread
// and waits until the pool has let it go; then it frees itself. A pool that stops
// waiting for it forgets it: the thread runs on without touching the pool again and
// frees itself when it next looks at its flag.

#include <atomic>
#include <memory>
#include <mutex>

namespace threads {

class TCustomThreadPool;

class TPoolThread : public std::enable_shared_from_this<TPoolThread>
{
public:
    TPoolThread() = default;
    virtual ~TPoolThread() = default;
    TPoolThread(const TPoolThread&) = delete;
    TPoolThread& operator=(const TPoolThread&) = delete;

    // Starts the thread unless it runs already; false when no thread could be made.
    bool Resume();
    bool Suspended() const { return !m_started.load(std::memory_order_acquire); }

    void Terminate() { m_terminated.store(true, std::memory_order_relaxed); }
    bool Terminated() const { return m_terminated.load(std::memory_order_relaxed); }
    // Set first thing when the thread ends, before it reports to its pool.
    bool Finishing() const { return m_finishing.load(std::memory_order_acquire); }

    bool Paused() const { return m_paused.load(std::memory_order_relaxed); }
    virtual void SetPaused(bool paused) { m_paused.store(paused, std::memory_order_relaxed); }

    // The pool that holds the thread; none before it is added and after it left.
    TCustomThreadPool* Pool() const;

    // Interface thread: tells the pool that this thread ends and leaves its list.
    void ReportEnded();

protected:
    // The thread's body. The plain thread only waits out a pause.
    virtual void Execute();
    // Holds while paused; then whether the thread is to end.
    bool ShouldStop();

    // Runs `use` with the pool while the thread is still in it; false when it has left
    // (or was forgotten), in which case nothing of the pool may be touched any more.
    // Never wait inside `use`: the pool takes this lock to let the thread go.
    template <typename Use> bool WithPool(Use&& use)
    {
        std::lock_guard lock(m_poolMutex);
        if (!m_pool)
            return false;
        use(*m_pool);
        return true;
    }

private:
    friend class TCustomThreadPool;
    void SetPool(TCustomThreadPool* pool);
    void Run();

    mutable std::mutex m_poolMutex;
    TCustomThreadPool* m_pool = nullptr; // guarded by m_poolMutex
    std::atomic_bool m_started{false};
    std::atomic_bool m_terminated{false};
    std::atomic_bool m_finishing{false};
    std::atomic_bool m_paused{false};
};

} // namespace threads
