#include "TreeGenerator.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool fail(const char* what, const std::string& name)
{
    std::fprintf(stderr, "scan_bench: %s %s: %s\n", what, name.c_str(), std::strerror(errno));
    return false;
}

bool makeFile(int dirFd, const std::string& name, std::int64_t size)
{
    const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("cannot create", name);
    const bool ok = ::ftruncate(fd, size) == 0; // sparse: no data blocks
    ::close(fd);
    return ok || fail("cannot size", name);
}

std::string numbered(char prefix, std::int64_t n, int width)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%c%0*lld", prefix, width, static_cast<long long>(n));
    return buffer;
}

} // namespace

bool generateTree(const std::string& kind, std::int64_t files, std::int64_t folders,
                  std::uint64_t seed, const std::string& outDir, GeneratedTree& made)
{
    std::mt19937_64 rng(seed);
    auto below = [&rng](std::int64_t n) { return std::int64_t(rng() % std::uint64_t(n)); };
    auto fileSize = [&rng] { return std::int64_t(rng() % (64 * 1024 + 1)); };

    if (::mkdir(outDir.c_str(), 0755) != 0 && errno != EEXIST)
        return fail("cannot create", outDir);
    const int root = ::open(outDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0)
        return fail("cannot open", outDir);

    bool ok = true;
    if (kind == "deep") {
        // Each level's name is 10 bytes, so 400 levels already pass PATH_MAX; every
        // step is taken relative to the folder above it.
        int fd = ::dup(root);
        for (std::int64_t i = 0; ok && i < folders; ++i) {
            const std::string name = numbered('d', i, 9);
            if (::mkdirat(fd, name.c_str(), 0755) != 0) {
                ok = fail("cannot create", name);
                break;
            }
            const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = child;
            if (fd < 0) {
                ok = fail("cannot open", name);
                break;
            }
            ++made.folders;
            if (made.files < files) {
                const std::int64_t size = fileSize();
                ok = makeFile(fd, "file", size);
                made.bytes += size;
                ++made.files;
            }
        }
        if (fd >= 0)
            ::close(fd);
    } else if (kind == "wide-deep" || kind == "flat") {
        // Folder 0 is the root; folder i hangs below a random earlier one (a random
        // recursive tree: a few wide levels near the top, branches ten or more deep).
        std::vector<std::string> paths{"."};
        paths.reserve(size_t(folders) + 1);
        for (std::int64_t i = 1; ok && i <= folders; ++i) {
            const std::int64_t parent = kind == "flat" ? 0 : below(i);
            std::string path = paths[size_t(parent)] + "/" + numbered('d', i, 6);
            if (::mkdirat(root, path.c_str(), 0755) != 0)
                ok = fail("cannot create", path);
            paths.push_back(std::move(path));
            ++made.folders;
        }
        for (std::int64_t i = 0; ok && i < files; ++i) {
            const std::int64_t folder =
                kind == "flat" && folders > 0 ? 1 + below(folders) : below(folders + 1);
            const std::int64_t size = fileSize();
            ok = makeFile(root, paths[size_t(folder)] + "/" + numbered('f', i, 7) + ".dat", size);
            made.bytes += size;
            ++made.files;
        }
    } else {
        std::fprintf(stderr, "scan_bench: unknown tree kind %s (wide-deep, flat or deep)\n",
                     kind.c_str());
        ok = false;
    }
    ::close(root);
    return ok;
}
