// Scans with folders read ahead on worker threads against scans whose walk reads every
// folder itself: the same nodes in the same order with the same entry numbers, texts
// and totals; folders that change under the read-ahead; and no descriptor left behind
// by many scans and cancels.

#include "ScanGate.h"
#include "TestTrees.h"
#include "TreeGenerator.h"
#include "app/FolderSizeStore.h"
#include "app/FolderTreeModel.h"
#include "app/MyThread.h"
#include "platform/DirectorySearch.h"

#include <QDir>
#include <QLocale>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <sys/mount.h>
#include <sys/resource.h>

using namespace testtrees;

namespace {

// Everything a scan leaves behind, node by node in entry order.
struct Node
{
    std::int32_t parent;
    QByteArray name;
    QString text;
    QList<std::int32_t> children;
    qint64 bytes;
    qint64 files;
    bool operator==(const Node&) const = default;
};

struct Result
{
    QList<Node> nodes;
    qint64 totalBytes = 0;
    qint64 totalFiles = 0;
    bool cancelled = false;
    bool operator==(const Result&) const = default;
};

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).count()) - 2;
}

} // namespace

class TestReadAhead : public QObject
{
    Q_OBJECT

    TFolderSizeStore& store = FolderStore();

    Result scan(const QByteArray& path, int threads)
    {
        TFolderTreeModel model(store);
        model.SetReadAheadThreads(threads);
        QSignalSpy finished(&model, &TFolderTreeModel::scanFinished);
        Result r;
        if (!model.StartScan(QFile::decodeName(path)) || !finished.wait(300000)) {
            qWarning("the scan did not run to its end");
            return r;
        }
        r.cancelled = finished.first().first().toBool();
        for (std::int32_t e = 1; e <= model.nodeCount(); ++e) {
            Node n{model.parentEntry(e),     model.nodeName(e),
                   model.nodeText(e),        {},
                   store.FolderSizes(e - 1), store.FolderFileCounts(e - 1)};
            for (std::int32_t row = 0; row < model.childCount(e); ++row)
                n.children << model.childEntry(e, row);
            r.nodes << n;
        }
        r.totalBytes = store.TotalBytesFound();
        r.totalFiles = store.TotalFilesFound();
        return r;
    }

