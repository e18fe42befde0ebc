#pragma once
// A call handed from a worker to the interface thread, which the worker then waits
// for: the interface thread runs it from its event loop, also while it is itself
// waiting for a pool, since every such wait keeps events flowing. The hand-over is a
// queue behind our own lock, woken through an eventfd, so that no worker posts into
// Qt's event lists. A pool that goes away drops the calls it still owes.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace threads {

class TMainThreadCall
{
public:
    // Queues `step` for the interface thread; on that thread, runs it at once. `owner`
    // names whoever may drop it before it ran.
    TMainThreadCall(const void* owner, std::function<void()> step);
    TMainThreadCall(const TMainThreadCall&) = delete;
    TMainThreadCall& operator=(const TMainThreadCall&) = delete;

    // Waits until the step ran or was dropped; true when it ran.
    bool Wait();

    // Whether the caller runs on the interface thread.
    static bool OnMainThread();
    // Interface thread: makes the interface thread take calls. Every pool does it as it
    // is made; calls queued without it are dropped.
    static void Prepare();
    // Interface thread: runs the calls queued so far, for waits that cannot rely on the
    // event loop delivering the wake-up again while one of its handlers runs.
    static void RunPending();
    // Interface thread: drops the calls of `owner` that have not run; their waits end.
    static void DropCalls(const void* owner);

    struct State
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool ran = false;
        void finish(bool didRun);
    };

private:
    std::shared_ptr<State> m_state;
};

} // namespace threads
