#pragma once
// Runs a function on the thread of a QObject, handed over from another thread. Qt's
// event queue orders the two threads with locks of its own, built on raw futex calls;
// the hand-over adds a mutex of ours, held by the sender until the function is queued
// and taken by the receiver before it runs it, so that the order is one ThreadSanitizer
// can follow too. The sender keeps no part of the function once it is queued: all of
// it is run and destroyed by the receiver. Used by every worker that hands a result back.

#include <QMetaObject>
#include <QObject>
#include <mutex>
#include <type_traits>
#include <utility>

namespace platform {

// One for the process: the receiver takes it before it reads anything the sender made.
inline std::mutex& HandOverMutex()
{
    static std::mutex mutex;
    return mutex;
}

template <typename Function> void HandOver(QObject* receiver, Function&& function)
{
    // Queued, never run here, so the receiver cannot be waiting on this thread.
    const std::lock_guard<std::mutex> handing(HandOverMutex());
    QMetaObject::invokeMethod(
        receiver,
        [function = std::decay_t<Function>(std::forward<Function>(function))]() mutable {
            {
                const std::lock_guard<std::mutex> taken(HandOverMutex());
            }
            function();
        },
        Qt::QueuedConnection);
}

} // namespace platform
