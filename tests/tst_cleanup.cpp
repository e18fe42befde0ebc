// The tree follows the clean-up: after a scan of a temporary tree, what the contents list
// deletes or moves away leaves the sizes and counts of its folder and of every folder
// above it (as `find` counts what is left), the tree sorts itself again, a deleted folder
// leaves it, the status bar's totals follow, and the question before deleting takes a
// folder's size from the scan. During a scan the tree is left as the scan makes it.

#include "FolderTreeQueries.h"
#include "ScanGate.h"
#include "TestTrees.h"
#include "app/FolderSizeStore.h"
#include "app/MainForm.h"
#include "controls/ShellList.h"
#include "fileops/ClipboardFiles.h"
#include "fileops/TrashStore.h"
#include "platform/NumberText.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace testtrees;

namespace {

constexpr qint64 MiB = 1024 * 1024;

// Agrees to the question before deleting once it is complete; keeps its text.
class Agree : public QObject
{
public:
    QStringList texts;
    Agree()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            auto* accept = box ? box->findChild<QPushButton*>(QStringLiteral("accept")) : nullptr;
            if (!accept || !accept->isEnabled() || box->text().contains(u"wird ermittelt"))
                return;
            texts << box->text();
            accept->click();
        });
        m_timer.start(5);
    }

private:
    QTimer m_timer;
};

void selectInList(TShellList& list, const QStringList& names)
{
    list.ClearSelection();
    for (int i = 0; i < list.ItemCount(); ++i) {
        if (names.contains(list.CaptionText(i)))
            list.SetSelected(i, true);
    }
}

} // namespace

class TestCleanup : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScratchDir> m_dir;
    QByteArray m_root;

    void makeTree()
    {
        m_dir = std::make_unique<ScratchDir>();
        m_root = QFile::encodeName(m_dir->path());
        makeDir(m_root + "/gross");
        makeFile(m_root + "/gross/b1", 3 * MiB);
        makeFile(m_root + "/gross/b2", 2 * MiB);
        makeDir(m_root + "/gross/innen");
        makeFile(m_root + "/gross/innen/i1", 5 * MiB);
        makeDir(m_root + "/klein");
        makeFile(m_root + "/klein/k1", 4 * MiB);
        makeFile(m_root + "/x.txt", MiB / 2);
    }
    void scan(TMainForm& form)
    {
        form.controls().DirectoryEdit1->setText(m_dir->path());
        form.controls().BitBtn1->click();
        QVERIFY(QTest::qWaitFor([&] { return form.controls().BitBtn1->isEnabled(); }, 60000));
    }
    // The tree's totals of a folder, as "bytes/files".
    static QString totalsOf(TMainForm& form, const QByteArray& path)
    {
        const std::int32_t entry = form.TreeModel().EntryOfPath(path);
        if (entry == 0)
            return QStringLiteral("none");
        return QStringLiteral("%1/%2")
            .arg(FolderStore().FolderSizes(entry - 1))
            .arg(FolderStore().FolderFileCounts(entry - 1));
    }
    static QString findOf(const QByteArray& root, const QByteArray& path)
    {
        const Totals t = findTotals(root).value(path);
        return QStringLiteral("%1/%2").arg(t.bytes).arg(t.files);
    }

