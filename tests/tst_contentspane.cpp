// The lower area of the main window: where the tree, the label and the contents list
// stand as the window is resized.

#include "app/MainForm.h"
#include "ui_MainForm.h"

#include <QLabel>
#include <QSplitter>
#include <QTest>

class TestContentsPane : public QObject
{
    Q_OBJECT

private slots:
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
        const int listBefore = ui.ShellList1->height();
        const int labelHeight = ui.Label2->sizeHint().height();
        const int windowBefore = form.height();
        form.resize(size);
        QTRY_COMPARE(form.height(), size.height());
        QCoreApplication::processEvents();
        // The tree takes all that the window gains or loses; the label keeps one line
        // right above the list, and the list keeps its height.
        QCOMPARE(ui.TreeView1->height() - treeBefore, form.height() - windowBefore);
        QCOMPARE(ui.Label2->height(), labelHeight);
        QCOMPARE(ui.ShellList1->height(), listBefore);
        const QPoint labelBottom = ui.Label2->mapTo(&form, QPoint(0, ui.Label2->height()));
        QCOMPARE(labelBottom.y(), ui.ShellList1->mapTo(&form, QPoint(0, 0)).y());
        const QPoint treeBottom = ui.TreeView1->mapTo(&form, QPoint(0, ui.TreeView1->height()));
        QCOMPARE(ui.Label2->mapTo(&form, QPoint(0, 0)).y() - treeBottom.y(),
                 ui.Splitter1->handleWidth());
    }
};

QTEST_MAIN(TestContentsPane)
#include "tst_contentspane.moc"
