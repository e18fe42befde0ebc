// The context menu of the namespace and its verbs, over real folders, the real trash of a
// test home and the real clipboard: which verbs each object offers, the application's
// items before or after them, what picking an item runs and returns (read-only owners,
// vetoes, renames, declined deletions), the default verb, paste as copy or move, bad
// clipboards and read-only file systems refused with a German message and nothing
// changed, the trash listed under the original names, and the question before deleting.

#include "../fileops/TestHome.h"
#include "fileops/ClipboardFiles.h"
#include "fileops/NameRules.h"
#include "fileops/TrashStore.h"
#include "shell/ContextMenuHandler.h"
#include "shell/ContextMenuPresenter.h"
#include "shell/ShellCommandHost.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <QUrl>

using namespace shell;

namespace {

// Shows nothing: highlights the items named in `hover`, then picks the one named `pick`.
class PickingPresenter : public TContextMenuPresenter
{
public:
    QStringList appItems; // "caption" or "caption|hint"
    QStringList hover;
    QString pick;
    QStringList shown; // the captions of the menu as it would be shown; "-" a separator
    QStringList hints;
    QStringList clicked;
    QObject source;

    void Popup(QObject*) override {}
    bool CopyMenu(QObject*, TShellMenu& menu, int firstCommand) override
    {
        for (const QString& text : appItems) {
            TShellMenuItem item;
            item.Caption = text.section(u'|', 0, 0);
            item.Hint = text.section(u'|', 1);
            item.Command = firstCommand++;
            item.Source = &source;
            menu.Items.append(item);
        }
        menu.ApplicationItems = int(menu.Items.size());
        return true;
    }
    int Track(const TShellMenu& menu, const QPoint&,
              const std::function<void(const TMenuMessage&)>& messages) override
    {
        shown.clear();
        for (const TShellMenuItem& item : menu.Items)
            shown << (item.Separator ? QStringLiteral("-") : item.Caption);
        auto commandOf = [&](const QString& caption) {
            for (const TShellMenuItem& item : menu.Items) {
                if (item.Caption == caption)
                    return item.Command;
            }
            return 0;
        };
        for (const QString& caption : hover) {
            TMenuMessage m;
            m.Item = commandOf(caption);
            messages(m);
        }
        return pick.isEmpty() ? 0 : commandOf(pick);
    }
    void Click(const TShellMenuItem& item) override { clicked << item.Caption; }
    void ShowHint(const QString& hint) override { hints << hint; }
};

// Answers the question before deleting once it is complete; records what it was shown.
class AnsweringHost : public TShellCommandHost
{
public:
    bool agree = true;
    TDeleteConfirmation::KnownFolderSize known;
    QStringList questions;
    QStringList messages;
    QList<QUrl> opened;
    TFileNames properties;
    fileops::FixedAnswers answers{fileops::ConflictAnswer::Skip,
                                  fileops::DeleteForGoodAnswer::Skip};

