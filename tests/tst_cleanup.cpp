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
#include "app/MyThread.h"
#include "controls/ShellList.h"
#include "fileops/ClipboardFiles.h"
#include "fileops/NameRules.h"
#include "fileops/TrashStore.h"
#include "platform/NumberText.h"
#include "threads/ChangeNotifier.h"
#include "ui_MainForm.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDirIterator>
#include <QDropEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <map>
#include <sys/mount.h>

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

// Every folder below `root` with the bytes and files of its subtree, as "bytes/files".
using FolderTotals = std::map<QByteArray, QString>;

FolderTotals totalsOfTree(const TFolderTreeModel& model)
{
    FolderTotals totals;
    if (model.nodeCount() == 0)
        return totals;
    std::vector<std::int32_t> todo{1};
    while (!todo.empty()) {
        const std::int32_t entry = todo.back();
        todo.pop_back();
        totals[model.NodePath(entry)] = QStringLiteral("%1/%2")
                                            .arg(FolderStore().FolderSizes(entry - 1))
                                            .arg(FolderStore().FolderFileCounts(entry - 1));
        for (std::int32_t row = 0; row < model.childCount(entry); ++row)
            todo.push_back(model.childEntry(entry, row));
    }
    totals["(running)"] = QStringLiteral("%1/%2")
                              .arg(FolderStore().TotalBytesFound())
                              .arg(FolderStore().TotalFilesFound());
    return totals;
}

// The same from a whole new scan of `root`.
FolderTotals totalsOfFreshScan(const QByteArray& root)
{
    auto queue = std::make_shared<TTreeChangeQueue>();
    TFolderSizeStore store;
    TMyThread(root, queue, store).RunScan();
    TTreeChangeQueue::Batch batch;
    queue->TakeAll(batch);
    std::vector<QByteArray> paths{root};
    FolderTotals totals;
    for (const TTreeChangeQueue::Change& c : batch.changes) {
        if (c.kind != TTreeChangeQueue::Kind::FolderAdded)
            continue;
        const std::string_view name = batch.name(c);
        paths.push_back(paths[size_t(c.parent) - 1] + '/' +
                        QByteArray(name.data(), qsizetype(name.size())));
    }
    for (size_t i = 0; i < paths.size(); ++i)
        totals[paths[i]] = QStringLiteral("%1/%2")
                               .arg(store.FolderSizes(std::int32_t(i)))
                               .arg(store.FolderFileCounts(std::int32_t(i)));
    totals["(running)"] = totals[root];
    return totals;
}

