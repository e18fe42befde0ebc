// The size job on real folders: files, folders, links, sizes past 4 GiB, pseudo file
// systems, chains deeper than PATH_MAX, listings that fail in the middle of a walk and
// a cancel between entries.

#include "ScanGate.h"
#include "TestTrees.h"
#include "TreeGenerator.h"
#include "platform/DirectorySearch.h"
#include "threads/FolderSizeThread.h"
#include "threads/WorkerThreadPool.h"

#include <QSignalSpy>
#include <QTest>
#include <climits>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace testtrees;
using threads::TFolderSizeThread;

namespace {

struct Measure
{
    qint64 bytes = -1, files = -1, folders = -1;
    bool cancelled = false;
};

// Runs the item on a pool of its own and waits for its completion here.
Measure runOnPool(const std::shared_ptr<TFolderSizeThread>& item, QObject* receiver,
                  const std::function<void()>& whileRunning = {})
{
    Measure m;
    bool done = false;
    item->SetOnDone(receiver, [&](threads::TBasicWorkItem& i) {
        m.cancelled = i.CheckCancelled();
        done = true;
    });
    threads::TWorkerThreadPool pool(false);
    pool.AddWorkItem(item);
    if (whileRunning)
        whileRunning();
    if (!QTest::qWaitFor([&] { return done; }, 120000))
        qWarning("the size job did not finish");
    m.bytes = qint64(item->Bytes());
    m.files = item->Files();
    m.folders = item->Folders();
    return m;
}

} // namespace

class TestFolderSize : public QObject
{
    Q_OBJECT

    ScratchDir m_tmp;
    QByteArray m_root;

    // top (5 bytes) beside folders a, b, c and d with a file each; c also holds sub/f4.
    QByteArray fourFolders()
    {
        const QByteArray root = m_root + "/four";
        makeDir(root);
        makeFile(root + "/top", 5);
        for (const char* name : {"a", "b", "c", "d"})
            makeDir(root + '/' + name);
        makeFile(root + "/a/f1", 10);
        makeFile(root + "/b/f2", 20);
        makeFile(root + "/c/f3", 30);
        makeDir(root + "/c/sub");
        makeFile(root + "/c/sub/f4", 40);
        makeFile(root + "/d/f5", 50);
        return root;
    }

private slots:
    void initTestCase()
    {
        m_root = QFile::encodeName(m_tmp.path());
        makeFile(m_root + "/file.bin", 1234);
        makeDir(m_root + "/empty");
        makeDir(m_root + "/one");
        makeDir(m_root + "/one/sub");
        makeFile(m_root + "/one/sub/ten.txt", 10);
        makeFile(m_root + "/big.img", 5LL << 30);
        makeDir(m_root + "/links");
        makeLink("../one", m_root + "/links/to-folder");
        makeLink("../file.bin", m_root + "/links/to-file");
        makeLink("nowhere", m_root + "/links/dangling");
        makeDir(m_root + "/hidden");
        makeFile(m_root + "/hidden/.h", 3);
        makeDir(m_root + "/hidden/.hdir");
        makeFile(m_root + "/hidden/.hdir/x", 4);
    }

    void measure_data()
    {
        QTest::addColumn<QByteArray>("path"); // "@" stands for the test's folder
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("files");
        QTest::addColumn<qint64>("folders");

        QTest::newRow("a file") << QByteArray("@/file.bin") << true << 1234LL << 1LL << 0LL;
        QTest::newRow("an empty folder") << QByteArray("@/empty") << true << 0LL << 0LL << 1LL;
        QTest::newRow("a subfolder with a file")
            << QByteArray("@/one") << true << 10LL << 1LL << 2LL;
        QTest::newRow("with a trailing slash")
            << QByteArray("@/one/") << true << 10LL << 1LL << 2LL;
        QTest::newRow("not recursive") << QByteArray("@/one") << false << 0LL << 0LL << 1LL;
        QTest::newRow("past 4 GiB") << QByteArray("@/big.img") << true << (5LL << 30) << 1LL << 0LL;
        // "../one" + "../file.bin" + "nowhere": each link is a file of its own size.
        QTest::newRow("links are not followed")
            << QByteArray("@/links") << true << 24LL << 3LL << 1LL;
        QTest::newRow("a link to a folder")
            << QByteArray("@/links/to-folder") << true << 6LL << 1LL << 0LL;
        QTest::newRow("hidden entries count")
            << QByteArray("@/hidden") << true << 7LL << 2LL << 2LL;
        QTest::newRow("nothing there") << QByteArray("@/nothing") << true << 0LL << 0LL << 0LL;
        QTest::newRow("below a file") << QByteArray("@/file.bin/x") << true << 0LL << 0LL << 0LL;
        QTest::newRow("a relative path") << QByteArray("one") << true << 0LL << 0LL << 0LL;
        QTest::newRow("an empty path") << QByteArray() << true << 0LL << 0LL << 0LL;
        QTest::newRow("a pseudo file system") << QByteArray("/proc") << true << 0LL << 0LL << 1LL;
    }