    bool Confirm(TDeleteConfirmation& question) override
    {
        if (!QTest::qWaitFor([&] { return question.Measured(); }, 10000))
            return false;
        questions << question.Text();
        return agree;
    }
    TDeleteConfirmation::KnownFolderSize KnownFolderSizes() const override { return known; }
    fileops::OperationHost* Questions() override { return &answers; }
    std::unique_ptr<QObject> Watch(fileops::OperationJob&) override { return nullptr; }
    void ShowMessage(const QString& title, const QString& text) override
    {
        messages << title + QStringLiteral(": ") + text;
    }
    bool Open(const QUrl& url) override
    {
        opened << url;
        return true;
    }
    void ShowProperties(const TFileNames& paths) override { properties = paths; }
};

void putOnClipboard(const QList<QByteArray>& files, bool cut)
{
    auto* data = new QMimeData;
    fileops::ClipboardFiles::write(*data, TFileNames(files.begin(), files.end()), cut);
    QGuiApplication::clipboard()->setMimeData(data);
}

void putUriList(const QByteArray& uriList)
{
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"), uriList);
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace

class TestContextMenu : public QObject
{
    Q_OBJECT

    TestHome m_home;

    QByteArray folder() { return m_home.folder(); }
    // A navigator in `where` whose MultiObjects name `names`.
    static void aim(TShellNavigator& nav, const QByteArray& where, const TFileNames& names)
    {
        nav.SetFolderPath(where);
        nav.MultiObjects() = names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ShellStartup());
        m_home.set();
    }
    void init() { QGuiApplication::clipboard()->clear(); }

    void verbsByObject_data();
    void verbsByObject();
    void applicationItemsAndHints_data();
    void applicationItemsAndHints();
    void whatAPickRuns_data();
    void whatAPickRuns();
    void invokeVerb_data();
    void invokeVerb();
    void cutPasteKeepsWhatDidNotMove_data();
    void cutPasteKeepsWhatDidNotMove();
    void refusedPastesChangeNothing_data();
    void refusedPastesChangeNothing();
    void readOnlyFileSystem();
    void trashUnderOriginalNames();
    void deleteQuestion_data();
    void deleteQuestion();
};

void TestContextMenu::verbsByObject_data()
{
    QTest::addColumn<QByteArray>("object");    // file, folder, trashed, trash, drive
    QTest::addColumn<QByteArray>("clipboard"); // none, files, web
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<QString>("menu");
    const unsigned all = CMF_EXPLORE | CMF_CANRENAME;
    QTest::newRow("file") << QByteArray("file") << QByteArray("files") << all
                          << "Öffnen|-|Ausschneiden|Kopieren|-|Löschen|Umbenennen|-|Eigenschaften";
    QTest::newRow("file, no rename flag")
        << QByteArray("file") << QByteArray("none") << unsigned(CMF_EXPLORE)
        << "Öffnen|-|Ausschneiden|Kopieren|-|Löschen|-|Eigenschaften";
    QTest::newRow("folder, files on the clipboard")
        << QByteArray("folder") << QByteArray("files") << all
        << "Öffnen|-|Ausschneiden|Kopieren|Einfügen|-|Löschen|Umbenennen|-|Eigenschaften";
    QTest::newRow("folder, only a web address on the clipboard")
        << QByteArray("folder") << QByteArray("web") << all
        << "Öffnen|-|Ausschneiden|Kopieren|-|Löschen|Umbenennen|-|Eigenschaften";
    QTest::newRow("a file in a folder that is only called files")
        << QByteArray("files/a.txt") << QByteArray("none") << all
        << "Öffnen|-|Ausschneiden|Kopieren|-|Löschen|Umbenennen|-|Eigenschaften";
    QTest::newRow("trashed file")
        << QByteArray("trashed") << QByteArray("files") << all
        << "Öffnen|Wiederherstellen|-|Kopieren|-|Endgültig löschen|-|Eigenschaften";
    QTest::newRow("the trash") << QByteArray("trash") << QByteArray("none") << all
                               << "Öffnen|-|Papierkorb leeren";
    QTest::newRow("a drive") << QByteArray("drive") << QByteArray("none") << all
                             << "Öffnen|-|Eigenschaften";
    QTest::newRow("default only") << QByteArray("folder") << QByteArray("files")
                                  << unsigned(CMF_DEFAULTONLY) << "Öffnen";
}

void TestContextMenu::verbsByObject()
{
    QFETCH(QByteArray, object);
    QFETCH(QByteArray, clipboard);
    QFETCH(unsigned, flags);
    QFETCH(QString, menu);
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    QCOMPARE(::mkdir((f + "/sub").constData(), 0755), 0);
    if (clipboard == "files")
        putOnClipboard({f + "/a.txt"}, false);
    else if (clipboard == "web")
        putUriList("https://example.org/a.txt\r\n");
    TShellNavigator nav;
    if (object == "file") {
        aim(nav, f, {"a.txt"});
    } else if (object == "files/a.txt") {
        QCOMPARE(::mkdir((f + "/files").constData(), 0755), 0);
        putFile(f + "/files/a.txt", "a");
        aim(nav, f + "/files", {"a.txt"});
    } else if (object == "folder") {
        aim(nav, f, {"sub"});
    } else if (object == "trashed") {
        const fileops::OperationReport r =
            runOperation(fileops::OperationKind::Trash, {f + "/a.txt"});
        QCOMPARE(r.done.size(), 1);
        nav.SetSpecialFolder(SF_BITBUCKET);
        nav.MultiObjects() = {r.results.first()};
    } else if (object == "trash") {
        nav.SetSpecialFolder(SF_DESKTOP);
        nav.MultiObjects() = {};
        bool found = false;
        while (!found && nav.NextObject())
            found = nav.ObjectSpecialFolder() == SF_BITBUCKET;
        QVERIFY(found);
    } else {
        nav.SetFolderPath({});
        nav.SetObjectNameBytes("/");
    }
    std::unique_ptr<TShellUIObject> ui = nav.GetUIObject(TUIObjectKind::ContextMenu);
    QVERIFY(ui);
    TContextMenuHandler handler(std::move(ui), nullptr);
    TShellMenu shellMenu;
    QVERIFY(handler.QueryContextMenu(shellMenu, 0, 1, 255, flags) > 0);
    QStringList captions;
    int offset = 0;
    for (const TShellMenuItem& item : shellMenu.Items) {
        captions << (item.Separator ? QStringLiteral("-") : item.Caption);
        if (item.Separator)
            continue;
        // Commands are numbered from the first; each names its verb and says what it does.
        QCOMPARE(item.Command, 1 + offset);
        QCOMPARE(handler.GetCommandString(offset, GCS_VERBA), item.Verb);
        QVERIFY(!handler.GetCommandString(offset, GCS_HELPTEXTW).isEmpty());
        QCOMPARE(item.Default, item.Verb == u"open");
        ++offset;
    }
    QCOMPARE(captions.join(u'|'), menu);
    QCOMPARE(handler.GetCommandString(offset, GCS_VERBA), QString());
}

void TestContextMenu::applicationItemsAndHints_data()
{
    QTest::addColumn<bool>("onTop");
    QTest::addColumn<QString>("menu");
    QTest::newRow("application's items first")
        << false
        << "Auffrischen|Ansicht|-|Öffnen|-|Ausschneiden|Kopieren|-|Löschen|-|Eigenschaften";
    QTest::newRow("verbs on top")
        << true << "Öffnen|-|Ausschneiden|Kopieren|-|Löschen|-|Eigenschaften|-|Auffrischen|Ansicht";
}

void TestContextMenu::applicationItemsAndHints()
{
    QFETCH(bool, onTop);
    QFETCH(QString, menu);
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    PickingPresenter presenter;
    presenter.appItems = {"Auffrischen|Liest den Ordner neu", "Ansicht"};
    presenter.hover = {"Löschen", "Auffrischen", "Ansicht"};
    presenter.pick = "Auffrischen";
    AnsweringHost host;
    TShellNavigator nav;
    nav.SetMenuPresenter(&presenter);
    nav.SetCommandHost(&host);
    nav.SetShowContextMenuOnTop(onTop);
    aim(nav, f, {"a.txt"});
    // Picking an application item clicks it and no verb runs.
    QCOMPARE(nav.ShowContextMenu(QPoint(5, 5), nullptr), QString());
    QCOMPARE(presenter.shown.join(u'|'), menu);
    QCOMPARE(presenter.clicked, QStringList{"Auffrischen"});
    QVERIFY(nav.MultiObjects().isEmpty());
    // The highlighted item's help text or hint, in turn.
    QCOMPARE(presenter.hints, (QStringList{"Verschiebt die Objekte in den Papierkorb.",
                                           "Liest den Ordner neu", ""}));
    QVERIFY(host.questions.isEmpty());
    QVERIFY(exists(f + "/a.txt"));
}

void TestContextMenu::whatAPickRuns_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("select"); // OnContextMenuSelect: "", "allow" or "veto"
    QTest::addColumn<bool>("agree");
    QTest::addColumn<QString>("pick");
    QTest::addColumn<QString>("verb");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("fileStays");
    QTest::newRow("delete, agreed") << false << "" << true << "Löschen"
                                    << "delete" << 1 << false;
    QTest::newRow("delete, declined") << false << "" << false << "Löschen"
                                      << "" << 1 << true;
    QTest::newRow("read-only refuses delete") << true << "" << true << "Löschen"
                                              << "" << 0 << true;
    QTest::newRow("read-only refuses cut") << true << "" << true << "Ausschneiden"
                                           << "" << 0 << true;
    QTest::newRow("read-only shows properties") << true << "" << true << "Eigenschaften"
                                                << "properties" << 0 << true;
    QTest::newRow("the owner's handler decides, not read-only")
        << true << "allow" << true << "Löschen"
        << "delete" << 1 << false;
    QTest::newRow("vetoed") << false << "veto" << true << "Kopieren"
                            << "" << 0 << true;
    QTest::newRow("rename goes to the owner") << false << "" << true << "Umbenennen"
                                              << "rename" << 0 << true;
}

