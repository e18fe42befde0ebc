// Shows a real contents list (offscreen) on a folder while a child process changes the
// folder, and times how soon the list follows: a burst of 10 files 20 ms apart, the
// deletion of one of them, 1000 files made at once, then all 1000 deleted.
//
//   watch_bench DIR
//
// The last line reads
// `watch: burst_shown_ms=A refreshes=R delete_shown_ms=D bulk_shown_ms=B max_ui_gap_ms=G`:
// A from the last of the 10 creations until all 10 are listed, R the incremental
// refreshes that burst caused, D from the deletion until its item is gone, B from the
// last of the 1000 deletions until none of them is listed, G the longest stall of the
// interface thread from the first change on. Times are taken on the monotonic clock,
// which the child and the list share. A line before it gives the time until the 1000
// files were listed and the most processor time the interface thread used between two
// turns of its event loop (on a loaded machine, G also holds time spent waiting for a
// processor). The files are named "watch_bench-*" and removed.

#include "GapMeter.h"
#include "controls/ShellList.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kBurst = 10;
constexpr int kBulk = 1000;

qint64 monotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

QByteArray burstName(int i)
{
    return "watch_bench-burst" + QByteArray::number(i);
}

QByteArray bulkName(int i)
{
    return "watch_bench-bulk" + QByteArray::number(i);
}

// The other process: changes the folder on each command read from stdin and answers
// with the time of its last change.
int runChild(const QByteArray& dir)
{
    if (::chdir(dir.constData()) != 0) {
        std::perror(dir.constData());
        return 1;
    }
    const auto create = [](const QByteArray& name) {
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        const qint64 at = monotonicNs();
        if (fd >= 0)
            ::close(fd);
        return at;
    };
    const auto remove = [](const QByteArray& name) {
        ::unlink(name.constData());
        return monotonicNs();
    };
    std::string command;
    while (std::getline(std::cin, command)) {
        qint64 at = 0;
        if (command == "burst") {
            for (int i = 0; i < kBurst; ++i) {
                if (i > 0)
                    ::usleep(20'000);
                at = create(burstName(i));
            }
        } else if (command == "delete") {
            at = remove(burstName(3));
        } else if (command == "bulk") {
            for (int i = 0; i < kBulk; ++i)
                at = create(bulkName(i));
        } else if (command == "clear") {
            for (int i = 0; i < kBulk; ++i)
                at = remove(bulkName(i));
        } else if (command == "clean") {
            for (int i = 0; i < kBurst; ++i)
                at = remove(burstName(i));
        }
        std::printf("done %lld\n", static_cast<long long>(at));
        std::fflush(stdout);
    }
    return 0;
}

// Counts how many of a set of names the list shows, kept up to date from the model's
// row signals, and notes the moment the count last changed.
class NameCount
{
public:
    explicit NameCount(TShellList& list) : m_list(list)
    {
        QAbstractItemModel* model = list.Model();
        QObject::connect(model, &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex&, int first, int last) { add(first, last, 1); });
        QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved,
                         [this](const QModelIndex&, int first, int last) { add(first, last, -1); });
        QObject::connect(model, &QAbstractItemModel::modelReset, [this] { recount(); });
    }
    void track(QSet<QByteArray> names)
    {
        m_names = std::move(names);
        recount();
    }
    int count() const { return m_count; }
    qint64 changedAt() const { return m_changedAt; }

private:
    void add(int first, int last, int sign)
    {
        const int before = m_count;
        for (int i = first; i <= last; ++i) {
            if (m_names.contains(QFile::encodeName(m_list.CaptionText(i))))
                m_count += sign;
        }
        if (m_count != before)
            m_changedAt = monotonicNs();
    }
    void recount()
    {
        m_count = 0;
        add(0, m_list.ItemCount() - 1, 1);
    }

    TShellList& m_list;
    QSet<QByteArray> m_names;
    int m_count = 0;
    qint64 m_changedAt = 0;
};

// Runs the event loop until `done` holds; false after `timeoutMs`.
template <typename Done> bool runUntil(Done done, int timeoutMs = 20000)
{
    const qint64 end = monotonicNs() + qint64(timeoutMs) * 1'000'000;
    while (!done()) {
        if (monotonicNs() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void runFor(int ms)
{
    const qint64 end = monotonicNs() + qint64(ms) * 1'000'000;
    runUntil([end] { return monotonicNs() >= end; }, ms + 1000);
}

class Child
{
public:
    explicit Child(const QByteArray& dir)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                if (line.startsWith("done "))
                    m_answers.append(line.mid(5).toLongLong());
            }
        });
        m_process.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--child"), QFile::decodeName(dir)});
    }
    ~Child()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(); }
    // Sends a command; the time of its last change once answered, else -1.
    qint64 run(const char* command)
    {
        const qsizetype answered = m_answers.size();
        m_process.write(QByteArray(command) + '\n');
        if (!runUntil([&] { return m_answers.size() > answered; }))
            return -1;
        return m_answers.last();
    }

