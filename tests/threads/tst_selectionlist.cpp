// The selection list on real folders: scripts of selections, deselections and check box
// clicks with the entries and states they leave, the totals after every step against a
// fresh count of what the entries select, late size jobs, and the link's refreshes.

#include "ScanGate.h"
#include "TestTrees.h"
#include "shell/ShellLink.h"
#include "shell/ShellNamespace.h"
#include "threads/SelectionList.h"
#include "threads/ThreadPools.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace testtrees;
using threads::TSelectionList;

namespace {

class CountingControl : public shell::IShellControl
{
public:
    void SetShellLink(shell::TShellLink* link) override { m_link = link; }
    shell::TShellLink* ShellLink() const override { return m_link; }
    void BrowseToIDList(const shell::TIdList&) override {}
    void BrowseAndSelect(const shell::TIdList&, const shell::TIdList&) override {}
    void SelectAll() override {}
    void FullRefresh() override {}
    void IncrementalRefresh() override { ++updates; }
    void GoUp() override {}

    int updates = 0;

private:
    shell::TShellLink* m_link = nullptr;
};

struct Selected
{
    qint64 bytes = 0, files = 0, folders = 0;
    bool operator==(const Selected&) const = default;
};

char* toString(const Selected& t)
{
    return qstrdup(QByteArray("bytes=" + QByteArray::number(t.bytes) +
                              " files=" + QByteArray::number(t.files) +
                              " folders=" + QByteArray::number(t.folders)));
}

// What the entries select, counted by one `find` over `root`, links not followed.
Selected freshMeasure(const shell::TFileNames& entries, const QByteArray& root)
{
    const QList<QByteArray> found = runFind(root, {"-printf", "%y %s %p\\0"}).split('\0');
    Selected t;
    for (const QByteArray& entry : entries) {
        const QByteArray object = entry.endsWith("/*") ? entry.chopped(2) : entry;
        for (const QByteArray& line : found) {
            const qsizetype cut = line.indexOf(' ', 2);
            const QByteArray path = line.mid(cut + 1);
            if (cut < 0 || (path != object && !path.startsWith(object + '/')))
                continue;
            if (line.startsWith('d')) {
                ++t.folders;
            } else {
                ++t.files;
                t.bytes += line.mid(2, cut - 2).toLongLong();
            }
        }
    }
    return t;
}

Selected totalsOf(const TSelectionList& list)
{
    return {qint64(list.TotalBytes()), list.TotalFiles(), list.TotalFolders()};
}

} // namespace

class TestSelectionList : public QObject
{
    Q_OBJECT

    std::unique_ptr<threads::TThreadPools> m_pools;
    std::unique_ptr<ScratchDir> m_tmp;
    QByteArray m_root;

    QByteArray at(QString path) const { return QFile::encodeName(path).replace('@', m_root); }
    QStringList relative(const shell::TFileNames& entries) const
    {
        QStringList out;
        for (QByteArray e : entries)
            out.append(QFile::decodeName(e.replace(m_root, "@")));
        out.sort();
        return out;
    }
    // Waits for the size jobs; then the totals must be what the entries select.
    bool totalsMatch(TSelectionList& list)
    {
        // The jobs' completions are posted events: wait for them, not in fixed slices.
        for (QDeadlineTimer deadline(60000); list.PendingSizes() > 0;) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        }
        QTest::qWait(0);
        const Selected fresh = freshMeasure(list.Paths(), m_root);
        if (totalsOf(list) == fresh)
            return true;
        qWarning("totals %s, the entries select %s", toString(totalsOf(list)), toString(fresh));
        return false;
    }

