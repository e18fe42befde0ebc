#include "platform/VolumeSpace.h"

#include <sys/statvfs.h>

namespace platform {

std::optional<VolumeSize> volumeSize(const QByteArray& path)
{
    struct statvfs vfs;
    if (path.isEmpty() || ::statvfs(path.constData(), &vfs) != 0)
        return std::nullopt;
    return VolumeSize{std::uint64_t(vfs.f_blocks) * std::uint64_t(vfs.f_frsize),
                      std::uint64_t(vfs.f_bfree) * std::uint64_t(vfs.f_frsize)};
}

std::optional<std::uint64_t> freeBytes(const QByteArray& path)
{
    const std::optional<VolumeSize> size = volumeSize(path);
    return size ? std::optional(size->free) : std::nullopt;
}

} // namespace platform
