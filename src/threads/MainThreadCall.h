#pragma once
// A call handed from a worker to the interface thread, which the worker then waits
// for: the interface thread runs it from its event loop, also while it is itself
// waiting for the pool, since every such wait keeps events flowing. When the context
// object goes away before the call ran, the call is dropped and the wait ends too.

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace threads {

class TMainThreadCall
{
public:
    // Posts `step` to the thread of `context`; the caller must know that the context is
    // alive while this runs. On that thread itself, the step runs at once.
    TMainThreadCall(QObject* context, std::function<void()> step);
    TMainThreadCall(const TMainThreadCall&) = delete;
    TMainThreadCall& operator=(const TMainThreadCall&) = delete;

    // Waits until the step ran or was dropped; true when it ran.
    bool Wait();

    // Whether the caller runs on the interface thread.
    static bool OnMainThread();

private:
    struct State
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool ran = false;
    };
    std::shared_ptr<State> m_state;
};

} // namespace threads
