// Measures one real scan: the scan thread walks PATH and the folder tree model takes
// its changes on this thread's event loop, as the main window's tree would. With
// --gui the same scan runs through a real main window: PATH is typed into its folder
// field and Start pressed, and the tree sorts and draws as it does for the user.
//
//   scan_bench [--threads N] [--refresh] PATH
//   scan_bench --gui [--threads N] [--refresh] [--shot FILE.png] [--close-during-scan MS] PATH
//   scan_bench --generate wide-deep|flat|deep --files N --folders M --seed S OUTDIR
//
// --threads sets how many threads read folders ahead of the walk (0: none). --refresh
// then walks the scanned tree again as F5 on its root does, and prints
//   refresh: folders=F files=N seconds=S max_ui_gap_ms=G
// (in --gui through the window's F5 key). Before the
// last line a scan prints what the read-ahead may hold
//   read_ahead: threads=T entries=E folders=D levels=L
// The last line of a scan is
//   scan: folders=F files=N bytes=B seconds=S peak_rss_kib=R max_ui_gap_ms=G
// --gui first prints how long switching the sort criterion took on the finished tree
//   switch: to_count_ms=A to_size_ms=B
// --shot saves a picture of the whole window after the scan, with the root expanded and
// its largest folder selected, listed below the tree.
// --close-during-scan closes the window MS milliseconds after Start and prints
//   closed: scanning=1
// before the program ends as it does when the user closes it.

#include "GapMeter.h"
#include "TreeGenerator.h"
#include "app/FolderSizeStore.h"
#include "app/FolderTreeModel.h"
#include "app/MainForm.h"
#include "app/MyThread.h"
#include "shell/ShellStartup.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <string_view>
#include <sys/resource.h>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: scan_bench [--threads N] [--refresh] PATH\n"
                         "       scan_bench --gui [--threads N] [--refresh] [--shot FILE.png] "
                         "[--close-during-scan MS] PATH\n"
                         "       scan_bench --generate wide-deep|flat|deep --files N --folders M "
                         "--seed S OUTDIR\n");
    return 2;
}

long peakRssKib()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int generate(const QStringList& args)
{
    QString kind, out;
    qint64 files = -1, folders = -1;
    quint64 seed = 0;
    bool ok = true;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--generate") && hasValue)
            kind = args[++i];
        else if (a == QLatin1String("--files") && hasValue)
            files = args[++i].toLongLong(&ok);
        else if (a == QLatin1String("--folders") && hasValue)
            folders = args[++i].toLongLong(&ok);
        else if (a == QLatin1String("--seed") && hasValue)
            seed = args[++i].toULongLong(&ok);
        else if (!a.startsWith(QLatin1String("--")) && out.isEmpty())
            out = a;
        else
            return usage();
        if (!ok)
            return usage();
    }
    if (kind.isEmpty() || out.isEmpty() || files < 0 || folders < 0)
        return usage();
    GeneratedTree made;
    if (!generateTree(kind.toStdString(), files, folders, seed, out.toStdString(), made))
        return 1;
    std::printf("generated: folders=%lld files=%lld bytes=%lld\n",
                static_cast<long long>(made.folders), static_cast<long long>(made.files),
                static_cast<long long>(made.bytes));
    return 0;
}

void printReadAhead(int threads)
{
    const platform::ReadAhead::Limits limits = platform::ReadAhead::fitted({});
    std::printf("read_ahead: threads=%d entries=%zu folders=%zu levels=%zu\n", threads,
                threads > 0 ? limits.entries : 0, threads > 0 ? limits.folders : 0,
                threads > 0 ? limits.levels : 0);
}

void printScan(int folders, const TFolderSizeStore& store, qint64 elapsedNs, qint64 maxGapMs)
{
    std::printf("scan: folders=%d files=%lld bytes=%lld seconds=%.3f peak_rss_kib=%ld "
                "max_ui_gap_ms=%lld\n",
                folders, static_cast<long long>(store.FolderFileCounts(0)),
                static_cast<long long>(store.FolderSizes(0)), double(elapsedNs) / 1e9, peakRssKib(),
                static_cast<long long>(maxGapMs));
}

void printRefresh(int folders, const TFolderSizeStore& store, qint64 elapsedNs, qint64 maxGapMs)
{
    std::printf("refresh: folders=%d files=%lld seconds=%.3f max_ui_gap_ms=%lld\n", folders,
                static_cast<long long>(store.FolderFileCounts(0)), double(elapsedNs) / 1e9,
                static_cast<long long>(maxGapMs));
}

// Counts the nodes that the tree shows (a refresh leaves the replaced ones unreachable).
int reachableNodes(const TFolderTreeModel& model)
{
    int count = 0;
    std::vector<std::int32_t> todo{1};
    while (!todo.empty()) {
        const std::int32_t entry = todo.back();
        todo.pop_back();
        ++count;
        for (std::int32_t row = 0; row < model.childCount(entry); ++row)
            todo.push_back(model.childEntry(entry, row));
    }
    return count;
}

// The time one click on a sort button takes until the tree has been painted again.
qint64 switchMs(TMainForm& form, QRadioButton* button)
{
    QElapsedTimer clock;
    clock.start();
    button->click();
    QCoreApplication::processEvents();
    form.controls().TreeView1->repaint();
    return clock.elapsed();
}

