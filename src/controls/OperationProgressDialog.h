#pragma once
// The progress of a running file operation: a dialog that appears only when the
// operation is still running after half a second, shows the object in hand and how much
// is done, and cancels the operation with its "Abbrechen" button. It watches one
// OperationJob, reading its counters on a timer, and closes when the job finishes. While
// the job asks a question the dialog stays out of the way: hidden, its half second
// paused, so that the question is the one modal window to answer. The starter of the
// job owns it (usually as a child of its window).

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
    void makeWay(bool question);

    fileops::OperationJob& m_job;
    QTimer m_refresh;
    QTimer m_showLater;
    int m_showLeftMs = -1; // of the half second, while a question holds it
    bool m_shownBefore = false;
};
