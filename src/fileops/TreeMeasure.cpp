#include "fileops/TreeMeasure.h"

#include <ftw.h>
#include <sys/stat.h>

namespace fileops {

namespace {

// nftw takes a plain function: the walk's state is the calling thread's.
struct Walk
{
    TreeTotals totals;
    const std::atomic_bool* stop = nullptr;
};
thread_local Walk* t_walk = nullptr;

int visit(const char*, const struct stat* st, int type, struct FTW* ftw)
{
    Walk& w = *t_walk;
    if (w.stop && w.stop->load(std::memory_order_relaxed)) {
        w.totals.complete = false;
        return FTW_STOP;
    }
    switch (type) {
    case FTW_D:
        if (ftw->level > 0)
            ++w.totals.folders;
        break;
    case FTW_DNR:
        if (ftw->level > 0)
            ++w.totals.folders;
        w.totals.complete = false;
        break;
    case FTW_NS:
        w.totals.complete = false;
        break;
    default: // files, links, anything else that is not a folder
        ++w.totals.files;
        w.totals.bytes += std::int64_t(st->st_size);
        break;
    }
    return FTW_CONTINUE;
}

} // namespace

TreeTotals MeasureTree(const QByteArray& path, const std::atomic_bool* stop)
{
    Walk walk;
    walk.stop = stop;
    Walk* const outer = t_walk;
    t_walk = &walk;
    if (::nftw(path.constData(), visit, 32, FTW_PHYS | FTW_MOUNT | FTW_ACTIONRETVAL) == -1)
        walk.totals.complete = false;
    t_walk = outer;
    return walk.totals;
}

} // namespace fileops
