// The change notifier's own rules: defaults and the sorted directory list with the
// computer's root, start, stop and restart, failed registrations, the event codes, the
// repeat filter on an injected clock, when each handler runs, and lost event queues.

#include "NotifierProbe.h"

#include <QTemporaryDir>
#include <memory>

using namespace threads;
using probe::runElsewhere;
using shell::TIdList;
using Lines = QList<QByteArray>;

class TestChangeNotifier : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void directoriesSortedOnce();
    void computerRootForBareNotifier();
    void startStopRestart();
    void codes_data();
    void codes();
    void repeatFilter_data();
    void repeatFilter();
    void handlersTiming();
    void lostQueueIsNeverARepeat();

private:
    TIdList list(const QByteArray& rel) const { return shell::IDListFromPath(m_base + '/' + rel); }
    // A notifier with both handlers on the probe, a clock that moves only when told, and
    // the folder `a` watched.
    std::unique_ptr<TShellChangeNotifier> watching()
    {
        auto n = std::make_unique<TShellChangeNotifier>();
        m_probe.attach(*n);
        n->SetTickSource([this] { return m_clock; });
        n->WatchFolder(list("a"));
        n->SetEnabled(true);
        return n;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_base;
    probe::Probe m_probe;
    std::uint32_t m_clock = 1000;
};

void TestChangeNotifier::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_base = QFile::encodeName(m_dir->path());
    QVERIFY(runElsewhere(m_base, "mkdir a b"));
    m_probe = probe::Probe{m_base, {}, {}, {}};
    m_clock = 1000;
}

void TestChangeNotifier::cleanup()
{
    // Names that are not valid UTF-8 are beyond QDir's removal.
    runElsewhere(m_base, "rm -rf ./*");
    m_dir.reset();
}

void TestChangeNotifier::directoriesSortedOnce()
{
    TShellChangeNotifier n;
    QVERIFY(!n.Enabled());
    QVERIFY(n.Recursive());
    QCOMPARE(n.EventFilter().mask(), 0xFFFFFu);
    QCOMPARE(n.EventFilter().shellEvents(), 0x0807FFFFu);
    QVERIFY(n.Directories().isEmpty() && n.RootItem().isNull() && !n.Active());

    const QByteArray a = m_base + "/a", c = m_base + "/c", odd = m_base + "/\xff";
    QVERIFY(n.AddDirectory(c));
    QVERIFY(n.AddDirectory(a));
    QVERIFY(!n.AddDirectory(c));
    QCOMPARE(n.Directories(), (QList<QByteArray>{a, c}));
    n.SetDirectories({odd, c, a, odd});
    QCOMPARE(n.Directories(), (QList<QByteArray>{a, c, odd}));

    // Paths are raw bytes; a missing folder is registered at the next start after it appears.
    QVERIFY(runElsewhere(m_base, "mkdir \"$(printf '\\377')\""));
    n.SetEnabled(true);
    QVERIFY(n.DirectoryHandle(0) != 0 && n.DirectoryHandle(2) != 0);
    QCOMPARE(n.DirectoryHandle(1), 0);
    QVERIFY2(n.LastError().contains(QFile::decodeName(c)), qPrintable(n.LastError()));
    QVERIFY(runElsewhere(m_base, "mkdir c"));
    n.SetEnabled(false);
    n.SetEnabled(true);
    QVERIFY(n.DirectoryHandle(1) != 0);
    QCOMPARE(n.LastError(), QString());
    m_probe.attach(n);
    QVERIFY(runElsewhere(m_base, "rmdir c; : > \"$(printf '\\377/x')\""));
    QTRY_VERIFY(m_probe.now.contains("neFileCreate \xff/x"));
    QVERIFY(m_probe.now.contains("neFolderDelete c"));
    QVERIFY(n.RemoveDirectory(c));
    QVERIFY(!n.RemoveDirectory(c));
    QCOMPARE(n.Directories(), (QList<QByteArray>{a, odd}));
}

void TestChangeNotifier::computerRootForBareNotifier()
{
    // The walk of every drive is cut short by a low limit.
    TShellChangeNotifier bare;
    bare.SetWatchLimit(2);
    bare.SetRecursive(false);
    bare.SetOnChange([this](QObject*, TNotificationEvent e, const QByteArray& a,
                            const QByteArray& b) { m_probe.later.append(m_probe.line(e, a, b)); });
    bare.SetEnabled(true);
    QCOMPARE(bare.Directories(), QList<QByteArray>{QByteArray()});
    QVERIFY(bare.Recursive());
    QVERIFY(bare.DirectoryHandle(0) != 0);
    QTRY_COMPARE(m_probe.later, Lines{"neFolderUpdate"});
    QCOMPARE(bare.WatchCount(), 2);

    QVERIFY(bare.AddDirectory(m_base + "/a"));
    QCOMPARE(bare.Directories(), QList<QByteArray>{m_base + "/a"});
    QVERIFY(bare.DirectoryHandle(0) != 0);

    TShellChangeNotifier folder;
    folder.SetWatchLimit(2);
    folder.SetEnabled(true);
    QCOMPARE(folder.Directories().size(), 1);
    folder.WatchFolder(list("b"));
    QVERIFY(folder.Directories().isEmpty());
    QCOMPARE(shell::CompareIDs(0, folder.RootItem(), list("b")), 0);
    QVERIFY(folder.RootHandle() != 0);

    // A notifier whose owner takes identifier lists watches only what it is given.
    TShellChangeNotifier owned;
    m_probe.attach(owned);
    owned.SetEnabled(true);
    QVERIFY(owned.Directories().isEmpty());
    QCOMPARE(owned.WatchCount(), 0);
}

