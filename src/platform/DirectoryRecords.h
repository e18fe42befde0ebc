#pragma once
// The records getdents64(2) fills a buffer with, and the walk over them that leaves out
// "." and "..". Shared by every reader of raw folder listings, which read folders by
// their descriptors without the C library's DIR.

#include <cstdint>
#include <sys/types.h>

namespace platform {

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// Calls `visit(record)` for each record of the `bytes` getdents64 returned in `chunk`,
// other than "." and "..". A visitor that returns false ends the walk.
template <typename Visit> void ForEachDirectoryRecord(const char* chunk, long bytes, Visit&& visit)
{
    for (long pos = 0; pos < bytes;) {
        const auto* d = reinterpret_cast<const LinuxDirent64*>(chunk + pos);
        pos += d->d_reclen;
        const char* nm = d->d_name;
        if (nm[0] == '.' && (nm[1] == '\0' || (nm[1] == '.' && nm[2] == '\0')))
            continue;
        if (!visit(*d))
            return;
    }
}

} // namespace platform