    static void compare(const Result& got, const Result& expected)
    {
        QCOMPARE(got.nodes.size(), expected.nodes.size());
        for (qsizetype i = 0; i < got.nodes.size(); ++i)
            QVERIFY2(got.nodes[i] == expected.nodes[i],
                     qPrintable(QStringLiteral("entry %1: %2 against %3")
                                    .arg(i + 1)
                                    .arg(got.nodes[i].text, expected.nodes[i].text)));
        QCOMPARE(got.totalBytes, expected.totalBytes);
        QCOMPARE(got.totalFiles, expected.totalFiles);
        QCOMPARE(got.cancelled, expected.cancelled);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void cleanup() { platform::setFolderOpenHook({}); }

    void sameResultAsTheWalkAlone_data()
    {
        QTest::addColumn<QByteArray>("shape");
        QTest::newRow("generated wide and deep") << QByteArray("generated");
        QTest::newRow("hidden, links, a loop, odd names, 5 GiB, proc") << QByteArray("mixed");
        QTest::newRow("chain of 900") << QByteArray("chain900");
        QTest::newRow("chain deeper than the tree") << QByteArray("chain1200");
        QTest::newRow("bind mount inside itself") << QByteArray("bind");
        // More entries in one folder than the read-ahead may hold, and more subfolders
        // in one folder than it may read ahead.
        QTest::newRow("folder beyond the budget") << QByteArray("huge");
        QTest::newRow("folder beyond the window") << QByteArray("wide");
        // Thousands of folders that each hold one, with few descriptors left to open
        // them: a folder read ahead must not take the descriptor its turn will need.
        QTest::newRow("few descriptors") << QByteArray("descriptors");
    }

    void sameResultAsTheWalkAlone()
    {
        QFETCH(QByteArray, shape);
        ScratchDir tmp(QStringLiteral("/dev/shm"));
        const QByteArray root = QFile::encodeName(tmp.path()) + "/tree";
        makeDir(root);
        QList<QByteArray> mounts;
        const auto unmount = qScopeGuard([&] {
            for (auto m = mounts.crbegin(); m != mounts.crend(); ++m)
                ::umount2(m->constData(), MNT_DETACH);
        });
        GeneratedTree made;
        if (shape == "generated") {
            QVERIFY(generateTree("wide-deep", 4000, 600, 11, root.toStdString(), made));
        } else if (shape == "mixed") {
            makeDir(root + "/.hidden");
            makeFile(root + "/.hidden/.file", 4321);
            makeDir(root + "/big");
            makeFile(root + "/big/five-gib", 5 * (qint64(1) << 30));
            makeDir(root + "/\xff\xfe not UTF-8");
            makeFile(root + "/\xff\xfe not UTF-8/\xe4\xf6\xfc", 99);
            makeDir(root + "/loop");
            makeLink("..", root + "/loop/up");
            makeLink(root, root + "/loop/absolute");
            makeLink("/proc", root + "/loop/proc");
            makeDir(root + "/empty");
            makeDir(root + "/empty/inner");
            for (int i = 0; i < 40; ++i) {
                const QByteArray d = root + "/big/d" + QByteArray::number(i);
                makeDir(d);
                makeFile(d + "/f", i * 1000);
            }
            makeDir(root + "/proc");
            if (::mount("proc", (root + "/proc").constData(), "proc", 0, nullptr) == 0)
                mounts << root + "/proc";
        } else if (shape.startsWith("chain")) {
            QVERIFY(generateTree("deep", 1000, shape.mid(5).toInt(), 1, root.toStdString(), made));
        } else if (shape == "bind") {
            makeDir(root + "/a");
            makeFile(root + "/a/f", 100);
            makeDir(root + "/a/b");
            makeDir(root + "/a/b/loop");
            if (::mount((root + "/a").constData(), (root + "/a/b/loop").constData(), nullptr,
                        MS_BIND, nullptr) != 0)
                QSKIP("bind mounts need root");
            mounts << root + "/a/b/loop";
        } else if (shape == "huge") {
            QVERIFY(generateTree("flat", 20000, 1, 5, (root + "/many").toStdString(), made));
            makeDir(root + "/many/d000001/below");
            makeFile(root + "/many/d000001/below/f", 10);
            QVERIFY(generateTree("wide-deep", 300, 40, 5, (root + "/next").toStdString(), made));
        } else if (shape == "wide") {
            QVERIFY(generateTree("flat", 2000, 1500, 5, root.toStdString(), made));
        } else if (shape == "descriptors") {
            for (int i = 0; i < 3000; ++i) {
                const QByteArray d = root + "/d" + QByteArray::number(i);
                makeDir(d);
                makeDir(d + "/s");
                makeFile(d + "/s/f", i);
            }
        }
        rlimit descriptors{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &descriptors), 0);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &descriptors); });
        if (shape == "descriptors") {
            rlimit few = descriptors;
            few.rlim_cur = rlim_t(openDescriptors() + 40);
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
        }

        const Result alone = scan(root, 0);
        QVERIFY(!alone.nodes.isEmpty());
        for (int threads : {1, 2, 8}) {
            const Result ahead = scan(root, threads);
            compare(ahead, alone);
        }
    }

    // A folder the read-ahead knows from its parent's listing changes before it is
    // opened. It counts as an empty folder, as it would for a walk that opened it at
    // that moment; nothing is counted twice and everything else is counted.
    void foldersChangeUnderTheReadAhead_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<int>("threads");
        for (int threads : {0, 4}) {
            for (const char* change : {"vanishes", "becomes a file", "becomes a link", "unreadable",
                                       "renamed", "moved out"})
                QTest::addRow("%s, %d threads", change, threads) << QByteArray(change) << threads;
        }
    }

    void foldersChangeUnderTheReadAhead()
    {
        QFETCH(QByteArray, change);
        QFETCH(int, threads);
        ScratchDir tmp(QStringLiteral("/dev/shm"));
        const QByteArray root = QFile::encodeName(tmp.path()) + "/tree";
        const QByteArray outside = QFile::encodeName(tmp.path()) + "/outside";
        makeDir(outside);
        GeneratedTree made;
        QVERIFY(generateTree("wide-deep", 3000, 300, 3, root.toStdString(), made));
        // The folder that changes, with a subtree of its own, some levels down.
        const QByteArray parent = root + "/d000001";
        const QByteArray target = parent + "/target";
        makeDir(target);
        makeDir(target + "/inner");
        makeFile(target + "/inner/f", 777);
        makeFile(target + "/g", 333);
        QHash<QByteArray, Totals> expected = findTotals(root);
        for (QByteArray a = parent; a.size() >= root.size(); a.truncate(a.lastIndexOf('/'))) {
            expected[a].bytes -= 1110;
            expected[a].files -= 2;
        }

        std::atomic_int changed = 0;
        platform::setFolderOpenHook([&](int, std::string_view name) {
            if (name != "target" || changed++ > 0)
                return true;
            if (change == "unreadable")
                return false;
            const std::string t = target.toStdString();
            if (change == "renamed")
                return ::rename(t.c_str(), (t + "-renamed").c_str()) == 0;
            if (change == "moved out")
                return ::rename(t.c_str(), (outside + "/target").constData()) == 0;
            std::error_code error;
            std::filesystem::remove_all(t, error);
            if (change == "becomes a file")
                makeFile(target, 5000);
            else if (change == "becomes a link")
                makeLink(outside, target);
            return true;
        });
        const Result r = scan(root, threads);
        platform::setFolderOpenHook({});
        QCOMPARE(changed.load(), 1);

        // Every folder of the tree before the change has one node with the totals
        // counted then, less the changed folder's subtree; the changed folder is empty.
        QHash<std::int32_t, QByteArray> paths{{1, root}};
        QSet<QByteArray> seen;
        for (qsizetype i = 0; i < r.nodes.size(); ++i) {
            const Node& n = r.nodes[i];
            const QByteArray path = i == 0 ? root : paths[n.parent] + '/' + n.name;
            paths[std::int32_t(i + 1)] = path;
            QVERIFY2(!seen.contains(path), path.constData());
            seen.insert(path);
            QVERIFY2(n.text.contains(u'\t'), path.constData());
            if (path == target) {
                QCOMPARE(n.bytes, 0);
                QCOMPARE(n.files, 0);
                QVERIFY(n.children.isEmpty());
                continue;
            }
            QVERIFY2(expected.contains(path), path.constData());
            QCOMPARE(n.bytes, expected[path].bytes);
            QCOMPARE(n.files, expected[path].files);
        }
        QVERIFY(seen.contains(target));
        QCOMPARE(qsizetype(seen.size()), expected.size() - 1);
        QCOMPARE(r.totalFiles, expected[root].files);
        QCOMPARE(r.totalBytes, expected[root].bytes);
    }

    // Many scans in one process, a third of them cancelled half-way and a third the
    // moment they start: once each scan's thread has ended, it holds no descriptor.
    void noDescriptorOutlivesItsScan()
    {
        ScratchDir tmp(QStringLiteral("/dev/shm"));
        const QByteArray root = QFile::encodeName(tmp.path()) + "/tree";
        GeneratedTree made;
        QVERIFY(generateTree("wide-deep", 3000, 1000, 9, root.toStdString(), made));
        const int before = openDescriptors();
        TFolderTreeModel model(store);
        model.SetReadAheadThreads(4);
        QSignalSpy finished(&model, &TFolderTreeModel::scanFinished);
        for (int i = 0; i < 100; ++i) {
            std::unique_ptr<Gate> gate;
            if (i % 3 == 1) // held in the middle, then cancelled
                gate =
                    std::make_unique<Gate>([](std::string_view name) { return name == "d000500"; });
            QVERIFY(model.StartScan(QFile::decodeName(root)));
            const std::weak_ptr<TMyThread> thread = model.ScanThread();
            if (gate) {
                QVERIFY(gate->waitReached());
                model.CancelScan();
                gate.reset();
            } else if (i % 3 == 2) {
                model.CancelScan();
            }
            QVERIFY(finished.wait(60000));
            const bool cancelled = finished.takeFirst().first().toBool();
            if (i % 3 != 2) // one cancelled at once may have finished first
                QCOMPARE(cancelled, i % 3 == 1);
            QVERIFY(QTest::qWaitFor([&] { return thread.expired(); }, 60000));
            if (i % 3 == 0)
                QCOMPARE(store.FolderEntryCount(), int(made.folders) + 1);
        }
        QCOMPARE(openDescriptors(), before);
    }
};

QTEST_GUILESS_MAIN(TestReadAhead)
#include "tst_readahead.moc"
