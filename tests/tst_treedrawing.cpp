// The columns and share bars drawn over the folder tree's items, checked on the
// pixels of the painted tree.

#include "FolderTreeQueries.h"
#include "ScanGate.h"
#include "TestTrees.h"
#include "app/MainForm.h"
#include "ui_MainForm.h"

#include <QLocale>
#include <QTest>

using namespace testtrees;

namespace {

const QRgb kBar = qRgb(196, 196, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);

struct Row
{
    int top = 0;
    int bottom = 0; // outside
};

class Picture
{
public:
    explicit Picture(QTreeView* tree) : m_image(tree->viewport()->grab().toImage())
    {
        m_image = m_image.convertToFormat(QImage::Format_RGB32);
    }
    QRgb at(int x, int y) const { return m_image.pixel(x, y) & 0xffffff; }
    int width() const { return m_image.width(); }

    // The left edge of the share box in a row: a black column from just below the
    // row's top to just above its bottom, and another 49 pixels to its right.
    int boxLeft(const Row& row) const
    {
        for (int x = 0; x + 49 < width(); ++x) {
            if (blackColumn(x, row) && blackColumn(x + 49, row))
                return x;
        }
        return -1;
    }
    // The longest run of bar colour inside the box, over the box's inner lines.
    int barLength(int boxLeft, const Row& row) const
    {
        int longest = 0;
        for (int y = row.top + 2; y <= row.bottom - 3; ++y) {
            int n = 0;
            for (int x = boxLeft + 1; x <= boxLeft + 48; ++x)
                n += at(x, y) == (kBar & 0xffffff);
            longest = std::max(longest, n);
        }
        return longest;
    }
    int count(const QRect& area, const std::function<bool(QRgb)>& match) const
    {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = std::max(0, area.left()); x <= std::min(area.right(), width() - 1); ++x)
                n += match(at(x, y));
        return n;
    }
    int countColour(const QRect& area, QRgb colour) const
    {
        return count(area, [&](QRgb c) { return c == (colour & 0xffffff); });
    }

private:
    bool blackColumn(int x, const Row& row) const
    {
        for (int y = row.top + 1; y <= row.bottom - 2; ++y)
            if (at(x, y) != (kBlack & 0xffffff))
                return false;
        return true;
    }
    QImage m_image;
};

bool dark(QRgb c)
{
    return qGray(c) < 100;
}

} // namespace

class TestTreeDrawing : public QObject
{
    Q_OBJECT

    ScratchDir m_dir;
    std::unique_ptr<TMainForm> m_form;

    QModelIndex node(const QStringList& path)
    {
        const TFolderTreeModel& model = m_form->TreeModel();
        QModelIndex at = model.index(0, 0);
        for (const QString& name : path)
            at = childNamed(model, at, name);
        return at;
    }
    Row row(const QModelIndex& index)
    {
        const QRect r = m_form->controls().TreeView1->visualRect(index);
        return Row{r.top(), r.top() + r.height()};
    }
    QTreeView* tree() { return m_form->controls().TreeView1; }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QByteArray root = QFile::encodeName(m_dir.path());
        // Shares of 6 %, 5.99 % and 88.01 % of one parent.
        makeDir(root + "/share");
        for (const auto& [name, size] : {std::pair{"a", 600}, {"b", 599}, {"c", 8801}}) {
            makeDir(root + "/share/" + name);
            makeFile(root + "/share/" + name + "/f", size);
        }
        // One folder holding its parent's whole size.
        makeDir(root + "/full");
        makeDir(root + "/full/only");
        makeFile(root + "/full/only/f", 1000);
        // Two halves.
        makeDir(root + "/half");
        for (const char* name : {"h1", "h2"}) {
            makeDir(root + "/half/" + name);
            makeFile(root + "/half/" + name + "/f", 500);
        }
        // A name with a TAB beside a plain one of the same share and count.
        makeDir(root + "/tabs");
        for (const char* name : {"1.00 MB\txxx", "plain"}) {
            makeDir(root + "/tabs/" + name);
            makeFile(root + "/tabs/" + name + "/f", 500);
        }
        // A parent whose whole subtree holds nothing.
        makeDir(root + "/zero");
        makeDir(root + "/zero/z1");
        makeDir(root + "/zero/z2");

