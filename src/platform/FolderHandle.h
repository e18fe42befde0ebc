#pragma once
// An open folder descriptor with shared ownership. A listing and the reads of its
// subfolders that run on other threads hold the same handle, and the descriptor is
// closed when the last of them lets go, on whichever thread that is.

#include <memory>
#include <unistd.h>

namespace platform {

class FolderHandle
{
public:
    explicit FolderHandle(int fd) : m_fd(fd) {}
    ~FolderHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    int fd() const { return m_fd; }

private:
    const int m_fd;
};

using SharedFolderHandle = std::shared_ptr<const FolderHandle>;

} // namespace platform
