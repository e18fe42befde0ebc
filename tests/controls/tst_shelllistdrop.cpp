// Drag and drop on a real contents list over real folders, with the drag events a
// platform would send: where a drop lands (empty space, a folder item, "..", a file
// item), which effect it takes (file systems, keys, CopyMode, the right button's menu),
// who may stop it (OnBeforeShellDrop, ReadOnly), folders dropped into themselves, bad
// lists of URIs and a very long one, scrolling near the edges, and the drag out of the
// list through the drag-loop seam, dropping into a second list or into itself.

#include "../fileops/TestHome.h"
#include "controls/ContextMenuPopup.h"
#include "controls/ShellList.h"
#include "fileops/ClipboardFiles.h"
#include "fileops/FixedAnswers.h"
#include "fileops/NameRules.h"
#include "fileops/TrashStore.h"
#include "shell/ShellCommandHost.h"
#include "shell/ShellStartup.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <fcntl.h>

using namespace shell;

namespace {

// Records messages; conflicts are skipped and deletions declined. A test may act while
// a deletion is being asked about and when an operation starts.
class RecordingHost : public TShellCommandHost
{
public:
    QStringList messages;
    fileops::FixedAnswers answers{fileops::ConflictAnswer::Skip,
                                  fileops::DeleteForGoodAnswer::Skip};
    std::function<void()> whileConfirming;
    std::function<void()> whileOperating;

    bool Confirm(TDeleteConfirmation&) override
    {
        if (whileConfirming)
            whileConfirming();
        return false;
    }
    fileops::OperationHost* Questions() override { return &answers; }
    std::unique_ptr<QObject> Watch(fileops::OperationJob&) override
    {
        if (whileOperating)
            whileOperating();
        return nullptr;
    }
    void ShowMessage(const QString& title, const QString& text) override
    {
        messages << title + QStringLiteral(": ") + text;
    }
    bool Open(const QUrl&) override { return false; }
    void ShowProperties(const TFileNames&) override {}
};

struct Reported
{
    TShellOperations operation;
    TFileNames files;
    QByteArray destination;
};

QByteArray uriList(const QByteArrayList& paths)
{
    QByteArray out;
    for (const QByteArray& path : paths)
        out += fileops::ClipboardFiles::uriOf(path) + "\r\n";
    return out;
}

std::unique_ptr<QMimeData> mimeOf(const QByteArray& uris)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/uri-list"), uris);
    return data;
}

int indexOf(TShellList& list, const QString& caption)
{
    for (int i = 0; i < list.ItemCount(); ++i) {
        if (caption == u".." ? list.Item(i).Data.IsParentFolder : list.CaptionText(i) == caption)
            return i;
    }
    return -1;
}

// A point of the viewport: the centre of the item shown as `caption`, or empty space
// below the items for an empty caption.
QPoint pointOf(TShellList& list, const QString& caption)
{
    QWidget* viewport = list.CurrentView()->viewport();
    if (caption.isEmpty())
        return QPoint(viewport->width() / 2, viewport->height() - 30);
    const int index = indexOf(list, caption);
    return index < 0 ? QPoint() : viewport->mapFrom(&list, list.ItemRect(index).center());
}

// What a drop did as the platform sees it, and how the item under the mouse was drawn.
struct DropResult
{
    bool overAccepted = false;
    Qt::DropAction overAction = Qt::IgnoreAction;
    bool highlighted = false;
    Qt::DropAction dropAction = Qt::IgnoreAction;
};