void TestChangeNotifier::startStopRestart()
{
    TShellChangeNotifier n;
    m_probe.attach(n);
    n.WatchFolder(list("a"));
    n.SetEventFilter({neFileDelete});
    QVERIFY(!n.Active());
    QCOMPARE(n.RootHandle(), 0);
    QCOMPARE(n.WatchCount(), 0);

    n.SetEnabled(true);
    const int first = n.RootHandle();
    QVERIFY(n.Active() && first != 0);
    QCOMPARE(n.WatchCount(), 1);
    n.SetEnabled(true);
    n.SetRecursive(true);
    n.SetEventFilter({neFileDelete});
    QCOMPARE(n.RootHandle(), first);

    n.SetRecursive(false);
    const int second = n.RootHandle();
    QVERIFY(second != 0 && second != first);
    n.SetEventFilter({neFileDelete, neFileCreate});
    QVERIFY(n.RootHandle() != 0 && n.RootHandle() != second);
    QCOMPARE(n.WatchCount(), 1);

    n.SetEnabled(false);
    QVERIFY(!n.Active());
    QCOMPARE(n.RootHandle(), 0);
    QCOMPARE(n.WatchCount(), 0);
    QCOMPARE(shell::CompareIDs(0, n.RootItem(), list("a")), 0);

    // A filter set while switched off applies at the next start.
    n.SetEventFilter({neFileDelete});
    QCOMPARE(n.WatchCount(), 0);
    n.SetEnabled(true);
    QVERIFY(runElsewhere(m_base, ": > a/f; rm a/f"));
    QTRY_COMPARE(m_probe.now, Lines{"neFileDelete a/f"});
}

void TestChangeNotifier::codes_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<quint32>("asked");
    QTest::addColumn<quint32>("reported");
    const quint32 codes[] = {0x08000000, 0x800,   0x2000,  0x2,   0x4,    0x1,    0x100,
                             0x80,       0x10000, 0x40000, 0x20,  0x40,   0x8,    0x10,
                             0x20000,    0x1000,  0x200,   0x400, 0x4000, 0x8000, 0x7FFFFFFF};
    for (int e = 0; e < kNotificationEventCount; ++e) {
        QTest::newRow(probe::eventName(TNotificationEvent(e)))
            << e << codes[e] << (codes[e] | SHCNE_INTERRUPT);
    }
    QTest::newRow("code of no kind") << int(neUnknown) << 0x7FFFFFFFu << 0x40000000u;
    QTest::newRow("two codes at once") << int(neUnknown) << 0x7FFFFFFFu << 0x6u;
}

void TestChangeNotifier::codes()
{
    QFETCH(int, event);
    QFETCH(quint32, asked);
    QFETCH(quint32, reported);
    const auto e = TNotificationEvent(event);
    QCOMPARE(ShellEventCode(e), asked);
    QCOMPARE(TNotificationEvents{e}.mask(), 1u << event);
    QCOMPARE(TNotificationEvents{e}.shellEvents(), asked);
    QCOMPARE(TNotificationEvents::fromMask(0x3FDFC).contains(e),
             QList<int>({2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17}).contains(event));
    auto n = watching();
    n->HandleNotifyMessage(reported, TIdList(), TIdList());
    QCOMPARE(m_probe.now.size(), 1);
    QCOMPARE(m_probe.now.first().split(' ').first(), QByteArray(probe::eventName(e)));
}

