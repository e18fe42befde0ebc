#pragma once
// TFolderWatchPrimer holds a watch of its own on the folder the contents list shows, set
// on a thread. The first watch on a folder's entries makes the kernel mark every cached
// entry of it, which for a folder of a million entries holds the calling thread a tenth
// of a second; with this watch in place the change notifier's own watch, set anew by
// every full refresh, finds the marks made and returns at once. The list owns it.

#include <QByteArray>
#include <memory>

class TFolderWatchPrimer
{
public:
    TFolderWatchPrimer();
    ~TFolderWatchPrimer();
    TFolderWatchPrimer(const TFolderWatchPrimer&) = delete;
    TFolderWatchPrimer& operator=(const TFolderWatchPrimer&) = delete;

    // Watches `path` (empty: nothing) instead of the folder before, on a thread; returns
    // at once. A thread that hangs on a dead mount holds up later folders, not the caller.
    void watch(const QByteArray& path);

private:
    struct State;
    static void run(const std::shared_ptr<State>& state);
    std::shared_ptr<State> m_state; // shared with the thread
};
