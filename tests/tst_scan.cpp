// Whole scans of real folders: the scan thread walks, the tree model takes over its
// changes on this thread, and both are checked against what `find` counts.

#include "FolderTreeQueries.h"
#include "ScanGate.h"
#include "TestTrees.h"
#include "TreeGenerator.h"
#include "app/FolderSizeStore.h"
#include "app/FolderTreeModel.h"
#include "app/MyThread.h"
#include "platform/DirectorySearch.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QLocale>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <condition_variable>
#include <mutex>
#include <sys/mount.h>

using namespace testtrees;

namespace {

const QString kFiller = QString(54, QLatin1Char('w'));

QString completed(const QString& size, const QString& name, int files)
{
    return size + QStringLiteral(" MB\t") + name + QLatin1Char('\t') + QString::number(files) +
           QStringLiteral(" Dateien\t") + kFiller;
}

} // namespace

class TestScan : public QObject
{
    Q_OBJECT

    TFolderSizeStore& store = FolderStore();

    // Runs one scan to its end; returns whether it was cancelled.
    bool scan(TFolderTreeModel& model, const QByteArray& path)
    {
        QSignalSpy finished(&model, &TFolderTreeModel::scanFinished);
        if (!model.StartScan(QFile::decodeName(path))) {
            qWarning("scan did not start");
            return false;
        }
        if (!finished.wait(300000))
            qWarning("scan did not finish");
        return !finished.isEmpty() && finished.first().first().toBool();
    }

    // Every folder has exactly one node, numbered in depth-first order; every
    // completed node holds what find counts below it. `empty` lists subtrees that
    // the scan must count as empty (unreadable, vanished, pseudo file systems).
    void verifyAgainstFind(const TFolderTreeModel& model, const QByteArray& root,
                           const QList<QByteArray>& empty = {})
    {
        QHash<QByteArray, Totals> expected = findTotals(root);
        // Folders below the deepest level of the tree have no node: their files count
        // into the deepest one.
        for (auto it = expected.begin(); it != expected.end();)
            it = it.key().mid(root.size()).count('/') > TMyThread::MaxScanDepth ? expected.erase(it)
                                                                                : std::next(it);
        for (const QByteArray& gone : empty) {
            const Totals t = expected.value(gone);
            for (QByteArray a = gone; a.size() >= root.size(); a.truncate(a.lastIndexOf('/'))) {
                expected[a].bytes -= t.bytes;
                expected[a].files -= t.files;
            }
            for (auto it = expected.begin(); it != expected.end();)
                it = it.key().startsWith(gone + '/') ? expected.erase(it) : std::next(it);
        }

        QSet<QByteArray> seen;
        std::int32_t next = 1;
        std::function<void(std::int32_t, const QByteArray&)> visit = [&](std::int32_t entry,
                                                                         const QByteArray& path) {
            QCOMPARE(entry, next++);
            QVERIFY2(!seen.contains(path), path.constData());
            seen.insert(path);
            QVERIFY2(expected.contains(path), path.constData());
            QVERIFY2(model.isCompleted(entry), path.constData());
            QCOMPARE(store.FolderSizes(entry - 1), expected[path].bytes);
            QCOMPARE(store.FolderFileCounts(entry - 1), expected[path].files);
            for (std::int32_t row = 0; row < model.childCount(entry); ++row) {
                const std::int32_t child = model.childEntry(entry, row);
                QCOMPARE(model.parentEntry(child), entry);
                visit(child, path + '/' + model.nodeName(child));
            }
        };
        visit(1, root);
        QCOMPARE(next - 1, model.nodeCount());
        QCOMPARE(store.FolderEntryCount(), model.nodeCount());
        QCOMPARE(qsizetype(seen.size()), expected.size());
        QCOMPARE(store.TotalFilesFound(), expected[root].files);
        QCOMPARE(store.TotalBytesFound(), expected[root].bytes);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void cleanup() { platform::setFolderOpenHook({}); }

    void ancestorsSumTheirSubtrees()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path()) + "/three";
        makeDir(root);
        makeDir(root + "/a");
        makeDir(root + "/a/b");
        makeDir(root + "/a/c");
        makeFile(root + "/a/b/one", 1024 * 1024);
        makeFile(root + "/a/b/two", 512 * 1024);
        makeFile(root + "/a/c/three", 3000);

