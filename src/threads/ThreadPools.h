#pragma once
// The program's two worker pools: ThumbnailPool for the contents list's thumbnails and
// SelectionPool for the selection list's size jobs. One TThreadPools object made on the
// interface thread at start-up creates both and destroys them when it goes; outside
// its life the accessors return none.

#include <memory>

namespace threads {

class TWorkerThreadPool;

class TThreadPools
{
public:
    TThreadPools();
    ~TThreadPools();
    TThreadPools(const TThreadPools&) = delete;
    TThreadPools& operator=(const TThreadPools&) = delete;

private:
    std::unique_ptr<TWorkerThreadPool> m_thumbnailPool;
    std::unique_ptr<TWorkerThreadPool> m_selectionPool;
};

TWorkerThreadPool* ThumbnailPool();
TWorkerThreadPool* SelectionPool();

} // namespace threads
