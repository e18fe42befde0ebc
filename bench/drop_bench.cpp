// Drops many small files onto a real contents list, as a file manager's drag would end,
// and moves as many with `ops_bench --move` for comparison: the drop runs the same
// engine, with the list's own dialogs, and should take no longer. Beside the drop a timer
// on the event loop measures how long the interface thread stalls, until the list shows
// the dropped files.
//
//   drop_bench [--files N] [--runs R] WORKDIR
//
// WORKDIR (made when missing, emptied of the bench's own folders) holds the sources and
// the two destinations, so that both moves stay on one file system. Each run makes N
// files (default 10 000) for each side, first moves one set with ops_bench (found next
// to this program), then drops the other onto the list's empty space. Medians of the
// runs; a line with the drop's parts, and last
//   drop: items=N seconds=S ops_seconds=O ratio=R max_ui_gap_ms=G
// S from the drag entering the list until the drop is reported, O what ops_bench printed,
// R = S / O, G the longest stall from the drag entering until the list shows every file.

#include "GapMeter.h"
#include "controls/ShellList.h"
#include "fileops/ClipboardFiles.h"
#include "shell/ShellStartup.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool removeTree(const QByteArray& path)
{
    return ::nftw(
               path.constData(),
               [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
               FTW_DEPTH | FTW_PHYS) == 0 ||
           errno == ENOENT;
}

// N small files in a new folder; their paths.
QList<QByteArray> generate(const QByteArray& folder, long long n)
{
    QList<QByteArray> paths;
    if (::mkdir(folder.constData(), 0755) != 0) {
        std::perror(folder.constData());
        return paths;
    }
    for (long long i = 0; i < n; ++i) {
        const QByteArray name = folder + "/datei" + QByteArray::number(i) + ".txt";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const QByteArray content(int(100 + i % 4000), 'x');
        if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size()) {
            std::perror(name.constData());
            return {};
        }
        ::close(fd);
        paths << name;
    }
    return paths;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The seconds ops_bench reports for moving `sources` into `destination`; -1 on failure.
double opsSeconds(const QList<QByteArray>& sources, const QByteArray& destination)
{
    QStringList args{QStringLiteral("--move")};
    for (const QByteArray& source : sources)
        args << QFile::decodeName(source);
    args << QFile::decodeName(destination);
    QProcess ops;
    ops.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ops_bench"), args);
    if (!ops.waitForFinished(600000) || ops.exitCode() != 0) {
        std::fprintf(stderr, "drop_bench: ops_bench failed: %s\n",
                     ops.readAllStandardError().constData());
        return -1;
    }
    const QByteArray out = ops.readAllStandardOutput();
    const qsizetype at = out.lastIndexOf("seconds=");
    return at < 0 ? -1 : out.mid(at + 8).split(' ').first().toDouble();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    long long files = 10000;
    int runs = 3;
    while (args.size() > 2 && args[0].startsWith(u"--")) {
        if (args[0] == u"--files")
            files = args[1].toLongLong();
        else if (args[0] == u"--runs")
            runs = args[1].toInt();
        else
            break;
        args = args.mid(2);
    }
    if (args.size() != 1 || files <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: drop_bench [--files N] [--runs R] WORKDIR\n");
        return 2;
    }
    const QByteArray work = QFile::encodeName(args[0]);
    if (::mkdir(work.constData(), 0755) != 0 && errno != EEXIST) {
        std::perror(work.constData());
        return 1;
    }
    QString error;
    if (!shell::ShellStartup(&error)) {
        std::fprintf(stderr, "drop_bench: %s\n", qPrintable(error));
        return 1;
    }

    std::vector<double> dropSeconds, listedSeconds, opsRuns, operationGaps, enterMs;
    long long maxGap = 0;
    for (int run = 0; run < runs; ++run) {
        for (const char* name : {"/drop-src", "/drop-dst", "/ops-src", "/ops-dst"})
            removeTree(work + name);
        const QList<QByteArray> opsSources = generate(work + "/ops-src", files);
        const QList<QByteArray> dropSources = generate(work + "/drop-src", files);
        if (opsSources.size() != files || dropSources.size() != files ||
            ::mkdir((work + "/ops-dst").constData(), 0755) != 0 ||
            ::mkdir((work + "/drop-dst").constData(), 0755) != 0)
            return 1;
        ::sync();
        const double ops = opsSeconds(opsSources, work + "/ops-dst");
        if (ops < 0)
            return 1;
        opsRuns.push_back(ops);

        TShellList list;
        list.resize(800, 600);
        list.show();
        if (!QTest::qWaitForWindowExposed(&list))
            return 1;
        list.SetPathBytes(work + "/drop-dst");
        bool reported = false;
        int reportedFiles = 0;
        list.OnOperation = [&](TShellOperations, const shell::TFileNames& done, const QByteArray&) {
            reported = true;
            reportedFiles = int(done.size());
        };
        QByteArray uris;
        for (const QByteArray& path : dropSources)
            uris += fileops::ClipboardFiles::uriOf(path) + "\r\n";
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), uris);
        QWidget* viewport = list.CurrentView()->viewport();
        const QPoint point(viewport->width() / 2, viewport->height() / 2);
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QCoreApplication::processEvents();

        GapMeter gaps;
        gaps.start();
        QElapsedTimer clock;
        clock.start();
        // As a platform delivers a drag: enter and move from the event loop, then the drop.
        QDragEnterEvent enter(point, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        const qint64 enteredNs = clock.nsecsElapsed();
        QCoreApplication::processEvents();
        QDragMoveEvent over(point, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &over);
        QCoreApplication::processEvents();
        QDropEvent drop(point, offered, &data, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        if (!drop.isAccepted() || drop.dropAction() != Qt::MoveAction) {
            std::fprintf(stderr, "drop_bench: the list refused the drop\n");
            return 1;
        }
        if (!QTest::qWaitFor([&] { return reported; }, 600000))
            return 1;
        const qint64 reportedNs = clock.nsecsElapsed();
        const long long operationGap = gaps.maxGapMs();
        if (!QTest::qWaitFor([&] { return list.ItemCount() >= files; }, 600000))
            return 1;
        const qint64 listedNs = clock.nsecsElapsed();
        gaps.stop();
        if (reportedFiles != files) {
            std::fprintf(stderr, "drop_bench: %d of %lld files moved\n", reportedFiles, files);
            return 1;
        }
        dropSeconds.push_back(double(reportedNs) / 1e9);
        listedSeconds.push_back(double(listedNs) / 1e9);
        operationGaps.push_back(double(operationGap));
        enterMs.push_back(double(enteredNs) / 1e6);
        maxGap = std::max(maxGap, gaps.maxGapMs());
        std::printf("run %d: drop_seconds=%.3f listed_seconds=%.3f ops_seconds=%.3f "
                    "max_ui_gap_ms=%lld\n",
                    run + 1, dropSeconds.back(), listedSeconds.back(), ops, gaps.maxGapMs());
    }
    for (const char* name : {"/drop-src", "/drop-dst", "/ops-src", "/ops-dst"})
        removeTree(work + name);
    const double s = median(dropSeconds);
    const double o = median(opsRuns);
    std::printf("parts: enter_ms=%.0f listed_seconds=%.3f operation_max_ui_gap_ms=%.0f runs=%d\n",
                median(enterMs), median(listedSeconds), median(operationGaps), runs);
    std::printf("drop: items=%lld seconds=%.3f ops_seconds=%.3f ratio=%.2f max_ui_gap_ms=%lld\n",
                files, s, o, o > 0 ? s / o : 0.0, maxGap);
    return 0;
}
