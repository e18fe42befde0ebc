// The worker pool on a hand-driven clock, load and processor count: when workers start
// and end, what a cancel removes and cancels, completions on the interface thread, and
// a pool that goes away while a worker is stuck.

#include "threads/BasicWorkItem.h"
#include "threads/MainThreadCall.h"
#include "threads/WorkerThreadPool.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace threads;

namespace {

class FakeEnvironment : public TPoolEnvironment
{
public:
    std::uint32_t TickCount() override
    {
        tickReads.fetch_add(1);
        return now.load();
    }
    int ProcessorCount() override { return processors.load(); }
    double ProcessorLoad() override { return load.load(); }

    std::atomic<std::uint32_t> now{100000};
    std::atomic<int> processors{1};
    std::atomic<double> load{0};
    std::atomic<int> tickReads{0};
};

// Holds items in Execute until the test opens it.
class Gate
{
public:
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    void pass()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// Records what happened to it; its completion records what it saw on the interface
// thread. Execute waits at the gate when one is given and ignores cancelling meanwhile.
class Probe : public TBasicWorkItem
{
public:
    explicit Probe(const void* owner = nullptr, std::shared_ptr<Gate> gate = {},
                   QObject* receiver = nullptr)
        : m_gate(std::move(gate))
    {
        SetOwner(owner);
        if (receiver)
            SetOnDone(receiver, [this](TBasicWorkItem& item) {
                completed = true;
                onMainThread = TMainThreadCall::OnMainThread();
                sawCancelled = item.CheckCancelled();
                nextStarted = next && next->started.load();
            });
    }
    void Execute() override
    {
        started.store(true);
        if (m_gate)
            m_gate->pass();
        if (throws)
            throw std::runtime_error("item failed");
        executed.store(true);
    }
    void Cancel() override
    {
        TBasicWorkItem::Cancel();
        if (onCancel)
            onCancel();
    }