private:
    QProcess m_process;
    QList<qint64> m_answers;
};

// On a loaded machine a stall may be time the interface thread waited for a processor:
// this counts the processor time it used between two turns of the event loop instead.
class BusyMeter
{
public:
    BusyMeter()
    {
        m_ticker.setInterval(5);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_last = threadCpuNs();
        m_ticker.start();
    }
    void stop()
    {
        tick();
        m_ticker.stop();
    }
    qint64 maxBusyMs() const { return m_max / 1'000'000; }

private:
    static qint64 threadCpuNs()
    {
        timespec ts{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }
    void tick()
    {
        const qint64 now = threadCpuNs();
        m_max = std::max(m_max, now - m_last);
        m_last = now;
    }
    QTimer m_ticker;
    qint64 m_last = 0;
    qint64 m_max = 0;
};

double msBetween(qint64 from, qint64 to)
{
    return double(to - from) / 1e6;
}

int fail(const char* what)
{
    std::fprintf(stderr, "watch_bench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::string(argv[1]) == "--child")
        return runChild(argv[2]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: watch_bench DIR\n");
        return 2;
    }
    QString error;
    if (!shell::ShellStartup(&error))
        return fail(qPrintable(error));
    const QByteArray dir = QFile::encodeName(args[1]);
    TShellList list;
    list.resize(800, 600);
    list.show();
    try {
        list.SetPathBytes(dir);
    } catch (const shell::EShellNavigatorError& e) {
        return fail(qPrintable(e.message()));
    }
    NameCount shown(list);
    Child child(dir);
    if (!child.started())
        return fail("the child process does not start");
    // The list is idle before the first change.
    runUntil([&] { return !list.RefreshTimer.isActive(); });
    runFor(700);

    GapMeter gap;
    BusyMeter busy;
    gap.start();
    busy.start();
    QSet<QByteArray> burst;
    for (int i = 0; i < kBurst; ++i)
        burst.insert(burstName(i));
    shown.track(burst);
    const int refreshesBefore = list.IncrementalRefreshCount();
    const qint64 lastCreated = child.run("burst");
    if (lastCreated < 0 || !runUntil([&] { return shown.count() == kBurst; }))
        return fail("the burst is not listed");
    const double burstMs = msBetween(lastCreated, shown.changedAt());
    runFor(1500); // a second refresh of the burst would come by now
    const int refreshes = list.IncrementalRefreshCount() - refreshesBefore;

    shown.track({burstName(3)});
    const qint64 deleted = child.run("delete");
    if (deleted < 0 || !runUntil([&] { return shown.count() == 0; }))
        return fail("the deleted file stays listed");
    const double deleteMs = msBetween(deleted, shown.changedAt());

    QSet<QByteArray> bulk;
    for (int i = 0; i < kBulk; ++i)
        bulk.insert(bulkName(i));
    shown.track(bulk);
    const qint64 bulkCreated = child.run("bulk");
    if (bulkCreated < 0 || !runUntil([&] { return shown.count() == kBulk; }))
        return fail("the 1000 files are not listed");
    const double bulkListedMs = msBetween(bulkCreated, shown.changedAt());
    runUntil([&] { return !list.RefreshTimer.isActive(); });
    const qint64 cleared = child.run("clear");
    if (cleared < 0 || !runUntil([&] { return shown.count() == 0; }))
        return fail("deleted files stay listed");
    const double bulkMs = msBetween(cleared, shown.changedAt());
    runUntil([&] { return !list.RefreshTimer.isActive(); });
    gap.stop();
    busy.stop();

    child.run("clean");
    std::printf("watch_bench: %s items=%d bulk_listed_ms=%.0f max_ui_busy_ms=%lld\n",
                dir.constData(), list.ItemCount(), bulkListedMs, busy.maxBusyMs());
    std::printf("watch: burst_shown_ms=%.0f refreshes=%d delete_shown_ms=%.0f bulk_shown_ms=%.0f "
                "max_ui_gap_ms=%lld\n",
                burstMs, refreshes, deleteMs, bulkMs, gap.maxGapMs());
    return 0;
}
