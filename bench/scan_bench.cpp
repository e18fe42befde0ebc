// Measures one real scan: the scan thread walks PATH and the folder tree model takes
// its changes on this thread's event loop, as the main window's tree would.
//
//   scan_bench PATH
//   scan_bench --generate wide-deep|flat|deep --files N --folders M --seed S OUTDIR
//
// The last line of a scan is
//   scan: folders=F files=N bytes=B seconds=S peak_rss_kib=R max_ui_gap_ms=G

#include "TreeGenerator.h"
#include "app/FolderSizeStore.h"
#include "app/FolderTreeModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: scan_bench PATH\n"
                         "       scan_bench --generate wide-deep|flat|deep --files N --folders M "
                         "--seed S OUTDIR\n");
    return 2;
}

long peakRssKib()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int generate(const QStringList& args)
{
    QString kind, out;
    qint64 files = -1, folders = -1;
    quint64 seed = 0;
    bool ok = true;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--generate") && hasValue)
            kind = args[++i];
        else if (a == QLatin1String("--files") && hasValue)
            files = args[++i].toLongLong(&ok);
        else if (a == QLatin1String("--folders") && hasValue)
            folders = args[++i].toLongLong(&ok);
        else if (a == QLatin1String("--seed") && hasValue)
            seed = args[++i].toULongLong(&ok);
        else if (!a.startsWith(QLatin1String("--")) && out.isEmpty())
            out = a;
        else
            return usage();
        if (!ok)
            return usage();
    }
    if (kind.isEmpty() || out.isEmpty() || files < 0 || folders < 0)
        return usage();
    GeneratedTree made;
    if (!generateTree(kind.toStdString(), files, folders, seed, out.toStdString(), made))
        return 1;
    std::printf("generated: folders=%lld files=%lld bytes=%lld\n",
                static_cast<long long>(made.folders), static_cast<long long>(made.files),
                static_cast<long long>(made.bytes));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 2 && args[1] == QLatin1String("--generate"))
        return generate(args);
    if (args.size() != 2 || args[1].startsWith(QLatin1String("--")))
        return usage();

    TFolderSizeStore& store = FolderStore();
    TFolderTreeModel model(store);
    QElapsedTimer clock;
    qint64 elapsedNs = 0;
    qint64 lastTick = 0;
    qint64 maxGap = 0;
    QTimer ticker; // how long the event loop went without running
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        maxGap = std::max(maxGap, now - lastTick);
        lastTick = now;
    });
    QObject::connect(&model, &TFolderTreeModel::scanFinished, [&](bool) {
        elapsedNs = clock.nsecsElapsed();
        maxGap = std::max(maxGap, elapsedNs - lastTick);
        ticker.stop();
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        lastTick = 0;
        ticker.start();
        if (!model.StartScan(args[1])) {
            std::fprintf(stderr, "scan_bench: the scan could not be started\n");
            QCoreApplication::exit(1);
        }
    });
    if (QCoreApplication::exec() != 0)
        return 1;
    std::printf("scan: folders=%d files=%lld bytes=%lld seconds=%.3f peak_rss_kib=%ld "
                "max_ui_gap_ms=%lld\n",
                model.nodeCount(), static_cast<long long>(store.FolderFileCounts(0)),
                static_cast<long long>(store.FolderSizes(0)), double(elapsedNs) / 1e9,
                peakRssKib(), static_cast<long long>(maxGap / 1000000));
    return 0;
}