QString differences(const FolderTotals& tree, const FolderTotals& disk)
{
    QStringList lines;
    for (const auto& [path, value] : disk) {
        const auto it = tree.find(path);
        if (it == tree.end() || it->second != value)
            lines << QStringLiteral("%1: tree %2, disk %3")
                         .arg(QString::fromUtf8(path), it == tree.end() ? "none" : it->second,
                              value);
    }
    for (const auto& [path, value] : tree)
        if (!disk.count(path))
            lines << QStringLiteral("%1: tree %2, gone from disk")
                         .arg(QString::fromUtf8(path), value);
    return lines.join('\n');
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
        form.controls().DirectoryEdit1->setText(QFile::decodeName(m_root));
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
        QTRY_VERIFY(!model.Refreshing());

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
        QTRY_VERIFY(!model.Refreshing());
        for (const QByteArray& folder : {m_root, m_root + "/gross", m_root + "/klein"})
            QCOMPARE(totalsOf(form, folder), findOf(m_root, folder));
        QCOMPARE(totalsOf(form, m_root + "/klein"), QStringLiteral("0/0"));
        QCOMPARE(childNames(model, root), (QStringList{"gross", "klein"}));
        QCOMPARE(form.StatusPanel(1)->text(),
                 platform::fixed2(6.5) + QStringLiteral(" MB in 3 Dateien"));
    }

    // Random changes of every kind, by the list and by other programs, and after each one
    // every node of the tree holds what a new scan finds.
    void treeStaysTrueToTheDisk_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 7") << 7u;
    }
    void treeStaysTrueToTheDisk()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        m_dir = std::make_unique<ScratchDir>();
        m_root = QFile::encodeName(m_dir->path()) + "/tree";
        ScratchDir elsewhere;
        const QByteArray outside = QFile::encodeName(elsewhere.path());
        const QByteArray trash = outside + "/Trash";
        makeDir(m_root);
        for (const char* folder : {"/a", "/a/a1", "/a/a1/deep", "/b", "/b/b1", "/c"})
            makeDir(m_root + folder);
        for (const char* file : {"/f", "/a/f", "/a/a1/f", "/a/a1/deep/f", "/b/f", "/b/b1/f"})
            makeFile(m_root + file, random.bounded(1, 5000));
        makeDir(trash);

        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        scan(form);
        TFolderTreeModel& model = form.TreeModel();
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        TShellList& list = *form.controls().ShellList1;

        const auto everything = [&](bool foldersOnly) {
            QList<QByteArray> found{m_root};
            QDirIterator it(QFile::decodeName(m_root),
                            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                it.next();
                if (!foldersOnly || (it.fileInfo().isDir() && !it.fileInfo().isSymLink()))
                    found << QFile::encodeName(it.filePath());
            }
            std::sort(found.begin(), found.end());
            return found;
        };
        const auto pick = [&](const QList<QByteArray>& from) {
            return from[qsizetype(random.bounded(quint32(from.size())))];
        };
        const auto run = [](const QStringList& command) {
            QCOMPARE(QProcess::execute(command[0], command.mid(1)), 0);
        };
        QList<QByteArray> trashed;
        QStringList kinds;
        for (int step = 0; step < 300; ++step) {
            const QByteArray n = QByteArray::number(step);
            const QList<QByteArray> folders = everything(true);
            QList<QByteArray> objects = everything(false);
            objects.removeOne(m_root);
            const QByteArray folder = pick(folders);
            const QByteArray object = objects.isEmpty() ? QByteArray() : pick(objects);
            const bool below = !object.isEmpty() && fileops::IsSameOrBelow(folder, object);
            const int kind = int(random.bounded(11));
            kinds << QString::number(kind);
            if (object.isEmpty() && kind < 8)
                continue;
            switch (kind) {
            case 0: // to the trash, as the freedesktop trash keeps it
                QVERIFY(::rename(object, trash + "/" + n) == 0);
                trashed << trash + "/" + n;
                form.ShellList1Operation(soDelete | soRemoved, {object}, {});
                break;
            case 1: // for good
                run({"rm", "-rf", QFile::decodeName(object)});
                form.ShellList1Operation(soDelete | soRemoved, {object}, {});
                break;
            case 2: // dragged out to another folder
                QVERIFY(::rename(object, outside + "/" + n) == 0);
                form.ShellList1Operation(soDragSource | soMove | soRemoved, {object}, {});
                break;
            case 3: // dropped into a folder of the tree (or moved by cut and paste)
                if (below)
                    continue;
                QVERIFY(::rename(object, folder + "/m" + n) == 0);
                form.ShellList1Operation(step % 2 ? soDropTarget | soMove
                                                  : soFromClipboard | soPaste | soMove,
                                         {object}, folder);
                break;
            case 4: { // pasted or dropped in from elsewhere
                const QByteArray source = outside + "/in" + n;
                makeDir(source);
                makeFile(source + "/x", random.bounded(0, 100000));
                makeDir(source + "/sub");
                makeFile(source + "/sub/y", random.bounded(0, 100000));
                const QByteArray from = step % 2 ? source : source + "/x";
                run({"cp", "-a", QFile::decodeName(from), QFile::decodeName(folder)});
                form.ShellList1Operation(soFromClipboard | soPaste | soCopy, {from}, folder);
                break;
            }
            case 5: // copied within the tree
                if (below)
                    continue;
                run({"cp", "-a", QFile::decodeName(object), QFile::decodeName(folder + "/c" + n)});
                form.ShellList1Operation(soDropTarget | soCopy, {object}, folder);
                break;
            case 6: { // renamed in place
                const QByteArray renamed = fileops::ParentOf(object) + "/r" + n;
                QVERIFY(::rename(object, renamed) == 0);
                form.ShellList1Operation(soRename, {object}, renamed);
                break;
            }
            case 7: // a link dropped in
                makeLink(object, folder + "/l" + n);
                form.ShellList1Operation(soDropTarget, {object}, folder);
                break;
            default: { // another program changes the shown folder
                list.SetPathBytes(folder + "/");
                QTRY_VERIFY(list.ChangeNotifier().WatchCount() > 0);
                QList<QByteArray> files;
                for (const QByteArray& o : objects)
                    if (fileops::ParentOf(o) == folder &&
                        QFileInfo(QFile::decodeName(o)).isFile() &&
                        !QFileInfo(QFile::decodeName(o)).isSymLink())
                        files << o;
                const int what = int(random.bounded(5));
                kinds.last() += QStringLiteral(":%1").arg(what);
                if (what == 0 || files.isEmpty()) {
                    makeFile(folder + "/new" + n, random.bounded(0, 100000));
                } else if (what == 1) {
                    makeFile(pick(files), random.bounded(0, 100000)); // rewritten
                } else if (what == 2) {
                    QVERIFY(::unlink(pick(files)) == 0);
                } else if (what == 3 || trashed.isEmpty()) {
                    makeDir(folder + "/d" + n);
                    makeFile(folder + "/d" + n + "/z", random.bounded(0, 100000));
                } else { // restored from the trash
                    QVERIFY(::rename(trashed.takeLast(), folder + "/back" + n) == 0);
                }
                break;
            }
            }
            const FolderTotals disk = totalsOfFreshScan(m_root);
            const bool equal = QTest::qWaitFor(
                [&] { return !model.Refreshing() && totalsOfTree(model) == disk; }, 10000);
            QVERIFY2(equal, qPrintable(QStringLiteral("step %1 (kinds %2):\n%3")
                                           .arg(step)
                                           .arg(kinds.join(' '))
                                           .arg(differences(totalsOfTree(model), disk))));
        }
    }

    // The two roads a new user took: a file pasted in and then deleted, and files dropped
    // from one folder of the tree into another. Every folder holds what find counts, its
    // text says so, and no folder holds more than its parent.
    void theTreeFollowsTheWindowsOperations_data()
    {
        QTest::addColumn<bool>("pasteThenDelete");
        QTest::addColumn<bool>("trashInTree");
        QTest::newRow("paste then delete") << true << false;
        QTest::newRow("paste, delete to a trash in the tree, restore") << true << true;
        QTest::newRow("drop from b into a") << false << false;
    }
    void theTreeFollowsTheWindowsOperations()
    {
        QFETCH(bool, pasteThenDelete);
        QFETCH(bool, trashInTree);
        m_dir = std::make_unique<ScratchDir>();
        m_root = QFile::encodeName(m_dir->path()) + "/tree";
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        const auto restoreDataHome = qScopeGuard([&] { qputenv("XDG_DATA_HOME", dataHome); });
        if (trashInTree) {
            // The home (and with it its trash) is in the scanned folder.
            makeDir(m_root);
            makeDir(m_root + "/data");
            qputenv("XDG_DATA_HOME", m_root + "/data");
        }
        ScratchDir elsewhere;
        const QByteArray big = QFile::encodeName(elsewhere.path()) + "/big";
        makeFile(big, 160 * MiB);
        makeDir(m_root);
        makeDir(m_root + "/a");
        makeFile(m_root + "/a/a1", MiB);
        makeDir(m_root + "/b");
        makeFile(m_root + "/b/b1", 2 * MiB);
        makeFile(m_root + "/b/b2", MiB);
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        scan(form);
        TFolderTreeModel& model = form.TreeModel();
        TShellList& list = *form.controls().ShellList1;
        const QModelIndex root = model.index(0, 0);

        if (pasteThenDelete) {
            form.controls().TreeView1->setCurrentIndex(childNamed(model, root, "a"));
            QCOMPARE(list.PathBytes(), m_root + "/a/");
            auto* data = new QMimeData;
            fileops::ClipboardFiles::write(*data, {big}, false);
            QGuiApplication::clipboard()->setMimeData(data);
            QTest::keyClick(list.CurrentView(), Qt::Key_V, Qt::ControlModifier);
            QTRY_VERIFY(!list.CommandRunning());
            QTRY_VERIFY(shell::PathExists(m_root + "/a/big"));
            QTRY_VERIFY(!model.Refreshing());
            QCOMPARE(totalsOf(form, m_root + "/a"), QStringLiteral("%1/2").arg(161 * MiB));
            QTRY_COMPARE(list.ItemCount(), 2);
            Agree agree;
            selectInList(list, {QStringLiteral("big")});
            QTest::keyClick(list.CurrentView(), Qt::Key_Delete);
            QTRY_COMPARE(agree.texts.size(), 1);
            QTRY_VERIFY(!list.CommandRunning());
            QVERIFY(!shell::PathExists(m_root + "/a/big"));
            if (trashInTree) {
                QTRY_VERIFY(!model.Refreshing());
                QCOMPARE(totalsOfTree(model), totalsOfFreshScan(m_root));
                list.SetPathBytes(m_root + "/data/Trash/files/");
                selectInList(list, {QStringLiteral("big")});
                QVERIFY(list.ExecuteVerb(QStringLiteral("undelete")));
                QTRY_VERIFY(!list.CommandRunning());
                QVERIFY(shell::PathExists(m_root + "/a/big"));
            }
        } else {
            // b also holds a file that came after the scan, a download.
            makeFile(m_root + "/b/new", 3 * MiB / 2);
            form.controls().TreeView1->setCurrentIndex(root);
            QTRY_VERIFY(list.ItemCount() >= 2);
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QFile::decodeName(m_root + "/b/b1")),
                          QUrl::fromLocalFile(QFile::decodeName(m_root + "/b/new"))});
            int target = -1;
            for (int i = 0; i < list.ItemCount(); ++i)
                if (list.CaptionText(i) == QStringLiteral("a"))
                    target = i;
            QVERIFY(target >= 0);
            QWidget* viewport = list.CurrentView()->viewport();
            const QPoint point = viewport->mapFrom(&list, list.ItemRect(target).center());
            QDragEnterEvent enter(point, Qt::MoveAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &enter);
            QDragMoveEvent over(point, Qt::MoveAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &over);
            QDropEvent drop(point, Qt::MoveAction, &data, Qt::NoButton, {});
            QApplication::sendEvent(viewport, &drop);
            QTRY_VERIFY(shell::PathExists(m_root + "/a/new"));
            QTRY_VERIFY(!list.CommandRunning());
        }
        QTRY_VERIFY(!model.Refreshing());

        QCOMPARE(totalsOfTree(model), totalsOfFreshScan(m_root));
        const QHash<QByteArray, Totals> disk = findTotals(m_root);
        for (const QByteArray& folder : {m_root, m_root + "/a", m_root + "/b"}) {
            QCOMPARE(totalsOf(form, folder), findOf(m_root, folder));
            const std::int32_t entry = model.EntryOfPath(folder);
            const QString text = model.indexOfEntry(entry).data().toString();
            QCOMPARE(text.section('\t', 0, 0), TMyThread::SizeText(disk.value(folder).bytes));
            QCOMPARE(text.section('\t', 2, 2), TMyThread::CountText(disk.value(folder).files));
            if (const std::int32_t parent = model.parentEntry(entry)) {
                QVERIFY(FolderStore().FolderSizes(entry - 1) <=
                        FolderStore().FolderSizes(parent - 1));
                QVERIFY(FolderStore().FolderFileCounts(entry - 1) <=
                        FolderStore().FolderFileCounts(parent - 1));
            }
        }
        QCOMPARE(FolderStore().TotalBytesFound(), disk.value(m_root).bytes);
        QCOMPARE(form.StatusPanel(1)->text(),
                 platform::fixed2(double(disk.value(m_root).bytes) / MiB) +
                     QStringLiteral(" MB in %1 Dateien").arg(disk.value(m_root).files));
        // The larger folder comes first.
        const bool aLarger = disk.value(m_root + "/a").bytes > disk.value(m_root + "/b").bytes;
        const QStringList order = aLarger ? QStringList{"a", "b"} : QStringList{"b", "a"};
        QStringList names = childNames(model, root);
        names.removeOne(QStringLiteral("data"));
        QCOMPARE(names, order);
    }

    // F5 in the tree walks the selected folder's subtree again, whatever changed in it
    // unseen; Esc while it runs keeps the tree as it was.
    void f5WalksTheSubtreeAgain_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("F5") << false;
        QTest::newRow("F5, then Esc") << true;
    }
    void f5WalksTheSubtreeAgain()
    {
        QFETCH(bool, cancel);
        m_dir = std::make_unique<ScratchDir>();
        m_root = QFile::encodeName(m_dir->path()) + "/tree";
        for (const char* folder : {"", "/a", "/a/y", "/a/y/z", "/a/y/w", "/b"})
            makeDir(m_root + folder);
        makeFile(m_root + "/a/y/z/f", MiB);
        makeFile(m_root + "/a/y/w/f", 2 * MiB);
        makeFile(m_root + "/b/f", 4 * MiB);
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        scan(form);
        TFolderTreeModel& model = form.TreeModel();
        QTreeView& tree = *form.controls().TreeView1;
        const std::int32_t a = model.EntryOfPath(m_root + "/a");
        tree.setCurrentIndex(model.indexOfEntry(a));
        const FolderTotals before = totalsOfTree(model);
        // Changed by another program below the shown folder, unseen.
        makeFile(m_root + "/a/y/z/g", 3 * MiB);
        QCOMPARE(QProcess::execute("rm", {"-rf", QFile::decodeName(m_root + "/a/y/w")}), 0);
        makeDir(m_root + "/a/y/z/new");
        makeFile(m_root + "/a/y/z/new/h", 5 * MiB);

        std::unique_ptr<Gate> gate;
        if (cancel)
            gate = std::make_unique<Gate>("z");
        tree.setFocus();
        QTest::keyClick(&tree, Qt::Key_F5);
        QVERIFY(model.SubtreeRefreshing());
        QVERIFY(form.controls().BitBtn2->isEnabled());
        if (cancel) {
            QTRY_VERIFY(gate->reached());
            QTest::keyClick(&tree, Qt::Key_Escape);
            gate->open();
        }
        QTRY_VERIFY(!model.Refreshing());
        QVERIFY(!form.controls().BitBtn2->isEnabled());
        QCOMPARE(totalsOfTree(model), cancel ? before : totalsOfFreshScan(m_root));
        QCOMPARE(tree.currentIndex().data(TFolderTreeModel::EntryRole).toInt(), a);
        const QStringList order = cancel ? QStringList{"b", "a"} : QStringList{"a", "b"};
        QCOMPARE(childNames(model, model.index(0, 0)), order);
    }

    // What happens to a folder between a change and its refresh, and what a change brings
    // in, is taken in by the scan's own rules: the tree equals a new scan.
    void refreshFollowsTheWalksRules_data()
    {
        QTest::addColumn<QByteArray>("shape");
        QTest::newRow("folder renamed before its refresh") << QByteArray("renamed");
        QTest::newRow("folder became a link") << QByteArray("link");
        QTest::newRow("2000 levels moved in") << QByteArray("deep");
        QTest::newRow("bind mount of a folder above") << QByteArray("bind");
    }
    void refreshFollowsTheWalksRules()
    {
        QFETCH(QByteArray, shape);
        m_dir = std::make_unique<ScratchDir>();
        m_root = QFile::encodeName(m_dir->path()) + "/tree";
        for (const char* folder : {"", "/a", "/a/b", "/c"})
            makeDir(m_root + folder);
        makeFile(m_root + "/a/f", 100);
        makeFile(m_root + "/a/b/f", 200);
        makeFile(m_root + "/c/f", 300);
        TMainForm form;
        scan(form);
        const QByteArray b = m_root + "/a/b";
        QByteArray mounted;
        const auto unmount = qScopeGuard([&] {
            if (!mounted.isEmpty())
                ::umount2(mounted.constData(), MNT_DETACH);
        });
        if (shape == "renamed" || shape == "link") {
            QVERIFY(::unlink(b + "/f") == 0);
            QVERIFY(::rename(b, m_root + "/a/b2") == 0);
            if (shape == "link")
                makeLink(m_root + "/c", b);
            // The list reports what it did in the folder; the folder is gone since.
            form.ShellList1Operation(soDelete | soRemoved, {b + "/f"}, {});
        } else if (shape == "deep") {
            ScratchDir elsewhere;
            const QByteArray top = QFile::encodeName(elsewhere.path()) + "/deep";
            makeDir(top);
            int fd = ::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            for (int level = 0; level < 2000; ++level) {
                QVERIFY(::mkdirat(fd, "ddd", 0755) == 0);
                const int below = ::openat(fd, "ddd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (level % 500 == 499)
                    QVERIFY(::close(::openat(below, "f", O_WRONLY | O_CREAT, 0644)) == 0);
                ::close(fd);
                fd = below;
            }
            ::close(fd);
            QVERIFY(::rename(top, b + "/deep") == 0);
            form.ShellList1Operation(soFromClipboard | soPaste | soMove, {top}, b);
        } else {
            makeDir(b + "/loop");
            if (::mount(QByteArray(m_root + "/a").constData(), QByteArray(b + "/loop").constData(),
                        nullptr, MS_BIND, nullptr) != 0)
                QSKIP("bind mounts need root");
            mounted = b + "/loop";
            form.ShellList1Operation(soDropTarget | soCopy, {"/elsewhere/loop"}, b);
        }
        QTRY_VERIFY(!form.TreeModel().Refreshing());
        const FolderTotals disk = totalsOfFreshScan(m_root);
        QVERIFY2(totalsOfTree(form.TreeModel()) == disk,
                 qPrintable(differences(totalsOfTree(form.TreeModel()), disk)));
        if (shape == "deep")
            QCOMPARE(disk.size(), size_t(4 + 1 + TMyThread::MaxScanDepth - 2));
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
        // The folder may be held on a read-ahead thread while the walk still counts the
        // files beside it: the running totals are taken once they stand still.
        std::int64_t found = FolderStore().TotalBytesFound();
        QElapsedTimer still;
        still.start();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                if (const std::int64_t now = FolderStore().TotalBytesFound(); now != found) {
                    found = now;
                    still.restart();
                }
                return still.elapsed() >= 300;
            }(),
            20000);
        const QString before = totalsOf(form, m_root);
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
