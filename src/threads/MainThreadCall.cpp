#include "threads/MainThreadCall.h"

#include <QCoreApplication>
#include <QThread>

namespace threads {

namespace {

// Ends the wait when the posted call is destroyed, whether it ran or was dropped.
struct FinishOnDestroy
{
    explicit FinishOnDestroy(std::function<void()> finish) : finish(std::move(finish)) {}
    ~FinishOnDestroy() { finish(); }
    FinishOnDestroy(const FinishOnDestroy&) = delete;
    FinishOnDestroy& operator=(const FinishOnDestroy&) = delete;
    std::function<void()> finish;
};

} // namespace

bool TMainThreadCall::OnMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

TMainThreadCall::TMainThreadCall(QObject* context, std::function<void()> step)
    : m_state(std::make_shared<State>())
{
    if (QThread::currentThread() == context->thread()) {
        step();
        m_state->finished = m_state->ran = true;
        return;
    }
    std::shared_ptr<State> state = m_state;
    auto finisher = std::make_shared<FinishOnDestroy>([state] {
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->done.notify_all();
    });
    // Taken here and on the interface thread before the step runs: the lock orders what
    // the worker wrote before posting ahead of what the step reads.
    {
        std::lock_guard lock(state->mutex);
    }
    QMetaObject::invokeMethod(
        context,
        [state, finisher, step = std::move(step)] {
            {
                std::lock_guard lock(state->mutex);
            }
            step();
            std::lock_guard lock(state->mutex);
            state->ran = true;
            state->finished = true;
            state->done.notify_all();
        },
        Qt::QueuedConnection);
}

bool TMainThreadCall::Wait()
{
    std::unique_lock lock(m_state->mutex);
    m_state->done.wait(lock, [&] { return m_state->finished; });
    return m_state->ran;
}

} // namespace threads
