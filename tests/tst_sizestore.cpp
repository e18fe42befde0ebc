// The size store: its entry rules, and reads from another thread while it grows.

#include "app/FolderSizeStore.h"

#include <QTest>
#include <atomic>
#include <latch>
#include <thread>

class TestSizeStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entriesFollowTheScan()
    {
        TFolderSizeStore store;
        QCOMPARE(store.FolderEntryCount(), 0);
        QCOMPARE(store.FolderSizes(0), 0);

        store.Reset();
        QCOMPARE(store.FolderEntryCount(), 1);
        QCOMPARE(store.FolderSizes(0), 0);
        QCOMPARE(store.AddEntry(), 2);
        QCOMPARE(store.AddEntry(), 3);
        store.StoreTotals(3, 5 * (qint64(1) << 30) + 1, 7); // beyond 32 bits, exact
        store.StoreTotals(1, 11, 1);
        QCOMPARE(store.FolderSizes(2), 5 * (qint64(1) << 30) + 1);
        QCOMPARE(store.FolderFileCounts(2), 7);
        QCOMPARE(store.FolderSizes(0), 11);
        QCOMPARE(store.FolderSizes(1), 0);
        // Outside the store: nothing is written, 0 is read.
        store.StoreTotals(4, 1, 1);
        store.StoreTotals(0, 1, 1);
        QCOMPARE(store.FolderSizes(3), 0);
        QCOMPARE(store.FolderSizes(-1), 0);

        store.CountFile(10);
        store.CountFile(qint64(1) << 33);
        QCOMPARE(store.TotalBytesFound(), (qint64(1) << 33) + 10);
        QCOMPARE(store.TotalFilesFound(), 2);

        // A new scan starts over: one empty root entry, totals 0, old entries gone.
        store.Reset();
        QCOMPARE(store.FolderEntryCount(), 1);
        QCOMPARE(store.FolderSizes(0), 0);
        QCOMPARE(store.FolderFileCounts(0), 0);
        QCOMPARE(store.FolderSizes(2), 0);
        QCOMPARE(store.TotalFilesFound(), 0);
        QCOMPARE(store.AddEntry(), 2);
        QCOMPARE(store.FolderSizes(1), 0); // a reused slot starts at 0 again
    }

    void entriesSurviveGrowthAcrossBlocks()
    {
        TFolderSizeStore store;
        store.Reset();
        constexpr int entries = 70000;
        for (int e = 2; e <= entries; ++e)
            QCOMPARE(store.AddEntry(), e);
        for (int e = 1; e <= entries; ++e)
            store.StoreTotals(e, qint64(e) * 4099, e % 13);
        for (int e = 1; e <= entries; ++e) {
            QCOMPARE(store.FolderSizes(e - 1), qint64(e) * 4099);
            QCOMPARE(store.FolderFileCounts(e - 1), e % 13);
        }
    }

    void readsWhileTheScanWrites()
    {
        // The writer stores values whose two 32-bit halves are equal; a reader that
        // saw half of an old and half of a new value would find them different.
        TFolderSizeStore store;
        store.Reset();
        std::atomic_bool done{false};
        // Both begin together, and the writer waits in the middle of its first round
        // until the reader has gone over the store once meanwhile: the reads happen
        // while the writes do, however the threads are scheduled.
        std::latch start(2);
        std::atomic_bool writing{false};
        std::atomic<int> passesWhileWriting{0};
        std::thread writer([&] {
            start.arrive_and_wait();
            for (int round = 0; round < 3; ++round) {
                store.Reset();
                for (int e = 2; e <= 60000; ++e) {
                    store.AddEntry();
                    const qint64 v = qint64(e + round) * 0x100000001LL;
                    store.StoreTotals(e, v, v);
                    store.StoreTotals(1, v, v);
                    store.CountFile(0x100000001LL);
                    if (round == 0 && e == 30000) {
                        writing = true;
                        passesWhileWriting.wait(0);
                    }
                }
            }
            done = true;
        });
        qint64 torn = 0, reads = 0;
        start.arrive_and_wait();
        while (!done) {
            const bool wasWriting = writing;
            const std::int32_t count = store.FolderEntryCount();
            for (std::int32_t i = std::max(0, count - 64); i < count; ++i) {
                for (qint64 v : {store.FolderSizes(i), store.FolderFileCounts(i)}) {
                    ++reads;
                    if ((v >> 32) != (v & 0xffffffff))
                        ++torn;
                }
            }
            const qint64 total = store.TotalBytesFound();
            if ((total >> 32) != (total & 0xffffffff))
                ++torn;
            if (wasWriting && passesWhileWriting.fetch_add(1) == 0)
                passesWhileWriting.notify_one();
        }
        writer.join();
        QVERIFY(reads > 0);
        QCOMPARE(torn, 0);
        QCOMPARE(store.FolderEntryCount(), 60000);
        QCOMPARE(store.FolderSizes(59999), qint64(60002) * 0x100000001LL);
    }
};

QTEST_GUILESS_MAIN(TestSizeStore)
#include "tst_sizestore.moc"