private slots:
    void initTestCase() { m_pools = std::make_unique<threads::TThreadPools>(); }
    void cleanupTestCase() { m_pools.reset(); }

    void init()
    {
        m_tmp = std::make_unique<ScratchDir>();
        m_root = QFile::encodeName(m_tmp->path());
        for (const char* dir : {"/dir", "/dir/sub", "/dir/sub/deep", "/other", "/Dir"})
            makeDir(m_root + dir);
        makeFile(m_root + "/dir/a.txt", 10);
        makeFile(m_root + "/dir/b.txt", 20);
        makeFile(m_root + "/dir/sub/f.txt", 5);
        makeFile(m_root + "/dir/sub/deep/g.txt", 7);
        makeFile(m_root + "/dir/sub/deep/h.txt", 1);
        makeFile(m_root + "/other/x", 3);
        makeFile(m_root + "/Dir/y", 4);
        makeDir(m_root + "/dirt");
        makeFile(m_root + "/dirt/x", 6);
        makeLink("other", m_root + "/lnk");
        // The test folder's own path again below q: its text holds "@/dir/" further on.
        QByteArray trap = m_root + "/q";
        makeDir(trap);
        for (const QByteArray& part : m_root.split('/')) {
            if (!part.isEmpty())
                makeDir(trap += '/' + part);
        }
        makeDir(trap + "/dir");
        makeFile(trap + "/dir/a.txt", 2);
    }
    void cleanup() { m_tmp.reset(); }

    // Steps: "select:P", "deselect:P", "click:P", "clear", "set:P|P|...", "noresolve",
    // "expect:P=S" (S a state, "2i" for selected through a folder above). "@" is the
    // test folder.
    void steps_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("entries");

        QTest::newRow("a folder selected twice")
            << QStringList{"select:@/dir",    "select:@/dir",
                           "expect:@/dir=2",  "expect:@/dir/sub/f.txt=2i",
                           "expect:@=4",      "expect:/=4",
                           "expect:@/other=3"}
            << QStringList{"@/dir/*"};
        QTest::newRow("a file taken out of a selected folder")
            << QStringList{"select:@/dir", "deselect:@/dir/a.txt", "expect:@/dir=4",
                           "expect:@/dir/a.txt=3", "expect:@/dir/sub/deep/g.txt=2i"}
            << QStringList{"@/dir/b.txt", "@/dir/sub/*"};
        QTest::newRow("a file taken out two levels below the folder")
            << QStringList{"select:@/dir", "deselect:@/dir/sub/deep/g.txt", "expect:@/dir=4",
                           "expect:@/dir/sub=4", "expect:@/dir/sub/deep/h.txt=2"}
            << QStringList{"@/dir/a.txt", "@/dir/b.txt", "@/dir/sub/f.txt", "@/dir/sub/deep/h.txt"};
        QTest::newRow("a folder taken out of a selected folder")
            << QStringList{"select:@/dir", "deselect:@/dir/sub"}
            << QStringList{"@/dir/a.txt", "@/dir/b.txt"};
        QTest::newRow("a folder above entries takes them in")
            << QStringList{"select:@/dir/a.txt", "select:@/dir/sub/deep/g.txt", "expect:@/dir=4",
                           "select:@/dir"}
            << QStringList{"@/dir/*"};
        QTest::newRow("a partly selected folder deselected")
            << QStringList{"select:@/dir/a.txt", "select:@/dir/sub/f.txt", "select:@/other",
                           "deselect:@/dir", "expect:@/dir=3"}
            << QStringList{"@/other/*"};
        QTest::newRow("clicking the last file joins the folder")
            << QStringList{"click:@/dir/a.txt", "click:@/dir/sub", "expect:@/dir=4",
                           "click:@/dir/b.txt", "expect:@/dir=2"}
            << QStringList{"@/dir/*"};
        QTest::newRow("joining climbs while folders are whole")
            << QStringList{"click:@/dir/a.txt",          "click:@/dir/sub/deep/g.txt",
                           "click:@/dir/sub/deep/h.txt", "expect:@/dir/sub/deep=2",
                           "expect:@/dir/sub=4",         "click:@/dir/b.txt",
                           "click:@/dir/sub/f.txt",      "expect:@/dir=2"}
            << QStringList{"@/dir/*"};
        QTest::newRow("a click on a selected folder takes it out")
            << QStringList{"click:@/dir", "click:@/dir", "expect:@/dir=3"} << QStringList{};
        QTest::newRow("names that differ in case")
            << QStringList{"select:@/Dir", "expect:@/dir=3", "expect:@/dir/a.txt=3",
                           "expect:@/Dir/y=2i"}
            << QStringList{"@/Dir/*"};
        QTest::newRow("the same text further down is not below")
            << QStringList{"select:@/q@/dir/a.txt", "expect:@/dir=3", "expect:@/q=4",
                           "select:@/dir"}
            << QStringList{"@/q@/dir/a.txt", "@/dir/*"};
        QTest::newRow("a sibling whose name begins with the folder's name")
            << QStringList{"select:@/dirt/x", "expect:@/dir=3", "expect:@/dirt=4",
                           "expect:@/dir/a.txt=3"}
            << QStringList{"@/dirt/x"};
        QTest::newRow("a link to a folder selects the folder")
            << QStringList{"select:@/lnk", "expect:@/lnk=2", "expect:@/other/x=2i"}
            << QStringList{"@/other/*"};
        QTest::newRow("a link to a folder left as it is has no check box")
            << QStringList{"noresolve", "expect:@/lnk=1", "select:@/lnk", "click:@/lnk"}
            << QStringList{};
        QTest::newRow("paths that are not absolute or name nothing")
            << QStringList{"select:",
                           "select:.",
                           "select:..",
                           "select:dir",
                           "select:@/nothing",
                           "select:@/dir/../other",
                           "select:@/dir/*/",
                           "deselect:",
                           "expect:=1",
                           "expect:.=1",
                           "expect:..=1",
                           "expect:dir=1",
                           "expect:@/nothing=1",
                           "expect:@/dir/../other=1"}
            << QStringList{};
        QTest::newRow("other spellings of a path")
            << QStringList{"select:@//dir/./a.txt/", "select:@/other/*", "expect:@/dir/a.txt=2"}
            << QStringList{"@/dir/a.txt", "@/other/*"};
        QTest::newRow("cleared") << QStringList{"select:@/dir", "select:@/other/x", "clear",
                                                "expect:@/dir=3"}
                                 << QStringList{};
        QTest::newRow("all paths replaced")
            << QStringList{"select:@/Dir", "set:@/dir/a.txt|@/dir|@/nothing|@/other/x"}
            << QStringList{"@/dir/*", "@/other/x"};
    }

    void steps()
    {
        QFETCH(QStringList, steps);
        shell::TShellLink link;
        TSelectionList& list = *link.SelectionList();
        for (const QString& step : steps) {
            const QString op = step.section(QLatin1Char(':'), 0, 0);
            const QString arg = step.section(QLatin1Char(':'), 1);
            if (op == u"select") {
                list.SelectPath(at(arg));
            } else if (op == u"deselect") {
                list.DeselectPath(at(arg));
            } else if (op == u"click") {
                list.TogglePath(at(arg));
            } else if (op == u"clear") {
                list.Clear();
            } else if (op == u"set") {
                shell::TFileNames paths;
                for (const QString& p : arg.split(QLatin1Char('|')))
                    paths.append(at(p));
                list.SetPaths(paths);
            } else if (op == u"noresolve") {
                list.SetResolveShortcuts(false);
            } else if (op == u"expect") {
                const QString path = arg.section(QLatin1Char('='), 0, 0);
                const QString want = arg.section(QLatin1Char('='), 1);
                bool inherited = true;
                const int state = list.GetState(at(path), &inherited);
                QCOMPARE(QString::number(state) + (inherited ? "i" : ""), want);
                continue;
            } else {
                QFAIL(qPrintable(step));
            }
            QVERIFY2(totalsMatch(list), qPrintable(step));
        }
        QFETCH(QStringList, entries);
        entries.sort();
        QCOMPARE(relative(list.Paths()), entries);
    }

    // A seeded walk of selections, deselections and clicks over a tree with names that read
    // as patterns, links to folders and a sibling whose name begins with another's, while
    // files come and go on disk. After every step no entry names a missing object, the
    // totals are what the entries select as counted afresh, and every path's state
    // follows from the entries.
    void randomWalk_data()
    {
        QTest::addColumn<quint32>("seed");
        for (const quint32 seed : {1u, 2u, 3u})
            QTest::addRow("seed %u", seed) << seed;
    }

    void randomWalk()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const QByteArray w = m_root + "/w";
        const QList<QByteArray> folders{"", "/d", "/d/s", "/d/s/t", "/e", "/e/g", "/b", "/bc"};
        const QList<QByteArray> files{"/d/a",     "/d/*", "/d/?",   "/d/s/x", "/d/s/*",
                                      "/d/s/t/y", "/e/f", "/e/g/h", "/b/x",   "/bc/x"};
        const QList<std::pair<QByteArray, QByteArray>> links{
            {"/d/lnk", "../e"}, {"/d/s/up", ".."}, {"/bc/l", "../b"}};
        QList<QByteArray> paths;
        for (const QByteArray& f : folders) {
            makeDir(w + f);
            paths.append(w + f);
        }
        for (const QByteArray& f : files) {
            makeFile(w + f, 1 + paths.size() * 37);
            paths.append(w + f);
        }
        for (const auto& [path, target] : links) {
            makeLink(target, w + path);
            paths.append(w + path);
        }

        // The state a path must have: a link to a folder stands for its target unless the
        // link itself lies in the selection.
        const auto expected = [&](const shell::TFileNames& entries, QByteArray path) {
            const auto covered = [&](const QByteArray& entry) {
                return std::any_of(entries.begin(), entries.end(), [&](const QByteArray& e) {
                    return e != entry && e.endsWith("/*") && entry.startsWith(e.chopped(1));
                });
            };
            if (path.endsWith("/*"))
                path.chop(2); // the folder form
            QFileInfo info(QFile::decodeName(path));
            if (!info.exists() && !info.isSymLink())
                return QByteArray("1");
            if (info.isSymLink() && info.isDir() && !entries.contains(path) && !covered(path))
                info.setFile(info.canonicalFilePath());
            const QByteArray entry = QFile::encodeName(info.filePath()) +
                                     (info.isDir() && !info.isSymLink() ? "/*" : "");
            if (entries.contains(entry))
                return QByteArray("2");
            if (covered(entry))
                return QByteArray("2i");
            const QByteArray below = entry.endsWith("/*") ? entry.chopped(1) : entry + '/';
            const bool partly =
                std::any_of(entries.begin(), entries.end(),
                            [&](const QByteArray& e) { return e.startsWith(below); });
            return QByteArray(partly ? "4" : "3");
        };

        shell::TShellLink link;
        TSelectionList& list = *link.SelectionList();
        for (int step = 0; step < 1000; ++step) {
            const QByteArray path = paths[random.bounded(paths.size())];
            const int op = random.bounded(6);
            QByteArray done = QByteArray::number(step) + ": " + path.mid(w.size());
            if (op == 5) {
                // A file goes or comes back on disk; the next click finds it so.
                const QByteArray file = w + files[random.bounded(files.size())];
                if (::unlink(file.constData()) != 0)
                    makeFile(file, random.bounded(1, 5000));
                done += " after a change of " + file.mid(w.size());
            }
            const int before = list.GetState(path);
            if (op == 0) {
                list.SelectPath(path);
            } else if (op == 1) {
                list.DeselectPath(path);
            } else {
                list.TogglePath(path);
            }
            done += op == 0 ? " selected" : op == 1 ? " deselected" : " clicked";
            QVERIFY2(totalsMatch(list), done);
            // What the step asked for; a link's state after it is its target's.
            if (before != threads::ssNoCheckBox &&
                !QFileInfo(QFile::decodeName(path)).isSymLink()) {
                const bool selected = op == 0 || (op != 1 && before != threads::ssSelected);
                QVERIFY2(list.GetState(path) ==
                             (selected ? threads::ssSelected : threads::ssNotSelected),
                         done);
            }
            for (const QByteArray& entry : list.Paths()) {
                const QFileInfo info(
                    QFile::decodeName(entry.endsWith("/*") ? entry.chopped(2) : entry));
                QVERIFY2(info.exists() || info.isSymLink(), done + ", still has " + entry);
            }
            for (const QByteArray& p : paths) {
                bool inherited = false;
                const int state = list.GetState(p, &inherited);
                QCOMPARE(QByteArray::number(state) + (inherited ? "i" : "") + " " + p,
                         expected(list.Paths(), p) + " " + p);
            }
        }
    }

    // Size jobs still running when their entries go never reach the totals.
    void lateSizeJobs_data()
    {
        QTest::addColumn<bool>("selectAnother");
        QTest::newRow("cleared") << false;
        QTest::newRow("cleared, then another folder selected") << true;
    }

    void lateSizeJobs()
    {
        QFETCH(bool, selectAnother);
        shell::TShellLink link;
        TSelectionList& list = *link.SelectionList();
        Gate gate("deep");
        list.SelectPath(m_root + "/dir");
        // The pool's workers may be waiting for this thread: keep its events flowing.
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 60000);
        list.Clear();
        QCOMPARE(totalsOf(list), Selected{});
        if (selectAnother)
            list.SelectPath(m_root + "/other");
        gate.open();
        QVERIFY(totalsMatch(list));
        QTest::qWait(100);
        QCOMPARE(totalsOf(list), selectAnother ? (Selected{3, 1, 1}) : Selected{});
    }

    // Changes make the coupled controls refresh, once per operation and once for an
    // update; the link's items map to the same states.
    void changesAndItems()
    {
        shell::TShellLink link;
        CountingControl control;
        link.RegisterControl(&control);
        TSelectionList& list = *link.SelectionList();
        QSignalSpy changed(&list, &TSelectionList::OnChange);
        QSignalSpy measured(&list, &TSelectionList::OnCompletedCalculateFiles);
        const shell::TIdList drives = shell::SpecialFolderIDList(shell::SF_DRIVES);
        const shell::TIdList file = shell::IDListFromPath(m_root + "/dir/a.txt");
        QVERIFY(!file.isNull());
        QCOMPARE(list.GetItemState(drives), threads::ssNoCheckBox);

        list.SelectPath(m_root + "/dir");
        QCOMPARE(changed.count(), 1);
        QCOMPARE(control.updates, 1);
        list.SelectPath(m_root + "/dir");
        QCOMPARE(changed.count(), 1);
        QCOMPARE(list.GetItemState(drives), threads::ssPartlySelected);
        QCOMPARE(list.GetItemState(file), threads::ssSelected);
        QTRY_COMPARE(measured.count(), 1);

        // A click splits the folder entry: many changes, one refresh at its end.
        QCOMPARE(list.ToggleItem(file), threads::ssNotSelected);
        QCOMPARE(control.updates, 2);
        QVERIFY(changed.count() >= 3);
        QVERIFY(!list.Updating());
        QCOMPARE(shell::PathFromIDList(list.CollapseItem(file)), m_root + "/dir");
        QCOMPARE(list.ToggleItem(file), threads::ssSelected);
        QCOMPARE(relative(list.Paths()), QStringList{"@/dir/*"});
        QVERIFY(totalsMatch(list));

        list.Clear();
        QCOMPARE(list.GetItemState(drives), threads::ssNoCheckBox);
        QCOMPARE(control.updates, 4);
        link.UnregisterControl(&control);
    }
};

QTEST_GUILESS_MAIN(TestSelectionList)
#include "tst_selectionlist.moc"
