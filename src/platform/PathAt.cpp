#include "platform/PathAt.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

// Pieces stay far below PATH_MAX, so that no single lookup is refused for its length.
constexpr std::size_t kPieceBytes = PATH_MAX / 2;

} // namespace

int PathAt::openFolderPart(std::string_view folder)
{
    int fd;
    if (folder.empty())
        folder = ".";
    std::size_t pos = 0;
    if (folder.front() == '/') {
        fd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        pos = 1;
    } else {
        fd = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    while (fd >= 0) {
        while (pos < folder.size() && folder[pos] == '/')
            ++pos;
        if (pos >= folder.size())
            break;
        // The longest run of whole components that fits into one piece; a name is at
        // most NAME_MAX bytes, so one always fits.
        std::size_t end = folder.find('/', pos);
        if (end == std::string_view::npos)
            end = folder.size();
        while (end < folder.size()) {
            std::size_t next = folder.find('/', end + 1);
            if (next == std::string_view::npos)
                next = folder.size();
            if (next - pos > kPieceBytes)
                break;
            end = next;
        }
        const std::string piece(folder.substr(pos, end - pos));
        pos = end;
        const int next = ::openat(fd, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        ::close(fd);
        errno = error;
        fd = next;
    }
    return fd;
}

PathAt::PathAt(std::string_view path) : m_dir(AT_FDCWD)
{
    if (path.size() < PATH_MAX) {
        m_name.assign(path);
        return;
    }
    std::string_view trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.remove_suffix(1);
    const std::size_t slash = trimmed.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : trimmed.substr(0, slash + 1);
    m_name.assign(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
    m_dir = openFolderPart(folder);
    if (m_dir < 0) {
        m_ok = false;
        m_dir = AT_FDCWD;
        const int error = errno;
        m_name = std::string(); // a call on an empty name fails with ENOENT
        errno = error;
        return;
    }
    m_owned = true;
}

PathAt::~PathAt()
{
    if (m_owned)
        ::close(m_dir);
}

} // namespace platform
