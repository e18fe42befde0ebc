#include "threads/BasicWorkItem.h"

#include <thread>

namespace threads {

bool TBasicWorkItem::CheckCancelled()
{
    while (Paused() && !Cancelled())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Cancelled();
}

std::function<void()> TBasicWorkItem::GetCompletion()
{
    if (!m_completion)
        return {};
    // The worker holds the item while its completion runs, so `this` stays valid; the
    // receiver is looked at on the interface thread, where it lives and dies.
    return [this] {
        if (m_hasReceiver && !m_receiver)
            return;
        m_completion();
    };
}

void TBasicWorkItem::SetOnDone(QObject* receiver, DoneHandler handler)
{
    m_onDone = std::move(handler);
    if (m_onDone)
        SetCompletion(receiver, [this] { m_onDone(*this); });
    else
        SetCompletion(nullptr, {});
}

void TBasicWorkItem::SetCompletion(QObject* receiver, std::function<void()> step)
{
    m_completion = std::move(step);
    m_receiver = receiver;
    m_hasReceiver = receiver != nullptr;
}

} // namespace threads
