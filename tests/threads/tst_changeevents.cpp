// The change notifier on real folders that another process changes: the event map,
// recursive trees and the watch limit, mounts, switching off and on, handlers that stop
// or destroy it mid-burst, folders that go away or cannot be read, and a hammering child.

#include "NotifierProbe.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace threads;
using probe::runElsewhere;
using Lines = QList<QByteArray>;

class TestChangeEvents : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void eventMap_data();
    void eventMap();
    void recursiveTreeFollowsFolders();
    void watchLimitStopsAndReports();
    void switchedOffDeliversNothing();
    void longBurstLetsTheLoopRun();
    void handlerStopsBurst_data();
    void handlerStopsBurst();
    void unreadableFolder();
    void mountsAreDrives();
    void hammerWhileSwitching();

private:
    void watch(const QByteArray& rel, bool recursive = false,
               TNotificationEvents filter = TShellChangeNotifier::kDefaultEventFilter)
    {
        m_n->SetRecursive(recursive);
        m_n->SetEventFilter(filter);
        m_n->WatchFolder(shell::IDListFromPath(m_base + '/' + rel));
        m_n->SetEnabled(true);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_base;
    int m_descriptors = 0;
    probe::Probe m_probe;
    std::unique_ptr<TShellChangeNotifier> m_n;
};

void TestChangeEvents::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_base = QFile::encodeName(m_dir->path());
    QVERIFY(runElsewhere(m_base, "mkdir w out"));
    m_probe = probe::Probe{m_base, {}, {}, {}};
    m_descriptors = probe::openDescriptors();
    m_n = std::make_unique<TShellChangeNotifier>();
    m_probe.attach(*m_n);
    // A clock that stands still: a repeat is always within the filter's time.
    m_n->SetTickSource([] { return 1000u; });
}

void TestChangeEvents::cleanup()
{
    m_n.reset();
    QCOMPARE(probe::kernelWatches(), 0);
    QCOMPARE(probe::openDescriptors(), m_descriptors);
    // Names that are not valid UTF-8 are beyond QDir's removal.
    runElsewhere(m_base, "chmod -R u+rwx .; rm -rf w w2 out");
    m_dir.reset();
}

void TestChangeEvents::eventMap_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<quint32>("filter");
    QTest::addColumn<Lines>("expected");
    QTest::addColumn<int>("watchesAfter");
    const quint32 all = TShellChangeNotifier::kDefaultEventFilter.mask();
    auto row = [](const char* name, const char* setup, const char* action, const Lines& expected,
                  int watches = 1, quint32 filter = 0xFFFFF) {
        QTest::newRow(name) << QByteArray(setup) << QByteArray(action) << filter << expected
                            << watches;
    };
    row("create file", "", ": > w/f", {"neFileCreate w/f", "neFileChange w/f"});
    row("create folder", "", "mkdir w/d", {"neFolderCreate w/d"});
    row("delete file", ": > w/f", "rm w/f", {"neFileDelete w/f"});
    row("delete folder", "mkdir w/d", "rmdir w/d", {"neFolderDelete w/d"});
    row("rename file", ": > w/a", "mv w/a w/b", {"neFileRename w/a w/b"});
    row("rename folder", "mkdir w/d", "mv w/d w/e", {"neFolderRename w/d w/e"});
    row("move out", ": > w/f", "mv w/f out/f", {"neFileDelete w/f"});
    row("move in", ": > out/g", "mv out/g w/g", {"neFileCreate w/g"});
    row("move folder in", "mkdir out/d", "mv out/d w/d", {"neFolderCreate w/d"});
    row("move out, then create", ": > w/f", "mv w/f out/f; : > w/n",
        {"neFileDelete w/f", "neFileCreate w/n", "neFileChange w/n"});
    row("write: modify and close, one report", ": > w/f", "printf x >> w/f", {"neFileChange w/f"});
    row("attributes", ": > w/f", "chmod 600 w/f", {"neAttributesChange w/f"});
    row("attributes of the folder itself", "", "chmod 000 w", {"neAttributesChange w"});
    row("names gone before read", "", ": > w/t; rm w/t",
        {"neFileCreate w/t", "neFileChange w/t", "neFileDelete w/t"});
    row("name not valid UTF-8", "", ": > \"$(printf 'w/\\377x')\"",
        {"neFileCreate w/\xff"
         "x",
         "neFileChange w/\xff"
         "x"});
    row("below a subfolder", "mkdir w/d", ": > w/d/f", {});
    row("folder itself deleted", ": > w/f", "rm -r w", {"neFileDelete w/f", "neFolderDelete w"}, 0);
    row("folder itself moved", "", "mv w w2; : > w2/f", {"neFolderDelete w"}, 0);
    row("folder replaced by a file", "", "rmdir w; : > w", {"neFolderDelete w"}, 0);
    row("filter: deletes only", "", ": > w/f; chmod 600 w/f; rm w/f", {"neFileDelete w/f"}, 1,
        TNotificationEvents{neFileDelete}.mask());
    row("filter: no file change", "", ": > w/f", {"neFileCreate w/f"}, 1,
        all & ~TNotificationEvents{neFileChange}.mask());
    row("filter: renames not asked", ": > w/a", "mv w/a w/b", {}, 1,
        TNotificationEvents{neFileCreate, neFileDelete}.mask());
}