// Enter, one drag-over and the drop at `point`, as the platform sends them; then the
// operation that the drop queued runs.
DropResult dropAt(TShellList& list, const QPoint& point, const QMimeData& data,
                  Qt::MouseButtons buttons = Qt::LeftButton, Qt::KeyboardModifiers keys = {},
                  Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
{
    DropResult result;
    QWidget* viewport = list.CurrentView()->viewport();
    QDragEnterEvent enter(point, offered, &data, buttons, keys);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent over(point, offered, &data, buttons, keys);
    QApplication::sendEvent(viewport, &over);
    result.overAccepted = over.isAccepted();
    result.overAction = over.dropAction();
    const int index = list.ItemAt(viewport->mapTo(&list, point));
    result.highlighted = index >= 0 && list.Item(index).DropTarget;
    // At the drop the button is up; the keys of the last drag-over count.
    QDropEvent drop(point, offered, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    if (drop.isAccepted())
        result.dropAction = drop.dropAction();
    QCoreApplication::processEvents();
    return result;
}

QByteArrayList sorted(QByteArrayList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

QByteArrayList entries(const QByteArray& folder)
{
    QByteArrayList out;
    for (const QByteArray& key : snapshot(folder, false).keys()) {
        if (!key.isEmpty() && !key.mid(1).contains('/'))
            out << key.mid(1);
    }
    return out;
}

} // namespace

class TestShellListDrop : public QObject
{
    Q_OBJECT

    RecordingHost m_host;
    QList<Reported> m_reports;
    TestHome m_home;

    // A shown list of `folder` that reports into m_reports.
    void open(TShellList& list, const QByteArray& folder)
    {
        list.SetCommandHost(&m_host);
        list.OnOperation = [this](TShellOperations op, const TFileNames& files,
                                  const QByteArray& destination) {
            m_reports.append({op, files, destination});
        };
        list.resize(500, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetPathBytes(folder);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ShellStartup());
        m_home.set();
    }
    void init()
    {
        m_host.messages.clear();
        m_reports.clear();
    }
    void cleanup()
    {
        TContextMenuPopup::SetPicker({});
        TShellList::SetDragLoop({});
    }

    void dropLands_data();
    void dropLands();
    void noDropsIntoTheTrash_data();
    void noDropsIntoTheTrash();
    void folderIntoItself_data();
    void folderIntoItself();
    void badUriLists_data();
    void badUriLists();
    void sixtyThousandFiles();
    void scrollZones_data();
    void scrollZones();
    void dragOut_data();
    void dragOut();
};

// Layout of each row: base/src/a.txt is dropped; the list shows base/dst (holding the
// folder "sub" and the file "f.txt"), or the tmpfs base/mnt with "cross". `landed` is
// where a.txt is afterwards (relative to base), `stays` whether base/src/a.txt is still
// there, `operation` the report (0: none).
void TestShellListDrop::dropLands_data()
{
    QTest::addColumn<bool>("cross");
    QTest::addColumn<QString>("onto");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("keys");
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<QString>("menuPick");
    QTest::addColumn<QString>("special"); // "readonly", "cancel", "clash", "busy"
    QTest::addColumn<QByteArray>("landed");
    QTest::addColumn<bool>("stays");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QByteArray>("destination");

    const int left = Qt::LeftButton;
    const int right = Qt::RightButton;
    const int none = Qt::NoModifier;
    const int move = soDropTarget | soMove;
    const int copy = soDropTarget | soCopy;
    QTest::newRow("empty space moves on one file system")
        << false << "" << left << none << int(cmDefault) << ""
        << "" << QByteArray("/dst/a.txt") << false << move << QByteArray("/dst");
    QTest::newRow("empty space copies across file systems")
        << true << "" << left << none << int(cmDefault) << ""
        << "" << QByteArray("/mnt/a.txt") << true << copy << QByteArray("/mnt");
    QTest::newRow("shift moves across file systems")
        << true << "" << left << int(Qt::ShiftModifier) << int(cmDefault) << ""
        << "" << QByteArray("/mnt/a.txt") << false << move << QByteArray("/mnt");
    QTest::newRow("folder item takes it")
        << false << "sub" << left << none << int(cmDefault) << ""
        << "" << QByteArray("/dst/sub/a.txt") << false << move << QByteArray("/dst/sub");
    QTest::newRow("parent entry takes it into the parent")
        << false << ".." << left << none << int(cmDefault) << ""
        << "" << QByteArray("/a.txt") << false << move << QByteArray("");
    QTest::newRow("file item passes it to the shown folder")
        << false << "f.txt" << left << none << int(cmDefault) << ""
        << "" << QByteArray("/dst/a.txt") << false << move << QByteArray("/dst");
    QTest::newRow("ctrl copies") << false << "" << left << int(Qt::ControlModifier)
                                 << int(cmDefault) << ""
                                 << "" << QByteArray("/dst/a.txt") << true << copy
                                 << QByteArray("/dst");
    QTest::newRow("ctrl and shift link")
        << false << "" << left << int(Qt::ControlModifier | Qt::ShiftModifier) << int(cmDefault)
        << ""
        << "" << QByteArray("/dst/a.txt") << true << int(soDropTarget) << QByteArray("/dst");
    QTest::newRow("a link whose name is taken")
        << false << "" << left << int(Qt::ControlModifier | Qt::ShiftModifier) << int(cmDefault)
        << ""
        << "clash" << QByteArray("/dst/a - Verknüpfung.txt") << true << int(soDropTarget)
        << QByteArray("/dst");
    QTest::newRow("cmCopy offers only copies")
        << false << "" << left << none << int(cmCopy) << ""
        << "" << QByteArray("/dst/a.txt") << true << copy << QByteArray("/dst");
    QTest::newRow("cmCopy refuses shift")
        << false << "" << left << int(Qt::ShiftModifier) << int(cmCopy) << ""
        << "" << QByteArray("/src/a.txt") << true << 0 << QByteArray();
    QTest::newRow("cmLink links without keys")
        << false << "sub" << left << none << int(cmLink) << ""
        << "" << QByteArray("/dst/sub/a.txt") << true << int(soDropTarget)
        << QByteArray("/dst/sub");
    QTest::newRow("right button: copy from the menu")
        << false << "sub" << right << none << int(cmDefault) << "Hierher kopieren"
        << "" << QByteArray("/dst/sub/a.txt") << true << copy << QByteArray("/dst/sub");
    QTest::newRow("right button: move from the menu")
        << true << "" << right << none << int(cmDefault) << "Hierher verschieben"
        << "" << QByteArray("/mnt/a.txt") << false << move << QByteArray("/mnt");
    QTest::newRow("right button: link from the menu")
        << false << "" << right << none << int(cmDefault) << "Verknüpfung hier erstellen"
        << "" << QByteArray("/dst/a.txt") << true << int(soDropTarget) << QByteArray("/dst");
    QTest::newRow("right button: cancelled")
        << false << "" << right << none << int(cmDefault) << "Abbrechen"
        << "" << QByteArray("/src/a.txt") << true << 0 << QByteArray();
    QTest::newRow("OnBeforeShellDrop cancels")
        << false << "sub" << left << none << int(cmDefault) << ""
        << "cancel" << QByteArray("/src/a.txt") << true << 0 << QByteArray();
    QTest::newRow("ReadOnly accepts nothing")
        << false << "" << left << none << int(cmDefault) << ""
        << "readonly" << QByteArray("/src/a.txt") << true << 0 << QByteArray();
    QTest::newRow("nothing while a command runs")
        << false << "sub" << left << none << int(cmDefault) << ""
        << "busy" << QByteArray("/src/a.txt") << true << 0 << QByteArray();
}

void TestShellListDrop::dropLands()
{
    QFETCH(bool, cross);
    QFETCH(QString, onto);
    QFETCH(int, buttons);
    QFETCH(int, keys);
    QFETCH(int, copyMode);
    QFETCH(QString, menuPick);
    QFETCH(QString, special);
    QFETCH(QByteArray, landed);
    QFETCH(bool, stays);
    QFETCH(int, operation);
    QFETCH(QByteArray, destination);

    ScratchDir tmp;
    const QByteArray base = tmp.path();
    QCOMPARE(::mkdir((base + "/src").constData(), 0755), 0);
    putFile(base + "/src/a.txt", "content of a");
    const QByteArray shown = base + (cross ? "/mnt" : "/dst");
    TmpfsMount mount(base + "/mnt", 1024);
    if (cross) {
        REQUIRE_TMPFS(mount);
    } else {
        QCOMPARE(::mkdir(shown.constData(), 0755), 0);
    }
    QCOMPARE(::mkdir((shown + "/sub").constData(), 0755), 0);
    putFile(shown + "/f.txt", "f");
    if (special == u"clash")
        putFile(shown + "/a.txt", "another a");

    TShellList list;
    list.SetShowParentFolder(true);
    list.SetCopyMode(TCopyMode(copyMode));
    list.SetReadOnly(special == u"readonly");
    int beforeDropTarget = -2;
    TFileNames beforeDropFiles;
    list.OnBeforeShellDrop = [&](TShellList&, int target, const TFileNames& files, bool& execute,
                                 Qt::MouseButtons, Qt::KeyboardModifiers) {
        beforeDropTarget = target;
        beforeDropFiles = files;
        if (special == u"cancel")
            execute = false;
    };
    QStringList offered;
    TContextMenuPopup::SetPicker([&](QMenu& menu) -> QAction* {
        QAction* chosen = nullptr;
        for (QAction* action : menu.actions()) {
            if (action->isSeparator())
                continue;
            offered << action->text() + (action == menu.defaultAction() ? "*" : "");
            if (action->text() == menuPick)
                chosen = action;
        }
        return chosen;
    });
    open(list, shown);
    QVERIFY(indexOf(list, QStringLiteral("sub")) >= 0);
    const QPoint point = pointOf(list, onto);
    QVERIFY(!point.isNull());

    const auto data = mimeOf(uriList({base + "/src/a.txt"}));
    const auto drop = [&] {
        return dropAt(list, point, *data, Qt::MouseButtons(buttons), Qt::KeyboardModifiers(keys));
    };
    // A drop's operation is a command: no other starts while it runs, and it starts
    // during no other (here, a deletion whose question is open).
    bool operatingAsCommand = false;
    m_host.whileOperating = [&] { operatingAsCommand = list.CommandRunning(); };
    DropResult result;
    if (special == u"busy") {
        list.SetSelected(indexOf(list, QStringLiteral("f.txt")), true);
        m_host.whileConfirming = [&] { result = drop(); };
        QVERIFY(!list.ExecuteVerb(QStringLiteral("delete")));
        QVERIFY(exists(shown + "/f.txt"));
    } else {
        result = drop();
    }
    m_host.whileConfirming = nullptr;
    m_host.whileOperating = nullptr;
    const bool refused = special == u"readonly" || special == u"busy";

    QVERIFY2(exists(base + landed), landed.constData());
    QCOMPARE(exists(base + "/src/a.txt"), stays);
    if (landed != "/src/a.txt") {
        // A link is a link to the source; a copy or move carries the content.
        struct stat st;
        QCOMPARE(::lstat((base + landed).constData(), &st), 0);
        QCOMPARE(S_ISLNK(st.st_mode), operation == soDropTarget);
        if (S_ISLNK(st.st_mode))
            QCOMPARE(LinkTarget(base + landed), base + "/src/a.txt");
        QCOMPARE(contentOf(base + landed), QByteArray("content of a"));
    }
    if (special == u"clash")
        QCOMPARE(contentOf(shown + "/a.txt"), QByteArray("another a"));
    // What lands in the shown folder is listed there.
    // What lands in the shown folder is listed there, and the list goes on following it.
    if (fileops::ParentOf(base + landed) == shown) {
        QTRY_VERIFY(indexOf(list, QFile::decodeName(fileops::NameOf(landed))) >= 0);
        putFile(shown + "/later.txt", "l");
        QTRY_VERIFY(indexOf(list, QStringLiteral("later.txt")) >= 0);
    }
    QCOMPARE(m_host.messages, QStringList());
    if (operation == 0) {
        QVERIFY(m_reports.isEmpty());
        QCOMPARE(result.dropAction, Qt::IgnoreAction);
    } else {
        QCOMPARE(m_reports.size(), 1);
        QVERIFY(operatingAsCommand);
        QCOMPARE(int(m_reports[0].operation), operation);
        QCOMPARE(m_reports[0].files, TFileNames{base + "/src/a.txt"});
        QCOMPARE(m_reports[0].destination, WithoutTrailingSlash(base + destination));
        QCOMPARE(result.dropAction, operation & soMove   ? Qt::MoveAction
                                    : operation & soCopy ? Qt::CopyAction
                                                         : Qt::LinkAction);
    }
    // A folder under the mouse is drawn as the target; a file is not.
    QCOMPARE(result.highlighted, !refused && (onto == u"sub" || onto == u".."));
    QVERIFY(!list.Item(indexOf(list, QStringLiteral("sub"))).DropTarget); // not after the drop
    // Asked before every drop that would happen, with the item or -1 for the list.
    if (result.overAccepted) {
        QCOMPARE(beforeDropTarget, onto == u"sub" || onto == u".." ? indexOf(list, onto) : -1);
        QCOMPARE(beforeDropFiles, TFileNames{base + "/src/a.txt"});
    } else {
        QCOMPARE(beforeDropTarget, -2);
    }
    QCOMPARE(result.overAccepted, !refused && !(copyMode == cmCopy && keys));
    if (!menuPick.isEmpty()) {
        // The menu's default is what a left drop would have done.
        QCOMPARE(offered, (QStringList{cross ? "Hierher verschieben" : "Hierher verschieben*",
                                       cross ? "Hierher kopieren*" : "Hierher kopieren",
                                       "Verknüpfung hier erstellen", "Abbrechen"}));
    }
}

// A trash's folders take no files: they would have no record there.
void TestShellListDrop::noDropsIntoTheTrash_data()
{
    QTest::addColumn<bool>("inside"); // showing the trashed folder rather than the trash
    QTest::addColumn<QString>("onto");
    QTest::newRow("the trash's empty space") << false << "";
    QTest::newRow("a trashed folder") << false << "old";
    QTest::newRow("inside a trashed folder") << true << "";
    QTest::newRow("a folder inside a trashed one") << true << "inner";
}

void TestShellListDrop::noDropsIntoTheTrash()
{
    QFETCH(bool, inside);
    QFETCH(QString, onto);
    const QByteArray base = m_home.folder();
    QCOMPARE(::mkdir((base + "/old").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/old/inner").constData(), 0755), 0);
    putFile(base + "/a.txt", "a");
    QCOMPARE(runOperation(fileops::OperationKind::Trash, {base + "/old"}).done.size(), 1);
    const QByteArray trashed = fileops::TrashStore::homeTrash() + "/files/old";
    QVERIFY(exists(trashed + "/inner"));
    TShellList list;
    open(list, inside ? trashed : QByteArray());
    if (!inside)
        list.SetSpecialFolder(SF_BITBUCKET);
    const QPoint point = pointOf(list, onto);
    QVERIFY(!point.isNull());
    const auto data = mimeOf(uriList({base + "/a.txt"}));
    const DropResult result = dropAt(list, point, *data);
    QVERIFY(!result.overAccepted);
    QVERIFY(exists(base + "/a.txt"));
    QVERIFY(m_reports.isEmpty());
    removeTreeAt(fileops::TrashStore::homeTrash());
}

void TestShellListDrop::folderIntoItself_data()
{
    QTest::addColumn<QByteArray>("shown"); // relative to base; base/x/sub is dropped there
    QTest::addColumn<QString>("onto");
    QTest::addColumn<int>("keys");
    QTest::addColumn<QString>("message");
    QTest::newRow("onto itself")
        << QByteArray("/x") << "sub" << int(Qt::NoModifier)
        << "Verschieben: „%1/x/sub“ kann nicht in sich selbst oder einen seiner Unterordner "
           "verschoben werden. Es wurde nichts verschoben.";
    QTest::newRow("into the folder shown as itself")
        << QByteArray("/x/sub") << "" << int(Qt::NoModifier)
        << "Verschieben: „%1/x/sub“ kann nicht in sich selbst oder einen seiner Unterordner "
           "verschoben werden. Es wurde nichts verschoben.";
    QTest::newRow("copied into its own subfolder")
        << QByteArray("/x/sub") << "deeper" << int(Qt::ControlModifier)
        << "Kopieren: „%1/x/sub“ kann nicht in sich selbst oder einen seiner Unterordner "
           "kopiert werden. Es wurde nichts kopiert.";
    // Not below it, though its name begins with the dropped folder's: the drop goes.
    QTest::newRow("onto a sibling whose name begins with its name")
        << QByteArray("/x") << "subway" << int(Qt::NoModifier) << "";
}

void TestShellListDrop::folderIntoItself()
{
    QFETCH(QByteArray, shown);
    QFETCH(QString, onto);
    QFETCH(int, keys);
    QFETCH(QString, message);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    QCOMPARE(::mkdir((base + "/x").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/x/sub").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/x/sub/deeper").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/x/subway").constData(), 0755), 0);
    putFile(base + "/x/sub/file", "kept");
    putFile(base + "/elsewhere", "e");
    const auto before = snapshot(base);
    TShellList list;
    open(list, base + shown);
    const QPoint point = pointOf(list, onto);
    QVERIFY(!point.isNull());
    // With another file that could go: nothing of the drop is carried out.
    const auto data = mimeOf(uriList({base + "/elsewhere", base + "/x/sub"}));
    const DropResult result =
        dropAt(list, point, *data, Qt::LeftButton, Qt::KeyboardModifiers(keys));
    if (message.isEmpty()) {
        QCOMPARE(result.dropAction, Qt::MoveAction);
        QTRY_VERIFY(exists(base + "/x/subway/sub/file"));
        QVERIFY(exists(base + "/x/subway/elsewhere"));
        QVERIFY(m_host.messages.isEmpty());
        return;
    }
    QTRY_COMPARE(m_host.messages, QStringList{message.arg(QFile::decodeName(base))});
    QCOMPARE(result.dropAction, Qt::IgnoreAction);
    QCOMPARE(snapshot(base), before);
    QVERIFY(m_reports.isEmpty());
}

// The valid lines of a list go in; every other line is named in one message.
void TestShellListDrop::badUriLists_data()
{
    QTest::addColumn<QByteArray>("uris"); // %1: the folder of the sources
    QTest::addColumn<QByteArrayList>("moved");
    QTest::addColumn<QStringList>("named"); // parts of the message, in order
    QTest::newRow("comments, CRLF and a name that is not UTF-8")
        << QByteArray("# a comment\r\nfile://%1/a.txt\r\n\r\nfile://%1/%FF%FE.bin\r\n")
        << QByteArrayList{"a.txt", "\xff\xfe.bin"} << QStringList();
    QTest::newRow("addresses of other machines and the web")
        << QByteArray("http://example.org/a.txt\nfile://%1/a.txt\nfile://otherhost/%1/b.txt\n")
        << QByteArrayList{"a.txt"}
        << QStringList{"Nicht alles ließ sich ausführen:",
                       "„http://example.org/a.txt“ ist keine "
                       "Datei dieses Rechners",
                       "„file://otherhost/"};
    QTest::newRow("relative and broken lines")
        << QByteArray("a.txt\nfile://%1/b.txt\n\xff\xfe\n") << QByteArrayList{"b.txt"}
        << QStringList{"„a.txt“ ist keine gültige Adresse", "ist keine gültige Adresse"};
    QTest::newRow("vanished since the drag began")
        << QByteArray("file://%1/gone.txt\nfile://%1/a.txt\n") << QByteArrayList{"a.txt"}
        << QStringList{"Nicht alles ließ sich ausführen:", "gone.txt"};
    QTest::newRow("nothing local at all")
        << QByteArray("http://example.org/a.txt\n") << QByteArrayList()
        << QStringList{"Das ließ sich nicht ausführen:", "„http://example.org/a.txt“"};
}

void TestShellListDrop::badUriLists()
{
    QFETCH(QByteArray, uris);
    QFETCH(QByteArrayList, moved);
    QFETCH(QStringList, named);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    QCOMPARE(::mkdir((base + "/src").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/dst").constData(), 0755), 0);
    const QByteArrayList all{"a.txt", "b.txt", "\xff\xfe.bin"};
    for (const QByteArray& name : all)
        putFile(base + "/src/" + name, name);
    TShellList list;
    open(list, base + "/dst");
    uris.replace("%1", base + "/src");
    const auto data = mimeOf(uris);
    dropAt(list, pointOf(list, QString()), *data);
    QCOMPARE(entries(base + "/dst"), sorted(moved));
    QByteArrayList left;
    for (const QByteArray& name : all) {
        if (!moved.contains(name))
            left << name;
    }
    QCOMPARE(entries(base + "/src"), sorted(left));
    if (named.isEmpty()) {
        QCOMPARE(m_host.messages, QStringList());
    } else {
        QCOMPARE(m_host.messages.size(), 1);
        qsizetype at = 0;
        for (const QString& part : std::as_const(named)) {
            at = m_host.messages[0].indexOf(part, at);
            QVERIFY2(at >= 0, qPrintable(part + QStringLiteral(" in ") + m_host.messages[0]));
        }
    }
    TFileNames reported;
    for (const QByteArray& name : moved)
        reported << base + "/src/" + name;
    if (moved.isEmpty())
        QVERIFY(m_reports.isEmpty());
    else
        QCOMPARE(m_reports.value(0).files, reported);
}

// More files than a fixed table of 60 000 would hold, one line among them bad.
void TestShellListDrop::sixtyThousandFiles()
{
    constexpr int kCount = 60001;
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    QCOMPARE(::mkdir((base + "/src").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/dst").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/dst/sub").constData(), 0755), 0);
    QByteArray uris;
    uris.reserve(kCount * (base.size() + 40));
    for (int i = 0; i < kCount; ++i) {
        const QByteArray path = base + "/src/f" + QByteArray::number(i);
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        uris += fileops::ClipboardFiles::uriOf(path) + "\r\n";
    }
    uris += "ftp://example.org/f\r\n";
    TShellList list;
    open(list, base + "/dst");
    const auto data = mimeOf(uris);
    const DropResult result = dropAt(list, pointOf(list, QStringLiteral("sub")), *data);
    QCOMPARE(result.dropAction, Qt::MoveAction);
    QCOMPARE(entries(base + "/src").size(), 0);
    QCOMPARE(entries(base + "/dst/sub").size(), kCount);
    QCOMPARE(m_reports.size(), 1);
    QCOMPARE(m_reports[0].files.size(), kCount);
    QCOMPARE(m_host.messages.size(), 1);
    QVERIFY(m_host.messages[0].contains(u"„ftp://example.org/f“ ist keine Datei dieses Rechners"));
}

// One line per 100 ms while the mouse stays in a zone, by the list's clock; none where the
// bar has nothing to scroll.
void TestShellListDrop::scrollZones_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<QString>("where");    // "top", "bottom", "middle", "left"
    QTest::addColumn<QList<int>>("steps"); // the bar's change after 0, 50, 100, 150, 200, 300 ms
    QTest::newRow("10 px below the top") << 200 << "top" << QList<int>{0, 0, -1, -1, -2, -3};
    QTest::newRow("near the bottom") << 200 << "bottom" << QList<int>{0, 0, 1, 1, 2, 3};
    QTest::newRow("the middle") << 200 << "middle" << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("nothing to scroll") << 3 << "top" << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("left, no horizontal bar") << 200 << "left" << QList<int>{0, 0, 0, 0, 0, 0};
}

void TestShellListDrop::scrollZones()
{
    QFETCH(int, files);
    QFETCH(QString, where);
    QFETCH(QList<int>, steps);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    putFile(base + "/dragged", "d");
    QCOMPARE(::mkdir((base + "/dst").constData(), 0755), 0);
    for (int i = 0; i < files; ++i)
        putFile(base + "/dst/file" + QByteArray::number(1000 + i), "x");
    TShellList list;
    qint64 now = 1000;
    list.SetDragTickSource([&now] { return now; });
    open(list, base + "/dst");
    QScrollBar* bar = list.CurrentView()->verticalScrollBar();
    const int start = bar->maximum() / 2;
    bar->setValue(start);
    QWidget* viewport = list.CurrentView()->viewport();
    const QPoint point = where == u"top"      ? QPoint(200, 10)
                         : where == u"bottom" ? QPoint(200, viewport->height() - 10)
                         : where == u"left"   ? QPoint(10, viewport->height() / 2)
                                              : QPoint(200, viewport->height() / 2);
    const auto data = mimeOf(uriList({base + "/dragged"}));
    QDragEnterEvent enter(point, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QList<int> seen;
    for (const int ms : {0, 50, 100, 150, 200, 300}) {
        now = 1000 + ms;
        QDragMoveEvent over(point, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &over);
        seen << bar->value() - start;
    }
    QDragLeaveEvent leave;
    QApplication::sendEvent(viewport, &leave);
    QCOMPARE(seen, steps);
    QCOMPARE(list.CurrentView()->horizontalScrollBar()->value(), 0);
}

// A drag out of the list, through the seam in place of the platform's loop: the loop
// carries the drag to a point of a target list (a second one, or the source itself) as
// the platform would. `offered` are the effects the source allows.
void TestShellListDrop::dragOut_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<bool>("intoItself");
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("menuPick");
    QTest::addColumn<QString>("onto"); // an item of the target list; empty space when empty
    QTest::addColumn<int>("offered");
    QTest::addColumn<int>("sourceReport"); // 0: none
    QTest::addColumn<QByteArrayList>("sourceAfter");
    QTest::addColumn<QByteArrayList>("targetAfter");
    const int all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QTest::newRow("to another list: a move")
        << int(cmDefault) << false << int(Qt::LeftButton) << ""
        << "" << all << int(soDragSource | soMove | soRemoved) << QByteArrayList{"sub"}
        << QByteArrayList{"a.txt", "b.txt"};
    QTest::newRow("cmCopy: a copy")
        << int(cmCopy) << false << int(Qt::LeftButton) << ""
        << "" << int(Qt::CopyAction) << int(soDragSource | soCopy)
        << QByteArrayList{"a.txt", "b.txt", "sub"} << QByteArrayList{"a.txt", "b.txt"};
    QTest::newRow("left onto its own empty space: nothing")
        << int(cmDefault) << true << int(Qt::LeftButton) << ""
        << "" << all << 0 << QByteArrayList{"a.txt", "b.txt", "sub"} << QByteArrayList();
    QTest::newRow("right onto its own empty space: the menu copies")
        << int(cmDefault) << true << int(Qt::RightButton) << "Hierher kopieren"
        << "" << all << int(soDragSource | soCopy)
        << QByteArrayList{"a - Kopie.txt", "a.txt", "b - Kopie.txt", "b.txt", "sub"}
        << QByteArrayList();
    // The dragged folder does not take itself: the drag shows that nothing can be dropped.
    QTest::newRow("a folder onto its own item: nothing")
        << int(cmDefault) << true << int(Qt::LeftButton) << ""
        << "sub" << all << 0 << QByteArrayList{"a.txt", "b.txt", "sub"} << QByteArrayList();
}

void TestShellListDrop::dragOut()
{
    QFETCH(int, copyMode);
    QFETCH(bool, intoItself);
    QFETCH(int, button);
    QFETCH(QString, menuPick);
    QFETCH(QString, onto);
    QFETCH(int, offered);
    QFETCH(int, sourceReport);
    QFETCH(QByteArrayList, sourceAfter);
    QFETCH(QByteArrayList, targetAfter);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    QCOMPARE(::mkdir((base + "/src").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/src/sub").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/dst").constData(), 0755), 0);
    putFile(base + "/src/a.txt", "a");
    putFile(base + "/src/b.txt", "b");

    TShellList source;
    source.SetCopyMode(TCopyMode(copyMode));
    open(source, base + "/src");
    QList<Reported> sourceReports;
    source.OnOperation = [&](TShellOperations op, const TFileNames& files, const QByteArray& d) {
        sourceReports.append({op, files, d});
    };
    TShellList target;
    open(target, base + "/dst");
    TShellList& into = intoItself ? source : target;
    TContextMenuPopup::SetPicker([&](QMenu& menu) -> QAction* {
        for (QAction* action : menu.actions()) {
            if (action->text() == menuPick)
                return action;
        }
        return nullptr;
    });

    QByteArray uris;
    QString text;
    Qt::DropActions allowed;
    Qt::MouseButton during = Qt::NoButton;
    TShellList::SetDragLoop([&](QDrag& drag, Qt::DropActions actions) {
        uris = drag.mimeData()->data(QStringLiteral("text/uri-list"));
        text = drag.mimeData()->text();
        allowed = actions;
        during = source.DragButton();
        const DropResult result = dropAt(into, pointOf(into, onto), *drag.mimeData(),
                                         Qt::MouseButton(button), {}, actions);
        return result.dropAction;
    });
    source.ClearSelection();
    const QByteArrayList dragged =
        onto == u"sub" ? QByteArrayList{"sub"} : QByteArrayList{"a.txt", "b.txt"};
    for (const QByteArray& name : dragged)
        source.SetSelected(indexOf(source, QString::fromUtf8(name)), true);
    // The drag begins as the mouse moves off a pressed item.
    QWidget* viewport = source.CurrentView()->viewport();
    const QPoint from = pointOf(source, QString::fromUtf8(dragged.first()));
    QTest::mousePress(viewport, Qt::MouseButton(button), {}, from);
    QMouseEvent moved(QEvent::MouseMove, QPointF(from + QPoint(0, 20)),
                      viewport->mapToGlobal(QPointF(from + QPoint(0, 20))), Qt::NoButton,
                      Qt::MouseButton(button), {});
    QApplication::sendEvent(viewport, &moved);

    TFileNames paths;
    QStringList names;
    for (const QByteArray& name : dragged) {
        paths << base + "/src/" + name;
        names << QFile::decodeName(paths.last());
    }
    QCOMPARE(uris, uriList(paths));
    QCOMPARE(text, names.join(u'\n'));
    QCOMPARE(int(allowed), offered);
    QCOMPARE(during, Qt::MouseButton(button));
    QCOMPARE(source.DragButton(), Qt::NoButton);
    QCOMPARE(entries(base + "/src"), sourceAfter);
    QCOMPARE(entries(base + "/dst"), targetAfter);
    QCOMPARE(m_host.messages, QStringList());
    // The source reports once the drag has ended for the target too; a drop into itself
    // reports as target first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (sourceReport == 0) {
        QVERIFY(sourceReports.isEmpty());
    } else {
        QVERIFY(!sourceReports.isEmpty());
        QCOMPARE(int(sourceReports.last().operation), sourceReport);
        QCOMPARE(sourceReports.last().files, paths);
        QCOMPARE(sourceReports.last().destination, QByteArray());
    }
}

QTEST_MAIN(TestShellListDrop)
#include "tst_shelllistdrop.moc"
