#include "threads/WorkItemsQueue.h"

#include <algorithm>

namespace threads {

void TWorkItemsQueue::Append(IWorkItemRef item)
{
    std::lock_guard lock(m_mutex);
    m_items.push_back(std::move(item));
}

IWorkItemRef TWorkItemsQueue::Pop()
{
    std::lock_guard lock(m_mutex);
    if (m_items.empty())
        return {};
    IWorkItemRef item = std::move(m_items.front());
    m_items.pop_front();
    return item;
}

int TWorkItemsQueue::Remove(const void* owner)
{
    std::deque<IWorkItemRef> removed; // released after the lock
    std::lock_guard lock(m_mutex);
    const auto keep =
        std::stable_partition(m_items.begin(), m_items.end(), [owner](const auto& item) {
            return owner && item->GetOwner() != owner;
        });
    removed.assign(std::make_move_iterator(keep), std::make_move_iterator(m_items.end()));
    m_items.erase(keep, m_items.end());
    return int(removed.size());
}

int TWorkItemsQueue::Count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_items.size());
}

} // namespace threads
