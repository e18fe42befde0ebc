// Identifier lists: sizes, counts, copies, concatenation, items and prefixes, and
// random or truncated blocks that must never be read past their end.

#include "shell/IdList.h"

#include <QRandomGenerator>
#include <QTest>
#include <cstring>
#include <memory>

using namespace shell;

namespace {

// A list of items whose total counts are the given sizes, filled with recognisable bytes.
TIdList listOfSizes(const QList<int>& sizes)
{
    QList<QByteArray> items;
    for (int i = 0; i < sizes.size(); ++i)
        items.append(QByteArray(sizes[i] - 2, char('a' + i)));
    return TIdList::fromItems(items);
}

QByteArray used(const TIdList& l)
{
    return l.block().left(IDListSize(l));
}

} // namespace

class TestIdList : public QObject
{
    Q_OBJECT
private slots:
    void sizeAndCount_data();
    void sizeAndCount();
    void absentAndMalformedGiveNothing_data();
    void absentAndMalformedGiveNothing();
    void concat();
    void itemAt_data();
    void itemAt();
    void firstItems_data();
    void firstItems();
    void parentAndLast();
    void copyDropsTrailingBytes();
    void fuzzNeverReadsOutside();
};

void TestIdList::sizeAndCount_data()
{
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << QList<int>{} << 2 << 0;
    QTest::newRow("20+30") << QList<int>{20, 30} << 52 << 2;
    QTest::newRow("bare counts") << QList<int>{2, 2, 2} << 8 << 3;
    QTest::newRow("largest item") << QList<int>{0xffff} << 0xffff + 2 << 1;
}

void TestIdList::sizeAndCount()
{
    QFETCH(QList<int>, sizes);
    const TIdList l = listOfSizes(sizes);
    QTEST(IDListSize(l), "size");
    QTEST(IDListCount(l), "count");
}

void TestIdList::absentAndMalformedGiveNothing_data()
{
    QTest::addColumn<bool>("absent");
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("absent") << true << QByteArray();
    QTest::newRow("zero bytes") << false << QByteArray();
    QTest::newRow("one byte") << false << QByteArray(1, '\0');
    QTest::newRow("count of one") << false << QByteArray::fromHex("01000000");
    QTest::newRow("count past end") << false << QByteArray::fromHex("0500aa0000");
    QTest::newRow("no terminator") << false << QByteArray::fromHex("0300aa");
    QTest::newRow("half terminator") << false << QByteArray::fromHex("0300aa00");
}

void TestIdList::absentAndMalformedGiveNothing()
{
    QFETCH(bool, absent);
    QFETCH(QByteArray, block);
    const TIdList l = absent ? TIdList() : TIdList::fromBytes(block);
    QCOMPARE(IDListSize(l), 0);
    QCOMPARE(IDListCount(l), 0);
    QVERIFY(CopyIDList(l).isNull());
    QVERIFY(IDListItem(l, 0).isNull());
    QVERIFY(IDListFirstItems(l, 0).isNull());
    QVERIFY(LastIDListItem(l).isNull());
    QVERIFY(ParentIDList(l).isNull());
    QVERIFY(l.items().isEmpty());
    // A malformed list never makes a well-formed looking result when joined.
    if (!absent)
        QVERIFY(ConcatIDLists(l, TIdList::empty()).isNull());
}

void TestIdList::concat()
{
    const TIdList x = listOfSizes({5, 7});
    const TIdList y = listOfSizes({3});
    QCOMPARE(used(ConcatIDLists(TIdList::empty(), x)), used(x));
    QCOMPARE(used(ConcatIDLists(x, TIdList())), used(x));
    QCOMPARE(used(ConcatIDLists(TIdList(), x)), used(x));
    const TIdList xy = ConcatIDLists(x, y);
    QCOMPARE(IDListSize(xy), IDListSize(x) - 2 + IDListSize(y));
    QCOMPARE(IDListCount(xy), 3);
    QCOMPARE(xy.items(), x.items() + y.items());
    QVERIFY(ConcatIDLists(TIdList(), TIdList()).isNull());
}

void TestIdList::itemAt_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("absent");
    QTest::addColumn<int>("size");
    QTest::newRow("0") << 0 << false << 5 + 2;
    QTest::newRow("2") << 2 << false << 9 + 2;
    QTest::newRow("3 = count") << 3 << false << 2;
    QTest::newRow("4") << 4 << true << 0;
    QTest::newRow("-1") << -1 << true << 0;
}

