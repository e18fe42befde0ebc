// Deletes the files of a folder through a real contents list, as a user does: every file
// selected, the Delete key, the question answered as soon as it can be, until the list
// shows the folder without them. Beside it a timer on the event loop measures how long
// the interface thread stalls.
//
//   delete_bench [--generate N] [--tree] PATH
//
// With --tree the list is the main window's, below a tree of a scan of PATH, and the
// time runs until the tree has followed the deletion too; the line then also reads
// `tree_files=T`, the files the tree's root counts afterwards.
//
// The trash is a data home next to PATH (PATH.data, on the same file system), so that
// the user's own trash stays as it is; it is emptied afterwards. --generate makes PATH
// with N small files and ten folders first. The last line reads
// `delete: items=N seconds=S answered_ms=A max_ui_gap_ms=G left=L max_ui_gap_cpu_ms=P`:
// S from the key until the list is painted without the files, A until the question was
// answered, G the longest stall of the interface thread, L the files still listed, P the
// longest stall in the thread's own processor time.

#include "GapMeter.h"
#include "app/FolderSizeStore.h"
#include "app/MainForm.h"
#include "controls/ShellList.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"
#include "ui_MainForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int generate(long long n, const QByteArray& out)
{
    if (::mkdir(out.constData(), 0755) != 0) {
        std::perror(out.constData());
        return 1;
    }
    for (long long i = 0; i < n; ++i) {
        const QByteArray name = out + "/datei" + QByteArray::number(i) + ".txt";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const QByteArray content(int(100 + i % 4000), 'x');
        if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size()) {
            std::perror(name.constData());
            return 1;
        }
        ::close(fd);
    }
    for (int i = 0; i < 10; ++i) {
        const QByteArray name = out + "/ordner" + QByteArray::number(i);
        if (::mkdir(name.constData(), 0755) != 0) {
            std::perror(name.constData());
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    long long generateCount = -1;
    if (args.size() >= 3 && args[0] == QLatin1String("--generate")) {
        generateCount = args[1].toLongLong();
        args = args.mid(2);
    }
    const bool withTree = !args.isEmpty() && args[0] == QLatin1String("--tree");
    if (withTree)
        args.removeFirst();
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: delete_bench [--generate N] [--tree] PATH\n");
        return 2;
    }
    const QByteArray path(argv[argc - 1]); // raw bytes: a name need not be UTF-8
    const QByteArray dataHome = path + ".data";
    if (::mkdir(dataHome.constData(), 0700) != 0 && errno != EEXIST) {
        std::perror(dataHome.constData());
        return 1;
    }
    qputenv("XDG_DATA_HOME", dataHome);
    if (generateCount >= 0 && generate(generateCount, path) != 0)
        return 1;

    QApplication app(argc, argv);
    QString error;
    if (!shell::ShellStartup(&error)) {
        std::fprintf(stderr, "delete_bench: %s\n", qPrintable(error));
        return 1;
    }
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TShellList> ownList;
    if (withTree) {
        form = std::make_unique<TMainForm>();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return 1;
        form->controls().DirectoryEdit1->setText(QFile::decodeName(path));
        form->controls().BitBtn1->click();
        while (!form->controls().BitBtn1->isEnabled())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } else {
        ownList = std::make_unique<TShellList>();
        ownList->resize(800, 600);
        ownList->show();
        if (!QTest::qWaitForWindowExposed(ownList.get()))
            return 1;
    }
    TShellList& list = withTree ? *form->controls().ShellList1 : *ownList;
    try {
        list.SetPathBytes(path);
    } catch (const shell::EShellNavigatorError& e) {
        std::fprintf(stderr, "delete_bench: %s\n", qPrintable(e.message()));
        return 1;
    }
    // A large folder is read on by a thread: the files are chosen once all are listed.
    while (list.Filling())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // Every file selected, the folders not.
    list.SelectAll();
    int files = 0;
    for (int i = 0; i < list.ItemCount(); ++i) {
        list.Navigator().SetObjectIDList(list.Item(i).Data.ItemID);
        if (list.Navigator().IsFolder())
            list.SetSelected(i, false);
        else
            ++files;
    }
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    qint64 answeredNs = -1;
    QTimer answer;
    answer.setInterval(1);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        auto* accept = box ? box->findChild<QPushButton*>(QStringLiteral("accept")) : nullptr;
        if (accept && accept->isEnabled() && answeredNs < 0) {
            answeredNs = clock.nsecsElapsed();
            accept->click();
        } else if (box && !accept) {
            std::fprintf(stderr, "message: %s\n", qPrintable(box->text()));
            box->reject();
        }
    });
    answer.start();
    GapMeter gaps;
    gaps.start();
    clock.start();
    QTest::keyClick(list.CurrentView(), Qt::Key_Delete);
    list.CurrentView()->viewport()->repaint();
    if (withTree) {
        while (form->TreeModel().Refreshing())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        form->controls().TreeView1->repaint();
    }
    const qint64 ns = clock.nsecsElapsed();
    gaps.stop();
    answer.stop();

    int left = 0;
    for (int i = 0; i < list.ItemCount(); ++i) {
        list.Navigator().SetObjectIDList(list.Item(i).Data.ItemID);
        if (!list.Navigator().IsFolder())
            ++left;
    }
    std::printf("delete: items=%d seconds=%.3f answered_ms=%.0f max_ui_gap_ms=%lld left=%d "
                "max_ui_gap_cpu_ms=%lld",
                files, double(ns) / 1e9, double(answeredNs) / 1e6, gaps.maxGapMs(), left,
                gaps.maxCpuGapMs());
    if (withTree)
        std::printf(" tree_files=%lld", static_cast<long long>(FolderStore().FolderFileCounts(0)));
    std::printf("\n");
    // The trash of the run goes again.
    QProcess::execute(QStringLiteral("rm"),
                      {QStringLiteral("-rf"), QFile::decodeName(dataHome + "/Trash")});
    return left == 0 ? 0 : 1;
}
