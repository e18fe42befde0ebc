#pragma once
// What lies below a path, counted the way the clean-up counts it: the bytes of the files
// (their apparent sizes; a link counts as a file of its own size and is not followed), the
// number of files and the number of folders below it. It stays on the path's file system,
// as a removal does. Runs on whatever thread calls it; a set flag stops it early.

#include <QByteArray>
#include <atomic>
#include <cstdint>

namespace fileops {

struct TreeTotals
{
    std::int64_t bytes = 0;
    std::int64_t files = 0;
    std::int64_t folders = 0; // below the path; a folder does not count itself
    bool complete = true;     // false when stopped early or a folder could not be read
};

// A file or link gives its own size and one file; a folder what is below it.
TreeTotals MeasureTree(const QByteArray& path, const std::atomic_bool* stop = nullptr);

} // namespace fileops