void TestChangeNotifier::repeatFilter_data()
{
    QTest::addColumn<quint32>("code1");
    QTest::addColumn<QByteArray>("item1");
    QTest::addColumn<quint32>("tick1");
    QTest::addColumn<quint32>("code2");
    QTest::addColumn<QByteArray>("item2");
    QTest::addColumn<quint32>("tick2");
    QTest::addColumn<bool>("delivered");
    auto row = [](const char* name, quint32 c1, const char* i1, quint32 t1, quint32 c2,
                  const char* i2, quint32 t2, bool delivered) {
        QTest::newRow(name) << c1 << QByteArray(i1) << t1 << c2 << QByteArray(i2) << t2
                            << delivered;
    };
    const quint32 del = SHCNE_DELETE;
    row("same at once", del, "a/x", 1000, del, "a/x", 1000, false);
    row("same after 2499 ms", del, "a/x", 1000, del, "a/x", 3499, false);
    row("same after 2500 ms", del, "a/x", 1000, del, "a/x", 3500, true);
    row("other item", del, "a/x", 1000, del, "a/y", 1000, true);
    row("other code", del, "a/x", 1000, SHCNE_CREATE, "a/x", 1000, true);
    row("interrupt marker", del, "a/x", 1000, del | SHCNE_INTERRUPT, "a/x", 1000, false);
    row("same object, other list", SHCNE_UPDATEITEM, "home", 1000, SHCNE_UPDATEITEM, "H", 1000,
        false);
    row("the desktop itself", SHCNE_UPDATEDIR, "", 1000, SHCNE_UPDATEDIR, "", 1000, true);
    row("clock wrapped, 256 ms", del, "a/x", 0xFFFFFF00, del, "a/x", 0, false);
    row("clock wrapped, 2576 ms", del, "a/x", 0xFFFFFFF0, del, "a/x", 0xA00, true);
    row("association changes", SHCNE_ASSOCCHANGED, "a/x", 1000, SHCNE_ASSOCCHANGED, "a/x", 1000,
        true);
}

void TestChangeNotifier::repeatFilter()
{
    QFETCH(quint32, code1);
    QFETCH(QByteArray, item1);
    QFETCH(quint32, tick1);
    QFETCH(quint32, code2);
    QFETCH(QByteArray, item2);
    QFETCH(quint32, tick2);
    QFETCH(bool, delivered);
    // Items of files that are gone, the home folder by path and by its own item, the desktop.
    auto item = [this](const QByteArray& key) {
        if (key == "home")
            return shell::IDListFromPath(shell::HomeFolder());
        if (key == "H")
            return TIdList::fromItems({"H"});
        if (key.isEmpty())
            return TIdList::empty();
        return shell::ChildIDList(list("a"), key.mid(2));
    };
    auto n = watching();
    m_clock = tick1;
    n->HandleNotifyMessage(code1, item(item1), TIdList());
    m_clock = tick2;
    n->HandleNotifyMessage(code2, item(item2), TIdList());
    QCOMPARE(m_probe.now.size(), delivered ? 2 : 1);
    QTRY_COMPARE(m_probe.later.size(), m_probe.now.size());
}

void TestChangeNotifier::handlersTiming()
{
    auto n = watching();
    n->HandleNotifyMessage(SHCNE_CREATE, list("a"), TIdList());
    QCOMPARE(m_probe.now, Lines{"neFileCreate a"});
    QCOMPARE(m_probe.later, Lines{});
    QTRY_COMPARE(m_probe.later, Lines{"neFileCreate a"});

    // The image value is written out; associations carry no paths.
    m_probe.clear();
    n->HandleNotifyMessage(SHCNE_UPDATEIMAGE, TIdList(),
                           TIdList::fromItems({QByteArray("\xd2\x04\0\0", 4)}));
    n->HandleNotifyMessage(SHCNE_ASSOCCHANGED, list("a"), list("b"));
    QTRY_COMPARE(m_probe.later, (Lines{"neImageListChange 1234", "neAssociationChange"}));

    // Switched off, nothing is called; gone, nothing it still owed is called either.
    m_probe.clear();
    n->SetEnabled(false);
    n->HandleNotifyMessage(SHCNE_CREATE, list("b"), TIdList());
    n->SetEnabled(true);
    n->HandleNotifyMessage(SHCNE_DELETE, list("b"), TIdList());
    QCOMPARE(m_probe.now, Lines{"neFileDelete b"});
    n.reset();
    QTest::qWait(20);
    QCOMPARE(m_probe.later, Lines{});
}

void TestChangeNotifier::lostQueueIsNeverARepeat()
{
    QVERIFY(runElsewhere(m_base, "mkdir a/c"));
    auto n = watching();
    n->SetRecursive(true);
    QTRY_COMPARE(n->WatchCount(), 2);
    // The creation of a/lost is never read: the overflow makes the tree be read again.
    QVERIFY(runElsewhere(m_base, "mkdir a/lost"));
    n->InjectQueueOverflow();
    n->InjectQueueOverflow();
    QCOMPARE(m_probe.now, (Lines{"neFolderUpdate a", "neFolderUpdate a"}));
    QTRY_COMPARE(n->WatchCount(), 3);
    QCOMPARE(probe::kernelWatches(), 3);
    QVERIFY(runElsewhere(m_base, "rmdir a/lost"));
    QTRY_COMPARE(m_probe.now.last(), QByteArray("neFolderDelete a/lost"));
    n->SetEventFilter({neFileDelete});
    n->InjectQueueOverflow();
    QCOMPARE(m_probe.now.size(), 3);
}

QTEST_GUILESS_MAIN(TestChangeNotifier)
#include "tst_changenotifier.moc"