void TestChangeEvents::eventMap()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, action);
    QFETCH(quint32, filter);
    QFETCH(Lines, expected);
    QFETCH(int, watchesAfter);
    QVERIFY(runElsewhere(m_base, setup.isEmpty() ? ":" : setup));
    watch("w", false, TNotificationEvents::fromMask(filter));
    QCOMPARE(m_n->WatchCount(), 1);
    // Every event waits in the kernel until the other process is done: names may be gone.
    QVERIFY(runElsewhere(m_base, action));
    QTRY_COMPARE(m_probe.now, expected);
    probe::settle();
    QCOMPARE(m_probe.now, expected);
    QCOMPARE(m_probe.later, expected);
    QCOMPARE(m_n->WatchCount(), watchesAfter);
    QCOMPARE(probe::kernelWatches(), watchesAfter);
    if (watchesAfter == 0) {
        // With its folder gone it sleeps: half a second of waiting costs next to no work.
        const qint64 before = probe::threadCpuMs();
        QTest::qWait(500);
        QVERIFY2(probe::threadCpuMs() - before < 200, "busy while nothing happens");
    }

    // Whatever happened to the folder, the notifier watches the next one.
    m_probe.clear();
    watch("out", false, TNotificationEvents{neFileCreate});
    QVERIFY(runElsewhere(m_base, ": > out/next"));
    QTRY_COMPARE(m_probe.now, Lines{"neFileCreate out/next"});
}

void TestChangeEvents::recursiveTreeFollowsFolders()
{
    QVERIFY(runElsewhere(m_base, "mkdir -p w/a/b"));
    watch("w", true);
    QTRY_COMPARE(m_n->WatchCount(), 3);
    QVERIFY(runElsewhere(m_base, "mkdir -p w/n/m"));
    QTRY_COMPARE(m_n->WatchCount(), 5);
    m_probe.clear();

    // A renamed folder's tree reports under its new name; one moved away is let go.
    QVERIFY(runElsewhere(m_base, ": > w/n/m/f; mv w/n w/r; : > w/r/m/g; mv w/r out/r"));
    const Lines moved{"neFileCreate w/n/m/f", "neFileChange w/n/m/f", "neFolderRename w/n w/r",
                      "neFileCreate w/r/m/g", "neFileChange w/r/m/g", "neFolderDelete w/r"};
    QTRY_COMPARE(m_probe.now, moved);
    QTRY_COMPARE(m_n->WatchCount(), 3);

    // A tree moved in is watched to its bottom; a deleted one gives its watches back.
    QVERIFY(runElsewhere(m_base, "mv out/r w/s"));
    QTRY_COMPARE(m_n->WatchCount(), 5);
    QVERIFY(runElsewhere(m_base, ": > w/s/m/h; rm -r w/a"));
    const Lines rest{"neFolderCreate w/s", "neFileCreate w/s/m/h", "neFileChange w/s/m/h",
                     "neFolderDelete w/a/b", "neFolderDelete w/a"};
    QTRY_COMPARE(m_probe.now, moved + rest);
    QTRY_COMPARE(m_n->WatchCount(), 3);
    QCOMPARE(probe::kernelWatches(), 3);
}