        m_form = std::make_unique<TMainForm>();
        m_form->resize(1000, 900);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        m_form->controls().DirectoryEdit1->setText(m_dir.path());
        m_form->controls().BitBtn1->click();
        QVERIFY(QTest::qWaitFor([&] { return m_form->controls().BitBtn1->isEnabled(); }, 60000));
        tree()->expandAll();
        QCoreApplication::processEvents();
        tree()->viewport()->grab(); // a first paint settles the size column
        QCoreApplication::processEvents();
    }

    void barLength_data()
    {
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<int>("bar");
        QTest::addColumn<bool>("percentShown");
        QTest::newRow("100 %") << QStringList{"full", "only"} << 48 << true;
        QTest::newRow("50 %") << QStringList{"half", "h1"} << 24 << true;
        QTest::newRow("6 %") << QStringList{"share", "a"} << 2 << true;
        QTest::newRow("zero parent") << QStringList{"zero", "z1"} << 0 << false;
    }
    void barLength()
    {
        QFETCH(QStringList, path);
        QFETCH(int, bar);
        QFETCH(bool, percentShown);
        tree()->clearSelection();
        const QModelIndex index = node(path);
        QVERIFY(index.isValid());
        const Row r = row(index);
        const Picture picture(tree());
        const int box = picture.boxLeft(r);
        QVERIFY2(box >= 0, "no share box");
        QCOMPARE(picture.barLength(box, r), bar);
        // The box's inner area: bar, background, and the percentage if any.
        const QRect inside(box + 1, r.top + 2, 48, r.bottom - r.top - 4);
        const int ink = picture.count(inside, dark);
        QCOMPARE(ink > 0, percentShown);
        if (bar == 48) {
            // A full bar fills the inside exactly: no background is left on the
            // bottom inner line, where the text does not reach.
            QCOMPARE(picture.countColour(QRect(box + 1, r.bottom - 3, 48, 1), kBar), 48);
            QCOMPARE(picture.countColour(QRect(box + 49, r.top + 2, 1, 1), kBlack), 1);
        }
    }

    void boldAboveFivePercent()
    {
        tree()->clearSelection();
        const Picture picture(tree());
        const auto countInk = [&](const QStringList& path) {
            const Row r = row(node(path));
            const int box = picture.boxLeft(r);
            // The count column: 310 to 410 pixels past the size column's start,
            // which is 420 pixels left of the box.
            return picture.count(QRect(box - 110, r.top, 100, r.bottom - r.top), dark);
        };
        const int six = countInk({"share", "a"});
        const int almostSix = countInk({"share", "b"});
        const int most = countInk({"share", "c"});
        QVERIFY(six > 0 && almostSix > 0);
        QCOMPARE(six, most); // both bold, same text "1 Dateien"
        QVERIFY2(almostSix < six, qPrintable(QStringLiteral("%1 vs %2").arg(almostSix).arg(six)));
        // A TAB in a name is part of the name: the count column shows the count.
        QCOMPARE(countInk({"tabs", "1.00 MB\txxx"}), countInk({"tabs", "plain"}));
    }

    void rootHasNoShareBox()
    {
        tree()->clearSelection();
        const QModelIndex top = m_form->TreeModel().index(0, 0);
        const Row r = row(top);
        const Picture picture(tree());
        QCOMPARE(picture.boxLeft(r), -1);
        QCOMPARE(picture.countColour(QRect(0, r.top, picture.width(), r.bottom - r.top), kBar), 0);
        // Its three texts are drawn: ink well to the right of the icon.
        QVERIFY(
            picture.count(QRect(tree()->visualRect(top).left() + 300, r.top, 300, r.bottom - r.top),
                          dark) > 0);
    }

    void selectedTextIsWhite()
    {
        const QModelIndex a = node({"share", "a"});
        const QModelIndex b = node({"share", "b"});
        const auto countCell = [&](const QModelIndex& index, const Picture& picture, QRgb colour) {
            const Row r = row(index);
            const int box = picture.boxLeft(r);
            return picture.countColour(QRect(box - 110, r.top, 100, r.bottom - r.top), colour);
        };
        tree()->setCurrentIndex(a);
        QCoreApplication::processEvents();
        {
            const Picture picture(tree());
            QVERIFY(countCell(a, picture, kWhite) > 0);
            QCOMPARE(countCell(a, picture, kBlack), 0);
            QVERIFY(countCell(b, picture, kBlack) > 0);
        }
        tree()->setCurrentIndex(b);
        QCoreApplication::processEvents();
        {
            const Picture picture(tree());
            QVERIFY(countCell(a, picture, kBlack) > 0);
            QVERIFY(countCell(b, picture, kWhite) > 0);
            QCOMPARE(countCell(b, picture, kBlack), 0);
        }
        tree()->clearSelection();
    }

    void folderStillBeingWalkedIsPlain()
    {
        // A cancelled walk leaves the folders on its path with their plain names.
        ScratchDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        // Its name holds a TAB and is long: while walked it is a name, not columns.
        const QByteArray walkingName = QByteArray(40, 'n') + "\twalking";
        makeDir(root + "/" + walkingName);
        makeDir(root + "/" + walkingName + "/hold");
        TMainForm form;
        form.resize(1000, 600);
        form.show();
        {
            Gate gate("hold");
            form.controls().DirectoryEdit1->setText(dir.path());
            form.controls().BitBtn1->click();
            QVERIFY(gate.waitReached());
            QVERIFY(waitForNode(form.TreeModel(), "hold"));
            form.controls().BitBtn2->click();
        }
        QVERIFY(QTest::qWaitFor([&] { return form.controls().BitBtn1->isEnabled(); }, 60000));
        QTreeView* view = form.controls().TreeView1;
        view->expandAll();
        QCoreApplication::processEvents();
        const QModelIndex walking = form.TreeModel().index(0, 0, form.TreeModel().index(0, 0));
        QCOMPARE(walking.data().toString(), QString::fromLatin1(walkingName));
        const QRect r = view->visualRect(walking);
        const Picture picture(view);
        QCOMPARE(picture.boxLeft(Row{r.top(), r.top() + r.height()}), -1);
        // The ordinary item: its name right after the icon, nothing further right.
        QVERIFY(picture.count(QRect(r.left(), r.top(), 80, r.height()), dark) > 0);
        QCOMPARE(picture.count(QRect(r.left() + 500, r.top(), 400, r.height()), dark), 0);
        QVERIFY2(TMainForm::SizeColumnWidth() < 100, "the size column took the name");
    }
};

QTEST_MAIN(TestTreeDrawing)
#include "tst_treedrawing.moc"
