#include "platform/DirectorySearch.h"

#include "platform/MountTable.h"
#include "platform/PathAt.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// The hook is swapped by a test thread while a walk may be calling it: calls take
// their own reference, so a hook being replaced finishes on its old function.
struct HookSlot
{
    std::atomic_bool set{false};
    std::mutex mutex;
    std::shared_ptr<const FolderOpenHook> hook;
};

HookSlot& hookSlot()
{
    static HookSlot* slot = new HookSlot; // never destroyed: a walk may outlive main
    return *slot;
}

bool hookAllows(int parentFd, std::string_view name)
{
    HookSlot& slot = hookSlot();
    if (!slot.set.load(std::memory_order_acquire))
        return true;
    std::shared_ptr<const FolderOpenHook> hook;
    {
        std::lock_guard lock(slot.mutex);
        hook = slot.hook;
    }
    return !hook || (*hook)(parentFd, name);
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

int openRetrying(int parentFd, const char* name, int flags)
{
    int fd;
    do {
        fd = ::openat(parentFd, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens the folder `name` below `parentFd` without following a link. Names come from
// a listing and never hold a NUL; the copy gives the kernel one.
int openFolder(int parentFd, std::string_view name)
{
    char buffer[NAME_MAX + 1];
    if (name.empty() || name.size() > NAME_MAX)
        return -1;
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    return openRetrying(parentFd, buffer, kFolderFlags | O_NOFOLLOW);
}

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

} // namespace

bool FolderOpenAllowed(int parentFd, std::string_view name)
{
    return hookAllows(parentFd, name);
}

void setFolderOpenHook(FolderOpenHook hook)
{
    HookSlot& slot = hookSlot();
    std::lock_guard lock(slot.mutex);
    slot.hook = hook ? std::make_shared<const FolderOpenHook>(std::move(hook)) : nullptr;
    slot.set.store(slot.hook != nullptr, std::memory_order_release);
}

bool DirectorySearch::open(int parentFd, std::string_view name, const MountTable* mounts,
                           const std::atomic_bool* stop, std::span<const FolderId> path)
{
    close();
    if (!hookAllows(parentFd, name))
        return false;
    return finishOpen(openFolder(parentFd, name), mounts, stop, path);
}

bool DirectorySearch::openPath(const std::string& path, const MountTable* mounts,
                               const std::atomic_bool* stop)
{
    close();
    if (path.empty())
        return false;
    const PathAt at(path);
    return finishOpen(openRetrying(at.dir(), at.name(), kFolderFlags), mounts, stop, {});
}

bool DirectorySearch::finishOpen(int fd, const MountTable* mounts, const std::atomic_bool* stop,
                                 std::span<const FolderId> path)
{
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_id = {st.st_dev, st.st_ino};
    if (mounts && mounts->isPseudoDevice(st.st_dev))
        return true; // listed by its parent, but nothing inside is on any disk
    // A loop comes back to a folder near it as a rule: look from the nearest one up.
    for (auto above = path.rbegin(); above != path.rend(); ++above)
        if (*above == m_id)
            return true;
    readEntries(stop);
    return true;
}

void DirectorySearch::readEntries(const std::atomic_bool* stop)
{
    thread_local std::unique_ptr<char[]> chunk(new char[64 * 1024]);
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            return;
        const long n = ::syscall(SYS_getdents64, m_fd, chunk.get(), 64 * 1024);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the end, or a folder removed while it is read
        for (long pos = 0; pos < n;) {
            const auto* d = reinterpret_cast<const LinuxDirent64*>(chunk.get() + pos);
            pos += d->d_reclen;
            const char* nm = d->d_name;
            if (nm[0] == '.' && (nm[1] == '\0' || (nm[1] == '.' && nm[2] == '\0')))
                continue;
            const std::size_t len = std::strlen(nm);
            Entry e{static_cast<std::uint32_t>(m_names.size()), static_cast<std::uint16_t>(len),
                    d->d_type == DT_DIR, 0};
            if (d->d_type != DT_DIR) {
                struct stat st;
                if (::fstatat(m_fd, nm, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue; // gone since the listing was read
                e.isDirectory = S_ISDIR(st.st_mode);
                if (!e.isDirectory)
                    e.size = st.st_size;
            }
            m_names.append(nm, len);
            m_entries.push_back(e);
        }
    }
}

void DirectorySearch::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_parked = false;
    m_id = {};
    m_entries.clear();
    m_names.clear();
}

void DirectorySearch::park()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    m_parked = true;
}

bool DirectorySearch::unpark(int dirFd, std::string_view name)
{
    if (!m_parked)
        return m_fd >= 0;
    const int fd = openFolder(dirFd, name);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || FolderId{st.st_dev, st.st_ino} != m_id) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_parked = false;
    return true;
}

} // namespace platform
