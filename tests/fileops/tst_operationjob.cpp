// An operation on its worker thread: questions reach the host on the interface thread
// while the interface keeps running, "für alle" answers once, a cancel from the interface
// stops at the next piece, and a job torn down while its question is still open ends
// cleanly.

#include "FileOpsFixtures.h"
#include "fileops/OperationJob.h"
#include "fileops/TreeTransfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace fileops;

namespace {

// Answers on the interface thread after running the event loop for a while, as a dialog
// would; remembers where and how often it was asked.
class SlowHost : public OperationHost
{
public:
    ConflictAnswer answer{ConflictAnswer::Replace, false};
    std::function<void()> whileAsking;
    int asked = 0;
    int ticksWhileAsking = 0;
    bool onInterfaceThread = true;

    ConflictAnswer askConflict(const ConflictQuestion&) override
    {
        ++asked;
        onInterfaceThread =
            onInterfaceThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [this] { ++ticksWhileAsking; });
        ticker.start(5);
        if (whileAsking)
            whileAsking();
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        return answer;
    }
    DeleteForGoodAnswer askDeleteForGood(const DeleteForGoodQuestion&) override
    {
        return {DeleteForGoodAnswer::Skip, false};
    }
};

void makeConflicts(const QByteArray& src, const QByteArray& dst, int count)
{
    QCOMPARE(::mkdir(src.constData(), 0755), 0);
    QCOMPARE(::mkdir(dst.constData(), 0755), 0);
    for (int i = 0; i < count; ++i) {
        putFile(src + "/f" + QByteArray::number(i), "new");
        putFile(dst + "/f" + QByteArray::number(i), "old");
    }
}

Operation copyAll(const QByteArray& src, const QByteArray& dst, int count)
{
    Operation op{OperationKind::Copy, {}, dst, {}};
    for (int i = 0; i < count; ++i)
        op.sources.append(src + "/f" + QByteArray::number(i));
    return op;
}

} // namespace

class TestOperationJob : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TreeTransfer::setChunkHook({}); }
    void questionsOnInterfaceThread_data();
    void questionsOnInterfaceThread();
    void cancelFromInterface();
    void destroyedWhileAsking();
};

void TestOperationJob::questionsOnInterfaceThread_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("forAll");
    QTest::addColumn<int>("asked");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("replace each") << int(ConflictAnswer::Replace) << false << 3
                                  << QByteArray("new");
    QTest::newRow("replace all") << int(ConflictAnswer::Replace) << true << 1 << QByteArray("new");
    QTest::newRow("skip all") << int(ConflictAnswer::Skip) << true << 1 << QByteArray("old");
}

void TestOperationJob::questionsOnInterfaceThread()
{
    QFETCH(int, choice);
    QFETCH(bool, forAll);
    QFETCH(int, asked);
    QFETCH(QByteArray, content);
    ScratchDir tmp;
    makeConflicts(tmp.path() + "/src", tmp.path() + "/dst", 3);
    SlowHost host;
    host.answer = {ConflictAnswer::Choice(choice), forAll};
    OperationJob job(copyAll(tmp.path() + "/src", tmp.path() + "/dst", 3), &host);
    QSignalSpy finished(&job, &OperationJob::finished);
    job.start();
    const OperationReport& report = job.waitForFinished();

    QCOMPARE(finished.size(), 1);
    QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    QCOMPARE(host.asked, asked);
    QVERIFY(host.onInterfaceThread);
    QVERIFY(host.ticksWhileAsking >= asked); // the interface ran while the worker waited
    for (int i = 0; i < 3; ++i)
        QCOMPARE(contentOf(tmp.path() + "/dst/f" + QByteArray::number(i)), content);
    QCOMPARE(job.progress().itemsDone, std::uint64_t(choice == ConflictAnswer::Skip ? 0 : 3));
}

void TestOperationJob::cancelFromInterface()
{
    ScratchDir tmp;
    const QByteArray src = tmp.path() + "/src", dst = tmp.path() + "/dst";
    QCOMPARE(::mkdir(src.constData(), 0755), 0);
    QCOMPARE(::mkdir(dst.constData(), 0755), 0);
    putFile(src + "/big", QByteArray(64 * 1024 * 1024, 'b'));
    putFile(src + "/later", "never");
    // Slow the copy down so that the interface thread's cancel lands in the middle.
    TreeTransfer::setChunkHook([](const QByteArray&, std::uint64_t) { QThread::msleep(30); });
    OperationJob job(Operation{OperationKind::Copy, {src + "/big", src + "/later"}, dst, {}},
                     nullptr);
    job.start();
    QTRY_VERIFY_WITH_TIMEOUT(job.progress().bytesDone > 0, 10000);
    QVERIFY(job.isRunning());
    job.cancel();
    const OperationReport& report = job.waitForFinished();

    QCOMPARE(report.outcome, OperationReport::Outcome::Cancelled);
    QVERIFY(report.bytes < 64u * 1024 * 1024);
    QCOMPARE(snapshot(dst).keys(), QByteArrayList{""});
    QCOMPARE(contentOf(src + "/big").size(), 64 * 1024 * 1024);
}

void TestOperationJob::destroyedWhileAsking()
{
    ScratchDir tmp;
    makeConflicts(tmp.path() + "/src", tmp.path() + "/dst", 2);
    SlowHost host;
    auto* job = new OperationJob(copyAll(tmp.path() + "/src", tmp.path() + "/dst", 2), &host);
    QPointer<OperationJob> watch(job);
    // The window that owns the job closes while its question is open.
    host.whileAsking = [&] { QTimer::singleShot(10, [job] { delete job; }); };
    job->start();
    QTRY_VERIFY_WITH_TIMEOUT(watch.isNull(), 10000);
    QCOMPARE(host.asked, 1);
    QCOMPARE(contentOf(tmp.path() + "/dst/f0"), QByteArray("old"));
    QCOMPARE(contentOf(tmp.path() + "/dst/f1"), QByteArray("old"));
    QVERIFY(temporaryLeftovers(tmp.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestOperationJob)
#include "tst_operationjob.moc"