void TestContextMenu::whatAPickRuns()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, select);
    QFETCH(bool, agree);
    QFETCH(QString, pick);
    QFETCH(QString, verb);
    QFETCH(int, questions);
    QFETCH(bool, fileStays);
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    PickingPresenter presenter;
    presenter.pick = pick;
    AnsweringHost host;
    host.agree = agree;
    TShellNavigator nav;
    nav.SetMenuPresenter(&presenter);
    nav.SetCommandHost(&host);
    nav.SetReadOnly(readOnly);
    int renames = 0;
    nav.OnRename = [&](TShellNavigator&) { ++renames; };
    QStringList asked;
    if (!select.isEmpty()) {
        nav.OnContextMenuSelect = [&](const QString& command, bool& execute) {
            asked << command;
            execute = select == u"allow";
        };
    }
    aim(nav, f, {"a.txt"});
    QCOMPARE(nav.ShowContextMenu(QPoint(1, 1), nullptr), verb);
    QCOMPARE(host.questions.size(), questions);
    QCOMPARE(exists(f + "/a.txt"), fileStays);
    QCOMPARE(renames, pick == u"Umbenennen" ? 1 : 0);
    if (!select.isEmpty())
        QCOMPARE(asked.size(), 1);
    QCOMPARE(host.properties, pick == u"Eigenschaften" ? TFileNames{f + "/a.txt"} : TFileNames());
    // A cut that was refused leaves the clipboard alone.
    QCOMPARE(fileops::ClipboardFiles::read(QGuiApplication::clipboard()->mimeData()).files.size(),
             0);
    if (!fileStays) {
        QCOMPARE(nav.LastReport()->done, TFileNames{f + "/a.txt"});
        QVERIFY(exists(fileops::TrashStore::homeTrash() + "/files/a.txt"));
        QVERIFY(::unlink((fileops::TrashStore::homeTrash() + "/files/a.txt").constData()) == 0);
        QVERIFY(::unlink(
                    (fileops::TrashStore::homeTrash() + "/info/a.txt.trashinfo").constData()) == 0);
    }
}

