// Drag and drop and the clipboard on a real X server: the platform's own drag loop finds
// the windows under the pointer and speaks XDND. Run offscreen, the test starts itself
// again under xvfb-run with the xcb platform. A second window of this process takes and
// gives drags moved by the platform's mouse events; another program, tests/peer (GTK),
// takes and gives drags and the clipboard driven by real X input from xdotool.

#include "../fileops/FileOpsFixtures.h"
#include "controls/ShellList.h"
#include "fileops/ClipboardFiles.h"
#include "shell/ShellStartup.h"

#include "controls/OperationProgressDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDrag>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

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

QStringList xy(const QPoint& global)
{
    return {QString::number(global.x()), QString::number(global.y())};
}

// Real X input: each step waits for its condition, then runs xdotool with the arguments
// it makes then. The steps run from a timer, so also inside the nested loops of a drag, a
// menu or a question. Whatever is still open when the time is up is closed, so that a
// test that fails comes to its end.
class Steps : public QObject
{
public:
    using Condition = std::function<bool()>;
    using Arguments = std::function<QStringList()>;

    explicit Steps(int limitMs = 40000)
    {
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, [this, limitMs] {
            if (m_clock.elapsed() > limitMs) {
                m_steps.clear();
                m_timer.stop();
                giveUp();
                return;
            }
            while (!m_steps.isEmpty() && m_steps.first().first()) {
                const Arguments arguments = m_steps.takeFirst().second;
                QProcess::execute(QStringLiteral("xdotool"), arguments());
            }
        });
        m_timer.start(10);
    }
    Steps& then(const Condition& when, const Arguments& arguments)
    {
        m_steps.append({when, arguments});
        return *this;
    }
    Steps& then(const Condition& when, const QStringList& arguments)
    {
        return then(when, [arguments] { return arguments; });
    }
    Steps& then(const QStringList& arguments)
    {
        return then([] { return true; }, arguments);
    }
    bool done() const { return m_steps.isEmpty(); }

private:
    static void giveUp()
    {
        QDrag::cancel();
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
                dialog->reject();
        }
    }

    QList<std::pair<Condition, Arguments>> m_steps;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// tests/peer in a process of its own; its lines as it writes them.
class Peer
{
public:
    QStringList lines;
    QRect area; // global

    explicit Peer(const QStringList& args)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine())
                lines << QString::fromUtf8(m_process.readLine()).trimmed();
        });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(FEGMANN_PEER), args);
    }
    ~Peer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // Waits for the peer's first line that begins with `word`; empty when none came.
    QString waitFor(const QString& word)
    {
        const auto line = [&] {
            for (const QString& l : std::as_const(lines)) {
                if (l == word || l.startsWith(word + u' '))
                    return l;
            }
            return QString();
        };
        if (!QTest::qWaitFor([&] { return !line().isEmpty(); }, 20000))
            return QString();
        return line();
    }
    bool ready()
    {
        const QStringList words = waitFor(QStringLiteral("ready")).split(u' ');
        if (words.size() == 5)
            area = QRect(words[1].toInt(), words[2].toInt(), words[3].toInt(), words[4].toInt());
        return words.first() == u"ready";
    }
    bool said(const QString& word)
    {
        return std::any_of(lines.cbegin(), lines.cend(),
                           [&](const QString& l) { return l.startsWith(word); });
    }

private:
    QProcess m_process;
};

// Counts the drag-overs the list's viewport is sent.
class DragMoves : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::DragMove)
            ++count;
        return false;
    }
};

