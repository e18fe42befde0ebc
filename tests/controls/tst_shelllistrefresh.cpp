// TShellList follows the disk while another process changes it: deletions leave the list
// at once, other changes arrive together at the next tick of its timer, the shown folder
// that goes away gives way to the drives, large lists and lost events are re-read whole,
// removed drives at once, and a folder hammered while the list switches folders ends with
// every file listed once and nothing more.

#include "controls/ShellList.h"
#include "platform/DirectorySearch.h"
#include "shell/ShellStartup.h"
#include "threads/ChangeNotifier.h"

#include "../shell/RawFiles.h"
#include "../threads/NotifierProbe.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <algorithm>
#include <sys/mount.h>

using namespace shell;
using probe::runElsewhere;
using Names = QList<QByteArray>;

namespace {

// The raw names of the listed entries, in list order.
Names names(TShellList& list)
{
    Names out;
    for (int i = 0; i < list.ItemCount(); ++i) {
        const QByteArray path = list.ItemPath(i);
        out << path.mid(path.lastIndexOf('/') + 1);
    }
    return out;
}

void select(TShellList& list, const Names& wanted)
{
    const Names now = names(list);
    for (const QByteArray& name : wanted)
        list.SetSelected(int(now.indexOf(name)), true);
}

// Waits until no tick is pending.
void quiet(TShellList& list)
{
    QTRY_VERIFY_WITH_TIMEOUT(!list.Filling() && !list.RefreshTimer.isActive(), 5000);
}

Names words(const QByteArray& text)
{
    Names out = text.split(' ');
    out.removeAll(QByteArray());
    return out;
}

bool showsDrives(TShellList& list)
{
    return list.SpecialFolder() == SF_DRIVES && list.PathBytes().isEmpty();
}

} // namespace