private slots:
    void initTestCase()
    {
        // The trash of a home of the test's own.
        static ScratchDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()) + "/data");
    }

    void deleteInTheList()
    {
        makeTree();
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        scan(form);
        TFolderTreeModel& model = form.TreeModel();
        const QModelIndex root = model.index(0, 0);
        QCOMPARE(childNames(model, root), (QStringList{"gross", "klein"}));
        // A file put in after the scan: the question takes the folder's size from the
        // scan, not from the disk.
        makeFile(m_root + "/gross/innen/neu", MiB);

        form.controls().TreeView1->setCurrentIndex(
            childNamed(model, root, QStringLiteral("gross")));
        TShellList& list = *form.controls().ShellList1;
        QCOMPARE(list.PathBytes(), m_root + "/gross/");
        Agree agree;
        selectInList(list, {QStringLiteral("innen"), QStringLiteral("b1")});
        QTest::keyClick(list.CurrentView(), Qt::Key_Delete);
        QTRY_COMPARE(agree.texts.size(), 1);
        QVERIFY2(agree.texts[0].contains(u"Gesamtgröße: 8,00 MB (8388608 Bytes)"),
                 qPrintable(agree.texts[0]));
        QTRY_VERIFY(!list.CommandRunning());

        // What left is taken off the folder and everything above it, as find counts it.
        QCOMPARE(totalsOf(form, m_root + "/gross"), QStringLiteral("%1/1").arg(2 * MiB));
        QCOMPARE(totalsOf(form, m_root + "/gross"), findOf(m_root, m_root + "/gross"));
        QCOMPARE(totalsOf(form, m_root), findOf(m_root, m_root));
        QCOMPARE(totalsOf(form, m_root + "/klein"), findOf(m_root, m_root + "/klein"));
        // The deleted folder has left the tree; the other one is bigger now and first.
        QCOMPARE(totalsOf(form, m_root + "/gross/innen"), QStringLiteral("none"));
        QCOMPARE(childNames(model, root), (QStringList{"klein", "gross"}));
        QCOMPARE(model.rowCount(childNamed(model, root, QStringLiteral("gross"))), 0);
        QCOMPARE(FolderStore().TotalBytesFound(), 6 * MiB + MiB / 2);
        QCOMPARE(FolderStore().TotalFilesFound(), 3);
        QCOMPARE(form.StatusPanel(1)->text(),
                 platform::fixed2(6.5) + QStringLiteral(" MB in 3 Dateien"));

        // Cut elsewhere and pasted here: it left its folder and came into this one.
        auto* data = new QMimeData;
        fileops::ClipboardFiles::write(*data, {m_root + "/klein/k1"}, true);
        QGuiApplication::clipboard()->setMimeData(data);
        QTest::keyClick(list.CurrentView(), Qt::Key_V, Qt::ControlModifier);
        QTRY_VERIFY(!list.CommandRunning());
        for (const QByteArray& folder : {m_root, m_root + "/gross", m_root + "/klein"})
            QCOMPARE(totalsOf(form, folder), findOf(m_root, folder));
        QCOMPARE(totalsOf(form, m_root + "/klein"), QStringLiteral("0/0"));
        QCOMPARE(childNames(model, root), (QStringList{"gross", "klein"}));
        QCOMPARE(form.StatusPanel(1)->text(),
                 platform::fixed2(6.5) + QStringLiteral(" MB in 3 Dateien"));
    }

    void treeIsTheScansWhileItRuns()
    {
        makeTree();
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // The walk is held inside the tree; the list deletes in the scanned folder.
        Gate gate("innen");
        form.controls().DirectoryEdit1->setText(m_dir->path());
        form.controls().BitBtn1->click();
        QVERIFY(gate.waitReached());
        QTRY_VERIFY(form.TreeModel().EntryOfPath(m_root + "/gross") != 0);
        const QString before = totalsOf(form, m_root);
        const std::int64_t found = FolderStore().TotalBytesFound();
        TShellList& list = *form.controls().ShellList1;
        list.SetPathBytes(m_root);
        Agree agree;
        selectInList(list, {QStringLiteral("x.txt")});
        QTest::keyClick(list.CurrentView(), Qt::Key_Delete);
        QTRY_COMPARE(agree.texts.size(), 1);
        QTRY_VERIFY(!list.CommandRunning());
        QVERIFY(!shell::PathExists(m_root + "/x.txt"));
        QCOMPARE(totalsOf(form, m_root), before);
        QCOMPARE(FolderStore().TotalBytesFound(), found);
        gate.open();
        QVERIFY(QTest::qWaitFor([&] { return form.controls().BitBtn1->isEnabled(); }, 60000));
    }
};

QTEST_MAIN(TestCleanup)
#include "tst_cleanup.moc"