void TestIdList::itemAt()
{
    QFETCH(int, index);
    const TIdList l = listOfSizes({5, 7, 9});
    const TIdList item = IDListItem(l, index);
    QTEST(item.isNull(), "absent");
    QTEST(IDListSize(item), "size");
    if (index >= 0 && index < 3)
        QCOMPARE(item.itemData(0).toByteArray(), l.items().at(index));
}

void TestIdList::firstItems_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("count");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("3") << 3 << 3;
    QTest::newRow("5") << 5 << 3;
}

void TestIdList::firstItems()
{
    QFETCH(int, n);
    QFETCH(int, count);
    const TIdList l = listOfSizes({5, 7, 9});
    const TIdList first = IDListFirstItems(l, n);
    QCOMPARE(IDListCount(first), count);
    QCOMPARE(first.items(), l.items().mid(0, count));
    QVERIFY(IDListFirstItems(l, -1).isNull());
}

void TestIdList::parentAndLast()
{
    const TIdList l = listOfSizes({5, 7, 9});
    QCOMPARE(ParentIDList(l).items(), l.items().mid(0, 2));
    QCOMPARE(LastIDListItem(l).items(), l.items().mid(2));
    // Splitting and joining again gives the list back.
    QCOMPARE(used(ConcatIDLists(ParentIDList(l), LastIDListItem(l))), used(l));
    QVERIFY(LastIDListItem(TIdList::empty()).isNull());
    QVERIFY(ParentIDList(TIdList::empty()).isNull());
}

void TestIdList::copyDropsTrailingBytes()
{
    QByteArray block = listOfSizes({4}).block();
    block.append("garbage");
    const TIdList copy = CopyIDList(TIdList::fromBytes(block));
    QCOMPARE(copy.block().size(), 6);
    QCOMPARE(IDListCount(copy), 1);
}

void TestIdList::fuzzNeverReadsOutside()
{
    // Each block is handed over without a copy from a heap allocation of exactly its
    // length (a QByteArray of its own would have a terminator and spare room), so a read
    // past the end is caught by the address sanitizer; the results must also agree.
    QRandomGenerator rng(4711);
    for (int round = 0; round < 20000; ++round) {
        QByteArray block;
        if (round % 2 == 0) {
            block.resize(rng.bounded(0, 40));
            for (char& c : block)
                c = char(rng.bounded(0, 4) == 0 ? rng.bounded(0, 256) : rng.bounded(0, 8));
        } else {
            // A good list cut short or with one byte changed.
            QList<QByteArray> items;
            for (int i = rng.bounded(0, 5); i > 0; --i)
                items.append(QByteArray(rng.bounded(0, 6), 'x'));
            block = TIdList::fromItems(items).block();
            if (rng.bounded(0, 2) == 0)
                block.truncate(rng.bounded(0, int(block.size()) + 1));
            else if (!block.isEmpty())
                block[rng.bounded(0, int(block.size()))] = char(rng.bounded(0, 256));
        }
        const auto exact = std::make_unique<char[]>(std::size_t(qMax<qsizetype>(block.size(), 1)));
        std::memcpy(exact.get(), block.constData(), std::size_t(block.size()));
        const TIdList l = TIdList::fromBytes(QByteArray::fromRawData(exact.get(), block.size()));
        const int size = IDListSize(l);
        const int count = IDListCount(l);
        QVERIFY(size == 0 || (size >= 2 && size <= block.size()));
        QCOMPARE(size == 0, CopyIDList(l).isNull());
        QCOMPARE(l.items().size(), count);
        for (int i = -1; i <= count + 1; ++i) {
            const TIdList item = IDListItem(l, i);
            QCOMPARE(item.isNull(), size == 0 || i < 0 || i > count);
            QCOMPARE(IDListCount(IDListFirstItems(l, i)), size && i >= 0 ? qMin(i, count) : 0);
        }
        const TIdList joined = ConcatIDLists(l, l);
        QCOMPARE(IDListCount(joined), 2 * count);
        QCOMPARE(IDListCount(ParentIDList(l)), count > 0 ? count - 1 : 0);
    }
}

QTEST_GUILESS_MAIN(TestIdList)
#include "tst_idlist.moc"
