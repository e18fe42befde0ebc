#pragma once
// A value that a test puts in place of what the system would answer (a file to read, a
// function that answers), set and read from any thread. While none is set, a reader
// pays one atomic load. Each seam is one static object that is never destroyed, since a
// worker may still read it while the program ends.

#include <atomic>
#include <memory>
#include <mutex>

namespace platform {

template <typename T> class TestSeam
{
public:
    // Null takes the test's value away again.
    void set(std::shared_ptr<const T> value)
    {
        std::lock_guard lock(m_mutex);
        m_value = std::move(value);
        m_set.store(m_value != nullptr, std::memory_order_release);
    }
    // The test's value; null while none is set.
    std::shared_ptr<const T> get() const
    {
        if (!m_set.load(std::memory_order_acquire))
            return nullptr;
        std::lock_guard lock(m_mutex);
        return m_value;
    }

private:
    std::atomic_bool m_set{false};
    mutable std::mutex m_mutex;
    std::shared_ptr<const T> m_value;
};

} // namespace platform