void TestContextMenu::cutPasteKeepsWhatDidNotMove_data()
{
    QTest::addColumn<QByteArrayList>("taken"); // names already in the destination: skipped
    QTest::addColumn<QByteArrayList>("kept");  // what the clipboard names afterwards, as cut
    QTest::newRow("all moved") << QByteArrayList() << QByteArrayList();
    QTest::newRow("one skipped") << QByteArrayList{"b"} << QByteArrayList{"b"};
    QTest::newRow("all skipped") << QByteArrayList{"a", "b"} << QByteArrayList{"a", "b"};
}

void TestContextMenu::cutPasteKeepsWhatDidNotMove()
{
    QFETCH(QByteArrayList, taken);
    QFETCH(QByteArrayList, kept);
    const QByteArray f = folder();
    QCOMPARE(::mkdir((f + "/ziel").constData(), 0755), 0);
    for (const QByteArray& name : {QByteArray("a"), QByteArray("b")}) {
        putFile(f + '/' + name, "moved " + name);
        if (taken.contains(name))
            putFile(f + "/ziel/" + name, "there before");
    }
    putOnClipboard({f + "/a", f + "/b"}, true);
    AnsweringHost host; // skips every conflict
    TShellNavigator nav;
    nav.SetCommandHost(&host);
    nav.SetFolderPath(f);
    nav.SetObjectNameBytes("ziel");
    nav.InvokeVerb(QStringLiteral("paste"));

    const fileops::ClipboardFiles::Contents after =
        fileops::ClipboardFiles::read(QGuiApplication::clipboard()->mimeData());
    TFileNames expected;
    for (const QByteArray& name : kept)
        expected << f + '/' + name;
    QCOMPARE(after.files, expected);
    QCOMPARE(after.cut, !kept.isEmpty());
    for (const QByteArray& name : {QByteArray("a"), QByteArray("b")})
        QCOMPARE(exists(f + '/' + name), taken.contains(name));
}

