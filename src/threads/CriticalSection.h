#pragma once
// A lock that the thread holding it may take again: a pool starts a worker while it
// holds its thread-list lock, and adding the worker takes that lock once more. Also
// usable with std::lock_guard. Each pool owns one.

#include <mutex>

namespace threads {

class TCriticalSection
{
public:
    void Enter() { m_mutex.lock(); }
    void Leave() { m_mutex.unlock(); }

    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex m_mutex;
};

} // namespace threads