        TFolderTreeModel model(store);
        QVERIFY(!scan(model, root));
        verifyAgainstFind(model, root);
        const std::int32_t a = model.childEntry(1, 0);
        const std::int32_t b = model.nodeName(model.childEntry(a, 0)) == "b"
                                   ? model.childEntry(a, 0)
                                   : model.childEntry(a, 1);
        QCOMPARE(model.nodeText(b), completed(QStringLiteral("1,50"), QStringLiteral("b"), 2));
        QCOMPARE(model.nodeText(a), completed(QStringLiteral("1,50"), QStringLiteral("a"), 3));
        // The root is named by the path as typed, without the separator the walk adds.
        QCOMPARE(model.nodeText(1), completed(QStringLiteral("1,50"), QFile::decodeName(root), 3));
        QCOMPARE(model.data(model.indexOfEntry(b), TFolderTreeModel::EntryRole).toInt(), b);
        QCOMPARE(model.data(model.indexOfEntry(b)).toString(), model.nodeText(b));

        // Typed with the separator, the root keeps it.
        QVERIFY(!scan(model, root + '/'));
        QCOMPARE(model.nodeName(1), root + '/');
        QCOMPARE(model.nodeCount(), 4);
    }

    void countsWhatFindCounts()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path());
        makeDir(root + "/.hidden-folder");
        makeFile(root + "/.hidden-folder/.hidden-file", 4321);
        makeFile(root + "/.hidden-file", 17);
        makeDir(root + "/empty");
        makeDir(root + "/empty/empty-too");
        makeDir(root + "/big");
        makeFile(root + "/big/five-gib", 5 * (qint64(1) << 30));
        makeDir(root + "/\xff\xfe not UTF-8");
        makeFile(root + "/\xff\xfe not UTF-8/\xe4\xf6\xfc", 99);
        makeDir(root + "/new\nline");
        makeFile(root + "/new\nline/x", 5);
        makeDir(root + "/loop");
        makeLink("..", root + "/loop/up");
        makeLink(".", root + "/loop/self");
        makeLink(root, root + "/loop/absolute");
        makeLink("/proc", root + "/loop/proc");
        // Only "." and ".." themselves are left out.
        makeFile(root + "/..foo", 31);
        makeDir(root + "/..bar");
        makeFile(root + "/..bar/...", 62);

        TFolderTreeModel model(store);
        QVERIFY(!scan(model, root));
        verifyAgainstFind(model, root);
        QCOMPARE(model.nodeCount(), 9);
        for (std::int32_t row = 0; row < model.childCount(1); ++row) {
            const std::int32_t child = model.childEntry(1, row);
            if (model.nodeName(child) == "big")
                QCOMPARE(model.nodeText(child),
                         completed(QStringLiteral("5120,00"), QStringLiteral("big"), 1));
            if (model.nodeName(child) == "empty")
                QCOMPARE(model.nodeText(child),
                         completed(QStringLiteral("0,00"), QStringLiteral("empty"), 0));
        }
    }

    void generatedTreeThroughTheModelTester()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path()) + "/gen";
        GeneratedTree made;
        QVERIFY(generateTree("wide-deep", 3000, 400, 7, root.toStdString(), made));
        TFolderTreeModel model(store);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(!scan(model, root));
        QCOMPARE(model.nodeCount(), 401);
        QCOMPARE(store.FolderFileCounts(0), 3000);
        QCOMPARE(store.FolderSizes(0), made.bytes);
        verifyAgainstFind(model, root);
    }

    void deepChainBeyondPathMax()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path()) + "/deep";
        GeneratedTree made;
        QVERIFY(generateTree("deep", 900, 900, 1, root.toStdString(), made));
        TFolderTreeModel model(store);
        QVERIFY(!scan(model, root));
        QCOMPARE(model.nodeCount(), 901);
        QCOMPARE(store.FolderFileCounts(0), 900);
        QCOMPARE(store.FolderSizes(0), made.bytes);
        verifyAgainstFind(model, root);
        QByteArray deepest = root;
        for (std::int32_t e = 1; model.childCount(e) > 0; e = model.childEntry(e, 0))
            deepest += '/' + model.nodeName(model.childEntry(e, 0));
        QVERIFY(deepest.size() > 4096);
    }

    // Trees whose shape once made the walk lose or repeat data: the totals must still
    // be those find counts, and each folder must have exactly one node.
    void walkKeepsTheTotals_data()
    {
        QTest::addColumn<QByteArray>("shape");
        QTest::addColumn<int>("nodes");
        // A folder is moved out of the tree while a folder below it is walked, deep
        // enough that the levels above hold no descriptor: its later siblings count.
        QTest::newRow("moved out below the open levels") << QByteArray("moved") << 79;
        // ... and a folder above it is renamed too: only that folder's remaining
        // subfolders count as empty.
        QTest::newRow("moved out, its parent renamed") << QByteArray("moved+1") << 74;
        QTest::newRow("moved out, a folder above renamed") << QByteArray("moved+2") << 74;
        // Levels past the deepest node are summed into it.
        QTest::newRow("chain deeper than the tree")
            << QByteArray("deep") << TMyThread::MaxScanDepth + 1;
        // A folder mounted inside itself is not walked a second time.
        QTest::newRow("bind mount inside itself") << QByteArray("bind") << 4;
        QTest::newRow("recursive bind mount inside itself") << QByteArray("rbind") << 5;
        QTest::newRow("bind mount of the root inside a deep folder")
            << QByteArray("bind-deep") << 69;
    }

    void walkKeepsTheTotals()
    {
        QFETCH(QByteArray, shape);
        QFETCH(int, nodes);
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path()) + "/tree";
        const QByteArray outside = QFile::encodeName(tmp.path()) + "/outside";
        makeDir(root);
        makeDir(outside);
        QList<QByteArray> empty;
        QList<QByteArray> mounts;
        QByteArray movedFrom, movedTo, renamed;
        qsizetype descriptorsAtTheBottom = 0;
        // Unmounts whatever the case mounted, also when a check fails half-way.
        const auto unmount = qScopeGuard([&] {
            for (auto m = mounts.crbegin(); m != mounts.crend(); ++m)
                ::umount2(m->constData(), MNT_DETACH);
        });

        auto chain = [](QByteArray path, int levels) {
            for (int i = 0; i < levels; ++i) {
                path += "/c" + QByteArray::number(i);
                makeDir(path);
                makeFile(path + "/f", 10);
            }
            return path;
        };
        if (shape.startsWith("moved")) {
            // Six siblings at level 67, each with a folder of its own below it.
            const QByteArray parent = chain(root, 66);
            for (int i = 0; i < 6; ++i) {
                const QByteArray sibling = parent + "/s" + QByteArray::number(i);
                makeDir(sibling);
                makeFile(sibling + "/data", 1024 * 1024);
                makeDir(sibling + "/in" + QByteArray::number(i));
                makeFile(sibling + "/in" + QByteArray::number(i) + "/f", 7);
            }
            // The sibling walked first is moved out as its own folder is opened.
            platform::setFolderOpenHook([&](int parentFd, std::string_view name) {
                if (name.substr(0, 2) != "in" || !movedFrom.isEmpty())
                    return true;
                char path[4096];
                const ssize_t n =
                    ::readlink(("/proc/self/fd/" + QByteArray::number(parentFd)).constData(), path,
                               sizeof path);
                movedFrom = QByteArray(path, n > 0 ? n : 0);
                movedTo = outside + movedFrom.mid(movedFrom.lastIndexOf('/'));
                if (::rename(movedFrom.constData(), movedTo.constData()) != 0)
                    movedFrom = "failed";
                if (shape != "moved") {
                    renamed = movedFrom;
                    for (int up = shape.back() - '0'; up > 0; --up)
                        renamed.truncate(renamed.lastIndexOf('/'));
                    if (::rename(renamed.constData(), (renamed + "-renamed").constData()) != 0)
                        movedFrom = "failed";
                }
                return true;
            });
        } else if (shape == "deep") {
            GeneratedTree made;
            QVERIFY(generateTree("deep", 1200, 1200, 1, root.toStdString(), made));
            // At the bottom, the walk holds no more descriptors than at level 64.
            platform::setFolderOpenHook([&](int, std::string_view name) {
                if (name == "d000001199")
                    descriptorsAtTheBottom = QDir(QStringLiteral("/proc/self/fd")).count();
                return true;
            });
        } else {
            // tree/a/b/loop shows tree/a; deep, tree/c0/.../c66/loop shows tree.
            const bool deep = shape == "bind-deep";
            const QByteArray a = deep ? root : root + "/a";
            makeDir(a);
            makeFile(a + "/f", 100);
            const QByteArray b = deep ? chain(root, 67) : a + "/b";
            makeDir(b);
            makeFile(b + "/g", 200);
            for (const QByteArray& m : {b + "/loop", b + "/loop2"}) {
                if (m.endsWith('2') && shape != "rbind")
                    break;
                makeDir(m);
                // The second mount brings the first one along inside it.
                const unsigned long flags = MS_BIND | (mounts.isEmpty() ? 0 : MS_REC);
                if (::mount(a.constData(), m.constData(), nullptr, flags, nullptr) != 0)
                    QSKIP("bind mounts need root");
                mounts << m;
                empty << m;
            }
        }

        TFolderTreeModel model(store);
        QVERIFY(!scan(model, root));
        platform::setFolderOpenHook({});
        QCOMPARE(shape.startsWith("moved"), !movedFrom.isEmpty());
        QVERIFY2(movedFrom != "failed", movedTo.constData());
        if (!renamed.isEmpty()) {
            QCOMPARE(::rename((renamed + "-renamed").constData(), renamed.constData()), 0);
            // The folder walked first was walked whole; its siblings, left for after
            // the rename, could not be opened any more.
            const QByteArray parent = movedFrom.left(movedFrom.lastIndexOf('/'));
            for (int i = 0; i < 6; ++i)
                if (parent + "/s" + QByteArray::number(i) != movedFrom)
                    empty << parent + "/s" + QByteArray::number(i);
        }
        if (!movedFrom.isEmpty())
            QCOMPARE(::rename(movedTo.constData(), movedFrom.constData()), 0);
        verifyAgainstFind(model, root, empty);
        QCOMPARE(model.nodeCount(), nodes);
        if (shape == "deep")
            QVERIFY2(descriptorsAtTheBottom > 0 && descriptorsAtTheBottom < 200,
                     QByteArray::number(descriptorsAtTheBottom).constData());
    }

    void cancelLeavesUnfinishedFoldersPlain()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path());
        for (const char* name : {"a", "b", "c", "d"}) {
            makeDir(root + '/' + name);
            makeFile(root + '/' + name + "/file", 1000);
        }
        makeDir(root + "/c/stop");
        makeDir(root + "/c/stop/below");

        TFolderTreeModel model(store);
        QSignalSpy finished(&model, &TFolderTreeModel::scanFinished);
        Gate gate("stop");
        QVERIFY(model.StartScan(QFile::decodeName(root)));
        QVERIFY(gate.waitReached());
        // The folder may be opened ahead of the walk: cancel once the walk is there.
        QVERIFY(waitForNode(model, "stop"));
        model.CancelScan();
        gate.open();
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY(!model.Scanning());

        // The folders on the path to "stop" keep their plain names; those finished
        // before keep their totals; nothing below "stop" was added.
        QCOMPARE(model.nodeText(1), QFile::decodeName(root));
        std::int32_t c = 0;
        for (std::int32_t row = 0; row < model.childCount(1); ++row) {
            const std::int32_t child = model.childEntry(1, row);
            if (model.nodeName(child) == "c")
                c = child;
            else if (model.isCompleted(child))
                QCOMPARE(store.FolderFileCounts(child - 1), 1);
            else
                QFAIL("a sibling that was added was not completed");
        }
        QVERIFY(c != 0);
        QCOMPARE(model.nodeText(c), QStringLiteral("c"));
        QCOMPARE(model.childCount(c), 1);
        const std::int32_t stop = model.childEntry(c, 0);
        QCOMPARE(model.nodeText(stop), QStringLiteral("stop"));
        QCOMPARE(model.childCount(stop), 0);
        QCOMPARE(store.FolderFileCounts(stop - 1), 0);
        QCOMPARE(model.nodeCount(), model.childCount(1) + 2);
    }

    void secondScanStartsOver()
    {
        ScratchDir tmp;
        const QByteArray big = QFile::encodeName(tmp.path()) + "/big";
        const QByteArray small = QFile::encodeName(tmp.path()) + "/small";
        GeneratedTree made;
        QVERIFY(generateTree("flat", 50, 30, 3, big.toStdString(), made));
        makeDir(small);
        makeDir(small + "/only");
        makeFile(small + "/only/f", 10);

        TFolderTreeModel model(store);
        QVERIFY(!scan(model, big));
        QCOMPARE(model.nodeCount(), 31);
        QVERIFY(!scan(model, small));
        QCOMPARE(model.nodeCount(), 2);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.nodeName(1), small);
        QCOMPARE(model.nodeName(2), QByteArray("only"));
        QCOMPARE(store.FolderEntryCount(), 2);
        QCOMPARE(store.TotalFilesFound(), 1);
        verifyAgainstFind(model, small);
    }

    void startDuringAScanIsRefused()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path());
        makeDir(root + "/wait");
        TFolderTreeModel model(store);
        QSignalSpy finished(&model, &TFolderTreeModel::scanFinished);
        {
            Gate gate("wait");
            QVERIFY(model.StartScan(QFile::decodeName(root)));
            QVERIFY(gate.waitReached());
            QVERIFY(!model.StartScan(QFile::decodeName(root)));
            QVERIFY(model.Scanning());
        }
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.size(), 1);
        QVERIFY(model.StartScan(QFile::decodeName(root)));
        QVERIFY(finished.wait(60000));
    }

    void unreadableAndVanishingFoldersCountAsEmpty()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path());
        makeDir(root + "/locked");
        makeFile(root + "/locked/secret", 4096);
        makeDir(root + "/vanishing");
        makeDir(root + "/vanishing/inner");
        makeFile(root + "/vanishing/inner/f", 77);
        makeFile(root + "/kept", 5);
        const QByteArray vanishing = root + "/vanishing";
        platform::setFolderOpenHook([&](int, std::string_view name) {
            if (name == "vanishing")
                QDir(QFile::decodeName(vanishing)).removeRecursively();
            return name != "locked";
        });
        TFolderTreeModel model(store);
        QVERIFY(!scan(model, root));
        platform::setFolderOpenHook({});
        makeDir(vanishing); // find must see the folder, empty, as the scan did
        verifyAgainstFind(model, root, {root + "/locked"});
        QCOMPARE(model.nodeCount(), 3);
        QCOMPARE(store.FolderFileCounts(0), 1);
    }

    void pseudoFileSystemsAreNotEntered()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path());
        makeDir(root + "/proc");
        makeDir(root + "/data");
        makeFile(root + "/data/f", 123);
        if (::mount("proc", (root + "/proc").constData(), "proc", 0, nullptr) != 0)
            QSKIP("mounting a proc file system needs root");
        TFolderTreeModel model(store);
        const bool cancelled = scan(model, root);
        ::umount2((root + "/proc").constData(), MNT_DETACH);
        QVERIFY(!cancelled);
        QCOMPARE(model.nodeCount(), 3);
        QCOMPARE(store.FolderFileCounts(0), 1);
        QCOMPARE(store.FolderSizes(0), 123);
        verifyAgainstFind(model, root);
    }

    void badScanPaths_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("rootName");
        QTest::addColumn<int>("nodes");
        QTest::newRow("empty") << QString() << QByteArray() << 1;
        QTest::newRow("relative") << QStringLiteral("no/such/relative") << QByteArray("no//") << 1;
        QTest::newRow("plain word")
            << QStringLiteral("nothing-here") << QByteArray("nothing-here") << 1;
        QTest::newRow("a file") << QStringLiteral("@/file") << QByteArray("@/file") << 1;
        QTest::newRow("odd characters") << QStringLiteral("@/\n*?\"<>|\t") << QByteArray("@/") << 2;
        QTest::newRow("missing below")
            << QStringLiteral("@/sub/missing/deeper") << QByteArray("@/sub//") << 1;
    }

    void badScanPaths()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, rootName);
        QFETCH(int, nodes);
        ScratchDir tmp;
        const QByteArray base = QFile::encodeName(tmp.path());
        makeFile(base + "/file", 10);
        makeDir(base + "/sub");
        typed.replace(QLatin1Char('@'), tmp.path());
        rootName.replace('@', base);

        TFolderTreeModel model(store);
        QVERIFY(!scan(model, QFile::encodeName(typed)));
        QCOMPARE(model.nodeName(1), rootName);
        QCOMPARE(model.nodeCount(), nodes);
        QVERIFY(model.isCompleted(1));
        QCOMPARE(store.FolderFileCounts(0), nodes == 2 ? 1 : 0);
    }

    void closingDuringAScanDoesNotWait()
    {
        ScratchDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path());
        makeDir(root + "/hold");
        std::weak_ptr<TMyThread> thread;
        {
            Gate gate("hold");
            auto model = std::make_unique<TFolderTreeModel>(store);
            QVERIFY(model->StartScan(QFile::decodeName(root)));
            QVERIFY(gate.waitReached());
            thread = model->ScanThread();
            QVERIFY(!thread.expired());
            model.reset(); // returns while the walk is still held
            QVERIFY(!thread.expired());
        }
        // Let go, the walk notices it was told to stop and frees itself.
        QTRY_VERIFY_WITH_TIMEOUT(thread.expired(), 60000);
    }
};

QTEST_GUILESS_MAIN(TestScan)
#include "tst_scan.moc"