void TestContextMenu::invokeVerb_data()
{
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QByteArray>("clipboard"); // none, copy, cut
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArrayList>("after"); // what the folder holds afterwards
    QTest::addColumn<bool>("clipboardKept");
    QTest::newRow("empty verb opens")
        << "" << QByteArray("none") << true << QByteArrayList{"/N\xe4me", "/ziel"} << true;
    QTest::newRow("paste a copy") << "paste" << QByteArray("copy") << true
                                  << QByteArrayList{"/N\xe4me", "/ziel", "/ziel/N\xe4me"} << true;
    QTest::newRow("paste after cut moves and clears the clipboard")
        << "paste" << QByteArray("cut") << true << QByteArrayList{"/ziel", "/ziel/N\xe4me"}
        << false;
    QTest::newRow("delete declined")
        << "delete" << QByteArray("none") << false << QByteArrayList{"/N\xe4me", "/ziel"} << true;
}

void TestContextMenu::invokeVerb()
{
    QFETCH(QString, verb);
    QFETCH(QByteArray, clipboard);
    QFETCH(bool, result);
    QFETCH(QByteArrayList, after);
    QFETCH(bool, clipboardKept);
    const QByteArray f = folder();
    const QByteArray name("N\xe4me"); // not UTF-8: it must reach every call by its bytes
    putFile(f + '/' + name, "inhalt");
    QCOMPARE(::mkdir((f + "/ziel").constData(), 0755), 0);
    if (clipboard != "none")
        putOnClipboard({f + '/' + name}, clipboard == "cut");
    AnsweringHost host;
    host.agree = false;
    TShellNavigator nav;
    nav.SetCommandHost(&host);
    nav.SetFolderPath(f);
    nav.SetObjectNameBytes(verb == u"paste" ? QByteArray("ziel") : name);
    QCOMPARE(nav.InvokeVerb(verb), result);
    QByteArrayList holds = snapshot(f).keys();
    holds.removeAll(QByteArray());
    QCOMPARE(holds, after);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(data && data->hasFormat(QStringLiteral("text/uri-list")),
             clipboardKept && clipboard != "none");
    if (verb.isEmpty())
        QCOMPARE(host.opened, QList<QUrl>{QUrl::fromEncoded("file://" + f + "/N%E4me")});
    else
        QVERIFY(host.opened.isEmpty());
    // A drive cannot be deleted: nothing is asked.
    TShellNavigator drives;
    drives.SetCommandHost(&host);
    drives.SetObjectNameBytes("/");
    const int asked = int(host.questions.size());
    QVERIFY(!drives.InvokeVerb(QStringLiteral("DELETE")));
    QCOMPARE(host.questions.size(), asked);
}

