#pragma once
// The waiting items of a worker pool, oldest first, behind their own lock. No
// priorities and no duplicate check: an item queued twice runs twice. Owned by its pool.

#include "threads/WorkItem.h"

#include <deque>
#include <mutex>

namespace threads {

class TWorkItemsQueue
{
public:
    void Append(IWorkItemRef item);
    // The oldest item, taken out of the queue; none when it is empty.
    IWorkItemRef Pop();
    // Removes the items of `owner` (all items for none); returns how many went.
    int Remove(const void* owner);
    int Count() const;

    // Runs `use` with the items under the queue's lock, for steps that must happen
    // together with a change of the queue.
    template <typename Use> decltype(auto) Locked(Use&& use)
    {
        std::lock_guard lock(m_mutex);
        return use(m_items);
    }

private:
    mutable std::mutex m_mutex;
    std::deque<IWorkItemRef> m_items;
};

} // namespace threads