QPoint centreOf(const QWidget* widget)
{
    return widget->mapToGlobal(widget->rect().center());
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
    // A shown list at the left of the screen that keeps what it reports.
    struct ReportingList : TShellList
    {
        ReportingList()
        {
            OnOperation = [this](TShellOperations op, const TFileNames& files, const QByteArray&) {
                reports.append({op, files});
            };
            setGeometry(0, 0, 400, 300);
            show();
        }
        QList<Reported> reports;
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

        ReportingList list;
        const QList<Reported>& reports = list.reports;
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

    // Another program takes the files dragged out of the list, and drags its own into it;
    // both learn what became of them.
    void withAnotherProgram_data()
    {
        QTest::addColumn<QString>("way"); // "out" of the list, "in" to it
        QTest::addColumn<int>("button");  // of the drag, as X counts: 1 left, 3 right
        QTest::addColumn<QString>("menuPick");
        QTest::addColumn<bool>("thumbnails");
        QTest::addColumn<QString>("told"); // what the other program learnt
        QTest::addColumn<bool>("landed");  // in the folder it was dropped into
        QTest::addColumn<bool>("stays");   // in the folder it came from
        QTest::newRow("out: both files moved into the program")
            << "out" << 1 << "" << false << "dropped move" << true << false;
        QTest::newRow("in, right button: Hierher kopieren")
            << "in" << 3 << "Hierher kopieren" << false << "end copy ok" << true << true;
        QTest::newRow("in, right button: Hierher verschieben")
            << "in" << 3 << "Hierher verschieben" << false << "end move ok" << true << false;
        QTest::newRow("in, right button: Abbrechen")
            << "in" << 3 << "Abbrechen" << false << "end none failed" << false << true;
        QTest::newRow("in: into the thumbnail view")
            << "in" << 1 << "" << true << "end move ok" << true << false;
    }

    void withAnotherProgram()
    {
        QFETCH(QString, way);
        QFETCH(int, button);
        QFETCH(QString, menuPick);
        QFETCH(bool, thumbnails);
        QFETCH(QString, told);
        QFETCH(bool, landed);
        QFETCH(bool, stays);
        ScratchDir tmp;
        const QByteArray base = tmp.path();
        QCOMPARE(::mkdir((base + "/shown").constData(), 0755), 0);
        QCOMPARE(::mkdir((base + "/other").constData(), 0755), 0);
        const TFileNames names = way == u"out" ? TFileNames{"a.txt", "b.txt"} : TFileNames{"c.txt"};
        const QByteArray from = way == u"out" ? base + "/shown/" : base + "/other/";
        const QByteArray to = way == u"out" ? base + "/other/" : base + "/shown/";
        for (const QByteArray& name : names)
            putFile(from + name, name);

        ReportingList list;
        const QList<Reported>& reports = list.reports;
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetThumbnails(thumbnails); // switched as a user does, in the shown list
        list.SetPathBytes(base + "/shown");
        QWidget* viewport = list.CurrentView()->viewport();
        const QString pressed = QString::number(button);
        Steps steps;
        QStringList uris;
        TFileNames paths;
        for (const QByteArray& name : names) {
            paths << from + name;
            uris << QString::fromLatin1(fileops::ClipboardFiles::uriOf(paths.last()));
        }

        std::unique_ptr<Peer> peer;
        if (way == u"out") {
            peer = std::make_unique<Peer>(
                QStringList{QStringLiteral("drop"), QFile::decodeName(base + "/other")});
            QVERIFY(peer->ready());
            for (int i = 0; i < list.ItemCount(); ++i)
                list.SetSelected(i, true);
            const QPoint start = list.mapToGlobal(list.ItemRect(0).center());
            const QPoint end = peer->area.center();
            steps.then(QStringList{"mousemove"} + xy(start) + QStringList{"mousedown", pressed})
                .then(QStringList{"mousemove"} + xy(start + QPoint(0, 15)))
                .then(QStringList{"mousemove"} + xy(start + QPoint(0, 30)))
                .then([&] { return list.DragButton() == Qt::LeftButton; },
                      QStringList{"mousemove"} + xy(end - QPoint(20, 0)))
                .then([&] { return peer->said(QStringLiteral("over")); },
                      QStringList{"mousemove"} + xy(end))
                .then(QStringList{"mouseup", pressed});
            QCOMPARE(peer->waitFor(QStringLiteral("dropped")),
                     (QStringList{told} + uris).join(u' '));
            // Moved by the other program: as the drag's source the list tells of what is
            // gone (its following the folder may tell of the vanished selection, too).
            const auto asSource = [&] {
                QList<Reported> found;
                for (const Reported& r : std::as_const(reports)) {
                    if (r.operation & soDragSource)
                        found << r;
                }
                return found;
            };
            QTRY_COMPARE_WITH_TIMEOUT(asSource().size(), 1, 20000);
            QCOMPARE(int(asSource()[0].operation), int(soDragSource | soMove | soRemoved));
            QCOMPARE(asSource()[0].files, paths);
        } else {
            peer = std::make_unique<Peer>(
                QStringList{QStringLiteral("drag"), pressed, QFile::decodeName(paths.first())});
            QVERIFY(peer->ready());
            const QPoint start = peer->area.center();
            const QPoint end =
                viewport->mapToGlobal(QPoint(viewport->width() / 2, viewport->height() - 20));
            DragMoves moves;
            viewport->installEventFilter(&moves);
            const auto menuPoint = [&]() -> QPoint {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                for (QAction* action : menu ? menu->actions() : QList<QAction*>()) {
                    if (action->text() == menuPick && menu->isVisible())
                        return menu->mapToGlobal(menu->actionGeometry(action).center());
                }
                return {};
            };
            int movesBefore = 0;
            steps.then(QStringList{"mousemove"} + xy(start) + QStringList{"mousedown", pressed})
                .then(QStringList{"mousemove"} + xy(start + QPoint(10, 10)))
                .then(QStringList{"mousemove"} + xy(start + QPoint(20, 20)))
                .then([&] { return peer->said(QStringLiteral("begin")); },
                      QStringList{"mousemove"} + xy(end - QPoint(0, 10)))
                .then(
                    [&] {
                        movesBefore = moves.count;
                        return moves.count > 0;
                    },
                    QStringList{"mousemove"} + xy(end))
                .then([&] { return moves.count > movesBefore; }, QStringList{"mouseup", pressed});
            if (!menuPick.isEmpty()) {
                steps.then([&] { return !menuPoint().isNull(); },
                           [&] {
                               return QStringList{"mousemove"} + xy(menuPoint()) +
                                      QStringList{"click", "1"};
                           });
            }
            QCOMPARE(peer->waitFor(QStringLiteral("end")), told);
        }
        QTRY_VERIFY_WITH_TIMEOUT(steps.done() && !list.CommandRunning(), 20000);
        QCoreApplication::processEvents();
        for (const QByteArray& name : names) {
            QTRY_COMPARE(exists(to + name), landed);
            QCOMPARE(exists(from + name), stays);
        }
    }

    // A paste of files that another program put on the clipboard, into a folder that has
    // one of the names: the question is the window to answer, also once the operation's
    // progress would show.
    void pasteConflict_data()
    {
        QTest::addColumn<QString>("answer"); // a button's caption, or a key
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("Ersetzen") << "Ersetzen" << QByteArray("new");
        QTest::newRow("Überspringen") << "Überspringen" << QByteArray("old");
        QTest::newRow("Enter: Überspringen") << "Return" << QByteArray("old");
    }

    void pasteConflict()
    {
        QFETCH(QString, answer);
        QFETCH(QByteArray, content);
        ScratchDir tmp;
        const QByteArray base = tmp.path();
        QCOMPARE(::mkdir((base + "/shown").constData(), 0755), 0);
        QCOMPARE(::mkdir((base + "/other").constData(), 0755), 0);
        putFile(base + "/shown/a.txt", "old");
        putFile(base + "/other/a.txt", "new");
        Peer peer({QStringLiteral("copy"), QFile::decodeName(base + "/other/a.txt")});
        QVERIFY(peer.ready());

        ReportingList list;
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetPathBytes(base + "/shown");
        list.setFocus();
        QPointer<QMessageBox> box;
        QElapsedTimer shown;
        // Asked, and still asking when the progress would have shown itself long since.
        const auto asked = [&] {
            auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!open || open->windowTitle() != u"Objekt ersetzen" || !open->isVisible())
                return false;
            if (open != box) {
                box = open;
                shown.start();
            }
            return shown.elapsed() > 2 * TOperationProgressDialog::kShowAfterMs;
        };
        const QString window = QString::number(list.window()->winId());
        Steps steps;
        steps.then({"windowfocus", "--sync", window, "key", "ctrl+v"});
        steps.then(asked, [&] {
            if (!box)
                return QStringList{"key", "Escape"};
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == answer)
                    return QStringList{"mousemove"} + xy(centreOf(button)) +
                           QStringList{"click", "1"};
            }
            return QStringList{"windowfocus", "--sync", QString::number(box->winId()), "key",
                               answer};
        });
        QTRY_VERIFY_WITH_TIMEOUT(
            steps.done() && !list.CommandRunning() && !QApplication::activeModalWidget(), 45000);
        QCOMPARE(contentOf(base + "/shown/a.txt"), content);
        QCOMPARE(contentOf(base + "/other/a.txt"), QByteArray("new"));
    }
};