void TestContextMenu::refusedPastesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("clipboard"); // a uri-list, or "self" for the target itself
    QTest::addColumn<QString>("message");
    QTest::newRow("web address") << QByteArray("https://example.org/x.txt\r\n")
                                 << "keine Dateien dieses Rechners";
    QTest::newRow("a path, not an address")
        << QByteArray("/tmp/kein Schema.txt\r\n") << "keine Dateien dieses Rechners";
    QTest::newRow("files that are gone")
        << QByteArray("file:///nicht/mehr/da.txt\r\n") << "gibt es nicht mehr";
    QTest::newRow("a folder into itself") << QByteArray("self") << "in sich selbst";
}

void TestContextMenu::refusedPastesChangeNothing()
{
    QFETCH(QByteArray, clipboard);
    QFETCH(QString, message);
    const QByteArray f = folder();
    QCOMPARE(::mkdir((f + "/ziel").constData(), 0755), 0);
    putFile(f + "/ziel/drin.txt", "x");
    if (clipboard == "self")
        putOnClipboard({f + "/ziel"}, false);
    else
        putUriList(clipboard);
    const auto before = snapshot(f);
    AnsweringHost host;
    TShellNavigator nav;
    nav.SetCommandHost(&host);
    nav.SetFolderPath(f);
    nav.SetObjectNameBytes("ziel");
    QVERIFY(!nav.InvokeVerb(QStringLiteral("paste")));
    QCOMPARE(host.messages.size(), 1);
    QVERIFY2(host.messages.first().contains(message), qPrintable(host.messages.first()));
    QVERIFY(host.messages.first().startsWith(QStringLiteral("Einfügen")) ||
            host.messages.first().startsWith(QStringLiteral("Kopieren")));
    QCOMPARE(snapshot(f), before);
    QVERIFY(temporaryLeftovers(f).isEmpty());
}