    std::atomic_bool started{false};
    std::atomic_bool executed{false};
    bool throws = false;
    std::function<void()> onCancel;
    std::shared_ptr<Probe> next; // looked at by the completion
    // Written by the completion on the interface thread.
    bool completed = false;
    bool onMainThread = false;
    bool sawCancelled = false;
    bool nextStarted = false;

private:
    std::shared_ptr<Gate> m_gate;
};

// A pool whose test can see that a worker has begun to end.
class WatchedPool : public TWorkerThreadPool
{
public:
    using TWorkerThreadPool::TWorkerThreadPool;
    bool AnyFinishing()
    {
        std::lock_guard lock(PoolLock());
        return std::any_of(Threads().begin(), Threads().end(),
                           [](const auto& thread) { return thread->Finishing(); });
    }
};

struct Step
{
    std::uint32_t advanceMs;
    double load;
    int workers; // in the pool after the item was added
};
using Steps = QList<Step>;

// Items added every 201 ms with the processors idle: one new worker each time.
Steps ladder(int from, int to)
{
    Steps steps;
    for (int n = from; n <= to; ++n)
        steps.append({201, 0, n});
    return steps;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestThreadPool : public QObject
{
    Q_OBJECT
private slots:
    void spawning_data();
    void spawning();
    void cancelWork_data();
    void cancelWork();
    void completion_data();
    void completion();
    void idleWorkersEnd_data();
    void idleWorkersEnd();
    void stuckWorkersAreForgotten_data();
    void stuckWorkersAreForgotten();
};

void TestThreadPool::spawning_data()
{
    QTest::addColumn<std::uint32_t>("start");
    QTest::addColumn<int>("processors");
    QTest::addColumn<Steps>("steps");

    QTest::newRow("the first item starts one worker whatever the load")
        << 100000u << 1 << Steps{{0, 100, 1}, {0, 100, 1}, {300, 100, 1}, {300, 50, 2}};
    // The load is sampled at most every 200 ms: the 95 % of the second step is not seen.
    QTest::newRow("beyond two workers one start per 200 ms")
        << 100000u << 1
        << Steps{{0, 0, 1}, {0, 95, 2}, {0, 0, 2}, {199, 0, 2}, {1, 0, 3}, {0, 0, 3}, {200, 0, 4}};
    QTest::newRow("80 % load holds back, the load rounded half to even")
        << 100000u << 1
        << Steps{{0, 0, 1}, {0, 0, 2}, {201, 80, 2}, {201, 79.5, 2}, {201, 78.5, 3}, {201, -1, 4}};
    QTest::newRow("eight workers per processor")
        << 100000u << 1
        << Steps{{0, 0, 1}, {0, 0, 2}} + ladder(3, 8) + Steps{{201, 0, 8}, {201, 0, 8}};
    QTest::newRow("two processors")
        << 100000u << 2 << Steps{{0, 0, 1}, {0, 0, 2}} + ladder(3, 16) + Steps{{201, 0, 16}};
    QTest::newRow("an unknown processor count counts as one")
        << 100000u << 0 << Steps{{0, 0, 1}, {0, 0, 2}} + ladder(3, 8) + Steps{{201, 0, 8}};
    // The second sample falls after the 32-bit tick count wrapped: it must still be taken.
    QTest::newRow("the tick count wraps")
        << 0xFFFFFE00u << 1 << Steps{{0, 90, 1}, {1000, 10, 2}, {100, 10, 2}, {100, 10, 3}};
}

void TestThreadPool::spawning()
{
    QFETCH(std::uint32_t, start);
    QFETCH(int, processors);
    QFETCH(Steps, steps);
    auto environment = std::make_shared<FakeEnvironment>();
    environment->now = start;
    environment->processors = processors;
    const auto gate = std::make_shared<Gate>();
    TWorkerThreadPool pool(false, environment);
    QCOMPARE(pool.ThreadLimit(), std::uint32_t(8 * std::max(processors, 1)));
    const auto release = qScopeGuard([&] { gate->open(); });
    QCOMPARE(pool.Count(), 0);
    for (const Step& step : steps) {
        environment->now += step.advanceMs;
        environment->load = step.load;
        pool.AddWorkItem(std::make_shared<Probe>(nullptr, gate));
        QCOMPARE(pool.Count(), step.workers);
    }
    gate->open();
    QTRY_COMPARE(pool.PendingCount(), 0);
}

void TestThreadPool::cancelWork_data()
{
    QTest::addColumn<bool>("ownerA");
    QTest::newRow("one owner's items") << true;
    QTest::newRow("all items") << false;
}

void TestThreadPool::cancelWork()
{
    QFETCH(bool, ownerA);
    const int a = 0, b = 0; // two owners
    auto environment = std::make_shared<FakeEnvironment>();
    const auto gate = std::make_shared<Gate>();
    TWorkerThreadPool pool(false, environment);
    QSignalSpy allDone(&pool, &TWorkerThreadPool::OnAllWorkDone);
    const auto release = qScopeGuard([&] { gate->open(); });

    // Two workers, each held in one item; four more items wait in the queue.
    auto a0 = std::make_shared<Probe>(&a, gate, this);
    auto b0 = std::make_shared<Probe>(&b, gate, this);
    pool.AddWorkItem(a0);
    pool.AddWorkItem(b0);
    QCOMPARE(pool.Count(), 2);
    QTRY_VERIFY(a0->started && b0->started);
    QList<std::shared_ptr<Probe>> queued;
    for (const void* owner : {&a, &b, &a, &b}) {
        queued.append(std::make_shared<Probe>(owner, nullptr, this));
        pool.AddWorkItem(queued.last());
    }
    QCOMPARE(pool.Count(), 2);
    QCOMPARE(pool.QueuedCount(), 4);

    // While the cancel runs, an item of the other owner is added.
    auto late = std::make_shared<Probe>(&b, nullptr, this);
    b0->onCancel = [&pool, late] { pool.AddWorkItem(late); };
    pool.CancelWork(ownerA ? &a : nullptr);
    QVERIFY(!pool.Clearing());
    QVERIFY(a0->Cancelled());
    QVERIFY(b0->Cancelled());
    QCOMPARE(pool.QueuedCount(), ownerA ? 2 : 0);

    gate->open();
    QTRY_COMPARE(allDone.count(), 1);
    QCOMPARE(pool.PendingCount(), 0);
    for (const auto& running : {a0, b0}) {
        QVERIFY(running->completed);
        QVERIFY(running->sawCancelled);
    }
    for (int i = 0; i < queued.size(); ++i) {
        const bool kept = ownerA && i % 2 == 1;
        QCOMPARE(queued[i]->executed.load(), kept);
        QCOMPARE(queued[i]->completed, kept);
        QVERIFY(!queued[i]->sawCancelled);
    }
    QVERIFY(!late->started);
    QCOMPARE(allDone.count(), 1);
}

void TestThreadPool::completion_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("dropReceiver");
    QTest::addColumn<bool>("throws");
    QTest::addColumn<bool>("completes");
    QTest::addColumn<bool>("seesCancelled");

    QTest::newRow("after Execute") << false << false << false << true << false;
    QTest::newRow("cancelled during Execute") << true << false << false << true << true;
    QTest::newRow("its receiver went away") << false << true << false << false << false;
    QTest::newRow("Execute throws") << false << false << true << false << false;
}

void TestThreadPool::completion()
{
    QFETCH(bool, cancel);
    QFETCH(bool, dropReceiver);
    QFETCH(bool, throws);
    QFETCH(bool, completes);
    QFETCH(bool, seesCancelled);
    const int owner = 0;
    auto environment = std::make_shared<FakeEnvironment>();
    environment->load = 100; // one worker
    const auto gate = std::make_shared<Gate>();
    TWorkerThreadPool pool(false, environment);
    QSignalSpy allDone(&pool, &TWorkerThreadPool::OnAllWorkDone);
    const auto release = qScopeGuard([&] { gate->open(); });
    auto receiver = std::make_unique<QObject>();

    auto first = std::make_shared<Probe>(&owner, gate, receiver.get());
    first->throws = throws;
    auto second = std::make_shared<Probe>(nullptr, nullptr, this);
    first->next = second;
    pool.AddWorkItem(first);
    pool.AddWorkItem(second);
    QCOMPARE(pool.Count(), 1);
    QTRY_VERIFY(first->started);
    if (cancel)
        pool.CancelWork(&owner); // the running item goes, the other owner's stays queued
    QCOMPARE(pool.QueuedCount(), 1);
    if (dropReceiver)
        receiver.reset();
    gate->open();

    if (throws) {
        // The failing item ends its worker; the next item brings up another one.
        QTRY_COMPARE(pool.Count(), 0);
        QVERIFY(!second->started);
        pool.AddWorkItem(std::make_shared<Probe>());
    }
    QTRY_VERIFY(second->completed);
    QTRY_COMPARE(allDone.count(), 1);
    QCOMPARE(first->completed, completes);
    QCOMPARE(first->sawCancelled, seesCancelled);
    QCOMPARE(first->onMainThread, completes);
    // The worker waited for the completion before it took the next item.
    QVERIFY(!first->nextStarted);
    QVERIFY(second->onMainThread);
    QVERIFY(!second->sawCancelled);
}

void TestThreadPool::idleWorkersEnd_data()
{
    QTest::addColumn<double>("load");
    QTest::addColumn<bool>("whileLeaving"); // the next item comes as the worker ends

    QTest::newRow("the pool empties, then an item") << 0.0 << false;
    // The start decision must not count a worker that will take no more work.
    QTest::newRow("an item while the only worker leaves, processors at 80 %") << 80.0 << true;
}

void TestThreadPool::idleWorkersEnd()
{
    QFETCH(double, load);
    QFETCH(bool, whileLeaving);
    auto environment = std::make_shared<FakeEnvironment>();
    environment->load = load;
    auto pool = std::make_unique<WatchedPool>(false, environment);
    QSignalSpy workerEnded(pool.get(), &TCustomThreadPool::OnWorkerEnded);
    QSignalSpy allEnded(pool.get(), &TCustomThreadPool::OnAllWorkersEnded);
    auto first = std::make_shared<Probe>(nullptr, nullptr, this);
    pool->AddWorkItem(first);
    QTRY_VERIFY(first->completed);

    // Waits until the worker has looked at the clock twice more.
    const auto clockSeen = [&] {
        const int reads = environment->tickReads;
        QTRY_VERIFY(environment->tickReads >= reads + 2);
    };
    clockSeen();
    environment->now += pool->IdleTimeout();
    clockSeen();
    QCOMPARE(pool->Count(), 1);
    QCOMPARE(workerEnded.count(), 0);
    environment->now += 1;
    auto second = std::make_shared<Probe>(nullptr, nullptr, this);
    if (whileLeaving) {
        // The worker has given up waiting and hands its end to this thread, which runs
        // no events until the item is added: the worker is still in the list, but it
        // never looks at the queue again.
        while (!pool->AnyFinishing())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        pool->AddWorkItem(second);
        QTRY_VERIFY(second->completed);
        QTRY_COMPARE(pool->Count(), 1);
        QCOMPARE(workerEnded.count(), 1);
        QCOMPARE(allEnded.count(), 0);
    } else {
        QTRY_COMPARE(pool->Count(), 0);
        QCOMPARE(workerEnded.count(), 1);
        QCOMPARE(allEnded.count(), 1);
        QCOMPARE(allEnded.first().first().value<TCustomThreadPool*>(), pool.get());
        // The next item brings the pool back to life, whatever the load.
        pool->AddWorkItem(second);
        QCOMPARE(pool->Count(), 1);
        QTRY_VERIFY(second->completed);
    }
    pool.reset();
    QCOMPARE(workerEnded.count(), 2);
    QCOMPARE(allEnded.count(), whileLeaving ? 1 : 2);
}

void TestThreadPool::stuckWorkersAreForgotten_data()
{
    QTest::addColumn<int>("workers");
    QTest::addColumn<bool>("released"); // let go as the pool starts waiting
    QTest::newRow("one stuck") << 1 << false;
    QTest::newRow("two stuck") << 2 << false;
    QTest::newRow("one that finishes while the pool waits") << 1 << true;
}

void TestThreadPool::stuckWorkersAreForgotten()
{
    QFETCH(int, workers);
    QFETCH(bool, released);
    auto environment = std::make_shared<FakeEnvironment>();
    const auto gate = std::make_shared<Gate>();
    const auto release = qScopeGuard([&] { gate->open(); });
    auto pool = std::make_unique<TWorkerThreadPool>(false, environment);
    QList<std::shared_ptr<Probe>> held;
    for (int i = 0; i < workers; ++i) {
        held.append(std::make_shared<Probe>(nullptr, gate, this));
        pool->AddWorkItem(held.last());
    }
    QCOMPARE(pool->Count(), workers);
    for (const auto& item : held)
        QTRY_VERIFY(item->started);

    // The pool's waits run this thread's events: each turn that follows a look at the
    // clock moves it on by 100 ms, so the wait ends at the first look past its limit.
    const std::uint32_t start = environment->now;
    int seenReads = environment->tickReads;
    QTimer ticker;
    ticker.setInterval(0);
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (released)
            gate->open();
        if (environment->tickReads > seenReads) {
            seenReads = environment->tickReads;
            environment->now += 100;
        }
    });
    ticker.start();
    pool.reset();
    ticker.stop();
    if (released) {
        // The worker's completion ran while the pool waited, and saw the cancel.
        QVERIFY(environment->now - start < 3000);
        QVERIFY(held.first()->completed);
        QVERIFY(held.first()->sawCancelled);
        return;
    }
    QCOMPARE(environment->now - start, std::uint32_t(3000 * workers));

    // The forgotten workers still run their items; let go, they end without their
    // completions, since the pool is gone.
    for (const auto& item : held)
        QVERIFY(!item->executed);
    gate->open();
    for (const auto& item : held)
        QTRY_VERIFY(item->executed);
    QTest::qWait(50);
    QList<std::weak_ptr<Probe>> items;
    for (const auto& item : held) {
        QVERIFY(!item->completed);
        items.append(item);
    }
    held.clear();
    for (const auto& item : items)
        QTRY_VERIFY(item.expired());
}

QTEST_GUILESS_MAIN(TestThreadPool)
#include "tst_threadpool.moc"
