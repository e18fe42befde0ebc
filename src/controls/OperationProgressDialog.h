#pragma once
// The progress of a running file operation: a dialog that appears only when the
// operation is still running after half a second, shows the object in hand and how much
// is done, and cancels the operation with its "Abbrechen" button. It watches one
// OperationJob, reading its counters on a timer, and closes when the job finishes. The
// starter of the job owns it (usually as a child of its window).

#include <QProgressDialog>
#include <QTimer>

namespace fileops {
class OperationJob;
}

class TOperationProgressDialog : public QProgressDialog
{
    Q_OBJECT

public:
    static constexpr int kShowAfterMs = 500;

    TOperationProgressDialog(fileops::OperationJob& job, QWidget* parent = nullptr);

private:
    void refresh();

    fileops::OperationJob& m_job;
    QTimer m_refresh;
    QTimer m_showLater;
};
