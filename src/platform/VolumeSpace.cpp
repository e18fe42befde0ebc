#include "platform/VolumeSpace.h"

#include "platform/TestSeam.h"

#include <sys/statvfs.h>

namespace platform {

namespace {

TestSeam<VolumeSizeHook>& hookSeam()
{
    static auto* seam = new TestSeam<VolumeSizeHook>;
    return *seam;
}

} // namespace

void setVolumeSizeHook(VolumeSizeHook hook)
{
    hookSeam().set(hook ? std::make_shared<const VolumeSizeHook>(std::move(hook)) : nullptr);
}

std::optional<VolumeSize> volumeSize(const QByteArray& path)
{
    if (const std::shared_ptr<const VolumeSizeHook> hook = hookSeam().get())
        return (*hook)(path);
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
