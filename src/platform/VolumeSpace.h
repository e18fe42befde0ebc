#pragma once
// Free space of the volume that holds a path.

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

// All free bytes of the volume (not only the caller's share), or nothing when the
// path cannot be queried.
std::optional<std::uint64_t> freeBytes(const QByteArray& path);

struct VolumeSize
{
    std::uint64_t total = 0;
    std::uint64_t free = 0; // all free bytes, as freeBytes
};
// Size and free space of the volume, or nothing when the path cannot be queried.
std::optional<VolumeSize> volumeSize(const QByteArray& path);

// A seam for tests: answers for every path in place of the file system (freeBytes
// included); an empty function lets the file system answer again.
using VolumeSizeHook = std::function<std::optional<VolumeSize>(const QByteArray& path)>;
void setVolumeSizeHook(VolumeSizeHook hook);

} // namespace platform