class TestShellListRefresh : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_base;
    int m_round = 0;

    // A fresh folder holding "w", the folder a test shows.
    QByteArray parent()
    {
        const QByteArray p = m_base + "/r" + QByteArray::number(++m_round);
        if (!runElsewhere(m_base, "mkdir -p " + p + "/w"))
            qFatal("cannot make %s", p.constData());
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ShellStartup());
        m_base = QFile::encodeName(m_dir.path());
    }
    void cleanup() { platform::setFolderOpenHook({}); }
    void cleanupTestCase() { QVERIFY(removeTree(m_base)); } // names Qt cannot decode

    void followsTheDisk_data()
    {
        // `expected`: the names kept, in order, then after "|" the names appended in
        // any order; "drives" for the drives view. `atTick`: nothing shows before the
        // timer fires. `incremental`: incremental refreshes the change leads to.
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<Names>("selected");
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<bool>("atTick");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<Names>("reported");
        QTest::addColumn<int>("incremental");
        const QByteArray raw = "\"$(printf '\\377\\376')\"";
        QTest::newRow("file deleted")
            << QByteArray("touch a b c") << Names{} << QByteArray("rm w/b") << false
            << QByteArray("a c") << Names{} << 0;
        QTest::newRow("folder deleted")
            << QByteArray("touch a; mkdir d") << Names{} << QByteArray("rmdir w/d") << false
            << QByteArray("a") << Names{} << 0;
        QTest::newRow("moved away") << QByteArray("touch a b") << Names{} << QByteArray("mv w/b .")
                                    << false << QByteArray("a") << Names{} << 0;
        QTest::newRow("selected, deleted: no report")
            << QByteArray("touch a b c") << Names{"b"} << QByteArray("rm w/b") << false
            << QByteArray("a c") << Names{} << 0;
        QTest::newRow("raw name deleted") << "touch a " + raw << Names{} << "rm w/" + raw << false
                                          << QByteArray("a") << Names{} << 0;
        QTest::newRow("ten quick creations")
            << QByteArray("touch a") << Names{}
            << QByteArray("for i in 0 1 2 3 4 5 6 7 8 9; do touch w/n$i; sleep 0.06; done") << true
            << QByteArray("a | n0 n1 n2 n3 n4 n5 n6 n7 n8 n9") << Names{} << 1;
        QTest::newRow("renamed") << QByteArray("touch a b") << Names{} << QByteArray("mv w/a w/z")
                                 << true << QByteArray("b | z") << Names{} << 1;
        QTest::newRow("selected, renamed: reported")
            << QByteArray("touch a b") << Names{"a", "b"} << QByteArray("mv w/a w/z") << true
            << QByteArray("b | z") << Names{"a"} << 1;
        QTest::newRow("moved in") << QByteArray("touch a ../x") << Names{} << QByteArray("mv x w/x")
                                  << true << QByteArray("a | x") << Names{} << 1;
        QTest::newRow("raw name created") << QByteArray("touch a") << Names{} << "touch w/" + raw
                                          << true << QByteArray("a | \xff\xfe") << Names{} << 1;
        QTest::newRow("gone before it is read")
            << QByteArray("touch a") << Names{} << QByteArray("touch w/t; rm w/t") << true
            << QByteArray("a") << Names{} << 1;
        QTest::newRow("shown folder deleted")
            << QByteArray("touch a") << Names{"a"} << QByteArray("rm -r w") << true
            << QByteArray("drives") << Names{} << 0;
        QTest::newRow("shown folder renamed")
            << QByteArray("touch a") << Names{} << QByteArray("mv w w2") << true
            << QByteArray("drives") << Names{} << 0;
        QTest::newRow("replaced by a file")
            << QByteArray("touch a") << Names{} << QByteArray("rm -r w; touch w") << true
            << QByteArray("drives") << Names{} << 0;
        // Read anew and watched anew: the old watch went with the old folder.
        QTest::newRow("replaced by a folder")
            << QByteArray("touch a") << Names{} << QByteArray("rm -r w; mkdir w; touch w/new")
            << true << QByteArray("new") << Names{} << 0;
        QTest::newRow("made unreadable")
            << QByteArray("touch a") << Names{"a"} << QByteArray("deny; touch w/b") << true
            << QByteArray("drives") << Names{} << 0;
    }
    void followsTheDisk()
    {
        QFETCH(QByteArray, setup);
        QFETCH(Names, selected);
        QFETCH(QByteArray, change);
        QFETCH(bool, atTick);
        QFETCH(QByteArray, expected);
        QFETCH(Names, reported);
        QFETCH(int, incremental);
        const QByteArray p = parent();
        QVERIFY(runElsewhere(p + "/w", setup));
        TShellList list;
        Names vanished;
        list.OnOperation = [&](TShellOperations op, const TFileNames& files, const QByteArray&) {
            QCOMPARE(op, soVanished | soRemoved);
            for (const QByteArray& f : files) {
                QVERIFY(f.startsWith(p + "/w/"));
                vanished << f.mid(p.size() + 3);
            }
        };
        list.SetPathBytes(p + "/w");
        select(list, selected);
        quiet(list);
        const Names before = names(list);
        const int refreshes = list.IncrementalRefreshCount();
        if (change.startsWith("deny; ")) {
            // Root reads any folder: it is denied the way a folder without rights is.
            platform::setFolderOpenHook(
                [](int, std::string_view name) { return !name.ends_with("/w"); });
            change = change.mid(6);
            // Merged with what cannot be read, every item would count as vanished.
            list.IncrementalRefresh();
            QCOMPARE(names(list), before);
        }
        QVERIFY(runElsewhere(p, change, true));
        probe::settle();
        QCOMPARE(list.RefreshTimer.isActive(), atTick);
        if (atTick) {
            // Deletions may have left already; nothing has come, and the folder is still shown.
            for (const QByteArray& name : names(list))
                QVERIFY2(before.contains(name), name.constData());
            QVERIFY(!showsDrives(list));
            quiet(list);
        }
        if (expected == "drives") {
            QVERIFY(showsDrives(list));
            QCOMPARE(probe::kernelWatches(), 0);
        } else {
            const QList<QByteArray> parts = expected.split('|');
            const Names kept = words(parts[0]);
            Names added = words(parts.value(1));
            Names now = names(list);
            QCOMPARE(now.mid(0, kept.size()), kept);
            now = now.mid(kept.size());
            std::sort(now.begin(), now.end());
            std::sort(added.begin(), added.end());
            QCOMPARE(now, added);
            QCOMPARE(probe::kernelWatches(), 1);
        }
        QCOMPARE(vanished, reported);
        QCOMPARE(list.IncrementalRefreshCount() - refreshes, incremental);
    }

    void largeListsAreReadWhole_data()
    {
        QTest::addColumn<int>("items");
        QTest::addColumn<bool>("whole");
        QTest::newRow("300: merged") << 300 << false;
        QTest::newRow("301: read whole") << 301 << true;
    }
    void largeListsAreReadWhole()
    {
        QFETCH(int, items);
        QFETCH(bool, whole);
        const QByteArray w = parent() + "/w";
        for (int i = 0; i < items; ++i)
            writeFile(w + "/d" + QByteArray::number(1000 + i));
        TShellList list;
        int full = 0;
        list.OnBeforeFullRefresh = [&] { ++full; };
        list.SetPathBytes(w);
        select(list, {"d1005", "d1200"});
        quiet(list);
        full = 0;
        const int refreshes = list.IncrementalRefreshCount();
        QVERIFY(runElsewhere(w, "touch a", true));
        QTRY_COMPARE_WITH_TIMEOUT(list.ItemCount(), items + 1, 5000);
        QCOMPARE(full, whole ? 1 : 0);
        QCOMPARE(list.IncrementalRefreshCount() - refreshes, whole ? 0 : 1);
        // Read whole, the new file is sorted in; merged, it is appended.
        QCOMPARE(names(list).indexOf("a"), whole ? 0 : items);
        Names sel;
        for (const int i : list.SelectedIndexes())
            sel << names(list)[i];
        QCOMPARE(sel, (Names{"d1005", "d1200"}));
    }

    void automaticRefresh()
    {
        const QByteArray a = parent() + "/w", b = parent() + "/w";
        QVERIFY(runElsewhere(a, "touch x a"));
        QVERIFY(runElsewhere(b, "touch x b"));
        TShellList list;
        threads::TShellChangeNotifier& n = list.ChangeNotifier();
        QCOMPARE(n.EventFilter().mask(), 0x3FDFCu);
        QVERIFY(!n.Recursive());
        QVERIFY(n.Enabled());
        bool pausedWhileRead = false;
        list.OnBeforeFullRefresh = [&] { pausedWhileRead = !n.Enabled(); };
        list.SetPathBytes(a);
        QVERIFY(pausedWhileRead);
        QCOMPARE(PathFromIDList(n.RootItem()), a);
        QCOMPARE(probe::kernelWatches(), 1);
        quiet(list);

        // Off: nothing is watched and nothing reaches the list.
        list.SetAutomaticRefresh(false);
        QVERIFY(!n.Enabled());
        QCOMPARE(probe::kernelWatches(), 0);
        QVERIFY(runElsewhere(a, "rm a; touch c", true));
        probe::settle();
        QVERIFY(!list.RefreshTimer.isActive());
        QCOMPARE(names(list), (Names{"a", "x"}));
        list.SetPathBytes(b);
        QCOMPARE(probe::kernelWatches(), 0);

        // On again: the shown folder is watched, not the one of the last watch, and what
        // changed meanwhile is caught up with.
        QVERIFY(runElsewhere(b, "touch y"));
        list.SetAutomaticRefresh(true);
        QCOMPARE(PathFromIDList(n.RootItem()), b);
        quiet(list);
        QCOMPARE(names(list), (Names{"b", "x", "y"}));
        QVERIFY(runElsewhere(a, "rm x", true));
        probe::settle();
        QCOMPARE(names(list), (Names{"b", "x", "y"}));
        // A deletion in another folder is not one of the shown folder's.
        n.HandleNotifyMessage(threads::SHCNE_DELETE, ChildIDList(IDListFromPath(a), "x"), {});
        QCOMPARE(names(list), (Names{"b", "x", "y"}));
        QVERIFY(runElsewhere(b, "rm x", true));
        QTRY_COMPARE(names(list), (Names{"b", "y"}));
    }

    void changedWhileRead()
    {
        // The watch is set after the folder has been read: what changed in between has
        // no event of its own, and the tick brings it.
        const QByteArray w = parent() + "/w";
        writeFile(w + "/a");
        TShellList list;
        list.OnPopulated = [&] {
            list.OnPopulated = nullptr;
            writeFile(w + "/late");
        };
        list.SetPathBytes(w);
        QCOMPARE(names(list), Names{"a"});
        quiet(list);
        QCOMPARE(names(list), (Names{"a", "late"}));
    }

    void burstOfDeletions()
    {
        // Thousands of files deleted at once leave the list in a few steps, not one
        // layout and paint of the view per file; a file made again meanwhile stays.
        const QByteArray p = parent();
        QVERIFY(runElsewhere(p, "cd w && seq -f f%g 3000 | xargs touch && touch keep"));
        TShellList list;
        list.SetPathBytes(p + "/w");
        quiet(list);
        QCOMPARE(list.ItemCount(), 3001);
        int steps = 0;
        connect(list.Model(), &QAbstractItemModel::rowsRemoved, [&] { ++steps; });
        QVERIFY(runElsewhere(p, "cd w && seq -f f%g 3000 | xargs rm && rm keep && touch keep"));
        QTRY_COMPARE_WITH_TIMEOUT(list.ItemCount(), 1, 10000);
        quiet(list);
        QCOMPARE(names(list), Names{"keep"});
        QVERIFY2(steps <= 100, qPrintable(QString::number(steps)));
    }

    void recentChange_data()
    {
        QTest::addColumn<qint64>("offsetMs");
        QTest::addColumn<bool>("recent");
        QTest::newRow("just written") << qint64(-17279) << true;
        QTest::newRow("0.0002 days ago") << qint64(-17280) << false;
        QTest::newRow("a clock ahead") << qint64(17279) << true;
        QTest::newRow("long ago") << qint64(-3600000) << false;
    }
    void recentChange()
    {
        QFETCH(qint64, offsetMs);
        QFETCH(bool, recent);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QDateTime modified = now.addMSecs(offsetMs);
        QCOMPARE(TShellList::ChangedRecently(modified, now), recent);
        // The same moments told in local time are the same moments.
        QCOMPARE(TShellList::ChangedRecently(modified.toLocalTime(), now), recent);
        QVERIFY(!TShellList::ChangedRecently(QDateTime(), now));
    }

    void injectedReports_data()
    {
        // Two reports of a removed drive, `apart` milliseconds apart on the notifier's
        // clock; each one delivered re-reads the list at once.
        QTest::addColumn<quint32>("apart");
        QTest::addColumn<bool>("sameItem");
        QTest::addColumn<int>("refreshes");
        QTest::newRow("same within 2.5 s") << 2499u << true << 1;
        QTest::newRow("same after 2.5 s") << 2500u << true << 2;
        QTest::newRow("another item") << 0u << false << 2;
    }
    void injectedReports()
    {
        QFETCH(quint32, apart);
        QFETCH(bool, sameItem);
        QFETCH(int, refreshes);
        const QByteArray w = parent() + "/w";
        TShellList list;
        list.SetPathBytes(w);
        quiet(list);
        quint32 now = 100000;
        list.ChangeNotifier().SetTickSource([&] { return now; });
        int full = 0;
        list.OnBeforeFullRefresh = [&] { ++full; };
        const TIdList drives = IDListFromPath({});
        list.ChangeNotifier().HandleNotifyMessage(threads::SHCNE_DRIVEREMOVED,
                                                  ChildIDList(drives, "/media/stick"), {});
        now += apart;
        list.ChangeNotifier().HandleNotifyMessage(
            threads::SHCNE_DRIVEREMOVED, ChildIDList(drives, sameItem ? "/media/stick" : "/mnt"),
            {});
        QCOMPARE(full, refreshes);
    }

    void lostEventsReadWhole()
    {
        // Events the kernel could not keep: the folder is read whole at the tick, so
        // that sizes are right as well as names.
        const QByteArray w = parent() + "/w";
        writeFile(w + "/a");
        TShellList list;
        int full = 0;
        list.OnBeforeFullRefresh = [&] { ++full; };
        list.SetPathBytes(w);
        quiet(list);
        list.FillItemDetails(0);
        const QString small = list.Item(0).SubItems().value(0);
        full = 0;
        QVERIFY(runElsewhere(w, "head -c 300000 /dev/zero >> a; touch b"));
        list.ChangeNotifier().InjectQueueOverflow();
        probe::settle();
        QVERIFY(list.RefreshTimer.isActive());
        QCOMPARE(names(list), Names{"a"});
        quiet(list);
        QCOMPARE(full, 1);
        QCOMPARE(names(list), (Names{"a", "b"}));
        list.FillItemDetails(0);
        QVERIFY(list.Item(0).SubItems().value(0) != small);
    }

    void mountsUnderTheFolder()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a tmpfs needs root");
        const QByteArray p = parent();
        QVERIFY(runElsewhere(p, "mkdir w/m w/n; touch w/a"));
        const auto unmount = qScopeGuard([&] {
            ::umount2((p + "/w/m").constData(), MNT_DETACH);
            ::umount2((p + "/w/n").constData(), MNT_DETACH);
            ::umount2((p + "/w").constData(), MNT_DETACH);
        });
        TShellList list;
        int full = 0;
        list.OnBeforeFullRefresh = [&] { ++full; };
        list.SetPathBytes(p + "/w");
        quiet(list);
        if (!runElsewhere(p, "mount -t tmpfs fegmann-test w/m", true))
            QSKIP("tmpfs cannot be mounted here");
        probe::settle();
        QVERIFY(list.RefreshTimer.isActive()); // a drive that comes waits for the tick
        quiet(list);
        full = 0;
        QVERIFY(runElsewhere(p, "umount w/m", true));
        QTRY_COMPARE(full, 1); // one that goes is re-read at once
        QVERIFY(!list.RefreshTimer.isActive());
        QCOMPARE(names(list), (Names{"m", "n", "a"}));

        // Showing a folder on the drive that goes: the drives at once.
        QVERIFY(runElsewhere(p, "mount -t tmpfs fegmann-test w/n; mkdir w/n/sub"));
        list.SetPathBytes(p + "/w/n/sub");
        quiet(list);
        full = 0;
        QVERIFY(runElsewhere(p, "umount w/n", true));
        QTRY_COMPARE(full, 1);
        QVERIFY(showsDrives(list));

        // Mounted over the shown folder: the new file system is watched after the tick.
        list.SetPathBytes(p + "/w");
        quiet(list);
        QVERIFY(runElsewhere(p, "mount -t tmpfs fegmann-test w", true));
        QTRY_COMPARE_WITH_TIMEOUT(names(list), Names{}, 5000);
        quiet(list);
        QVERIFY(runElsewhere(p, "touch w/inside", true));
        QTRY_COMPARE_WITH_TIMEOUT(names(list), Names{"inside"}, 5000);
    }

    void hammeredWhileSwitching()
    {
        // Another process creates, renames and deletes for two seconds while the list
        // switches between two folders and refreshes; once it is quiet the list holds
        // exactly the folder's files, with one watch and an idle interface thread.
        const QByteArray p = parent();
        QVERIFY(runElsewhere(p, "mkdir v; touch v/one w/keep"));
        TShellList list;
        list.SetPathBytes(p + "/w");
        QProcess hammer;
        hammer.setWorkingDirectory(QFile::decodeName(p + "/w"));
        hammer.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-ec"),
                      QStringLiteral("end=$(($(date +%s) + 2)); i=0; "
                                     "while [ $(date +%s) -lt $end ]; do : > f$i; mkdir d$i; "
                                     "mv f$i g$i; mv d$i e$i; rm -f g$((i - 2)); "
                                     "rmdir e$((i - 3)) 2>/dev/null || :; i=$((i + 1)); done")});
        QVERIFY(hammer.waitForStarted());
        for (int step = 0; hammer.state() != QProcess::NotRunning; ++step) {
            QTest::qWait(40);
            if (step % 5 == 4)
                list.SetPathBytes(p + (step % 10 == 4 ? "/v" : "/w"));
            else if (step % 5 == 2)
                list.IncrementalRefresh();
        }
        QCOMPARE(hammer.exitCode(), 0);
        list.SetPathBytes(p + "/w");
        probe::settle();
        quiet(list);
        Names listed = names(list);
        std::sort(listed.begin(), listed.end());
        Names onDisk;
        for (const QString& entry :
             QDir(QFile::decodeName(p + "/w")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            onDisk << QFile::encodeName(entry);
        std::sort(onDisk.begin(), onDisk.end());
        QCOMPARE(listed, onDisk);
        QCOMPARE(probe::kernelWatches(), 1);
        const qint64 cpu = probe::threadCpuMs();
        QTest::qWait(500);
        QVERIFY(probe::threadCpuMs() - cpu < 100);
    }
};

QTEST_MAIN(TestShellListRefresh)
#include "tst_shelllistrefresh.moc"
