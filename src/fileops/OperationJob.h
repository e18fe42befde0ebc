#pragma once
// One operation running on a worker thread of its own. Created and owned on the interface
// thread by whoever starts the operation (the list's commands, a dialog, a test); the
// host it is given answers the questions there: the worker waits while the job hands
// each question to the interface thread as a queued call, so the interface keeps
// running (and a modal dialog may ask). The report arrives through `finished`.
// Destroying a running job cancels it, answers a pending question with "Abbrechen" and
// waits for the worker to stop at the next object.

#include "fileops/Operation.h"
#include "fileops/OperationHost.h"
#include "fileops/OperationProgress.h"
#include "fileops/OperationReport.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace fileops {

class OperationJob : public QObject
{
    Q_OBJECT

public:
    // `host` may be null: conflicts are then skipped and nothing is deleted for good.
    OperationJob(Operation operation, OperationHost* host, QObject* parent = nullptr);
    ~OperationJob() override;

    const Operation& operation() const { return m_operation; }
    void start();
    // Stops at the next object; the partial file of the object in hand is removed.
    void cancel();
    bool isRunning() const { return m_running.load(std::memory_order_acquire); }
    bool isFinished() const { return m_finished; }
    OperationProgress::Snapshot progress() const { return m_progress.snapshot(); }
    // The report; complete once `finished` was emitted.
    const OperationReport& report() const { return m_report; }
    // Runs the interface thread's events until the job has finished; the report.
    const OperationReport& waitForFinished();
    // The job waits for its host's answer to a question.
    bool isAsking() const { return m_asking; }

signals:
    void finished(const fileops::OperationReport& report);
    // A question of the job opens (true) or has been answered (false), on the interface
    // thread: whatever shows the job's progress makes way for it meanwhile.
    void asking(bool open);

private:
    class Relay;
    void deliver(OperationReport report);
    void setAsking(bool open);

    Operation m_operation;
    OperationHost* m_host;
    std::unique_ptr<Relay> m_relay;
    OperationProgress m_progress;
    std::atomic_bool m_cancel{false};
    std::atomic_bool m_running{false};
    bool m_finished = false;
    bool m_asking = false;
    OperationReport m_report;
    std::thread m_thread;
};

} // namespace fileops
