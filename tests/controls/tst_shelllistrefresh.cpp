// TShellList follows the disk while another process changes it: deletions leave the list
// at once, other changes arrive together at the next tick of its timer, the shown folder
// that goes away (or whose path comes to name another) gives way to the drives or is read
// anew, large lists and lost events are re-read whole, removed drives at once, every
// trash is followed, a folder that cannot be watched is said so, a name being typed is
// kept, and a folder hammered while the list switches folders ends with every file listed
// once and nothing more.

#include "controls/ShellList.h"
#include "fileops/TrashStore.h"
#include "platform/DirectorySearch.h"
#include "shell/ShellStartup.h"
#include "threads/ChangeNotifier.h"

#include "../fileops/TestHome.h"
#include "../shell/RawFiles.h"
#include "../threads/NotifierProbe.h"

#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStatusTipEvent>
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

// The watches a list holds for a folder: the folder's own, and one for each folder on its
// path (none of them a link), whose names lead on to it.
int watchesOf(const QByteArray& folder)
{
    return int(folder.count('/')) + 1;
}

// Counts the status tips that reach a window and keeps the last.
struct StatusTips : QObject
{
    int shown = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::StatusTip &&
            !static_cast<QStatusTipEvent*>(event)->tip().isEmpty())
            ++shown;
        return false;
    }
};

// Writes `value` into a file of /proc/sys and gives the old value back.
QByteArray setSysctl(const QByteArray& path, const QByteArray& value)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadWrite))
        return {};
    const QByteArray old = file.readAll().trimmed();
    file.seek(0);
    file.write(value + '\n');
    return old;
}

} // namespace

class TestShellListRefresh : public QObject
{
    Q_OBJECT

    TestHome m_home; // the trash tests fill is the test's own
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
        m_home.set();
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
            QCOMPARE(probe::kernelWatches(), watchesOf(p + "/w"));
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
        QCOMPARE(probe::kernelWatches(), watchesOf(a));
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

    void changedWhileRead_data()
    {
        // `items` files in the folder, then its time set by `touch -d dated`; `late` is
        // made after the reading, before the watch. The full and incremental refreshes
        // until the list is quiet.
        QTest::addColumn<int>("items");
        QTest::addColumn<QByteArray>("dated");
        QTest::addColumn<bool>("late");
        QTest::addColumn<int>("full");
        QTest::addColumn<int>("incremental");
        QTest::newRow("changed") << 1 << QByteArray() << true << 1 << 1;
        QTest::newRow("changed, dated ahead") << 1 << QByteArray("+2 hours") << true << 1 << 1;
        // Its time never comes near the clock: read once, not at every tick for ever.
        QTest::newRow("unchanged, dated ahead, large")
            << 301 << QByteArray("+2 hours") << false << 1 << 0;
    }
    void changedWhileRead()
    {
        // The watch is set after the folder has been read: what changed in between has
        // no event of its own, and the tick brings it.
        QFETCH(int, items);
        QFETCH(QByteArray, dated);
        QFETCH(bool, late);
        QFETCH(int, full);
        QFETCH(int, incremental);
        const QByteArray w = parent() + "/w";
        QVERIFY(runElsewhere(w, "seq -f a%g " + QByteArray::number(items) + " | xargs touch"));
        if (!dated.isEmpty())
            QVERIFY(runElsewhere(w, "touch -d '" + dated + "' ."));
        TShellList list;
        int fullReads = 0;
        list.OnBeforeFullRefresh = [&] { ++fullReads; };
        bool read = false;
        list.OnPopulated = [&] {
            if (late && !read)
                writeFile(w + "/late");
            read = true;
        };
        list.SetPathBytes(w);
        QCOMPARE(list.ItemCount(), items);
        quiet(list);
        QCOMPARE(list.ItemCount(), items + (late ? 1 : 0));
        QCOMPARE(names(list).contains("late"), late);
        QCOMPARE(fullReads, full);
        QCOMPARE(list.IncrementalRefreshCount(), incremental);
    }

    void tickOfThePreviousFolder()
    {
        // A change just before the first folder is read leaves a tick due for it; the
        // next folder, large enough to be read on by a thread, is read once and whole.
        const QByteArray p = parent();
        QVERIFY(runElsewhere(p, "mkdir next && (cd next && seq -f a%g 2500 | xargs touch) && "
                                "touch -d '-1 hour' next && "
                                "touch w/x"));
        TShellList list;
        int fullReads = 0;
        list.OnBeforeFullRefresh = [&] { ++fullReads; };
        list.SetPathBytes(p + "/w");
        QVERIFY(list.RefreshTimer.isActive());
        fullReads = 0;
        const int incremental = list.IncrementalRefreshCount();
        list.SetPathBytes(p + "/next");
        quiet(list);
        QCOMPARE(list.ItemCount(), 2500);
        QCOMPARE(fullReads, 1);
        QCOMPARE(list.IncrementalRefreshCount(), incremental);
    }

