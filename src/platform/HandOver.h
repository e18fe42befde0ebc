#pragma once
// Runs a function on the thread of a QObject, handed over from another thread. Qt's
// event queue orders the two threads with locks of its own, built on raw futex calls;
// the hand-over adds a mutex of ours, taken by the sender after everything it did for
// the function and by the receiver before it touches it, so that the order is one that
// ThreadSanitizer can follow too. Used by every worker that hands a result back.

#include <QMetaObject>
#include <QObject>
#include <memory>
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
    struct Parcel
    {
        explicit Parcel(Function&& f) : function(std::forward<Function>(f)) {}
        std::decay_t<Function> function;
    };
    auto parcel = std::make_shared<Parcel>(std::forward<Function>(function));
    HandOverMutex().lock(); // what came before is done before the receiver looks
    HandOverMutex().unlock();
    QMetaObject::invokeMethod(
        receiver,
        [parcel] {
            {
                const std::lock_guard<std::mutex> taken(HandOverMutex());
            }
            parcel->function();
        },
        Qt::QueuedConnection);
}

} // namespace platform