void TestContextMenu::readOnlyFileSystem()
{
    const QByteArray f = folder();
    const QByteArray mountPoint = f + "/ro";
    TmpfsMount ro(mountPoint, 256);
    REQUIRE_TMPFS(ro);
    putFile(mountPoint + "/fest.txt", "bleibt");
    QCOMPARE(::mount("tmpfs", mountPoint.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    putFile(f + "/neu.txt", "neu");
    const auto before = snapshot(f, false);
    AnsweringHost host;
    TShellNavigator nav;
    nav.SetCommandHost(&host);
    aim(nav, mountPoint, {"fest.txt"});
    QVERIFY(!nav.InvokeVerb(QStringLiteral("delete")));
    QCOMPARE(host.questions.size(), 1);
    QCOMPARE(host.answers.deleteQuestionsAsked(), 0); // no offer to delete it for good
    putOnClipboard({f + "/neu.txt"}, false);
    nav.SetFolderPath(f);
    nav.SetObjectNameBytes("ro");
    QVERIFY(!nav.InvokeVerb(QStringLiteral("paste")));
    QCOMPARE(host.messages.size(), 2);
    // The first object stays where it was: the delete did not happen, though the second
    // one went.
    putFile(f + "/zwei.txt", "2");
    nav.MultiObjects() = {mountPoint + "/fest.txt", f + "/zwei.txt"};
    QVERIFY(!nav.InvokeVerb(QStringLiteral("delete")));
    QCOMPARE(nav.LastReport()->done, TFileNames{f + "/zwei.txt"});
    QCOMPARE(host.messages.size(), 3);
    QVERIFY(exists(mountPoint + "/fest.txt"));
    QVERIFY(!exists(f + "/zwei.txt"));
    QVERIFY(::rename((fileops::TrashStore::homeTrash() + "/files/zwei.txt").constData(),
                     (f + "/zwei.txt").constData()) == 0);
    ::unlink((fileops::TrashStore::homeTrash() + "/info/zwei.txt.trashinfo").constData());
    ::unlink((f + "/zwei.txt").constData());
    for (const QString& m : host.messages)
        QVERIFY2(m.contains(QStringLiteral("schreibgeschützt")), qPrintable(m));
    QCOMPARE(snapshot(f, false), before);
}

void TestContextMenu::trashUnderOriginalNames()
{
    const QByteArray f = folder();
    for (const char* sub : {"/eins", "/zwei"}) {
        QCOMPARE(::mkdir((f + sub).constData(), 0755), 0);
        putFile(f + sub + "/Bericht.txt", sub);
    }
    const fileops::OperationReport trashed = runOperation(
        fileops::OperationKind::Trash, {f + "/eins/Bericht.txt", f + "/zwei/Bericht.txt"});
    QCOMPARE(trashed.done.size(), 2);
    // Both are listed under the name they had, each as its own object.
    TShellNavigator nav;
    nav.SetSpecialFolder(SF_BITBUCKET);
    QList<QByteArray> objects;
    while (nav.NextObject()) {
        if (nav.DisplayName() == u"Bericht.txt")
            objects << nav.ObjectNameBytes();
    }
    std::sort(objects.begin(), objects.end());
    QList<QByteArray> expected = trashed.results;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(objects, expected);

    AnsweringHost host;
    nav.SetCommandHost(&host);
    nav.MultiObjects() = {trashed.results[0]};
    QVERIFY(nav.InvokeVerb(QStringLiteral("undelete")));
    QCOMPARE(contentOf(f + "/eins/Bericht.txt"), QByteArray("/eins"));
    // "delete" in the trash is for good, after its own question; as the current object,
    // as one selected item is.
    nav.SetObjectNameBytes(trashed.results[1]);
    QVERIFY(nav.InvokeVerb(QStringLiteral("delete")));
    QCOMPARE(host.questions.size(), 1);
    QVERIFY(host.questions.first().startsWith(QStringLiteral("Soll „Bericht.txt“ endgültig")));
    QVERIFY(!exists(trashed.results[1]));
    QVERIFY(!exists(f + "/zwei/Bericht.txt"));
    QVERIFY(!exists(fileops::TrashStore::homeTrash() + "/info/" +
                    fileops::NameOf(trashed.results[1]) + ".trashinfo"));

    // The trash itself is emptied from its item on the desktop: every trash of the user,
    // so only where the test's home holds the only one.
    if (fileops::TrashStore::trashFolders() != QList<QByteArray>{fileops::TrashStore::homeTrash()})
        QSKIP("this user has trash folders outside the test's home; they are not emptied");
    putFile(f + "/rest.txt", "r");
    QCOMPARE(runOperation(fileops::OperationKind::Trash, {f + "/rest.txt"}).done.size(), 1);
    TShellNavigator desktop;
    desktop.SetCommandHost(&host);
    desktop.SetSpecialFolder(SF_DESKTOP);
    while (desktop.NextObject() && desktop.ObjectSpecialFolder() != SF_BITBUCKET) {
    }
    QVERIFY(desktop.InvokeVerb(QStringLiteral("emptytrash")));
    QVERIFY(host.questions.last().contains(QStringLiteral("Soll der Papierkorb geleert werden?")));
    QCOMPARE(snapshot(fileops::TrashStore::homeTrash() + "/files").size(), 1); // files/ alone
}

void TestContextMenu::deleteQuestion_data()
{
    // Entries "f:NAME:SIZE" files, "d:NAME:SIZE" folders holding one file of SIZE bytes.
    QTest::addColumn<QStringList>("objects");
    QTest::addColumn<int>("kind");     // TDeleteConfirmation::Kind
    QTest::addColumn<qint64>("known"); // a folder total the caller knows, -1 for none
    QTest::addColumn<QString>("text");
    QTest::newRow("one file")
        << QStringList{"f:a.txt:1500"} << 0 << qint64(-1)
        << "Soll „a.txt“ in den Papierkorb verschoben werden?\n\nGesamtgröße: 1,46 KB (1500 "
           "Bytes)";
    QTest::newRow("three files")
        << QStringList{"f:a:1000", "f:b:2000", "f:c:3000"} << 0 << qint64(-1)
        << "Sollen diese 3 Objekte in den Papierkorb verschoben werden?\n\n„a“, „b“, „c“\n\n"
           "Gesamtgröße: 5,85 KB (6000 Bytes)";
    QTest::newRow("a folder is measured and named")
        << QStringList{"f:a:10", "d:Ordner:4096"} << 0 << qint64(-1)
        << "Sollen diese 2 Objekte in den Papierkorb verschoben werden?\n\n„a“, „Ordner“\n\n"
           "Gesamtgröße: 4,00 KB (4106 Bytes)\n\nAchtung: Darunter ist ein Ordner. Er kommt mit "
           "allem, was er enthält, in den Papierkorb.";
    QTest::newRow("a folder the scan knows is not measured")
        << QStringList{"d:Ordner:4096"} << 0 << qint64(999999)
        << "Soll „Ordner“ in den Papierkorb verschoben werden?\n\nGesamtgröße: 976 KB (999999 "
           "Bytes)\n\nAchtung: Darunter ist ein Ordner. Er kommt mit allem, was er enthält, in "
           "den Papierkorb.";
    QTest::newRow("one gone since it was chosen")
        << QStringList{"f:a:2000", "-:weg:0"} << 0 << qint64(-1)
        << "Sollen diese 2 Objekte in den Papierkorb verschoben werden?\n\n„a“, „weg“\n\n"
           "Gesamtgröße: 1,95 KB (2000 Bytes)\n\nNicht mehr da und übergangen: „weg“";
    QTest::newRow("six names, two folders, for good")
        << QStringList{"f:1:1", "f:2:1", "f:3:1", "f:4:1", "d:5:1", "d:6:1"} << 1 << qint64(-1)
        << "Sollen diese 6 Objekte endgültig gelöscht werden?\n\n„1“, „2“, „3“, „4“, „5“ und 1 "
           "weitere\n\nGesamtgröße: 6 Bytes\n\nAchtung: Darunter sind 2 Ordner. Sie "
           "werden mit allem, was sie enthalten, gelöscht.\n\nDas lässt sich nicht rückgängig "
           "machen: Nichts davon kommt in den Papierkorb.";
}

void TestContextMenu::deleteQuestion()
{
    QFETCH(QStringList, objects);
    QFETCH(int, kind);
    QFETCH(qint64, known);
    QFETCH(QString, text);
    const QByteArray f = folder();
    TFileNames paths;
    for (const QString& line : objects) {
        const QStringList part = line.split(u':');
        const QByteArray path = f + '/' + part[1].toUtf8();
        const QByteArray content(part[2].toInt(), 'x');
        if (part[0] == u"d") {
            QCOMPARE(::mkdir(path.constData(), 0755), 0);
            putFile(path + "/inner", content);
        } else if (part[0] == u"f") {
            putFile(path, content);
        }
        paths << path;
    }
    QStringList lookedUp;
    TDeleteConfirmation question(
        TDeleteConfirmation::Kind(kind), paths, [&](const QByteArray& folder) {
            lookedUp << QString::fromUtf8(folder);
            return known >= 0 ? std::optional<std::int64_t>(known) : std::nullopt;
        });
    QVERIFY(question.Text().contains(QStringLiteral("wird ermittelt")));
    question.Start();
    QVERIFY(QTest::qWaitFor([&] { return question.Measured(); }, 10000));
    QCOMPARE(question.Text(), text);
    QCOMPARE(question.FolderCount(), int(objects.filter(QStringLiteral("d:")).size()));
    QCOMPARE(lookedUp.size(), question.FolderCount());
    // What is gone is left out of what the operation gets.
    TFileNames present;
    for (const QByteArray& path : std::as_const(paths)) {
        if (exists(path))
            present << path;
    }
    QCOMPARE(question.Present(), present);
}

QTEST_MAIN(TestContextMenu)
#include "tst_contextmenu.moc"
