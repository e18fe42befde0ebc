#include "threads/ThreadPools.h"

#include "threads/WorkerThreadPool.h"

#include <atomic>

namespace threads {

namespace {

std::atomic<TWorkerThreadPool*> thumbnailPool{nullptr};
std::atomic<TWorkerThreadPool*> selectionPool{nullptr};

} // namespace

TThreadPools::TThreadPools()
    : m_thumbnailPool(std::make_unique<TWorkerThreadPool>(true)),
      m_selectionPool(std::make_unique<TWorkerThreadPool>(true))
{
    Q_ASSERT(!thumbnailPool.load() && !selectionPool.load());
    thumbnailPool.store(m_thumbnailPool.get());
    selectionPool.store(m_selectionPool.get());
}

TThreadPools::~TThreadPools()
{
    // Nothing new reaches the pools while they end; each waits for its workers, at most
    // KillTimeout for one that does not stop.
    thumbnailPool.store(nullptr);
    selectionPool.store(nullptr);
    m_thumbnailPool.reset();
    m_selectionPool.reset();
}

TWorkerThreadPool* ThumbnailPool()
{
    return thumbnailPool.load();
}

TWorkerThreadPool* SelectionPool()
{
    return selectionPool.load();
}

} // namespace threads
