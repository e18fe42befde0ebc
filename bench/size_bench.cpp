// Measures one background size job: a recursive TFolderSizeThread for PATH runs on
// SelectionPool and its completion on this thread's event loop, as the selection list
// has it. The time runs from queuing the job to its completion.
//
//   size_bench PATH
//
// The last line is
//   size: bytes=B files=N folders=F seconds=S

#include "threads/FolderSizeThread.h"
#include "threads/ThreadPools.h"
#include "threads/WorkerThreadPool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || args[1].startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "usage: size_bench PATH\n");
        return 2;
    }
    const threads::TThreadPools pools;
    auto item = std::make_shared<threads::TFolderSizeThread>(QFile::encodeName(args[1]), true);
    QElapsedTimer clock;
    qint64 elapsedNs = 0;
    item->SetOnDone(&app, [&](threads::TBasicWorkItem&) {
        elapsedNs = clock.nsecsElapsed();
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        threads::SelectionPool()->AddWorkItem(item);
    });
    QCoreApplication::exec();
    std::printf("size: bytes=%llu files=%lld folders=%lld seconds=%.3f\n",
                static_cast<unsigned long long>(item->Bytes()),
                static_cast<long long>(item->Files()), static_cast<long long>(item->Folders()),
                double(elapsedNs) / 1e9);
    return 0;
}
