#pragma once
// The state one running operation shares among the parts of the engine: the host that
// answers questions, the progress counters, the cancel flag, the report being filled and
// the answers given "für alle". Lives on the engine's thread for one run.

#include "fileops/OperationHost.h"
#include "fileops/OperationProgress.h"
#include "fileops/OperationReport.h"

#include <atomic>
#include <optional>

namespace fileops {

class OperationContext
{
public:
    OperationContext(OperationHost& host, OperationProgress& progress,
                     const std::atomic_bool& cancel, OperationReport& report)
        : m_host(host), m_progress(progress), m_cancel(cancel), m_report(report)
    {
    }

    // True once the user cancelled (the flag or an "Abbrechen" answer): nothing more starts.
    bool stopped() const { return m_stopped || m_cancel.load(std::memory_order_relaxed); }
    void stop() { m_stopped = true; }

    // Asks (or takes the answer given for all); "Abbrechen" also stops the operation.
    ConflictAnswer::Choice askConflict(const ConflictQuestion& question);
    DeleteForGoodAnswer::Choice askDeleteForGood(const DeleteForGoodQuestion& question);

    void fail(const QByteArray& path, const QString& reason);
    void skip(const QByteArray& source) { m_report.skipped.append(source); }
    void done(const QByteArray& source, const QByteArray& result, std::int64_t size = -1)
    {
        m_report.done.append(source);
        m_report.results.append(result);
        m_report.sizes.append(size);
    }
    void countItem()
    {
        ++m_report.items;
        m_progress.addItem();
    }
    void countBytes(std::uint64_t n)
    {
        m_report.bytes += n;
        m_progress.addBytes(n);
    }
    OperationProgress& progress() { return m_progress; }
    OperationReport& report() { return m_report; }
    std::size_t failureCount() const { return std::size_t(m_report.failures.size()); }

private:
    OperationHost& m_host;
    OperationProgress& m_progress;
    const std::atomic_bool& m_cancel;
    OperationReport& m_report;
    bool m_stopped = false;
    std::optional<ConflictAnswer::Choice> m_conflictForAll;
    std::optional<DeleteForGoodAnswer::Choice> m_deleteForAll;
};

} // namespace fileops
