#pragma once
// A test seam over the scan: holds the walk as it opens a chosen folder.

#include "platform/DirectorySearch.h"

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace testtrees {

// Holds the opening of one folder until the test lets it go on; the walk stops when
// it needs that folder. A folder read ahead may be held before the walk is there
// (waitForNode tells when it is). The state is shared with the hook, which may still
// be returning when the gate is gone.
class Gate
{
    struct State
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool reached = false;
        bool open = false;
    };

public:
    explicit Gate(const QByteArray& name)
        : Gate([name](std::string_view n) {
              return QByteArray(n.data(), qsizetype(n.size())) == name;
          })
    {
    }
    // Holds at the first folder for which `holdAt` is true; it runs on the thread that
    // opens the folder.
    explicit Gate(std::function<bool(std::string_view name)> holdAt)
        : m_state(std::make_shared<State>())
    {
        platform::setFolderOpenHook(
            [state = m_state, holdAt = std::move(holdAt)](int, std::string_view n) {
                if (!holdAt(n))
                    return true;
                std::unique_lock lock(state->mutex);
                state->reached = true;
                state->changed.notify_all();
                state->changed.wait(lock, [&] { return state->open; });
                return true;
            });
    }
    ~Gate()
    {
        open();
        platform::setFolderOpenHook({});
    }
    // Whether the walk is held at the gate; does not wait, so that a waiting interface
    // thread can keep its events flowing.
    bool reached() const
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->reached;
    }
    bool waitReached()
    {
        std::unique_lock lock(m_state->mutex);
        return m_state->changed.wait_for(lock, std::chrono::seconds(60),
                                         [&] { return m_state->reached; });
    }
    void open()
    {
        std::lock_guard lock(m_state->mutex);
        m_state->open = true;
        m_state->changed.notify_all();
    }

private:
    std::shared_ptr<State> m_state;
};

} // namespace testtrees
