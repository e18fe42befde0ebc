#pragma once
// A background job as the pools see it: its work runs on a worker, its completion
// afterwards on the interface thread while the worker waits. Items are shared: the
// queue, the worker running the item and whoever made it each hold a reference.

#include <functional>
#include <memory>

namespace threads {

class IWorkItem
{
public:
    virtual ~IWorkItem() = default;
    // The step for the interface thread after Execute; empty for none. It runs also
    // when the item was cancelled meanwhile, so it looks at the item's state first.
    virtual std::function<void()> GetCompletion() = 0;
    // Whoever queued the item; compared only, never used.
    virtual const void* GetOwner() const = 0;
    virtual void Execute() = 0;
    virtual void Cancel() = 0;
    virtual void SetPaused(bool paused) = 0;
};

using IWorkItemRef = std::shared_ptr<IWorkItem>;

} // namespace threads
