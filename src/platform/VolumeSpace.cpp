#include "platform/VolumeSpace.h"

#include <sys/statvfs.h>

namespace platform {

std::optional<std::uint64_t> freeBytes(const QByteArray& path)
{
    struct statvfs vfs;
    if (path.isEmpty() || ::statvfs(path.constData(), &vfs) != 0)
        return std::nullopt;
    return std::uint64_t(vfs.f_bfree) * std::uint64_t(vfs.f_frsize);
}

} // namespace platform
