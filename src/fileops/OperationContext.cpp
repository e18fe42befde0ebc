#include "fileops/OperationContext.h"

namespace fileops {

ConflictAnswer::Choice OperationContext::askConflict(const ConflictQuestion& question)
{
    if (stopped())
        return ConflictAnswer::Cancel;
    ConflictAnswer::Choice choice;
    if (m_conflictForAll) {
        choice = *m_conflictForAll;
    } else {
        const ConflictAnswer answer = m_host.askConflict(question);
        choice = answer.choice;
        if (answer.forAll)
            m_conflictForAll = choice;
    }
    if (choice == ConflictAnswer::Cancel)
        stop();
    return stopped() ? ConflictAnswer::Cancel : choice;
}

DeleteForGoodAnswer::Choice
OperationContext::askDeleteForGood(const DeleteForGoodQuestion& question)
{
    if (stopped())
        return DeleteForGoodAnswer::Cancel;
    DeleteForGoodAnswer::Choice choice;
    if (m_deleteForAll) {
        choice = *m_deleteForAll;
    } else {
        const DeleteForGoodAnswer answer = m_host.askDeleteForGood(question);
        choice = answer.choice;
        if (answer.forAll)
            m_deleteForAll = choice;
    }
    if (choice == DeleteForGoodAnswer::Cancel)
        stop();
    return stopped() ? DeleteForGoodAnswer::Cancel : choice;
}

void OperationContext::fail(const QByteArray& path, const QString& reason)
{
    m_report.failures.append({path, reason});
}

} // namespace fileops
