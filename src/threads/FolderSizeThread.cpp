#include "threads/FolderSizeThread.h"

#include "platform/DirectorySearch.h"
#include "platform/MountTable.h"

#include <climits>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace threads {

namespace {

// Below this level the walk gives back the handles of the levels above it, so that a
// deep chain holds a bounded number of them.
constexpr std::size_t kLevelsKeptOpen = 64;

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Opens the folder that holds the last component of the absolute `path` and names that
// component; a path longer than PATH_MAX is opened one component at a time. An empty
// name stands for the root itself.
Fd openParent(QByteArray path, QByteArray& name)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    name.clear();
    if (!path.startsWith('/') || path.contains('\0') || path == "/")
        return Fd();
    const qsizetype cut = path.lastIndexOf('/');
    name = path.mid(cut + 1);
    const QByteArray parent = cut == 0 ? QByteArray("/") : path.left(cut);
    if (parent.size() < PATH_MAX)
        return Fd(::open(parent.constData(), kFolderFlags));
    Fd fd(::open("/", kFolderFlags));
    for (const QByteArray& part : parent.split('/')) {
        if (part.isEmpty() || fd.get() < 0)
            continue;
        fd = Fd(::openat(fd.get(), part.constData(), kFolderFlags));
    }
    return fd;
}

} // namespace

TFolderSizeThread::TFolderSizeThread(const QByteArray& path, bool recursive)
    : m_path(path.constData(), path.size()), m_recursive(recursive)
{
    // Bytes of its own, shared with no one: the worker appends to them, and Qt counts
    // shared data partly inside its library, where ThreadSanitizer cannot see the count.
}

void TFolderSizeThread::Execute()
{
    QByteArray name;
    const Fd parent = openParent(m_path, name);
    struct stat st;
    if (name.isEmpty()) {
        // The root, or a relative path: only the root is measured.
        if (m_path.isEmpty() || m_path.count('/') != m_path.size() || ::lstat("/", &st) != 0)
            return;
    } else if (parent.get() < 0 ||
               ::fstatat(parent.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        m_bytes += std::uint64_t(st.st_size);
        m_files += 1;
        return;
    }
    if (!m_path.endsWith('/'))
        m_path += '/';
    m_folders += 1;
    if (m_recursive)
        Walk(parent.get(), name);
}

void TFolderSizeThread::Walk(int parentFd, const QByteArray& name)
{
    struct Level
    {
        platform::DirectorySearch search;
        std::size_t next = 0;
    };
    const platform::MountTable mounts = platform::MountTable::read();
    const std::atomic_bool* stop = &CancelledFlag();
    // Levels are kept for reuse, so that their listings keep their buffers.
    std::vector<std::unique_ptr<Level>> levels;
    levels.push_back(std::make_unique<Level>());
    const bool opened =
        name.isEmpty()
            ? levels[0]->search.openPath("/", &mounts, stop)
            : levels[0]->search.open(
                  parentFd, std::string_view(name.constData(), size_t(name.size())), &mounts, stop);
    if (!opened)
        return;

    std::size_t depth = 0;
    for (;;) {
        Level& level = *levels[depth];
        if (level.next == level.search.count()) {
            if (depth == 0)
                break;
            Level& up = *levels[depth - 1];
            // A parked folder comes back through the child's ".."; one that moved
            // meanwhile keeps what was counted, and its other subfolders count as empty.
            if (up.search.isParked() && !up.search.unpark(level.search.fd(), ".."))
                up.search.abandon();
            level.search.close();
            --depth;
            continue;
        }
        if (CheckCancelled())
            break;
        const std::size_t i = level.next++;
        const platform::DirectorySearch::Entry& entry = level.search.entry(i);
        if (!entry.isDirectory) {
            m_bytes += std::uint64_t(entry.size);
            m_files += 1;
            continue;
        }
        m_folders += 1;
        if (depth + 1 == levels.size())
            levels.push_back(std::make_unique<Level>());
        Level& child = *levels[depth + 1];
        child.next = 0;
        // A folder that cannot be listed counts as itself and nothing more.
        if (!child.search.open(level.search.fd(), level.search.name(i), &mounts, stop))
            continue;
        if (depth + 1 > kLevelsKeptOpen)
            level.search.park();
        ++depth;
    }
}

} // namespace threads