void TestChangeEvents::watchLimitStopsAndReports()
{
    QVERIFY(runElsewhere(m_base, "mkdir -p w/1/x w/2/x w/3/x w/4/x"));
    m_n->SetWatchLimit(4);
    watch("w", true);
    QTRY_COMPARE(m_probe.now, Lines{"neFolderUpdate w"});
    QCOMPARE(m_n->WatchCount(), 4);
    QCOMPARE(probe::kernelWatches(), 4);
    QVERIFY2(m_n->LastError().contains(QStringLiteral("Grenze")), qPrintable(m_n->LastError()));

    // It adds no more watches and says so once; what it watches still reports.
    QVERIFY(runElsewhere(m_base, "mkdir w/5; : > w/f"));
    const Lines expected{"neFolderUpdate w", "neFolderCreate w/5", "neFileCreate w/f",
                         "neFileChange w/f"};
    QTRY_COMPARE(m_probe.now, expected);
    probe::settle();
    QCOMPARE(m_probe.now, expected);
    QCOMPARE(m_n->WatchCount(), 4);
    // Watches given back do not make it start again.
    QVERIFY(runElsewhere(m_base, "rm -r w/1 w/2 w/3 w/4; mkdir w/6"));
    QTRY_VERIFY(m_probe.now.contains("neFolderCreate w/6"));
    probe::settle();
    QCOMPARE(m_n->WatchCount(), 1);

    // A single folder that finds no room is not watched at all, and says so.
    threads::TShellChangeNotifier single;
    single.SetRecursive(false);
    single.SetWatchLimit(1);
    single.SetDirectories({m_base + "/out", m_base + "/w"});
    single.SetEnabled(true);
    QVERIFY(single.DirectoryHandle(0) != 0);
    QCOMPARE(single.DirectoryHandle(1), 0);
    const QString error = single.LastError();
    QVERIFY2(error.contains(QStringLiteral("Grenze")) &&
                 error.contains(QFile::decodeName(m_base + "/w")) &&
                 !error.contains(QStringLiteral("Unterordner")),
             qPrintable(error));
}

void TestChangeEvents::switchedOffDeliversNothing()
{
    watch("w");
    m_n->SetEnabled(false);
    QCOMPARE(m_n->WatchCount(), 0);
    QCOMPARE(probe::kernelWatches(), 0);
    QCOMPARE(probe::openDescriptors(), m_descriptors);
    QVERIFY(runElsewhere(m_base, ": > w/a", true));
    probe::settle();
    QCOMPARE(m_probe.now, Lines{});
    QCOMPARE(m_probe.later, Lines{});

    m_n->SetEnabled(true);
    QVERIFY(runElsewhere(m_base, "rm w/a"));
    QTRY_COMPARE(m_probe.later, Lines{"neFileDelete w/a"});
}

void TestChangeEvents::longBurstLetsTheLoopRun()
{
    watch("w", false, TNotificationEvents{neFileCreate});
    qsizetype handledBeforeTimer = -1;
    m_probe.onEvent = [&] {
        if (m_probe.now.size() == 1)
            QTimer::singleShot(0, [&] { handledBeforeTimer = m_probe.now.size(); });
        ::usleep(1000); // a handler with work to do
    };
    QVERIFY(runElsewhere(m_base, "i=0; while [ $i -lt 40 ]; do : > w/f$i; i=$((i+1)); done"));
    QTRY_COMPARE(m_probe.now.size(), 40);
    QVERIFY2(handledBeforeTimer > 0 && handledBeforeTimer < 40,
             QByteArray::number(handledBeforeTimer));
    QVERIFY(runElsewhere(m_base, ": > w/late"));
    QTRY_COMPARE(m_probe.now.last(), QByteArray("neFileCreate w/late"));
}

