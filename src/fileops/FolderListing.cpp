#include "fileops/FolderListing.h"

#include "fileops/NameRules.h"
#include "platform/DirectoryRecords.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fileops {

bool ListFolder(int dirFd, QList<QByteArray>& names, int& error)
{
    names.clear();
    if (::lseek(dirFd, 0, SEEK_SET) < 0) {
        error = errno;
        return false;
    }
    alignas(8) char chunk[32 * 1024];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, dirFd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return false;
        }
        if (n == 0)
            return true;
        platform::ForEachDirectoryRecord(chunk, n, [&](const platform::LinuxDirent64& d) {
            names.append(QByteArray(d.d_name, qsizetype(std::strlen(d.d_name))));
            return true;
        });
    }
}

int MakeFolders(const QByteArray& path, mode_t mode)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const QByteArray parent = ParentOf(path);
    if (!parent.isEmpty() && parent != path) {
        if (const int error = MakeFolders(parent, mode))
            return error;
    }
    if (::mkdir(path.constData(), mode) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

} // namespace fileops