int runGui(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    QString shot, path;
    int closeAfterMs = -1;
    int threads = TMyThread::DefaultReadAheadThreads;
    bool refresh = false;
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args[i];
        bool ok = true;
        if (a == QLatin1String("--threads") && i + 1 < args.size())
            threads = args[++i].toInt(&ok);
        else if (a == QLatin1String("--refresh"))
            refresh = true;
        else if (a == QLatin1String("--shot") && i + 1 < args.size())
            shot = args[++i];
        else if (a == QLatin1String("--close-during-scan") && i + 1 < args.size())
            closeAfterMs = args[++i].toInt(&ok);
        else if (!a.startsWith(QLatin1String("--")) && path.isEmpty())
            path = a;
        else
            ok = false;
        if (!ok || threads < 0)
            return usage();
    }
    if (path.isEmpty())
        return usage();
    QString error;
    if (!shell::ShellStartup(&error)) {
        std::fprintf(stderr, "scan_bench: %s\n", qPrintable(error));
        return 1;
    }

    TMainForm form;
    form.TreeModel().SetReadAheadThreads(threads);
    Ui::TMainForm& ui = form.controls();
    GapMeter gaps;
    int exitCode = 0;
    QObject::connect(&form.TreeModel(), &TFolderTreeModel::scanFinished, &form, [&](bool) {
        const qint64 elapsedNs = gaps.stop();
        const qint64 toCount = switchMs(form, ui.Sort2);
        const qint64 toSize = switchMs(form, ui.Sort1);
        std::printf("switch: to_count_ms=%lld to_size_ms=%lld\n", static_cast<long long>(toCount),
                    static_cast<long long>(toSize));
        printReadAhead(threads);
        printScan(form.TreeModel().nodeCount(), FolderStore(), elapsedNs, gaps.maxGapMs());
        if (!shot.isEmpty()) {
            // The root open, its largest folder selected and listed below the tree.
            const QModelIndex root = form.TreeModel().index(0, 0);
            ui.TreeView1->expand(root);
            if (form.TreeModel().rowCount(root) > 0)
                ui.TreeView1->setCurrentIndex(form.TreeModel().index(0, 0, root));
            form.Timer1Timer(); // the status bar as it reads a second later
            QElapsedTimer answer;
            answer.start();
            while (form.FreeSpaceWaiting() && answer.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::processEvents();
            if (!form.grab().save(shot)) {
                std::fprintf(stderr, "scan_bench: cannot write %s\n", qPrintable(shot));
                exitCode = 1;
            }
        }
        if (!refresh) {
            form.close();
            return;
        }
        // F5 on the root, as the user presses it.
        ui.TreeView1->setCurrentIndex(form.TreeModel().index(0, 0));
        ui.TreeView1->setFocus();
        gaps.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F5, Qt::NoModifier);
        QCoreApplication::sendEvent(ui.TreeView1, &press);
        QCoreApplication::sendEvent(ui.TreeView1, &release);
        if (!form.TreeModel().SubtreeRefreshing()) {
            std::fprintf(stderr, "scan_bench: F5 started no refresh\n");
            exitCode = 1;
            form.close();
        }
    });
    QObject::connect(&form.TreeModel(), &TFolderTreeModel::subtreeRefreshFinished, &form, [&] {
        const qint64 elapsedNs = gaps.stop();
        ui.TreeView1->repaint();
        printRefresh(reachableNodes(form.TreeModel()), FolderStore(), elapsedNs, gaps.maxGapMs());
        form.close();
    });
    QTimer::singleShot(0, &form, [&] {
        ui.DirectoryEdit1->setFocus();
        ui.DirectoryEdit1->selectAll();
        ui.DirectoryEdit1->insert(path);
        gaps.start();
        ui.BitBtn1->click();
        if (ui.BitBtn1->isEnabled()) {
            std::fprintf(stderr, "scan_bench: the scan could not be started\n");
            exitCode = 1;
            form.close();
        } else if (closeAfterMs >= 0) {
            QTimer::singleShot(closeAfterMs, &form, [&] {
                std::printf("closed: scanning=%d\n", form.ScanRunning() ? 1 : 0);
                form.close();
            });
        }
    });
    const int loopCode = TMainForm::RunProgram(form);
    return exitCode != 0 ? exitCode : loopCode;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc >= 2 && std::string_view(argv[1]) == "--gui")
        return runGui(argc, argv);
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 2 && args[1] == QLatin1String("--generate"))
        return generate(args);
    int threads = TMyThread::DefaultReadAheadThreads;
    bool refresh = false;
    QString path;
    for (int i = 1; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--threads") && i + 1 < args.size())
            threads = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--refresh"))
            refresh = true;
        else if (!args[i].startsWith(QLatin1String("--")) && path.isEmpty())
            path = args[i];
        else
            ok = false;
        if (!ok || threads < 0)
            return usage();
    }
    if (path.isEmpty())
        return usage();

    TFolderSizeStore& store = FolderStore();
    TFolderTreeModel model(store);
    model.SetReadAheadThreads(threads);
    GapMeter gaps;
    qint64 elapsedNs = 0;
    QObject::connect(&model, &TFolderTreeModel::scanFinished, [&](bool) {
        elapsedNs = gaps.stop();
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        gaps.start();
        if (!model.StartScan(path)) {
            std::fprintf(stderr, "scan_bench: the scan could not be started\n");
            QCoreApplication::exit(1);
        }
    });
    if (QCoreApplication::exec() != 0)
        return 1;
    printReadAhead(threads);
    printScan(model.nodeCount(), store, elapsedNs, gaps.maxGapMs());
    if (!refresh)
        return 0;
    GapMeter refreshGaps;
    QObject::connect(&model, &TFolderTreeModel::subtreeRefreshFinished, [&](bool) {
        elapsedNs = refreshGaps.stop();
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        refreshGaps.start();
        if (!model.RefreshSubtree(1)) {
            std::fprintf(stderr, "scan_bench: the refresh could not be started\n");
            QCoreApplication::exit(1);
        }
    });
    if (QCoreApplication::exec() != 0)
        return 1;
    printRefresh(reachableNodes(model), store, elapsedNs, refreshGaps.maxGapMs());
    return 0;
}
