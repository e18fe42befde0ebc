#include "app/TreeChangeQueue.h"

void TTreeChangeQueue::append(Kind kind, bool flag, std::int32_t entry, std::int32_t parent,
                              std::string_view name)
{
    std::lock_guard lock(m_mutex);
    m_pending.changes.push_back({kind, flag, entry, parent, std::uint32_t(m_pending.names.size()),
                                 std::uint32_t(name.size())});
    m_pending.names.append(name);
}

void TTreeChangeQueue::Started(std::string_view scanPath)
{
    append(Kind::Started, false, 1, 0, scanPath);
}

void TTreeChangeQueue::FolderAdded(std::int32_t parent, std::int32_t entry, std::string_view name,
                                   bool topLevel)
{
    append(Kind::FolderAdded, topLevel, entry, parent, name);
}

void TTreeChangeQueue::FolderCompleted(std::int32_t entry)
{
    append(Kind::FolderCompleted, false, entry, 0, {});
}

void TTreeChangeQueue::Finished(bool cancelled)
{
    append(Kind::Finished, cancelled, 0, 0, {});
}

void TTreeChangeQueue::TakeAll(Batch& into)
{
    into.clear();
    std::lock_guard lock(m_mutex);
    std::swap(into, m_pending);
}