void TestChangeEvents::handlerStopsBurst_data()
{
    QTest::addColumn<QByteArray>("reaction");
    QTest::addColumn<Lines>("expected");
    QTest::newRow("switch off") << QByteArray("off") << Lines{"neFileCreate w/a"};
    QTest::newRow("watch another folder")
        << QByteArray("rearm") << Lines{"neFileCreate w/a", "neFileCreate out/x"};
    QTest::newRow("destroy the notifier") << QByteArray("destroy") << Lines{"neFileCreate w/a"};
}

void TestChangeEvents::handlerStopsBurst()
{
    QFETCH(QByteArray, reaction);
    QFETCH(Lines, expected);
    watch("w", false, TNotificationEvents{neFileCreate});
    m_probe.onEvent = [&] {
        m_probe.onEvent = nullptr;
        if (reaction == "off")
            m_n->SetEnabled(false);
        else if (reaction == "rearm")
            m_n->WatchFolder(shell::IDListFromPath(m_base + "/out"));
        else
            m_n.reset();
    };
    // Three events in one read: the two behind the first belong to a watch that is gone.
    QVERIFY(runElsewhere(m_base, ": > w/a; : > w/b; : > w/c"));
    QTRY_VERIFY(!m_probe.now.isEmpty());
    if (reaction == "rearm")
        QVERIFY(runElsewhere(m_base, ": > w/d; : > out/x"));
    QTRY_COMPARE(m_probe.now, expected);
    probe::settle();
    QCOMPARE(m_probe.now, expected);
}

void TestChangeEvents::unreadableFolder()
{
    if (::geteuid() != 0)
        QSKIP("needs root to act as another user");
    QVERIFY(runElsewhere(m_base, "chmod 755 .; mkdir w/locked; chmod 000 w/locked"));
    const shell::TIdList locked = shell::IDListFromPath(m_base + "/w/locked");
    {
        // Another user, for whom the folder cannot be read.
        const int previous = ::setfsuid(65534);
        const auto back = qScopeGuard([previous] { ::setfsuid(previous); });
        m_n->WatchFolder(locked);
        m_n->SetEnabled(true);
    }
    QCOMPARE(m_n->RootHandle(), 0);
    QVERIFY2(m_n->LastError().contains(QStringLiteral("w/locked")) &&
                 m_n->LastError().contains(QStringLiteral("Zugriff verweigert")),
             qPrintable(m_n->LastError()));
    QCOMPARE(probe::kernelWatches(), 0);
    QCOMPARE(probe::openDescriptors(), m_descriptors);

    // The failed registration is tried again at the next start.
    m_n->SetEnabled(false);
    m_n->SetEnabled(true);
    QVERIFY(m_n->RootHandle() != 0);
    QCOMPARE(m_n->LastError(), QString());
    QVERIFY(runElsewhere(m_base, "chmod 700 w/locked; : > w/locked/f"));
    QTRY_VERIFY(m_probe.now.contains("neFileCreate w/locked/f"));
}