    void pathLeadsElsewhere_data()
    {
        // In a fresh folder: `setup`, the list shows `shown`, another process runs
        // `change`, and once the list is quiet `then`; `expected` the names listed in the
        // end (sorted), or "drives".
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArray>("shown");
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QByteArray>("then");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray parentMade = "mkdir -p d/w; touch d/w/a";
        QTest::newRow("parent renamed") << parentMade << QByteArray("d/w") << QByteArray("mv d e")
                                        << QByteArray() << QByteArray("drives");
        QTest::newRow("parent renamed, another made")
            << parentMade << QByteArray("d/w") << QByteArray("mv d e; mkdir -p d/w; touch d/w/b")
            << QByteArray("touch d/w/c") << QByteArray("b c");
        QTest::newRow("grandparent renamed")
            << QByteArray("mkdir -p g/d/w; touch g/d/w/a") << QByteArray("g/d/w")
            << QByteArray("mv g h") << QByteArray() << QByteArray("drives");
        QTest::newRow("link retargeted")
            << QByteArray("mkdir -p t1/w t2/w; touch t1/w/a t2/w/b; ln -s t1 l")
            << QByteArray("l/w") << QByteArray("ln -sfn t2 l") << QByteArray("touch t2/w/c")
            << QByteArray("b c");
        // Nothing on the path as spelt changes: the change in the folder that moved away
        // brings the tick, which finds another folder at the path.
        QTest::newRow("seen at the tick")
            << QByteArray("mkdir -p y/t/w; touch y/t/w/a; ln -s y/t l") << QByteArray("l/w")
            << QByteArray("mv y z; mkdir -p y/t/w; touch z/t/w/b") << QByteArray("touch y/t/w/c")
            << QByteArray("c");
    }
    void pathLeadsElsewhere()
    {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, shown);
        QFETCH(QByteArray, change);
        QFETCH(QByteArray, then);
        QFETCH(QByteArray, expected);
        const QByteArray p = parent();
        QVERIFY(runElsewhere(p, setup));
        TShellList list;
        list.SetPathBytes(p + '/' + shown);
        quiet(list);
        QCOMPARE(names(list).size(), 1);
        for (const QByteArray& script : {change, then}) {
            if (script.isEmpty())
                continue;
            QVERIFY(runElsewhere(p, script, true));
            probe::settle();
            quiet(list);
        }
        if (expected == "drives") {
            QVERIFY(showsDrives(list));
            return;
        }
        QCOMPARE(WithoutTrailingSlash(list.PathBytes()), p + '/' + shown);
        Names now = names(list);
        std::sort(now.begin(), now.end());
        QCOMPARE(now, words(expected));
    }

    void unwatchableFolder_data()
    {
        QTest::addColumn<QByteArray>("limit");
        QTest::newRow("watches") << QByteArray("/proc/sys/fs/inotify/max_user_watches");
        QTest::newRow("instances") << QByteArray("/proc/sys/fs/inotify/max_user_instances");
    }
    void unwatchableFolder()
    {
        // The user's limit of inotify watches or instances is reached: the window says
        // once that changes are not followed, and F5 reads and tries again.
        QFETCH(QByteArray, limit);
        if (::geteuid() != 0)
            QSKIP("lowering the system's inotify limits needs root");
        const QByteArray w = parent() + "/w";
        QVERIFY(runElsewhere(w, "touch a"));
        QMainWindow window;
        auto* list = new TShellList(&window);
        window.setCentralWidget(list);
        window.statusBar(); // made at once, as the main window's is
        StatusTips tips;
        window.installEventFilter(&tips);
        list->SetPathBytes(w);
        quiet(*list);
        {
            // For as short a time as possible: every process of the user meets the limit.
            const QByteArray old = setSysctl(limit, "0");
            QVERIFY(!old.isEmpty());
            const auto restore = qScopeGuard([&] { setSysctl(limit, old); });
            QTest::keyClick(list->CurrentView(), Qt::Key_F5);
            QTest::keyClick(list->CurrentView(), Qt::Key_F5);
        }
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("Änderungen in diesem Ordner werden nicht verfolgt; "
                                "F5 liest ihn neu."));
        QCOMPARE(tips.shown, 1);
        const QString error = list->ChangeNotifier().LastError();
        QVERIFY2(!error.isEmpty() && !error.contains(QStringLiteral("Unterordner")),
                 qPrintable(error));
        QCOMPARE(probe::kernelWatches(), 0);

        // Room again: the next full refresh watches, and the message goes.
        QVERIFY(runElsewhere(w, "touch b"));
        QTest::keyClick(list->CurrentView(), Qt::Key_F5);
        QCOMPARE(names(*list), (Names{"a", "b"}));
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
        QVERIFY(runElsewhere(w, "touch c", true));
        QTRY_COMPARE(names(*list), (Names{"a", "b", "c"}));
        QCOMPARE(tips.shown, 1);
    }

    void editKeptWhileRefreshDue_data()
    {
        // While the name of "a" is being typed, `change` makes the tick due to read the
        // folder whole; "lost" stands for a queue of events that ran over.
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("events lost") << QByteArray("lost") << QByteArray("b z");
        QTest::newRow("folder replaced")
            << QByteArray("mv w x; mkdir w; touch w/a w/c") << QByteArray("c z");
    }
    void editKeptWhileRefreshDue()
    {
        QFETCH(QByteArray, change);
        QFETCH(QByteArray, expected);
        const QByteArray p = parent();
        QVERIFY(runElsewhere(p, "touch w/a w/b"));
        TShellList list;
        list.SetPathBytes(p + "/w");
        quiet(list);
        select(list, {"a"});
        QTest::keyClick(list.CurrentView(), Qt::Key_F2);
        QVERIFY(list.IsEditing());
        const QPointer<QLineEdit> editor = list.CurrentView()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("z"));
        QSignalSpy ticks(&list.RefreshTimer, &QTimer::timeout);
        if (change == "lost")
            list.ChangeNotifier().InjectQueueOverflow();
        else
            QVERIFY(runElsewhere(p, change, true));
        QTRY_VERIFY(ticks.count() >= 2);
        QVERIFY(list.IsEditing());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("z"));
        // The edit ends: the name is given, and the folder is read as it is now.
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!list.IsEditing());
        quiet(list);
        Names now = names(list);
        std::sort(now.begin(), now.end());
        QCOMPARE(now, words(expected));
    }

    void everyTrashFollowed_data()
    {
        QTest::addColumn<bool>("otherDisk");
        QTest::newRow("home trash") << false;
        QTest::newRow("trash of another file system") << true;
    }
    void everyTrashFollowed()
    {
        // The trash lists every trash of the user; an object another program puts into
        // any of them, or takes out, shows at the tick.
        QFETCH(bool, otherDisk);
        const QByteArray p = parent();
        QByteArray trash = fileops::TrashStore::homeTrash();
        std::unique_ptr<TmpfsMount> disk;
        if (otherDisk) {
            disk = std::make_unique<TmpfsMount>(p + "/disk", 1024);
            if (!disk->mounted())
                QSKIP("a second file system needs root to mount a tmpfs");
            trash = p + "/disk/.Trash-" + QByteArray::number(::geteuid());
        }
        const QByteArray top = otherDisk ? p + "/disk" : p;
        QVERIFY(runElsewhere(p, "mkdir -p " + trash + "/files " + trash + "/info; touch " + top +
                                    "/x.txt"));
        TShellList list;
        list.SetSpecialFolder(SF_BITBUCKET);
        quiet(list);
        QVERIFY(!names(list).contains("x.txt"));
        QVERIFY(runElsewhere(
            p,
            "printf '[Trash Info]\nPath=" + top + "/x.txt\nDeletionDate=2026-01-02T03:04:05\n' > " +
                trash + "/info/x.txt.trashinfo; mv " + top + "/x.txt " + trash + "/files/x.txt",
            true));
        QTRY_VERIFY_WITH_TIMEOUT(names(list).contains("x.txt"), 5000);
        QVERIFY(runElsewhere(p, "rm " + trash + "/files/x.txt " + trash + "/info/x.txt.trashinfo",
                             true));
        QTRY_VERIFY_WITH_TIMEOUT(!names(list).contains("x.txt"), 5000);
        quiet(list);
        QVERIFY(runElsewhere(p, "rm -r " + trash));
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
        QCOMPARE(probe::kernelWatches(), watchesOf(p + "/w"));
        const qint64 cpu = probe::threadCpuMs();
        QTest::qWait(500);
        QVERIFY(probe::threadCpuMs() - cpu < 100);
    }
};

QTEST_MAIN(TestShellListRefresh)
#include "tst_shelllistrefresh.moc"
