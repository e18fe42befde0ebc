// Shows a real contents list (report view, 800 x 600) on a folder and times what the
// user waits for: the listing, the first page drawn with its icons and columns, and a
// sort by size.
//
//   list_bench PATH
//   list_bench --generate-flat N OUTDIR
//
// The last line reads
// `list: items=N fill_ms=A first_paint_ms=B sort_ms=C filled=F peak_rss_kib=R max_ui_gap_ms=G
// max_ui_gap_cpu_ms=P`:
// A from the assignment of the path until the folder is wholly listed and in order,
// B from the assignment until the first page of rows has been painted, C a sort by the
// size column (descending) until painted again, F the items whose details were read so
// far, R the peak resident memory, G the interface thread's longest stall from the
// assignment until the folder is listed (a large folder is read on by a thread), P the
// longest of those stretches in the thread's processor time.
// A line before it gives the same times as the interface thread's processor time.
// --generate-flat makes N files of mixed endings and sizes and N/100 folders in OUTDIR.

#include "GapMeter.h"
#include "controls/ShellList.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int generateFlat(long long n, const QByteArray& out)
{
    if (::mkdir(out.constData(), 0755) != 0 && errno != EEXIST) {
        std::perror(out.constData());
        return 1;
    }
    static const char* const endings[] = {
        ".txt", ".bin", ".jpg", ".png", ".pdf", ".mp3", ".tar.gz", ".c",    ".h",   ".cpp",
        ".zip", ".doc", "",     ".log", ".dat", ".iso", ".deb",    ".json", ".xml", ".html"};
    std::mt19937_64 random(42);
    for (long long i = 0; i < n; ++i) {
        const QByteArray name = out + "/datei" + QByteArray::number(i) +
                                endings[size_t(i) % (sizeof endings / sizeof *endings)];
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::ftruncate(fd, off_t(random() % (64 * 1024 * 1024))) != 0) {
            std::perror(name.constData());
            return 1;
        }
        ::close(fd);
    }
    for (long long i = 0; i < n / 100; ++i) {
        const QByteArray name = out + "/ordner" + QByteArray::number(i);
        if (::mkdir(name.constData(), 0755) != 0 && errno != EEXIST) {
            std::perror(name.constData());
            return 1;
        }
    }
    std::printf("generated: files=%lld folders=%lld\n", n, n / 100);
    return 0;
}

// Runs the event loop until the list's page has been painted once more.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget* viewport) { viewport->installEventFilter(this); }
    void arm() { m_painted = false; }
    void wait()
    {
        while (!m_painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // The paint happens right after this filter, within the same delivery.
        if (event->type() == QEvent::Paint)
            m_painted = true;
        return false;
    }

private:
    bool m_painted = false;
};

// The interface thread's own processor time: on a busy machine it shows the work done,
// where the wall clock also counts the waits for other programs.
double threadCpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long peakRssKib()
{
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--generate-flat"))
        return generateFlat(args[2].toLongLong(), QByteArray(argv[3]));
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: list_bench PATH | --generate-flat N OUTDIR\n");
        return 2;
    }
    QString error;
    if (!shell::ShellStartup(&error)) {
        std::fprintf(stderr, "list_bench: %s\n", qPrintable(error));
        return 1;
    }
    TShellList list;
    list.resize(800, 600);
    list.show();
    PaintWatch watch(list.ReportView()->viewport());
    watch.wait(); // the empty list on the screen
    // The program shows a folder from its start: what a process loads once (fonts, the
    // language's collation, icons) is loaded before the timed folder, as it is when a
    // user chooses one.
    QTemporaryDir warm;
    for (const char* name : {"/a.txt", "/b.txt"})
        QFile(warm.path() + QLatin1String(name)).open(QIODevice::WriteOnly);
    list.SetPath(warm.path());
    watch.arm();
    list.ReportView()->viewport()->update();
    watch.wait();

    QElapsedTimer timer;
    GapMeter gaps;
    watch.arm();
    const double cpu0 = threadCpuMs();
    gaps.start();
    timer.start();
    try {
        list.SetPathBytes(QByteArray(argv[1])); // raw bytes: a name need not be UTF-8
    } catch (const shell::EShellNavigatorError& e) {
        std::fprintf(stderr, "list_bench: %s\n", qPrintable(e.message()));
        return 1;
    }
    // The first page: as many rows as the window shows, or the whole folder.
    const int page = list.ReportView()->viewport()->height() / 16 + 1;
    while (list.Filling() && list.ItemCount() < page)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    list.ReportView()->viewport()->update();
    watch.wait();
    const double firstPaintMs = double(timer.nsecsElapsed()) / 1e6;
    const double paintCpu = threadCpuMs() - cpu0;
    while (list.Filling())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double fillMs = double(timer.nsecsElapsed()) / 1e6;
    const double fillCpu = threadCpuMs() - cpu0;
    gaps.stop();

    // A sort that changes nothing (an empty folder) paints nothing by itself: each sort
    // asks for one paint, which costs nothing more when the sort asked already.
    list.SortByColumn(1); // ascending first; the timed one goes down
    watch.arm();
    list.ReportView()->viewport()->update();
    watch.wait();
    watch.arm();
    const double cpu1 = threadCpuMs();
    timer.restart();
    list.SortByColumn(1);
    list.ReportView()->viewport()->update();
    watch.wait();
    const double sortMs = double(timer.nsecsElapsed()) / 1e6;
    const double sortCpu = threadCpuMs() - cpu1;

    std::printf("cpu: fill_ms=%.0f first_paint_ms=%.0f sort_ms=%.0f\n", fillCpu, paintCpu, sortCpu);
    std::printf("list: items=%d fill_ms=%.0f first_paint_ms=%.0f sort_ms=%.0f filled=%d "
                "peak_rss_kib=%ld max_ui_gap_ms=%lld max_ui_gap_cpu_ms=%lld\n",
                list.ItemCount(), fillMs, firstPaintMs, sortMs, list.FilledCount(), peakRssKib(),
                gaps.maxGapMs(), gaps.maxCpuGapMs());
    return 0;
}
