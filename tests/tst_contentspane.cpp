// The lower area of the main window: the folder selected in the tree listed below it,
// the check box that hides and shows the list, the splitter, and where the tree, the
// label and the list stand as the window is resized.

#include "FolderTreeQueries.h"
#include "ScanGate.h"
#include "TestTrees.h"
#include "app/MainForm.h"
#include "controls/ShellList.h"
#include "ui_MainForm.h"

#include <QLabel>
#include <QSplitter>
#include <QTest>

using namespace testtrees;

namespace {

QStringList listed(TShellList& list)
{
    QStringList names;
    for (int i = 0; i < list.ItemCount(); ++i)
        names << list.CaptionText(i);
    return names;
}

void select(TMainForm& form, const QModelIndex& node)
{
    QVERIFY(node.isValid());
    form.controls().TreeView1->setCurrentIndex(node);
}

} // namespace

class TestContentsPane : public QObject
{
    Q_OBJECT

    ScratchDir m_dir;
    QByteArray m_root;

private slots:
    void initTestCase()
    {
        m_root = QFile::encodeName(m_dir.path());
        makeDir(m_root + "/Temp");
        makeFile(m_root + "/Temp/in-temp.txt", 10);
        makeDir(m_root + "/walking");
        makeDir(m_root + "/walking/hold");
        makeFile(m_root + "/walking/being-walked.txt", 10);
        makeFile(m_root + "/at-the-root.txt", 10);
        // A name with a TAB: the list must show that folder, not one named by a piece.
        makeDir(m_root + "/1.00 MB\tx");
        makeFile(m_root + "/1.00 MB\tx/tab.txt", 10);
    }

    void selectedFolderIsListed()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        TShellList& list = *form.controls().ShellList1;
        TFolderTreeModel& model = form.TreeModel();
        {
            // While the walk is held in "hold", its parent is a node being walked.
            Gate gate("hold");
            form.controls().DirectoryEdit1->setText(m_dir.path());
            form.controls().BitBtn1->click();
            QVERIFY(gate.waitReached());
            QTRY_VERIFY(childNamed(model, model.index(0, 0), QStringLiteral("walking")).isValid());
            const QModelIndex walking =
                childNamed(model, model.index(0, 0), QStringLiteral("walking"));
            QVERIFY(!model.isCompleted(walking.data(TFolderTreeModel::EntryRole).toInt()));
            select(form, walking);
            QCOMPARE(list.PathBytes(), m_root + "/walking/");
            QCOMPARE(listed(list), (QStringList{"hold", "being-walked.txt"}));
        }
        QVERIFY(QTest::qWaitFor([&] { return form.controls().BitBtn1->isEnabled(); }, 60000));
        const QModelIndex root = model.index(0, 0);
        select(form, root);
        QCOMPARE(list.PathBytes(), m_root + '/');
        QVERIFY(listed(list).contains(QStringLiteral("at-the-root.txt")));
        select(form, childNamed(model, root, QStringLiteral("Temp")));
        QCOMPARE(list.PathBytes(), m_root + "/Temp/");
        QCOMPARE(listed(list), QStringList{"in-temp.txt"});
        select(form, childNamed(model, root, QStringLiteral("1.00 MB\tx")));
        QCOMPARE(listed(list), QStringList{"tab.txt"});

        // Unchecked, the box keeps the list's folder, also when checked again.
        form.controls().ShowFolder->click();
        select(form, root);
        QCOMPARE(list.PathBytes(), m_root + "/1.00 MB\tx/");
        form.controls().ShowFolder->click();
        QCOMPARE(list.PathBytes(), m_root + "/1.00 MB\tx/");

        // A folder removed since the scan: the message, and the list as it was.
        QStringList messages;
        form.SetErrorDisplay([&](const QString& m) { messages << m; });
        QVERIFY(QDir(QFile::decodeName(m_root + "/Temp")).removeRecursively());
        select(form, childNamed(model, root, QStringLiteral("Temp")));
        QCOMPARE(messages, QStringList{QStringLiteral("Das System kann den angegebenen Pfad "
                                                      "nicht finden.\n") +
                                       QFile::decodeName(m_root + "/Temp/")});
        QCOMPARE(list.PathBytes(), m_root + "/1.00 MB\tx/");
        QCOMPARE(listed(list), QStringList{"tab.txt"});
        makeDir(m_root + "/Temp");
        makeFile(m_root + "/Temp/in-temp.txt", 10);
    }

    void hideAndShowTheList_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("afterwards");
        QTest::newRow("200 comes back") << 200 << 200;
        QTest::newRow("6 comes back") << 6 << 6;
        QTest::newRow("5 becomes 156") << 5 << 156;
        QTest::newRow("1 becomes 156") << 1 << 156;
    }
    void hideAndShowTheList()
    {
        QFETCH(int, height);
        QFETCH(int, afterwards);
        TMainForm form;
        form.resize(700, 700);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.ListHeight(), 156);
        form.SetListHeight(height);
        QCOMPARE(form.ListHeight(), height);
        form.controls().ShowFolder->click(); // off: one pixel
        QCOMPARE(form.ListHeight(), 1);
        QCOMPARE(form.SavedListHeight(), height);
        form.controls().ShowFolder->click(); // on again
        QCOMPARE(form.ListHeight(), afterwards);
    }

    void windowGrowsTheTree_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("larger") << QSize(1100, 750);
        QTest::newRow("taller only") << QSize(696, 900);
        QTest::newRow("smaller") << QSize(600, 420);
    }
    void windowGrowsTheTree()
    {
        QFETCH(QSize, size);
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Ui::TMainForm& ui = form.controls();
        const int treeBefore = ui.TreeView1->height();
        const int labelHeight = ui.Label2->sizeHint().height();
        const int windowBefore = form.height();
        QCOMPARE(ui.ShellList1->height(), 156);
        form.resize(size);
        QTRY_COMPARE(form.height(), size.height());
        QCoreApplication::processEvents();
        // The tree takes all that the window gains or loses; the label keeps one line
        // right above the list, and the list keeps its height.
        QCOMPARE(ui.TreeView1->height() - treeBefore, form.height() - windowBefore);
        QCOMPARE(ui.Label2->height(), labelHeight);
        QCOMPARE(ui.ShellList1->height(), 156);
        const QPoint labelBottom = ui.Label2->mapTo(&form, QPoint(0, ui.Label2->height()));
        QCOMPARE(labelBottom.y(), ui.ShellList1->mapTo(&form, QPoint(0, 0)).y());
        const QPoint treeBottom = ui.TreeView1->mapTo(&form, QPoint(0, ui.TreeView1->height()));
        QCOMPARE(ui.Label2->mapTo(&form, QPoint(0, 0)).y() - treeBottom.y(),
                 ui.Splitter1->handleWidth());
        // The splitter gives the list what the tree gives up.
        ui.Splitter1->setSizes({ui.Splitter1->sizes()[0] - 30, ui.Splitter1->sizes()[1] + 30});
        QCOMPARE(form.ListHeight(), 186);
    }
};

QTEST_MAIN(TestContentsPane)
#include "tst_contentspane.moc"
