// Drag and drop between the contents list and a second window on a real X server: the
// platform's own drag loop finds the windows under the pointer and speaks XDND. Run
// offscreen, the test starts itself again under xvfb-run with the xcb platform, where
// the pointer is moved by the platform's mouse events: from the list to a window that
// takes text/uri-list, from that window back into the list, and a drag cancelled with
// Escape.

#include "../fileops/FileOpsFixtures.h"
#include "controls/ShellList.h"
#include "fileops/ClipboardFiles.h"
#include "shell/ShellStartup.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace shell;

namespace {

constexpr char kInnerRun[] = "FEGMANN_DRAG_UNDER_X";

// A window of another program, as far as the list can tell: it takes file lists and can
// drag one of its own.
class FileWindow : public QWidget
{
public:
    QByteArray received;
    Qt::DropAction dropAction = Qt::IgnoreAction;

    FileWindow() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list"))) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        }
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
    void dropEvent(QDropEvent* event) override
    {
        received = event->mimeData()->data(QStringLiteral("text/uri-list"));
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
};

// Moves the pointer through `points` (global) with the left button held, one step every
// 50 ms, then releases it there, or ends with Escape ("escape") or a press of the right
// button ("second"). Runs from the drag loop's own event loop.
void steerDrag(QWindow* window, const QList<QPoint>& points, const QString& end = {})
{
    int delay = 100;
    for (const QPoint& global : points) {
        QTimer::singleShot(delay, window, [window, global] {
            QTest::mouseMove(window, window->mapFromGlobal(global));
        });
        delay += 50;
    }
    QTimer::singleShot(delay + 100, window, [window, points, end] {
        const QPoint at = window->mapFromGlobal(points.last());
        if (end == u"escape") {
            QTest::keyClick(window, Qt::Key_Escape);
        } else if (end == u"second") {
            QTest::mousePress(window, Qt::RightButton, {}, at);
            QTest::mouseRelease(window, Qt::RightButton, {}, at);
            QTest::mouseRelease(window, Qt::LeftButton, {}, at);
        } else {
            QTest::mouseRelease(window, Qt::LeftButton, {}, at);
        }
    });
}

} // namespace

// The part that needs the X server.
class TestShellListX11 : public QObject
{
    Q_OBJECT

    struct Reported
    {
        TShellOperations operation;
        TFileNames files;
    };

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(ShellStartup());
    }

    void dragBetweenWindows_data()
    {
        QTest::addColumn<QString>("way"); // "out", "in", "escape", "second"
        QTest::newRow("from the list to the window") << "out";
        QTest::newRow("from the window into the list") << "in";
        QTest::newRow("Escape cancels") << "escape";
        QTest::newRow("a second button cancels") << "second";
    }

    void dragBetweenWindows()
    {
        QFETCH(QString, way);
        ScratchDir tmp;
        const QByteArray base = tmp.path();
        QCOMPARE(::mkdir((base + "/shown").constData(), 0755), 0);
        QCOMPARE(::mkdir((base + "/other").constData(), 0755), 0);
        putFile(base + "/shown/a.txt", "a");
        putFile(base + "/other/b.txt", "b");

        TShellList list;
        QList<Reported> reports;
        list.OnOperation = [&](TShellOperations op, const TFileNames& files, const QByteArray&) {
            reports.append({op, files});
        };
        list.setGeometry(0, 0, 400, 300);
        list.show();
        FileWindow window;
        window.setGeometry(500, 0, 300, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        list.SetPathBytes(base + "/shown");
        QCoreApplication::processEvents();
        QWindow* listWindow = list.windowHandle();
        const QPoint overWindow = window.mapToGlobal(QPoint(150, 150));
        QWidget* viewport = list.CurrentView()->viewport();
        const QPoint emptySpace = viewport->mapToGlobal(QPoint(200, viewport->height() - 20));

        if (way == u"in") {
            // The window drags a file of its own folder onto the list's empty space.
            QWindow* fromWindow = window.windowHandle();
            QTest::mousePress(fromWindow, Qt::LeftButton, {}, QPoint(150, 150));
            steerDrag(fromWindow,
                      {overWindow + QPoint(-300, 50), emptySpace + QPoint(0, -5), emptySpace});
            auto* data = new QMimeData;
            data->setData(QStringLiteral("text/uri-list"),
                          fileops::ClipboardFiles::uriOf(base + "/other/b.txt") + "\r\n");
            auto* drag = new QDrag(&window);
            drag->setMimeData(data);
            QCOMPARE(drag->exec(Qt::CopyAction), Qt::CopyAction);
            QTRY_VERIFY(exists(base + "/shown/b.txt"));
            QCOMPARE(contentOf(base + "/shown/b.txt"), QByteArray("b"));
            QVERIFY(exists(base + "/other/b.txt"));
            QTRY_COMPARE(reports.size(), 1);
            QCOMPARE(int(reports[0].operation), int(soDropTarget | soCopy));
            return;
        }

        int row = -1;
        for (int i = 0; i < list.ItemCount(); ++i) {
            if (list.CaptionText(i) == u"a.txt")
                row = i;
        }
        QVERIFY(row >= 0);
        list.SetSelected(row, true);
        const QPoint from =
            listWindow->mapFromGlobal(list.mapToGlobal(list.ItemRect(row).center()));
        steerDrag(listWindow, {overWindow + QPoint(-20, 0), overWindow}, way);
        QTest::mousePress(listWindow, Qt::LeftButton, {}, from);
        // Off the pressed item: the list's drag begins, and returns when it has ended.
        QTest::mouseMove(listWindow, from + QPoint(0, 15));
        QTest::mouseMove(listWindow, from + QPoint(0, 30));
        if (way != u"out") {
            QCOMPARE(window.received, QByteArray());
            QVERIFY(reports.isEmpty());
        } else {
            QCOMPARE(window.received,
                     fileops::ClipboardFiles::uriOf(base + "/shown/a.txt") + "\r\n");
            QTRY_COMPARE(reports.size(), 1);
            QCOMPARE(int(reports[0].operation), int(soDragSource | soCopy));
            QCOMPARE(reports[0].files, TFileNames{base + "/shown/a.txt"});
        }
        QCOMPARE(list.DragButton(), Qt::NoButton);
        QVERIFY(exists(base + "/shown/a.txt"));
    }
};

// The part that runs in the suite: the other part under xvfb-run.
class TestShellListUnderXvfb : public QObject
{
    Q_OBJECT

private slots:
    void dragAndDropOnAnXServer()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
            QSKIP("xvfb-run is needed (Debian package xvfb)");
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QString::fromLatin1(kInnerRun), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QStringLiteral("xvfb-run"), {QStringLiteral("-a"), QStringLiteral("-s"),
                                               QStringLiteral("-screen 0 1024x768x24"),
                                               QCoreApplication::applicationFilePath()});
        QVERIFY(run.waitForFinished(120000));
        const QByteArray output = run.readAll();
        QVERIFY2(run.exitCode() == 0, output.constData());
        QVERIFY2(output.contains("Totals: 6 passed, 0 failed"), output.constData());
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kInnerRun)) {
        TestShellListX11 test;
        return QTest::qExec(&test, argc, argv);
    }
    TestShellListUnderXvfb test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shelllistx11.moc"
