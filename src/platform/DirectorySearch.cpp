#include "platform/DirectorySearch.h"
#include "platform/DirectoryRecords.h"

#include "platform/EntryBudget.h"
#include "platform/MountTable.h"
#include "platform/PathAt.h"

#include <algorithm>
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

// One read of the kernel's listing takes at most this many bytes. A record takes at
// least 24 of them (a name of up to four bytes) and at most 280 (a name of NAME_MAX),
// so a read of grant * 24 bytes returns at most `grant` entries and always has room
// for one.
constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr std::size_t kSmallestRecord = 24;
constexpr std::size_t kFewestEntries = 280 / kSmallestRecord + 1;

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
                           const std::atomic_bool* stop, std::span<const FolderId> path,
                           EntryBudget* budget)
{
    close();
    if (!hookAllows(parentFd, name))
        return false;
    return finishOpen(openFolder(parentFd, name), mounts, stop, path, budget);
}

bool DirectorySearch::openPath(const std::string& path, const MountTable* mounts,
                               const std::atomic_bool* stop)
{
    close();
    if (path.empty())
        return false;
    const PathAt at(path);
    return finishOpen(openRetrying(at.dir(), at.name(), kFolderFlags), mounts, stop, {}, nullptr);
}

bool DirectorySearch::finishOpen(int fd, const MountTable* mounts, const std::atomic_bool* stop,
                                 std::span<const FolderId> path, EntryBudget* budget)
{
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_handle = std::make_shared<const FolderHandle>(fd);
    m_id = {st.st_dev, st.st_ino};
    if (!m_listing)
        m_listing = std::make_shared<Listing>();
    if (mounts && mounts->isPseudoDevice(st.st_dev))
        return true; // listed by its parent, but nothing inside is on any disk
    // A loop comes back to a folder near it as a rule: look from the nearest one up.
    for (auto above = path.rbegin(); above != path.rend(); ++above)
        if (*above == m_id)
            return true;
    readEntries(stop, budget);
    return true;
}

void DirectorySearch::readRest(const std::atomic_bool* stop)
{
    if (m_complete)
        return;
    m_complete = true;
    if (m_handle)
        readEntries(stop, nullptr);
}

void DirectorySearch::readEntries(const std::atomic_bool* stop, EntryBudget* budget)
{
    thread_local std::unique_ptr<char[]> chunk(new char[kChunkBytes]);
    const int fd = m_handle->fd();
    std::vector<Entry>& entries = m_listing->entries;
    std::string& names = m_listing->names;
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            return;
        std::size_t grant = kChunkBytes / kSmallestRecord;
        if (budget && (grant = budget->take(kFewestEntries, grant)) == 0) {
            m_complete = false;
            return;
        }
        const long n = ::syscall(SYS_getdents64, fd, chunk.get(), grant * kSmallestRecord);
        const std::size_t before = entries.size();
        ForEachDirectoryRecord(chunk.get(), n, [&](const LinuxDirent64& d) {
            if (stop && stop->load(std::memory_order_relaxed))
                return false;
            const char* nm = d.d_name;
            const std::size_t len = std::strlen(nm);
            Entry e{static_cast<std::uint32_t>(names.size()), static_cast<std::uint16_t>(len),
                    d.d_type == DT_DIR, 0};
            if (d.d_type != DT_DIR) {
                struct stat st;
                if (::fstatat(fd, nm, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    return true; // gone since the listing was read
                e.isDirectory = S_ISDIR(st.st_mode);
                if (!e.isDirectory)
                    e.size = st.st_size;
            }
            names.append(nm, len);
            entries.push_back(e);
            return true;
        });
        if (budget)
            budget->give(grant - (entries.size() - before));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the end, or a folder removed while it is read
    }
}

void DirectorySearch::share(const DirectorySearch& other, bool withHandle)
{
    close();
    m_listing = other.m_listing;
    m_id = other.m_id;
    m_complete = other.m_complete;
    if (withHandle)
        m_handle = other.m_handle;
}

void DirectorySearch::close()
{
    m_handle.reset();
    m_parked = false;
    m_complete = true;
    m_id = {};
    // A listing shared with no one keeps its buffers for the next folder.
    if (m_listing.use_count() == 1) {
        m_listing->entries.clear();
        m_listing->names.clear();
    } else {
        m_listing.reset();
    }
}

void DirectorySearch::park()
{
    if (!m_handle)
        return;
    m_handle.reset();
    m_parked = true;
}

bool DirectorySearch::unpark(int dirFd, std::string_view name)
{
    if (!m_parked)
        return m_handle != nullptr;
    const int fd = openFolder(dirFd, name);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || FolderId{st.st_dev, st.st_ino} != m_id) {
        ::close(fd);
        return false;
    }
    m_handle = std::make_shared<const FolderHandle>(fd);
    m_parked = false;
    return true;
}

} // namespace platform
