// The main window driven as a user drives it, offscreen: the folder field, Start and
// Cancel, the sort buttons, the status bar and closing, over real folders.

#include "FolderTreeQueries.h"
#include "ScanGate.h"
#include "TestTrees.h"
#include "TreeGenerator.h"
#include "app/AboutBox.h"
#include "app/FolderSizeStore.h"
#include "app/MainForm.h"
#include "app/MyThread.h"
#include "ui_MainForm.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace testtrees;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 GiB = 1024 * MiB;

// Types a folder into the field and presses Start, as the user does.
void startScan(TMainForm& form, const QString& folder)
{
    Ui::TMainForm& ui = form.controls();
    ui.DirectoryEdit1->selectAll();
    QTest::keyClicks(ui.DirectoryEdit1, folder);
    QCOMPARE(ui.DirectoryEdit1->text(), folder);
    QTest::mouseClick(ui.BitBtn1, Qt::LeftButton);
}

bool waitIdle(TMainForm& form)
{
    return QTest::qWaitFor([&] { return form.controls().BitBtn1->isEnabled(); }, 60000);
}

// Every folder's children must stand in the order of the window's comparison.
void verifySiblingOrder(TMainForm& form)
{
    TFolderTreeModel& model = form.TreeModel();
    for (std::int32_t entry = 1; entry <= model.nodeCount(); ++entry) {
        for (std::int32_t row = 1; row < model.childCount(entry); ++row) {
            const std::int32_t before = model.childEntry(entry, row - 1);
            const std::int32_t after = model.childEntry(entry, row);
            QVERIFY2(form.TreeView1Compare(before, after) <= 0,
                     qPrintable(QStringLiteral("under %1: %2 before %3")
                                    .arg(entry)
                                    .arg(model.nodeText(before).section(u'\t', 0, 1),
                                         model.nodeText(after).section(u'\t', 0, 1))));
        }
    }
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        // Nothing has been scanned in this process yet.
        TMainForm form;
        Ui::TMainForm& ui = form.controls();
        QCOMPARE(form.windowTitle(), QStringLiteral("Quornel Kehrmax 1.0"));
        QCOMPARE(ui.DirectoryEdit1->text(), QStringLiteral("/"));
        QVERIFY(ui.BitBtn1->isEnabled());
        QVERIFY(!ui.BitBtn2->isEnabled());
        QVERIFY(ui.Sort1->isChecked());
        QVERIFY(ui.ShowFolder->isChecked());
        QCOMPARE(form.Timer1.interval(), 1000);
        QCOMPARE(form.Timer2.interval(), 2000);
        QVERIFY(form.Timer1.isActive() && form.Timer2.isActive());
        QCOMPARE(form.FreeSpacePath(), QByteArray("/"));
        form.Timer1Timer();
        QCOMPARE(form.StatusPanel(1)->text(), QString());
        QTRY_VERIFY2(form.StatusPanel(0)->text().endsWith(QLatin1String(" frei")),
                     qPrintable(form.StatusPanel(0)->text()));
        // Idle, nothing happens on Cancel, Esc or a sort click.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.BitBtn2Click();
        QTest::keyClick(&form, Qt::Key_Escape);
        ui.Sort2->click();
        ui.Sort1->click();
        QCOMPARE(form.TreeModel().rowCount(), 0);
        QVERIFY(ui.BitBtn1->isEnabled());
        QVERIFY(form.close());
        QVERIFY(form.ScanThread().expired());
    }

    void buttons()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Ui::TMainForm& ui = form.controls();
        // The form's captions survive the buttons' kinds.
        QCOMPARE(ui.BitBtn1->text(), QStringLiteral("&Starten"));
        QCOMPARE(ui.BitBtn1->Kind(), bkAll);
        QCOMPARE(ui.BitBtn2->text(), QStringLiteral("Abbrechen"));
        QCOMPARE(ui.BitBtn2->Kind(), bkCancel);
        QVERIFY(ui.BitBtn2->Cancel());
        QCOMPARE(ui.ueberbtn->size(), QSize(101, 30));
        QCOMPARE(ui.endebtn->size(), QSize(101, 30));
        QCOMPARE(ui.Panel8->geometry().right(), ui.Panel7->width() - 1);

        QList<QUrl> opened;
        TAboutBox::setUrlOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        QTest::mouseClick(ui.wwwBtn, Qt::LeftButton);
        TAboutBox::setUrlOpener({});
        QCOMPARE(opened, QList<QUrl>{TAboutBox::HomePageUrl()});

        // The about button shows the about box modally; OK ends it.
        QString shownTitle;
        QTimer::singleShot(0, &form, [&] {
            if (auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget())) {
                shownTitle = box->windowTitle();
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        QTest::mouseClick(ui.ueberbtn, Qt::LeftButton, {}, QPoint(50, 15));
        QCOMPARE(shownTitle, QStringLiteral("Info"));
        QVERIFY(form.isVisible());

        QTest::mouseClick(ui.endebtn, Qt::LeftButton, {}, QPoint(50, 15));
        QVERIFY(!form.isVisible());
    }

    void scanOrdersAndDescribesFolders()
    {
        ScratchDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        makeDir(root + "/few-big");
        makeFile(root + "/few-big/a", 5 * GiB);
        makeDir(root + "/many-small");
        for (int i = 0; i < 4; ++i)
            makeFile(root + "/many-small/f" + QByteArray::number(i), 1 * MiB);
        makeDir(root + "/many-small/.hidden");
        makeFile(root + "/many-small/.hidden/g", 2 * MiB);
        makeDir(root + "/middle");
        makeFile(root + "/middle/b", 4 * GiB);
        makeFile(root + "/middle/c", 0);
        makeDir(root + "/empty");
        makeFile(root + "/top", 512 * 1024);

        TMainForm form;
        form.show();
        QAbstractItemModelTester tester(&form.TreeModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        startScan(form, dir.path());
        QVERIFY(waitIdle(form));
        QVERIFY(!form.controls().BitBtn2->isEnabled());

        TFolderTreeModel& model = form.TreeModel();
        const QModelIndex top = model.index(0, 0);
        QCOMPARE(top.data().toString(),
                 TMyThread::CompletedNodeText(9 * GiB + 6 * MiB + 512 * 1024, dir.path(), 9));
        QVERIFY(top.data().toString().startsWith(QStringLiteral("9222,50 MB\t")));
        // By size, largest first: 5 GiB before 4 GiB, whatever their low 32 bits say.
        QCOMPARE(childNames(model, top), (QStringList{"few-big", "middle", "many-small", "empty"}));
        const QModelIndex many = childNamed(model, top, QStringLiteral("many-small"));
        QCOMPARE(many.data().toString(),
                 TMyThread::CompletedNodeText(6 * MiB, QStringLiteral("many-small"), 5));
        QCOMPARE(childNames(model, many), QStringList{".hidden"});

        form.controls().Sort2->click();
        QCOMPARE(childNames(model, top), (QStringList{"many-small", "middle", "few-big", "empty"}));
        QCOMPARE(form.focusWidget(), form.controls().TreeView1);
        form.controls().Sort1->click();
        QCOMPARE(childNames(model, top), (QStringList{"few-big", "middle", "many-small", "empty"}));

        form.Timer1Timer();
        QCOMPARE(form.StatusPanel(1)->text(), QStringLiteral("9222,50 MB in 9 Dateien"));
        QCOMPARE(form.FreeSpacePath(), QFile::encodeName(dir.path()));
    }

    void emptyFolderAndFreeSpace_data()
    {
        QTest::addColumn<qint64>("freeBytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("1536 MiB") << 1536 * MiB << QStringLiteral("1,50 GB frei");
        QTest::newRow("1024 MiB") << 1024 * MiB << QStringLiteral("1024,00 MB frei");
        QTest::newRow("1024 MiB 512 KiB")
            << 1024 * MiB + 512 * 1024 << QStringLiteral("1024,50 MB frei");
        QTest::newRow("1025 MiB 1023 KiB")
            << 1025 * MiB + 1023 * 1024 << QStringLiteral("1,00 GB frei");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0,00 MB frei");
        QTest::newRow("5 TiB") << 5 * 1024 * GiB << QStringLiteral("5120,00 GB frei");
    }
    void emptyFolderAndFreeSpace()
    {
        QFETCH(qint64, freeBytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        TMainForm form;
        form.Timer1.stop(); // the test ticks by hand
        // The query runs on a thread of its own.
        std::mutex mutex;
        QList<QByteArray> asked;
        std::atomic_bool fail = false;
        form.SetFreeSpaceQuery([&](const QByteArray& path) -> std::optional<std::uint64_t> {
            std::lock_guard lock(mutex);
            asked << path;
            if (fail)
                return std::nullopt;
            return std::uint64_t(freeBytes);
        });
        const auto askedSoFar = [&] {
            std::lock_guard lock(mutex);
            return asked;
        };
        startScan(form, dir.path());
        QVERIFY(waitIdle(form));
        form.Timer1Timer();
        QCOMPARE(form.StatusPanel(1)->text(), QStringLiteral("0,00 MB in 0 Dateien"));
        QTRY_COMPARE(form.StatusPanel(0)->text(), text);
        QCOMPARE(askedSoFar(), QList<QByteArray>{QFile::encodeName(dir.path())});

        // A failed query blanks the panel and is not repeated until the next scan.
        fail = true;
        form.Timer1Timer();
        QTRY_VERIFY(form.FreeSpaceFailed());
        QCOMPARE(form.StatusPanel(0)->text(), QString());
        form.Timer1Timer();
        QVERIFY(!form.FreeSpaceWaiting());
        QCOMPARE(askedSoFar().size(), 2);
        QCOMPARE(form.StatusPanel(0)->text(), QString());
        fail = false;
        startScan(form, dir.path());
        QVERIFY(waitIdle(form));
        QVERIFY(!form.FreeSpaceFailed());
        form.Timer1Timer();
        QTRY_COMPARE(form.StatusPanel(0)->text(), text);
        QCOMPARE(askedSoFar().size(), 3);
    }

    // A query that hangs (a network mount whose server is gone) holds up neither the
    // ticks nor the window: the panel keeps the last answer, the hung query is not
    // asked again beside itself, and a new scan asks about its own folder at once.
    void hungFreeSpaceQuery()
    {
        ScratchDir dir;
        TMainForm form;
        form.Timer1.stop();
        struct Held
        {
            std::mutex mutex;
            std::condition_variable changed;
            bool hang = false;
            bool released = false;
            QList<QByteArray> asked;
        };
        // Shared with the query threads, which may outlive a failed check.
        auto held = std::make_shared<Held>();
        form.SetFreeSpaceQuery([held](const QByteArray& path) -> std::optional<std::uint64_t> {
            std::unique_lock lock(held->mutex);
            held->asked << path;
            if (held->hang && path == "/") {
                held->changed.wait_for(lock, std::chrono::seconds(30),
                                       [&] { return held->released; });
                return 0; // an answer that must not be shown when it comes late
            }
            return 1536 * MiB;
        });
        const auto asked = [&] {
            std::lock_guard lock(held->mutex);
            return held->asked;
        };
        form.Timer1Timer();
        QTRY_COMPARE(form.StatusPanel(0)->text(), QStringLiteral("1,50 GB frei"));
        {
            std::lock_guard lock(held->mutex);
            held->hang = true;
        }
        for (int tick = 0; tick < 3; ++tick) {
            form.Timer1Timer();
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE(asked().size(), 2);
        QVERIFY(form.FreeSpaceWaiting());
        QCOMPARE(form.StatusPanel(0)->text(), QStringLiteral("1,50 GB frei"));
        QCOMPARE(asked().size(), 2);

        startScan(form, dir.path());
        QVERIFY(waitIdle(form));
        form.Timer1Timer();
        QTRY_VERIFY(!form.FreeSpaceWaiting());
        QCOMPARE(asked().last(), QFile::encodeName(dir.path()));
        {
            std::lock_guard lock(held->mutex);
            held->released = true;
        }
        held->changed.notify_all();
        // The late answer about the old folder changes nothing.
        QTest::qWait(100);
        QCOMPARE(form.StatusPanel(0)->text(), QStringLiteral("1,50 GB frei"));
        QVERIFY(!form.FreeSpaceWaiting());
    }

    // The free space is asked for the scanned folder's own bytes, whatever its name.
    void freeSpaceOfOddlyNamedFolders_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("not UTF-8") << QByteArray("\xe4rger");
        QTest::newRow("UTF-8") << QByteArray("\xc3\xa4rger");
        QTest::newRow("percent") << QByteArray("100%25");
        QTest::newRow("backslash") << QByteArray("back\\slash");
    }
    void freeSpaceOfOddlyNamedFolders()
    {
        QFETCH(QByteArray, name);
        ScratchDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + '/' + name;
        makeDir(folder);
        TMainForm form;
        // Typed keys cannot carry every character; the field takes the text as given.
        form.controls().DirectoryEdit1->setText(QFile::decodeName(folder));
        QTest::mouseClick(form.controls().BitBtn1, Qt::LeftButton);
        QVERIFY(waitIdle(form));
        QCOMPARE(form.TreeModel().nodeName(1), folder);
        QCOMPARE(form.FreeSpacePath(), folder);
        form.Timer1Timer();
        QTRY_VERIFY2(form.StatusPanel(0)->text().endsWith(QLatin1String(" frei")),
                     qPrintable(form.StatusPanel(0)->text()));
        QVERIFY(!form.FreeSpaceFailed());
    }

    void comparison_data()
    {
        QTest::addColumn<bool>("bySize");
        QTest::addColumn<qint64>("value1");
        QTest::addColumn<qint64>("value2");
        QTest::addColumn<int>("compare");
        QTest::newRow("size larger first") << true << 5 * GiB << 4 * GiB << -1;
        QTest::newRow("size smaller later") << true << 4 * GiB << 5 * GiB << 1;
        QTest::newRow("size equal") << true << 7 * GiB << 7 * GiB << 0;
        QTest::newRow("count difference") << false << qint64(3) << qint64(10) << 7;
        QTest::newRow("count equal") << false << qint64(10) << qint64(10) << 0;
        QTest::newRow("count low 32 bits") << false << (qint64(1) << 32) + 1 << qint64(2) << 1;
    }
    void comparison()
    {
        QFETCH(bool, bySize);
        QFETCH(qint64, value1);
        QFETCH(qint64, value2);
        QFETCH(int, compare);
        TMainForm form;
        (bySize ? form.controls().Sort1 : form.controls().Sort2)->setChecked(true);
        // The store is only written here while no scan runs.
        TFolderSizeStore& store = FolderStore();
        store.Reset();
        const std::int32_t a = store.AddEntry();
        const std::int32_t b = store.AddEntry();
        store.StoreTotals(a, bySize ? value1 : 0, bySize ? 0 : value1);
        store.StoreTotals(b, bySize ? value2 : 0, bySize ? 0 : value2);
        QCOMPARE(form.TreeView1Compare(a, b), compare);
    }

    void startAndCancel()
    {
        ScratchDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        makeDir(root + "/done");
        makeFile(root + "/done/x", 100);
        makeDir(root + "/hold");
        makeDir(root + "/hold/inner");
        makeDir(root + "/zlater");

        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Ui::TMainForm& ui = form.controls();
        {
            Gate gate("inner");
            startScan(form, dir.path());
            QVERIFY(!ui.BitBtn1->isEnabled());
            QVERIFY(ui.BitBtn2->isEnabled());
            QVERIFY(!ui.TreeView1->updatesEnabled());
            QVERIFY(gate.waitReached());
            QVERIFY(waitForNode(form.TreeModel(), "inner"));
            // Start pressed again is refused: the one scan goes on.
            const std::weak_ptr<TMyThread> thread = form.ScanThread();
            form.BitBtn1Click();
            QTest::mouseClick(ui.BitBtn1, Qt::LeftButton);
            QVERIFY(!thread.expired());
            QVERIFY(!thread.owner_before(form.ScanThread()) &&
                    !form.ScanThread().owner_before(thread));
            // The periodic repaint leaves the tree suspended.
            form.Timer2Timer();
            QVERIFY(!ui.TreeView1->updatesEnabled());
            // Esc typed into the folder field presses Cancel.
            ui.DirectoryEdit1->setFocus();
            QTest::keyClick(ui.DirectoryEdit1, Qt::Key_Escape);
            QVERIFY(thread.lock() && thread.lock()->Terminated());
        }
        QVERIFY(waitIdle(form));
        QVERIFY(!ui.BitBtn2->isEnabled());
        QVERIFY(ui.TreeView1->updatesEnabled());
        TFolderTreeModel& model = form.TreeModel();
        const QModelIndex top = model.index(0, 0);
        // The folders on the walk's path keep their plain names; "zlater" was never
        // reached, whichever order the listing had.
        QCOMPARE(top.data().toString(), dir.path());
        const QModelIndex hold = childNamed(model, top, QStringLiteral("hold"));
        QCOMPARE(hold.data().toString(), QStringLiteral("hold"));
        QCOMPARE(model.index(0, 0, hold).data().toString(), QStringLiteral("inner"));
        const QModelIndex done = childNamed(model, top, QStringLiteral("done"));
        if (done.isValid())
            QVERIFY(done.data().toString().contains(u'\t'));

        // A new scan starts from an empty tree and completes this time.
        startScan(form, dir.path());
        QVERIFY(waitIdle(form));
        QCOMPARE(childNames(model, model.index(0, 0)).size(), 3);
        QVERIFY(model.index(0, 0).data().toString().contains(u'\t'));
    }

    void escapeCancelsFromAnyControl_data()
    {
        QTest::addColumn<QString>("control");
        for (const char* name : {"DirectoryEdit1", "TreeView1", "Sort2", "ShowFolder", "BitBtn2"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void escapeCancelsFromAnyControl()
    {
        QFETCH(QString, control);
        ScratchDir dir;
        makeDir(QFile::encodeName(dir.path()) + "/hold");
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QApplication::setActiveWindow(&form);
        std::weak_ptr<TMyThread> thread;
        {
            Gate gate("hold");
            startScan(form, dir.path());
            QVERIFY(gate.waitReached());
            thread = form.ScanThread();
            auto* target = form.findChild<QWidget*>(control);
            QVERIFY(target);
            target->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), target);
            // With a modifier, Esc is not the window's cancel key.
            QTest::keyClick(target, Qt::Key_Escape, Qt::ShiftModifier);
            QVERIFY(!thread.lock()->Terminated());
            QTest::keyClick(target, Qt::Key_Escape);
            QVERIFY(thread.lock()->Terminated());
        }
        QVERIFY(waitIdle(form));
        // Idle, Esc finds Cancel disabled and does nothing.
        QTest::keyClick(form.controls().DirectoryEdit1, Qt::Key_Escape);
        QVERIFY(form.ScanThread().expired());
    }

    void sortButtonsDuringScan()
    {
        ScratchDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        makeDir(root + "/a-big");
        makeFile(root + "/a-big/x", 10 * MiB);
        makeDir(root + "/b-many");
        for (int i = 0; i < 3; ++i)
            makeFile(root + "/b-many/f" + QByteArray::number(i), 1024);
        makeDir(root + "/c-middle");
        makeFile(root + "/c-middle/y", 3 * MiB);
        makeFile(root + "/c-middle/z", 3 * MiB);
        makeDir(root + "/hold");

        TMainForm form;
        form.show();
        Ui::TMainForm& ui = form.controls();
        TFolderTreeModel& model = form.TreeModel();
        Gate gate("hold");
        startScan(form, dir.path());
        QVERIFY(gate.waitReached());
        // Wait until the three completed folders have reached the tree.
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QModelIndex top = model.index(0, 0);
                int completed = 0;
                for (int row = 0; row < model.rowCount(top); ++row)
                    completed += model.index(row, 0, top).data().toString().contains(u'\t');
                return completed == 3;
            },
            30000));
        const QModelIndex top = model.index(0, 0);
        // "hold" stands wherever its partial totals (none) put it.
        QStringList bySize = childNames(model, top);
        QCOMPARE(bySize.removeAll(QStringLiteral("hold")), 1);
        QCOMPARE(bySize, (QStringList{"a-big", "c-middle", "b-many"}));

        ui.Sort2->click();
        QVERIFY(form.ScanRunning());
        QStringList byCount = childNames(model, top);
        QCOMPARE(byCount.first(), QStringLiteral("b-many"));
        byCount.removeAll(QStringLiteral("hold"));
        QCOMPARE(byCount, (QStringList{"b-many", "c-middle", "a-big"}));
        gate.open();
        QVERIFY(waitIdle(form));
        QCOMPARE(childNames(model, top), (QStringList{"b-many", "c-middle", "a-big", "hold"}));
    }

    void generatedTreeStaysSorted()
    {
        // Folders of a wide and deep tree complete while the window sorts them
        // piecemeal. Held in the middle of the walk, the completed children of every
        // folder are in order; at the end (the root's completion sorts everything)
        // and after each switch, all of them are.
        ScratchDir dir;
        GeneratedTree made;
        QVERIFY(generateTree("wide-deep", 6000, 800, 7, QFile::encodeName(dir.path()).toStdString(),
                             made));
        TMainForm form;
        form.show();
        QAbstractItemModelTester tester(&form.TreeModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        TFolderTreeModel& model = form.TreeModel();
        std::atomic_int opened = 0;
        {
            Gate gate([&](std::string_view) { return ++opened == 600; });
            startScan(form, dir.path());
            QVERIFY(gate.waitReached());
            // The read-ahead opens folders somewhat ahead of the walk and not quite in
            // its order: the walk stops some way before the 600th folder opened.
            QVERIFY(QTest::qWaitFor([&] { return model.nodeCount() >= 50; }, 30000));
            QTest::qWait(50); // the completions before the gate reach the tree
            for (std::int32_t entry = 1; entry <= model.nodeCount(); ++entry) {
                std::int32_t previous = 0;
                for (std::int32_t row = 0; row < model.childCount(entry); ++row) {
                    const std::int32_t child = model.childEntry(entry, row);
                    if (!model.isCompleted(child))
                        continue;
                    if (previous)
                        QVERIFY(form.TreeView1Compare(previous, child) <= 0);
                    previous = child;
                }
            }
            form.controls().Sort2->click(); // switching in the middle sorts all levels
            verifySiblingOrder(form);
        }
        QVERIFY(waitIdle(form));
        QCOMPARE(model.nodeCount(), int(made.folders) + 1);
        verifySiblingOrder(form);
        form.controls().Sort1->click();
        verifySiblingOrder(form);
    }

    void vanishingScanPath()
    {
        ScratchDir dir;
        const QByteArray root = QFile::encodeName(dir.path()) + "/scan";
        makeDir(root);
        makeDir(root + "/hold");
        makeDir(root + "/hold/below");
        makeDir(root + "/other");
        makeFile(root + "/other/f", 10);
        TMainForm form;
        {
            Gate gate("hold");
            startScan(form, QFile::decodeName(root));
            QVERIFY(gate.waitReached());
            QCOMPARE(QProcess::execute(QStringLiteral("rm"),
                                       {QStringLiteral("-rf"), QFile::decodeName(root)}),
                     0);
        }
        QVERIFY(waitIdle(form));
        QVERIFY(!form.controls().BitBtn2->isEnabled());
        const QString rootText = form.TreeModel().index(0, 0).data().toString();
        QVERIFY2(rootText.contains(u'\t'), qPrintable(rootText));
        form.Timer1Timer();
        QVERIFY(form.StatusPanel(1)->text().endsWith(QLatin1String(" Dateien")));
    }

    void closingDuringScan()
    {
        ScratchDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        makeDir(root + "/hold");
        std::weak_ptr<TMyThread> thread;
        {
            Gate gate("hold");
            auto form = std::make_unique<TMainForm>();
            form->show();
            startScan(*form, dir.path());
            QVERIFY(gate.waitReached());
            thread = form->ScanThread();
            QVERIFY(!thread.expired());
            QVERIFY(form->close());
            QVERIFY(!form->isVisible());
            QVERIFY(thread.lock()->Terminated());
            form.reset(); // the window goes while the walk is still held
            QVERIFY(!thread.expired());
        }
        // Let go, the walk ends by itself.
        QVERIFY(QTest::qWaitFor([&] { return thread.expired(); }, 30000));
    }

    void closedWindowTakesNothingMoreFromTheScan()
    {
        // Between the close and the end of the event loop the window stays alive; the
        // stopped walk ends meanwhile, but its end must not reach the window.
        ScratchDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        makeDir(root + "/hold");
        makeDir(root + "/later");
        TMainForm form;
        form.show();
        QSignalSpy finished(&form.TreeModel(), &TFolderTreeModel::scanFinished);
        std::weak_ptr<TMyThread> thread;
        {
            Gate gate("hold");
            startScan(form, dir.path());
            QVERIFY(gate.waitReached());
            thread = form.ScanThread();
            QVERIFY(form.close());
        }
        QVERIFY(QTest::qWaitFor([&] { return thread.expired(); }, 30000));
        QTest::qWait(100); // many turns of the tree's hand-over timer
        QCOMPARE(finished.size(), 0);
        QVERIFY(form.ScanRunning());
        QVERIFY(!form.controls().TreeView1->updatesEnabled());
    }

    void programEndsWithoutWaitingForTheScan()
    {
        // The real program path: the window closes in the middle of a large scan and
        // the process ends at once, with no sanitizer report and no hang.
        ScratchDir dir(QStringLiteral("/dev/shm"));
        GeneratedTree made;
        QVERIFY(generateTree("wide-deep", 20000, 20000, 3,
                             QFile::encodeName(dir.path()).toStdString(), made));
        QProcess bench;
        bench.start(QStringLiteral(FEGMANN_SCAN_BENCH),
                    {QStringLiteral("--gui"), QStringLiteral("--close-during-scan"),
                     QStringLiteral("0"), dir.path()});
        QVERIFY(bench.waitForFinished(120000));
        const QByteArray out = bench.readAllStandardOutput();
        QCOMPARE(bench.exitStatus(), QProcess::NormalExit);
        QVERIFY2(bench.exitCode() == 0, bench.readAllStandardError().constData());
        QVERIFY2(out.contains("closed: scanning=1"), out.constData());
        QVERIFY2(!out.contains("scan: "), out.constData());
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