    void measure()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, recursive);
        QFETCH(qint64, bytes);
        QFETCH(qint64, files);
        QFETCH(qint64, folders);
        TFolderSizeThread item(path.replace('@', m_root), recursive);
        item.Execute();
        QCOMPARE(qint64(item.Bytes()), bytes);
        QCOMPARE(qint64(item.Files()), files);
        QCOMPARE(qint64(item.Folders()), folders);
        QCOMPARE(item.Path().endsWith('/'), item.Folders() > 0 || path.endsWith('/'));
    }

    void generatedTreeMatchesFind()
    {
        const QByteArray root = m_root + "/generated";
        GeneratedTree made;
        QVERIFY(generateTree("wide-deep", 3000, 400, 11, root.toStdString(), made));
        const Measure m = runOnPool(std::make_shared<TFolderSizeThread>(root, true), this);
        QCOMPARE(m.bytes, made.bytes);
        QCOMPARE(m.files, made.files);
        QCOMPARE(m.folders, made.folders + 1);
        QVERIFY(!m.cancelled);
    }

    void deepChainBeyondPathMax()
    {
        const QByteArray root = m_root + "/deep";
        GeneratedTree made;
        QVERIFY(generateTree("deep", 1200, 1200, 3, root.toStdString(), made));
        // Deeper than the descriptors the process may hold open.
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        const rlimit lowered{256, limit.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
        TFolderSizeThread whole(root, true);
        whole.Execute();
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        QCOMPARE(qint64(whole.Bytes()), made.bytes);
        QCOMPARE(whole.Files(), 1200LL);
        QCOMPARE(whole.Folders(), 1201LL);

        // A folder whose own path is past PATH_MAX: levels 400 to 1200.
        QByteArray deep = root;
        for (int level = 0; level < 400; ++level)
            deep += QByteArray("/d") + QByteArray::number(level).rightJustified(9, '0');
        QVERIFY(deep.size() > PATH_MAX);
        TFolderSizeThread part(deep, true);
        part.Execute();
        QCOMPARE(part.Folders(), 801LL);
        QCOMPARE(part.Files(), 801LL);
        QVERIFY(part.Bytes() > 0 && part.Bytes() < whole.Bytes());
        TFolderSizeThread file(deep + "/file", true);
        file.Execute();
        QCOMPARE(file.Files(), 1LL);
        QCOMPARE(file.Folders(), 0LL);
    }

    // A folder that cannot be listed counts as itself and nothing more, and the walk
    // goes on with the rest.
    void listingFailsHalfway_data()
    {
        QTest::addColumn<bool>("removeDuringWalk");
        QTest::newRow("a folder refused") << false;
        QTest::newRow("folders removed while the walk is held") << true;
    }

    void listingFailsHalfway()
    {
        QFETCH(bool, removeDuringWalk);
        const QByteArray root = fourFolders();
        const QList<QByteArray> names{"a", "b", "c", "d"};
        Measure expected{5, 1, 5};
        Measure m;
        if (!removeDuringWalk) {
            platform::setFolderOpenHook([](int, std::string_view name) { return name != "c"; });
            m = runOnPool(std::make_shared<TFolderSizeThread>(root, true), this);
            platform::setFolderOpenHook({});
            expected.bytes += 10 + 20 + 50;
            expected.files += 3;
        } else {
            // Held as it opens the first of the four; the other three then go.
            auto held = std::make_shared<QByteArray>();
            Gate gate([held, names](std::string_view n) {
                const QByteArray name(n.data(), qsizetype(n.size()));
                if (!names.contains(name) || !held->isEmpty())
                    return false;
                *held = name;
                return true;
            });
            m = runOnPool(std::make_shared<TFolderSizeThread>(root, true), this, [&] {
                QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 60000);
                for (const QByteArray& name : names) {
                    if (name != *held)
                        QProcess::execute(
                            QStringLiteral("rm"),
                            {QStringLiteral("-rf"), QFile::decodeName(root + '/' + name)});
                }
                gate.open();
            });
            const Counts kept = findCounts(root + '/' + *held);
            expected.bytes += kept.bytes;
            expected.files += kept.files;
            expected.folders += kept.folders - 1;
        }
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), QFile::decodeName(root)});
        QCOMPARE(m.bytes, expected.bytes);
        QCOMPARE(m.files, expected.files);
        QCOMPARE(m.folders, expected.folders);
        QVERIFY(!m.cancelled);
    }

    void cancelStopsBetweenEntries()
    {
        const QByteArray root = fourFolders();
        const QList<QByteArray> names{"a", "b", "c", "d"};
        Gate gate([names](std::string_view n) {
            return names.contains(QByteArray(n.data(), qsizetype(n.size())));
        });
        auto item = std::make_shared<TFolderSizeThread>(root, true);
        const Measure m = runOnPool(item, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 60000);
            item->Cancel();
            gate.open();
        });
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), QFile::decodeName(root)});
        QVERIFY(m.cancelled);
        // The root and the folder it was entering; at most the file listed before it.
        QCOMPARE(m.folders, 2LL);
        QVERIFY(m.files <= 1);
        QVERIFY(m.bytes <= 5);
    }
};

QTEST_GUILESS_MAIN(TestFolderSize)
#include "tst_foldersize.moc"
