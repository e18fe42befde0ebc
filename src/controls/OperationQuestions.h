#pragma once
// The questions of a running file operation as German message boxes: the conflict
// question ("Ersetzen", "Überspringen", "Abbrechen", with "Für alle") and the question
// whether an object that cannot go to the trash is to be deleted for good. An
// OperationJob calls it on the interface thread; the window that starts operations owns
// one and passes it to each job.

#include "fileops/OperationHost.h"

#include <QPointer>
#include <QWidget>

class QMessageBox;

class TOperationQuestions : public fileops::OperationHost
{
public:
    explicit TOperationQuestions(QWidget* parent = nullptr) : m_parent(parent) {}

    fileops::ConflictAnswer askConflict(const fileops::ConflictQuestion& question) override;
    fileops::DeleteForGoodAnswer
    askDeleteForGood(const fileops::DeleteForGoodQuestion& question) override;

    // The texts of the boxes, for the list's own wording and the tests.
    static QString conflictText(const fileops::ConflictQuestion& question);
    static QString deleteForGoodText(const fileops::DeleteForGoodQuestion& question);

private:
    QPointer<QWidget> m_parent;
};