// The part that runs in the suite: the other part under xvfb-run.
class TestShellListUnderXvfb : public QObject
{
    Q_OBJECT

private slots:
    void dragAndDropOnAnXServer()
    {
        // The other program is GTK's, through the system's Python.
        QProcess gtk;
        gtk.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral("import gi; gi.require_version('Gtk', '3.0')")});
        const bool hasGtk = gtk.waitForFinished(60000) &&
                            gtk.exitStatus() == QProcess::NormalExit && gtk.exitCode() == 0;
        QStringList missing;
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
            missing << QStringLiteral("xvfb-run (Debian package xvfb)");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            missing << QStringLiteral("xdotool (Debian package xdotool)");
        if (!hasGtk)
            missing << QStringLiteral("GTK 3 for Python (Debian packages python3-gi, "
                                      "gir1.2-gtk-3.0)");
        if (!missing.isEmpty())
            QSKIP(qPrintable(QStringLiteral("needed: ") + missing.join(QStringLiteral(", "))));
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QString::fromLatin1(kInnerRun), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QStringLiteral("xvfb-run"), {QStringLiteral("-a"), QStringLiteral("-s"),
                                               QStringLiteral("-screen 0 1024x768x24"),
                                               QCoreApplication::applicationFilePath()});
        QVERIFY(run.waitForFinished(480000));
        const QByteArray output = run.readAll();
        QVERIFY2(run.exitCode() == 0, output.constData());
        QVERIFY2(output.contains(", 0 failed, 0 skipped,"), output.constData());
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