void TestChangeEvents::mountsAreDrives()
{
    if (::geteuid() != 0)
        QSKIP("mounting a tmpfs needs root");
    const QByteArray mnt = m_base + "/w/mnt";
    QVERIFY(runElsewhere(m_base, "mkdir w/mnt out/mnt"));
    const auto unmount = qScopeGuard([&] {
        ::umount2(mnt.constData(), MNT_DETACH);
        ::umount2((m_base + "/out/mnt").constData(), MNT_DETACH);
    });
    // A bare notifier: the computer's root, with mounts anywhere. Its walk of every drive
    // stops at once, so that the test does not use up the machine's watches.
    probe::Probe everywhere{m_base, {}, {}, {}};
    TShellChangeNotifier bare;
    bare.SetWatchLimit(2);
    bare.SetOnChange([&](QObject*, TNotificationEvent e, const QByteArray& a, const QByteArray& b) {
        // Mounts of other programs on the machine are none of the test's business.
        if (e != neFolderUpdate && a.startsWith(m_base + '/'))
            everywhere.later.append(everywhere.line(e, a, b));
    });
    bare.SetEnabled(true);
    QCOMPARE(bare.Directories(), QList<QByteArray>{QByteArray()});
    watch("w");

    if (!runElsewhere(m_base, "mount -t tmpfs fegmann-test w/mnt"))
        QSKIP("tmpfs cannot be mounted here");
    QTRY_COMPARE(m_probe.now, Lines{"neDriveAdd w/mnt"});
    QVERIFY(runElsewhere(m_base, "umount w/mnt; mount -t tmpfs fegmann-test out/mnt"));
    QTRY_COMPARE(everywhere.later,
                 (Lines{"neDriveAdd w/mnt", "neDriveRemove w/mnt", "neDriveAdd out/mnt"}));
    QCOMPARE(m_probe.now, (Lines{"neDriveAdd w/mnt", "neDriveRemove w/mnt"}));

    // The watched folder is the mount point, or a folder on it, and its file system goes
    // away: one report, for the mount point.
    for (const QByteArray& shown : {mnt, mnt + "/sub"}) {
        QVERIFY(runElsewhere(m_base, "mount -t tmpfs fegmann-test w/mnt; mkdir w/mnt/sub"));
        QTRY_COMPARE(m_probe.now.last(), QByteArray("neDriveAdd w/mnt"));
        m_probe.clear();
        m_n->WatchFolder(shell::IDListFromPath(shown));
        QCOMPARE(m_n->WatchCount(), 1);
        QVERIFY(runElsewhere(m_base, "umount w/mnt"));
        QTRY_COMPARE(m_n->WatchCount(), 0);
        probe::settle();
        QCOMPARE(m_probe.now, Lines{"neDriveRemove w/mnt"});
        m_n->WatchFolder(shell::IDListFromPath(m_base + "/w"));
    }
    m_n->WatchFolder(shell::IDListFromPath(mnt));
    QVERIFY(runElsewhere(m_base, ": > w/mnt/f"));
    QTRY_VERIFY(m_probe.now.contains("neFileCreate w/mnt/f"));
}

void TestChangeEvents::hammerWhileSwitching()
{
    QVERIFY(runElsewhere(m_base, "mkdir w2"));
    watch("w", true);
    QProcess hammer;
    hammer.setWorkingDirectory(m_dir->path());
    hammer.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-ec"),
                  QStringLiteral("i=0; while [ $i -lt 150 ]; do : > w/f$i; mkdir -p w/d$i/x; "
                                 "mv w/f$i w/d$i/x/g; mv w/d$i w/e$i; : > w2/h$i; "
                                 "rm -r w/e$i w2/h$i; i=$((i+1)); done")});
    QVERIFY(hammer.waitForStarted());
    int step = 0;
    while (hammer.state() != QProcess::NotRunning) {
        QTest::qWait(15);
        switch (step++ % 4) {
        case 0:
            m_n->WatchFolder(shell::IDListFromPath(m_base + "/w2"));
            break;
        case 1:
            m_n->SetEnabled(false);
            break;
        case 2:
            m_n->SetEnabled(true);
            break;
        default:
            m_n->WatchFolder(shell::IDListFromPath(m_base + "/w"));
            break;
        }
        QCOMPARE(m_n->WatchCount(), probe::kernelWatches());
    }
    QCOMPARE(hammer.exitCode(), 0);
    QVERIFY(!m_probe.now.isEmpty());
    for (const QByteArray& line : m_probe.now) {
        for (const QByteArray& path : line.split(' ').mid(1))
            QVERIFY2(path == "w" || path.startsWith("w/") || path.startsWith("w2/"), line);
    }
    m_probe.clear();
    watch("w", true);
    QVERIFY(runElsewhere(m_base, ": > w/final"));
    QTRY_VERIFY(m_probe.now.contains("neFileCreate w/final"));
    QCOMPARE(m_n->WatchCount(), 1);
    QCOMPARE(probe::kernelWatches(), 1);
}

QTEST_GUILESS_MAIN(TestChangeEvents)
#include "tst_changeevents.moc"
