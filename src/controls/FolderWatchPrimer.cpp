#include "controls/FolderWatchPrimer.h"

#include <mutex>
#include <sys/inotify.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// An event on the folder's entries, so that they are marked, and a rare one: nobody reads
// this watch's events, which are dropped whenever it moves on.
constexpr uint32_t kMask = IN_ATTRIB | IN_ONLYDIR | IN_EXCL_UNLINK;

} // namespace

struct TFolderWatchPrimer::State
{
    std::mutex mutex;
    QByteArray wanted;    // the folder to watch
    QByteArray watched;   // the folder watched
    bool running = false; // a thread works on it
    int fd = -1;
    int wd = -1;
    ~State()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

TFolderWatchPrimer::TFolderWatchPrimer() : m_state(std::make_shared<State>())
{
    m_state->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

TFolderWatchPrimer::~TFolderWatchPrimer()
{
    // A running thread ends with the folder it watches now; the descriptor closes with
    // the last owner.
    const std::lock_guard lock(m_state->mutex);
    m_state->wanted.clear();
}

void TFolderWatchPrimer::watch(const QByteArray& path)
{
    const std::lock_guard lock(m_state->mutex);
    if (m_state->fd < 0)
        return;
    m_state->wanted = path;
    if (m_state->running || m_state->wanted == m_state->watched)
        return;
    try {
        std::thread([state = m_state] { run(state); }).detach();
        m_state->running = true;
    } catch (const std::system_error&) {
        // Without a thread the notifier marks the entries itself.
    }
}

void TFolderWatchPrimer::run(const std::shared_ptr<State>& state)
{
    std::unique_lock lock(state->mutex);
    while (state->wanted != state->watched) {
        const QByteArray path = state->wanted;
        const int fd = state->fd;
        const int old = std::exchange(state->wd, -1);
        state->watched = path;
        lock.unlock();
        // The events of the folder before are of no use.
        alignas(inotify_event) char buffer[4096];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        if (old >= 0)
            ::inotify_rm_watch(fd, old);
        const int wd = path.isEmpty() ? -1 : ::inotify_add_watch(fd, path.constData(), kMask);
        lock.lock();
        state->wd = wd;
    }
    state->running = false;
}
