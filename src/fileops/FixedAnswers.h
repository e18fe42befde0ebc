#pragma once
// A host that answers every question the same way, without asking anyone: the
// benchmark's --on-conflict policy, and the tests. It counts the questions it was asked.

#include "fileops/OperationHost.h"

#include <atomic>

namespace fileops {

class FixedAnswers : public OperationHost
{
public:
    FixedAnswers(ConflictAnswer::Choice conflict, DeleteForGoodAnswer::Choice deleteForGood)
        : m_conflict(conflict), m_deleteForGood(deleteForGood)
    {
    }

    ConflictAnswer askConflict(const ConflictQuestion&) override
    {
        m_conflicts.fetch_add(1, std::memory_order_relaxed);
        return {m_conflict, false};
    }
    DeleteForGoodAnswer askDeleteForGood(const DeleteForGoodQuestion&) override
    {
        m_deleteQuestions.fetch_add(1, std::memory_order_relaxed);
        return {m_deleteForGood, false};
    }

    int conflictsAsked() const { return m_conflicts.load(std::memory_order_relaxed); }
    int deleteQuestionsAsked() const { return m_deleteQuestions.load(std::memory_order_relaxed); }

private:
    ConflictAnswer::Choice m_conflict;
    DeleteForGoodAnswer::Choice m_deleteForGood;
    std::atomic_int m_conflicts{0};
    std::atomic_int m_deleteQuestions{0};
};

} // namespace fileops
