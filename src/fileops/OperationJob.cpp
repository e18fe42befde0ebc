#include "fileops/OperationJob.h"
#include "platform/HandOver.h"

#include "fileops/OperationEngine.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>

namespace fileops {

// The engine's host on the worker thread: hands each question to the interface thread
// and waits for the answer there, or for the job to be torn down. What both threads
// touch lives in a shared state, so that a dialog still open when the job goes writes
// its answer into memory that is still there.
class OperationJob::Relay : public OperationHost
{
public:
    Relay(OperationJob& job) : m_job(job), m_state(std::make_shared<State>()) {}

    ConflictAnswer askConflict(const ConflictQuestion& question) override
    {
        OperationHost* host = m_job.m_host;
        ask([host, question](State& state) {
            state.conflict =
                host ? host->askConflict(question) : ConflictAnswer{ConflictAnswer::Skip, true};
        });
        std::lock_guard lock(m_state->mutex);
        return m_state->answered && !m_state->aborted
                   ? m_state->conflict
                   : ConflictAnswer{ConflictAnswer::Cancel, false};
    }

    DeleteForGoodAnswer askDeleteForGood(const DeleteForGoodQuestion& question) override
    {
        OperationHost* host = m_job.m_host;
        ask([host, question](State& state) {
            state.deleteForGood = host ? host->askDeleteForGood(question)
                                       : DeleteForGoodAnswer{DeleteForGoodAnswer::Skip, true};
        });
        std::lock_guard lock(m_state->mutex);
        return m_state->answered && !m_state->aborted
                   ? m_state->deleteForGood
                   : DeleteForGoodAnswer{DeleteForGoodAnswer::Cancel, false};
    }

    // No question waits any more: the job is going.
    void abort()
    {
        std::lock_guard lock(m_state->mutex);
        m_state->aborted = true;
        m_state->wake.notify_all();
    }

private:
    struct State
    {
        std::mutex mutex;
        std::condition_variable wake;
        bool answered = false;
        bool aborted = false;
        ConflictAnswer conflict;
        DeleteForGoodAnswer deleteForGood;
    };

    // Runs `askHost` on the interface thread and waits until it has run. The host is
    // asked without the lock held; the answer is stored under it.
    void ask(std::function<void(State&)> askHost)
    {
        std::unique_lock lock(m_state->mutex);
        if (m_state->aborted)
            return;
        m_state->answered = false;
        // Run only while the job is there (its thread's queue drops it otherwise).
        platform::HandOver(&m_job, [owner = &m_job, state = m_state, askHost = std::move(askHost)] {
            {
                std::lock_guard check(state->mutex);
                if (state->aborted)
                    return;
            }
            const QPointer<OperationJob> job(owner); // made here, on the job's own thread
            job->setAsking(true);
            State answer;
            askHost(answer);
            if (job) // the question's own event loop may have seen the job go
                job->setAsking(false);
            std::lock_guard done(state->mutex);
            state->conflict = answer.conflict;
            state->deleteForGood = answer.deleteForGood;
            state->answered = true;
            state->wake.notify_all();
        });
        m_state->wake.wait(lock, [this] { return m_state->answered || m_state->aborted; });
    }

    OperationJob& m_job;
    std::shared_ptr<State> m_state;
};

OperationJob::OperationJob(Operation operation, OperationHost* host, QObject* parent)
    : QObject(parent), m_operation(std::move(operation)), m_host(host),
      m_relay(std::make_unique<Relay>(*this))
{
}

OperationJob::~OperationJob()
{
    m_cancel.store(true, std::memory_order_relaxed);
    m_relay->abort();
    if (m_thread.joinable())
        m_thread.join();
}

void OperationJob::start()
{
    if (m_thread.joinable() || m_finished)
        return;
    m_running.store(true, std::memory_order_release);
    m_thread = std::thread([this] {
        OperationReport report = OperationEngine::run(m_operation, *m_relay, m_progress, m_cancel);
        platform::HandOver(
            this, [this, report = std::move(report)]() mutable { deliver(std::move(report)); });
        m_running.store(false, std::memory_order_release);
    });
}

void OperationJob::setAsking(bool open)
{
    m_asking = open;
    emit asking(open);
}

void OperationJob::cancel()
{
    m_cancel.store(true, std::memory_order_relaxed);
}

void OperationJob::deliver(OperationReport report)
{
    if (m_thread.joinable())
        m_thread.join(); // it has nothing left to do but return
    m_report = std::move(report);
    m_finished = true;
    emit finished(m_report);
}

const OperationReport& OperationJob::waitForFinished()
{
    if (!m_finished) {
        QEventLoop loop;
        connect(this, &OperationJob::finished, &loop, &QEventLoop::quit);
        if (!m_finished)
            loop.exec();
    }
    return m_report;
}

} // namespace fileops
