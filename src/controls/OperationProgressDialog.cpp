#include "controls/OperationProgressDialog.h"

#include "fileops/OperationJob.h"

#include <QFile>
#include <limits>
#include <utility>

TOperationProgressDialog::TOperationProgressDialog(fileops::OperationJob& job, QWidget* parent)
    : QProgressDialog(parent), m_job(job)
{
    setWindowTitle(fileops::OperationTitle(job.operation().kind));
    setCancelButtonText(QStringLiteral("Abbrechen"));
    setLabelText(QStringLiteral("Vorbereiten …"));
    setRange(0, 1000);
    setValue(0);
    setAutoClose(false);
    setAutoReset(false);
    // QProgressDialog shows itself on its own clock; ours decides instead.
    setMinimumDuration(std::numeric_limits<int>::max());
    setWindowModality(Qt::WindowModal);
    connect(this, &QProgressDialog::canceled, this, [this] {
        m_job.cancel();
        setLabelText(QStringLiteral("Wird abgebrochen …"));
    });
    connect(&m_job, &fileops::OperationJob::finished, this, [this] {
        m_refresh.stop();
        m_showLater.stop();
        hide();
    });
    m_showLater.setSingleShot(true);
    connect(&m_showLater, &QTimer::timeout, this, [this] {
        if (!m_job.isFinished()) {
            refresh();
            show();
        }
    });
    connect(&m_job, &fileops::OperationJob::asking, this, &TOperationProgressDialog::makeWay);
    connect(&m_refresh, &QTimer::timeout, this, &TOperationProgressDialog::refresh);
    m_refresh.start(100);
    m_showLater.start(kShowAfterMs);
    if (m_job.isAsking())
        makeWay(true);
}

void TOperationProgressDialog::makeWay(bool question)
{
    if (question) {
        // Both windows are modal: shown over the question, this one would block it.
        if (m_showLater.isActive()) {
            m_showLeftMs = m_showLater.remainingTime();
            m_showLater.stop();
        }
        m_shownBefore = m_shownBefore || isVisible();
        hide();
        return;
    }
    if (m_job.isFinished())
        return;
    if (m_shownBefore) {
        m_shownBefore = false;
        refresh();
        show();
    } else if (m_showLeftMs >= 0) {
        m_showLater.start(std::exchange(m_showLeftMs, -1));
    }
}

void TOperationProgressDialog::refresh()
{
    if (wasCanceled())
        return;
    const fileops::OperationProgress::Snapshot s = m_job.progress();
    if (s.bytesTotal > 0)
        setValue(int(std::min<std::uint64_t>(1000, s.bytesDone * 1000 / s.bytesTotal)));
    else if (s.itemsTotal > 0)
        setValue(int(std::min<std::uint64_t>(1000, s.itemsDone * 1000 / s.itemsTotal)));
    if (!s.current.isEmpty())
        setLabelText(QFile::decodeName(s.current));
}
