#include "threads/MainThreadCall.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <deque>
#include <sys/eventfd.h>
#include <unistd.h>

namespace threads {

namespace {

struct Call
{
    const void* owner;
    std::function<void()> step;
    std::shared_ptr<TMainThreadCall::State> state;
};

class CallQueue
{
public:
    static CallQueue& instance()
    {
        static CallQueue* queue = new CallQueue; // never destroyed: workers may outlive main
        return *queue;
    }

    // Interface thread.
    void prepare()
    {
        if (m_notifier || m_eventFd < 0 || !QCoreApplication::instance())
            return;
        m_notifier =
            new QSocketNotifier(m_eventFd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(m_notifier, &QSocketNotifier::activated, [this] { runAll(); });
        std::lock_guard lock(m_mutex);
        m_ready = true;
    }

    // False when the interface thread takes no calls.
    bool push(Call call)
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_ready)
                return false;
            m_calls.push_back(std::move(call));
        }
        const std::uint64_t one = 1;
        while (::write(m_eventFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        return true;
    }

    // Interface thread.
    void drop(const void* owner)
    {
        std::deque<Call> dropped;
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_calls.begin(); it != m_calls.end();) {
                if (it->owner == owner) {
                    dropped.push_back(std::move(*it));
                    it = m_calls.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (Call& call : dropped)
            call.state->finish(false);
    }

    // Interface thread.
    void runAll()
    {
        std::uint64_t count;
        while (::read(m_eventFd, &count, sizeof count) < 0 && errno == EINTR) {
        }
        // One at a time: a step may wait for a pool and so run further calls itself.
        for (;;) {
            Call call;
            {
                std::lock_guard lock(m_mutex);
                if (m_calls.empty())
                    return;
                call = std::move(m_calls.front());
                m_calls.pop_front();
            }
            call.step();
            call.state->finish(true);
        }
    }

private:
    CallQueue() : m_eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    const int m_eventFd;
    QPointer<QSocketNotifier> m_notifier; // interface thread only
    std::mutex m_mutex;
    bool m_ready = false;     // guarded by m_mutex
    std::deque<Call> m_calls; // guarded by m_mutex
};

} // namespace

void TMainThreadCall::State::finish(bool didRun)
{
    std::lock_guard lock(mutex);
    ran = didRun;
    finished = true;
    done.notify_all();
}

bool TMainThreadCall::OnMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void TMainThreadCall::Prepare()
{
    if (OnMainThread())
        CallQueue::instance().prepare();
}

void TMainThreadCall::RunPending()
{
    if (OnMainThread())
        CallQueue::instance().runAll();
}

void TMainThreadCall::DropCalls(const void* owner)
{
    CallQueue::instance().drop(owner);
}

TMainThreadCall::TMainThreadCall(const void* owner, std::function<void()> step)
    : m_state(std::make_shared<State>())
{
    if (OnMainThread()) {
        step();
        m_state->finish(true);
    } else if (!CallQueue::instance().push({owner, std::move(step), m_state})) {
        m_state->finish(false);
    }
}

bool TMainThreadCall::Wait()
{
    std::unique_lock lock(m_state->mutex);
    m_state->done.wait(lock, [&] { return m_state->finished; });
    return m_state->ran;
}

} // namespace threads
