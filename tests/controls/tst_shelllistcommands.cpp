// The contents list's commands over real folders, the trash of a test home and the real
// clipboard, with the real dialogs answered as a user would and the real context menu
// picked through its seam: the key table, deleting (reported once, cancelled, one item
// after another, the question's count and total), the context menu with the list's own
// items, paste reported as copy or move, renaming in place with bad names, objects that
// vanish before the command, and the double click.

#include "../fileops/TestHome.h"
#include "controls/ContextMenuPopup.h"
#include "controls/GermanInterface.h"
#include "controls/PropertiesDialog.h"
#include "controls/ShellCommandDialogs.h"
#include "controls/ShellList.h"
#include "fileops/ClipboardFiles.h"
#include "fileops/NameRules.h"
#include "fileops/TrashStore.h"
#include "shell/ShellLink.h"
#include "shell/ShellStartup.h"
#include "threads/SelectionList.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <linux/fs.h>
#include <sys/ioctl.h>

using namespace shell;

namespace {

// Answers the message boxes that come up, in order: the button named ("accept", "cancel")
// or "ok" for a message. The question before deleting is answered once it is complete. A
// box nobody expected is closed and recorded, so that a test fails instead of hanging.
class Boxes : public QObject
{
public:
    QStringList answers;
    QStringList texts;
    // Runs once, while the next box is open, before it is answered.
    std::function<void()> whileAsked;

    Boxes()
    {
        connect(&m_timer, &QTimer::timeout, this, &Boxes::poll);
        m_timer.start(5);
    }

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        auto* accept = box->findChild<QPushButton*>(QStringLiteral("accept"));
        if ((accept && !accept->isEnabled()) || box->text().contains(u"wird ermittelt"))
            return; // still measuring
        if (whileAsked)
            std::exchange(whileAsked, {})();
        const QString answer =
            answers.isEmpty() ? QStringLiteral("unexpected") : answers.takeFirst();
        texts << (answer == u"unexpected" ? QStringLiteral("unexpected: ") : QString()) +
                     box->text();
        if (auto* named = box->findChild<QPushButton*>(answer))
            named->click();
        else if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }
    QTimer m_timer;
};

QByteArrayList names(TShellList& list, bool selectedOnly = false)
{
    QByteArrayList out;
    for (int i = 0; i < list.ItemCount(); ++i) {
        if (selectedOnly && !list.IsSelected(i))
            continue;
        out << (list.Item(i).Data.IsParentFolder ? QByteArray("..")
                                                 : QFile::encodeName(list.CaptionText(i)));
    }
    return out;
}

QByteArrayList onDisk(const QByteArray& folder)
{
    QByteArrayList out;
    for (const QByteArray& key : snapshot(folder).keys()) {
        if (!key.isEmpty() && !key.mid(1).contains('/'))
            out << key.mid(1);
    }
    return out;
}

void select(TShellList& list, const QByteArrayList& which)
{
    list.ClearSelection();
    for (int i = 0; i < list.ItemCount(); ++i) {
        if (which.contains(QFile::encodeName(list.CaptionText(i))))
            list.SetSelected(i, true);
    }
    if (list.Selected() >= 0)
        list.SetItemFocused(list.Selected());
}

void press(TShellList& list, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(list.CurrentView(), Qt::Key(key), modifiers);
}

TShellOperations pasteOf(bool moved)
{
    return soFromClipboard | soPaste | (moved ? soMove : soCopy);
}

struct Reported
{
    TShellOperations operation;
    TFileNames files;
    QByteArray destination;
};

} // namespace

class TestShellListCommands : public QObject
{
    Q_OBJECT

    TestHome m_home;
    QList<QUrl> m_opened;

    QByteArray folder() { return m_home.folder(); }
    // A shown list of `f`, which reports into `reports`.
    static void open(TShellList& list, const QByteArray& f, QList<Reported>& reports)
    {
        list.OnOperation = [&reports](TShellOperations op, const TFileNames& files,
                                      const QByteArray& destination) {
            reports.append({op, files, destination});
        };
        list.resize(600, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetPathBytes(f);
    }
    static QByteArrayList trashed()
    {
        QByteArrayList out;
        for (const fileops::TrashStore::Entry& e : fileops::TrashStore::list(false))
            out << fileops::NameOf(e.originalPath);
        std::sort(out.begin(), out.end());
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ShellStartup());
        m_home.set();
        TShellCommandDialogs::SetOpener([this](const QUrl& url) {
            m_opened << url;
            return true;
        });
    }
    void init()
    {
        QGuiApplication::clipboard()->clear();
        m_opened.clear();
    }
    void cleanup()
    {
        TContextMenuPopup::SetPicker({});
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<TPropertiesDialog*>(w))
                delete w;
        }
        // The trash is emptied by hand: the tests count what is in it.
        removeTreeAt(fileops::TrashStore::homeTrash());
    }

    void keyTable_data();
    void keyTable();
    void deletingReportsExactlyWhatWent();
    void contextMenu_data();
    void contextMenu();
    void backgroundMenu();
    void pasteReportedByTheFirstSource_data();
    void pasteReportedByTheFirstSource();
    void renameInPlace_data();
    void renameInPlace();
    void renamedThenDeleted_data();
    void renamedThenDeleted();
    void goneBeforeTheCommand();
    void nothingElseWhileACommandWaits_data();
    void nothingElseWhileACommandWaits();
    void partlyDeleted();
    void propertiesOfAFolder();
    void doubleClick();
    void menuKeyNames_data();
    void menuKeyNames();
    void commandWhileALargeFolderIsRead_data();
    void commandWhileALargeFolderIsRead();
};

void TestShellListCommands::keyTable_data()
{
    // The folder holds "a.txt", "b.txt", the hidden ".versteckt" and "ordner/" (with
    // "drin.txt"). `expect` lists the facets that must hold afterwards: path (relative to
    // the folder), items, selected, cut (ghosted items), clipboard, disk, trash, editing,
    // opened, dialog.
    QTest::addColumn<QByteArrayList>("selected");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("answer"); // for the question before deleting
    QTest::addColumn<QStringList>("expect");
    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    const QByteArrayList a{"a.txt"};
    QTest::newRow("Enter on a folder enters it")
        << QByteArrayList{"ordner"} << int(Qt::Key_Return) << none << false << ""
        << QStringList{"path=ordner/", "items=..,drin.txt"};
    QTest::newRow("Enter on a file opens it")
        << a << int(Qt::Key_Return) << none << false << "" << QStringList{"opened=a.txt"};
    QTest::newRow("Enter on two files opens both")
        << QByteArrayList{"a.txt", "b.txt"} << int(Qt::Key_Enter) << none << false << ""
        << QStringList{"opened=a.txt,b.txt"};
    QTest::newRow("Alt+Enter shows the properties")
        << a << int(Qt::Key_Return) << int(Qt::AltModifier) << false << ""
        << QStringList{"dialog=a.txt", "opened="};
    QTest::newRow("Backspace goes up") << QByteArrayList{} << int(Qt::Key_Backspace) << none
                                       << false << "" << QStringList{"path=.."};
    QTest::newRow("Ctrl+A selects all but the parent entry")
        << QByteArrayList{} << int(Qt::Key_A) << ctrl << false << ""
        << QStringList{"selected=ordner,a.txt,b.txt"};
    QTest::newRow("Ctrl+C copies") << a << int(Qt::Key_C) << ctrl << false << ""
                                   << QStringList{"clipboard=copy:a.txt", "cut="};
    QTest::newRow("Ctrl+X cuts and ghosts")
        << QByteArrayList{"a.txt", "ordner"} << int(Qt::Key_X) << ctrl << false << ""
        << QStringList{"clipboard=cut:ordner,a.txt", "cut=ordner,a.txt"};
    QTest::newRow("Ctrl+X read-only")
        << a << int(Qt::Key_X) << ctrl << true << "" << QStringList{"clipboard=", "cut="};
    QTest::newRow("Delete, agreed")
        << a << int(Qt::Key_Delete) << none << false << "accept"
        << QStringList{"items=..,ordner,b.txt", "selected=", "disk=a.txt-gone", "trash=a.txt"};
    QTest::newRow("Delete, cancelled")
        << a << int(Qt::Key_Delete) << none << false << "cancel"
        << QStringList{"items=..,ordner,a.txt,b.txt", "selected=a.txt", "trash="};
    QTest::newRow("Delete read-only") << a << int(Qt::Key_Delete) << none << true << ""
                                      << QStringList{"items=..,ordner,a.txt,b.txt", "trash="};
    QTest::newRow("Shift+Delete deletes for good")
        << QByteArrayList{"ordner"} << int(Qt::Key_Delete) << int(Qt::ShiftModifier) << false
        << "accept" << QStringList{"items=..,a.txt,b.txt", "disk=ordner-gone", "trash="};
    QTest::newRow("F2 edits the name")
        << a << int(Qt::Key_F2) << none << false << "" << QStringList{"editing=1"};
    QTest::newRow("F2 read-only") << a << int(Qt::Key_F2) << none << true << ""
                                  << QStringList{"editing=0"};
    QTest::newRow("F5 reads the folder again")
        << QByteArrayList{} << int(Qt::Key_F5) << none << false << ""
        << QStringList{"items=..,ordner,a.txt,b.txt,c.txt"};
    QTest::newRow("Ctrl+H shows hidden entries")
        << a << int(Qt::Key_H) << ctrl << false << ""
        << QStringList{"items=..,ordner,.versteckt,a.txt,b.txt,c.txt", "selected=a.txt"};
}

void TestShellListCommands::keyTable()
{
    QFETCH(QByteArrayList, selected);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, readOnly);
    QFETCH(QString, answer);
    QFETCH(QStringList, expect);
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    putFile(f + "/b.txt", "b");
    QCOMPARE(::mkdir((f + "/ordner").constData(), 0755), 0);
    putFile(f + "/ordner/drin.txt", "d");
    putFile(f + "/.versteckt", "v");
    Boxes boxes;
    if (!answer.isEmpty())
        boxes.answers << answer;
    QList<Reported> reports;
    TShellList list;
    list.SetShowParentFolder(true);
    list.SetReadOnly(readOnly);
    open(list, f, reports);
    putFile(f + "/c.txt", "c"); // made after the list read the folder
    select(list, selected);
    press(list, key, Qt::KeyboardModifiers(modifiers));
    QTRY_VERIFY(boxes.answers.isEmpty());
    for (const QString& facet : expect) {
        const QString name = facet.section(u'=', 0, 0);
        const QByteArray want = facet.section(u'=', 1).toUtf8();
        QByteArray got;
        if (name == u"path") {
            got = list.PathBytes() == f + '/' ? QByteArray(".")
                  : list.PathBytes() == fileops::ParentOf(f) + '/'
                      ? QByteArray("..")
                      : list.PathBytes().mid(f.size() + 1);
        } else if (name == u"items") {
            got = names(list).join(',');
        } else if (name == u"selected") {
            got = names(list, true).join(',');
        } else if (name == u"cut") {
            QByteArrayList cut;
            for (int i = 0; i < list.ItemCount(); ++i) {
                if (list.Item(i).Cut)
                    cut << QFile::encodeName(list.CaptionText(i));
            }
            got = cut.join(',');
        } else if (name == u"clipboard") {
            const auto c = fileops::ClipboardFiles::read(QGuiApplication::clipboard()->mimeData());
            QByteArrayList files;
            for (const QByteArray& p : c.files)
                files << fileops::NameOf(p);
            got = files.isEmpty() ? QByteArray() : (c.cut ? "cut:" : "copy:") + files.join(',');
        } else if (name == u"disk") {
            const QByteArray gone = want.chopped(5);
            got = onDisk(f).contains(gone) ? gone : gone + "-gone";
        } else if (name == u"trash") {
            got = trashed().join(',');
        } else if (name == u"editing") {
            got = list.IsEditing() ? "1" : "0";
        } else if (name == u"opened") {
            QByteArrayList opened;
            for (const QUrl& url : std::as_const(m_opened))
                opened << QFile::encodeName(url.fileName());
            got = opened.join(',');
        } else if (name == u"dialog") {
            QTRY_VERIFY(QApplication::topLevelWidgets().size() > 1);
            QByteArray title;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<TPropertiesDialog*>(w))
                    title = d->Value(QStringLiteral("Name")).toUtf8();
            }
            got = title;
        }
        QVERIFY2(got == want, qPrintable(name + QStringLiteral(": ") + QString::fromUtf8(got) +
                                         QStringLiteral(" != ") + QString::fromUtf8(want)));
    }
    QVERIFY2(!boxes.texts.join(u'\n').contains(u"unexpected"), qPrintable(boxes.texts.join(u'\n')));
}

void TestShellListCommands::deletingReportsExactlyWhatWent()
{
    const QByteArray f = folder();
    for (const char* n : {"eins", "zwei", "drei", "vier", "fünf"})
        putFile(f + '/' + n, QByteArray(1000, 'x'));
    QCOMPARE(::mkdir((f + "/ordner").constData(), 0755), 0);
    putFile(f + "/ordner/innen", QByteArray(3000, 'y'));
    Boxes boxes;
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);

    // Three files and a folder: one question that names them and their total, one report.
    boxes.answers << "accept";
    select(list, {"eins", "zwei", "drei", "ordner"});
    press(list, Qt::Key_Delete);
    QTRY_VERIFY(boxes.answers.isEmpty());
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].startsWith(u"Sollen diese 4 Objekte in den Papierkorb verschoben "
                                       u"werden?\n\n„ordner“, „drei“, „eins“, „zwei“\n\n"
                                       u"Gesamtgröße: 5,85 KB (6000 Bytes)\n\nAchtung: Darunter "
                                       u"ist ein Ordner."),
             qPrintable(boxes.texts[0]));
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].operation, soDelete | soRemoved);
    TFileNames expected{f + "/ordner", f + "/drei", f + "/eins", f + "/zwei"};
    QCOMPARE(reports[0].files, expected);
    QCOMPARE(reports[0].destination, QByteArray());
    QCOMPARE(names(list), (QByteArrayList{"fünf", "vier"}));
    QCOMPARE(list.SelCount(), 0);
    QCOMPARE(list.ReportedSize(f + "/eins"), 1000);
    QCOMPARE(list.ReportedSize(f + "/ordner"), -1);

    // Nothing is selected now: Delete deletes nothing.
    press(list, Qt::Key_Delete);
    QCOMPARE(boxes.texts.size(), 1);

    // A cancelled question changes nothing and reports nothing.
    boxes.answers << "cancel";
    select(list, {"vier"});
    press(list, Qt::Key_Delete);
    QTRY_VERIFY(boxes.answers.isEmpty());
    QCOMPARE(reports.size(), 1);
    QCOMPARE(names(list), (QByteArrayList{"fünf", "vier"}));
    QCOMPARE(onDisk(f), (QByteArrayList{"fünf", "vier"}));

    // Another item selected and deleted: exactly that one goes.
    boxes.answers << "accept";
    select(list, {"fünf"});
    press(list, Qt::Key_Delete);
    QTRY_VERIFY(boxes.answers.isEmpty());
    QVERIFY(boxes.texts.last().startsWith(u"Soll „fünf“ in den Papierkorb verschoben werden?"));
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports[1].files, TFileNames{f + "/fünf"});
    QCOMPARE(onDisk(f), QByteArrayList{"vier"});
    QCOMPARE(names(list), QByteArrayList{"vier"});
    QCOMPARE(trashed(), (QByteArrayList{"drei", "eins", "fünf", "ordner", "zwei"}));
}

void TestShellListCommands::contextMenu_data()
{
    QTest::addColumn<bool>("onTop");
    QTest::addColumn<QString>("pick");
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QString>("menu");
    const QString after =
        "Neu laden|Ansicht|-|Öffnen|-|Ausschneiden|Kopieren|-|Löschen|Umbenennen|-|Eigenschaften";
    QTest::newRow("the list's item, picked: no verb") << false << "Neu laden"
                                                      << "" << after;
    QTest::newRow("an item of its sub-menu") << false << "Ansicht/Liste"
                                             << "" << after;
    QTest::newRow("copy") << false << "Kopieren"
                          << "copy" << after;
    QTest::newRow("on top, cut") << true << "Ausschneiden"
                                 << "cut"
                                 << "Öffnen|-|Ausschneiden|Kopieren|-|Löschen|Umbenennen|-|"
                                    "Eigenschaften|-|Neu laden|Ansicht";
    QTest::newRow("delete") << false << "Löschen"
                            << "delete" << after;
    QTest::newRow("nothing") << false << ""
                             << "" << after;
}

void TestShellListCommands::contextMenu()
{
    QFETCH(bool, onTop);
    QFETCH(QString, pick);
    QFETCH(QString, verb);
    QFETCH(QString, menu);
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    putFile(f + "/b.txt", "b");
    // The list's own menu, with a hint and a sub-menu.
    QMenu own;
    QAction* reload = own.addAction(QStringLiteral("Neu laden"));
    reload->setStatusTip(QStringLiteral("Liest den Ordner neu ein"));
    QMenu* view = own.addMenu(QStringLiteral("Ansicht"));
    view->menuAction()->setStatusTip(QStringLiteral("Wie die Liste aussieht"));
    QAction* asList = view->addAction(QStringLiteral("Liste"));
    int reloads = 0, lists = 0, prepared = 0;
    connect(&own, &QMenu::aboutToShow, [&] { ++prepared; }); // it may set its items up
    connect(reload, &QAction::triggered, [&] { ++reloads; });
    connect(asList, &QAction::triggered, [&] { ++lists; });

    QMainWindow window;
    window.statusBar(); // where status tips show
    QList<Reported> reports;
    auto* list = new TShellList(&window);
    window.setCentralWidget(list);
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    list->SetPopupMenu(&own);
    list->SetShowContextMenuOnTop(onTop);
    list->OnOperation = [&](TShellOperations op, const TFileNames& files, const QByteArray& d) {
        reports.append({op, files, d});
    };
    list->SetPathBytes(f);
    select(*list, {"a.txt"});
    Boxes boxes;
    boxes.answers << "accept";

    QStringList shown, tips;
    TContextMenuPopup::SetPicker([&](QMenu& popup) -> QAction* {
        auto captions = [](QMenu& m) {
            QStringList out;
            for (QAction* a : m.actions())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
            return out;
        };
        shown = captions(popup);
        auto find = [&](QMenu& m, const QString& text) -> QAction* {
            for (QAction* a : m.actions()) {
                if (a->text() == text)
                    return a;
            }
            return nullptr;
        };
        // The highlighted item's text becomes the window's status tip.
        for (const char* caption : {"Löschen", "Neu laden", "Ansicht"}) {
            find(popup, QString::fromUtf8(caption))->hover(); // as the mouse over it
            tips << window.statusBar()->currentMessage();
        }
        if (pick.isEmpty())
            return nullptr;
        if (pick.contains(u'/')) {
            QMenu* sub = find(popup, pick.section(u'/', 0, 0))->menu();
            return find(*sub, pick.section(u'/', 1));
        }
        return find(popup, pick);
    });
    const QRect r = list->ItemRect(list->Selected());
    QContextMenuEvent request(QContextMenuEvent::Mouse, r.center(), list->mapToGlobal(r.center()));
    QApplication::sendEvent(list->CurrentView()->viewport(), &request);

    QCOMPARE(prepared, 1);
    QCOMPARE(shown.join(u'|'), menu);
    QCOMPARE(tips, (QStringList{"Verschiebt die Objekte in den Papierkorb.",
                                "Liest den Ordner neu ein", "Wie die Liste aussieht"}));
    QCOMPARE(window.statusBar()->currentMessage(), QString()); // gone with the menu
    QCOMPARE(reloads, pick == u"Neu laden" ? 1 : 0);
    QCOMPARE(lists, pick == u"Ansicht/Liste" ? 1 : 0);
    const auto clip = fileops::ClipboardFiles::read(QGuiApplication::clipboard()->mimeData());
    const bool onClipboard = verb == u"copy" || verb == u"cut";
    QCOMPARE(clip.files, onClipboard ? TFileNames{f + "/a.txt"} : TFileNames());
    QCOMPARE(list->Item(0).Cut, verb == u"cut");
    if (verb == u"delete") {
        QTRY_VERIFY(boxes.answers.isEmpty());
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].files, TFileNames{f + "/a.txt"});
        QCOMPARE(names(*list), QByteArrayList{"b.txt"});
    } else {
        QVERIFY(reports.isEmpty());
        QCOMPARE(names(*list), (QByteArrayList{"a.txt", "b.txt"}));
        QCOMPARE(onDisk(f), (QByteArrayList{"a.txt", "b.txt"}));
    }
}

void TestShellListCommands::backgroundMenu()
{
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    QMenu background;
    background.addAction(QStringLiteral("Neuer Ordner"));
    // Without a background menu, nothing happens on empty space.
    const QPoint empty(300, 250);
    QContextMenuEvent onEmpty(QContextMenuEvent::Mouse, empty, list.mapToGlobal(empty));
    QApplication::sendEvent(list.CurrentView()->viewport(), &onEmpty);
    QVERIFY(!background.isVisible());
    list.SetBackgroundPopupMenu(&background);
    QApplication::sendEvent(list.CurrentView()->viewport(), &onEmpty);
    QTRY_VERIFY(background.isVisible());
    background.hide();
    // From the keyboard with nothing selected: at (1, 1) of the screen.
    list.ClearSelection();
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    QApplication::sendEvent(list.CurrentView(), &key);
    QTRY_VERIFY(background.isVisible());
    QCOMPARE(background.pos(), QPoint(1, 1));
    background.hide();
    QVERIFY(reports.isEmpty());
}

void TestShellListCommands::pasteReportedByTheFirstSource_data()
{
    QTest::addColumn<QByteArray>("first"); // "datei" or "ordner"
    QTest::addColumn<bool>("cut");
    QTest::newRow("a copied file") << QByteArray("datei") << false;
    QTest::newRow("a cut file") << QByteArray("datei") << true;
    QTest::newRow("a copied folder") << QByteArray("ordner") << false;
    QTest::newRow("a cut folder") << QByteArray("ordner") << true;
}

void TestShellListCommands::pasteReportedByTheFirstSource()
{
    QFETCH(QByteArray, first);
    QFETCH(bool, cut);
    const QByteArray f = folder();
    QCOMPARE(::mkdir((f + "/quelle").constData(), 0755), 0);
    QCOMPARE(::mkdir((f + "/quelle/ordner").constData(), 0755), 0);
    putFile(f + "/quelle/ordner/innen", "i");
    putFile(f + "/quelle/datei", "d");
    QCOMPARE(::mkdir((f + "/ziel").constData(), 0755), 0);
    const QByteArray second = first == "datei" ? "ordner" : "datei";
    const TFileNames sources{f + "/quelle/" + first, f + "/quelle/" + second};
    auto* data = new QMimeData;
    fileops::ClipboardFiles::write(*data, sources, cut);
    QGuiApplication::clipboard()->setMimeData(data);
    QList<Reported> reports;
    TShellList list;
    open(list, f + "/ziel", reports);
    press(list, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].operation, pasteOf(cut));
    QCOMPARE(reports[0].files, sources);
    QCOMPARE(reports[0].destination, f + "/ziel/");
    QCOMPARE(onDisk(f + "/ziel"), (QByteArrayList{"datei", "ordner"}));
    QCOMPARE(onDisk(f + "/quelle"), (cut ? QByteArrayList() : QByteArrayList{"datei", "ordner"}));
    // After a cut the clipboard names nothing any more.
    QCOMPARE(fileops::ClipboardFiles::read(QGuiApplication::clipboard()->mimeData()).files.size(),
             cut ? 0 : 2);
    QVERIFY(list.RefreshTimer.isActive());
}

void TestShellListCommands::renameInPlace_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArrayList>("disk");
    QTest::addColumn<QString>("message");     // part of the message; empty: none
    QTest::addColumn<QByteArray>("reported"); // the name the report gives; empty: no report
    const QByteArrayList unchanged{"a.txt", "b.txt"};
    QTest::newRow("a new name") << "neu.txt" << QByteArrayList{"b.txt", "neu.txt"} << ""
                                << QByteArray("neu.txt");
    QTest::newRow("slash") << "x/y" << unchanged << "Schrägstrich" << QByteArray();
    QTest::newRow("NUL") << QString(QStringLiteral("x") + QChar(0) + QStringLiteral("y"))
                         << unchanged << "Nullzeichen" << QByteArray();
    QTest::newRow("empty") << "" << unchanged << "nicht leer" << QByteArray();
    QTest::newRow("dot") << "." << unchanged << "nicht erlaubt" << QByteArray();
    QTest::newRow("dot dot") << ".." << unchanged << "nicht erlaubt" << QByteArray();
    QTest::newRow("256 bytes") << QString(256, u'n') << unchanged << "zu lang" << QByteArray();
    // Refused by the file system: the report names the old name both times.
    QTest::newRow("the name of another file")
        << "b.txt" << unchanged << "bereits vorhanden" << QByteArray("a.txt");
    QTest::newRow("the same name") << "a.txt" << unchanged << "" << QByteArray();
}

void TestShellListCommands::renameInPlace()
{
    QFETCH(QString, typed);
    QFETCH(QByteArrayList, disk);
    QFETCH(QString, message);
    QFETCH(QByteArray, reported);
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    putFile(f + "/b.txt", "b");
    Boxes boxes;
    if (!message.isEmpty())
        boxes.answers << "ok";
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    select(list, {"a.txt"});
    press(list, Qt::Key_F2);
    QVERIFY(list.IsEditing());
    auto* editor = list.CurrentView()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText(typed);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!list.IsEditing());
    QTRY_VERIFY(boxes.answers.isEmpty());
    QCOMPARE(onDisk(f), disk);
    if (!message.isEmpty()) {
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(message), qPrintable(boxes.texts[0]));
        QVERIFY(boxes.texts[0].contains(u"Der Name bleibt „a.txt“."));
    }
    // The list shows what is on the disk; a refused name brings the old one back.
    QByteArrayList shown = names(list);
    std::sort(shown.begin(), shown.end());
    QCOMPARE(shown, disk);
    QCOMPARE(reports.size(), reported.isEmpty() ? 0 : 1);
    if (!reported.isEmpty()) {
        QCOMPARE(reports[0].operation, TShellOperations(soRename));
        QCOMPARE(reports[0].files, TFileNames{f + "/a.txt"});
        QCOMPARE(reports[0].destination, f + '/' + reported);
    }
}

void TestShellListCommands::renamedThenDeleted_data()
{
    // a.txt is selected, the context menu comes up (and is dismissed, or its "Umbenennen"
    // chosen), the name is edited in place to c.txt; another program may then write a new
    // a.txt; "Löschen" from the menu of the still selected item.
    QTest::addColumn<QString>("firstPick"); // "" dismisses the menu, and F2 edits
    QTest::addColumn<bool>("madeAnew");
    QTest::newRow("F2 after a dismissed menu, the old name made anew") << "" << true;
    QTest::newRow("renamed from the menu, the old name made anew") << "Umbenennen" << true;
    QTest::newRow("renamed from the menu, the old name free") << "Umbenennen" << false;
}

void TestShellListCommands::renamedThenDeleted()
{
    QFETCH(QString, firstPick);
    QFETCH(bool, madeAnew);
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    putFile(f + "/b.txt", "b");
    Boxes boxes;
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    select(list, {"a.txt"});
    QStringList picks{firstPick, QStringLiteral("Löschen")};
    TContextMenuPopup::SetPicker([&](QMenu& menu) -> QAction* {
        const QString pick = picks.takeFirst();
        for (QAction* a : menu.actions()) {
            if (!pick.isEmpty() && a->text() == pick)
                return a;
        }
        return nullptr;
    });
    const auto rightClick = [&] {
        const QRect r = list.ItemRect(list.Selected());
        QWidget* viewport = list.CurrentView()->viewport();
        const QPoint at = viewport->mapFrom(&list, r.center());
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &request);
    };
    rightClick();
    if (firstPick.isEmpty())
        press(list, Qt::Key_F2);
    QVERIFY(list.IsEditing());
    auto* editor = list.CurrentView()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("c.txt"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!list.IsEditing());
    QCOMPARE(list.SelectedNames(), TFileNames{"c.txt"});
    if (madeAnew)
        putFile(f + "/a.txt", "another program's a");
    boxes.answers << "accept";
    rightClick();
    QTRY_VERIFY(boxes.answers.isEmpty());
    QVERIFY(picks.isEmpty());
    // Exactly the renamed file goes, and the question names it by its new name.
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].startsWith(u"Soll „c.txt“ in den Papierkorb verschoben werden?"),
             qPrintable(boxes.texts[0]));
    const QByteArrayList left =
        madeAnew ? QByteArrayList{"a.txt", "b.txt"} : QByteArrayList{"b.txt"};
    QCOMPARE(onDisk(f), left);
    if (madeAnew)
        QCOMPARE(contentOf(f + "/a.txt"), QByteArray("another program's a"));
    QCOMPARE(trashed(), QByteArrayList{"c.txt"});
    QCOMPARE(reports.size(), 2); // the rename, the deletion
    QCOMPARE(reports[1].files, TFileNames{f + "/c.txt"});
    QCOMPARE(names(list), QByteArrayList{"b.txt"});
}

void TestShellListCommands::goneBeforeTheCommand()
{
    const QByteArray f = folder();
    for (const char* name : {"/a.txt", "/b.txt", "/c.txt", "/d.txt"})
        putFile(f + name, "x");
    Boxes boxes;
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    // One of several gone: said, and none of the others is deleted either.
    boxes.answers << "ok";
    select(list, {"c.txt", "d.txt"});
    QCOMPARE(::unlink((f + "/c.txt").constData()), 0);
    press(list, Qt::Key_Delete);
    QTRY_VERIFY(boxes.answers.isEmpty());
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains(u"„c.txt“ ist nicht mehr da"), qPrintable(boxes.texts[0]));
    QCOMPARE(onDisk(f), (QByteArrayList{"a.txt", "b.txt", "d.txt"}));
    QCOMPARE(names(list), (QByteArrayList{"a.txt", "b.txt", "d.txt"}));
    boxes.texts.clear();
    // Removed by someone else between the selection and the key: said, nothing deleted.
    boxes.answers << "ok";
    select(list, {"a.txt"});
    QCOMPARE(::unlink((f + "/a.txt").constData()), 0);
    press(list, Qt::Key_Delete);
    QTRY_VERIFY(boxes.answers.isEmpty());
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains(u"„a.txt“ ist nicht mehr da"), qPrintable(boxes.texts[0]));
    QCOMPARE(onDisk(f), (QByteArrayList{"b.txt", "d.txt"}));
    QCOMPARE(names(list), (QByteArrayList{"b.txt", "d.txt"})); // the list caught up
    QVERIFY(trashed().isEmpty());
    // The same for the context menu, which does not come up.
    boxes.answers << "ok";
    select(list, {"b.txt"});
    QCOMPARE(::unlink((f + "/b.txt").constData()), 0);
    bool shown = false;
    TContextMenuPopup::SetPicker([&](QMenu&) {
        shown = true;
        return nullptr;
    });
    QString verb = QStringLiteral("x");
    list.ShowShellContextMenu(QPoint(10, 10), verb);
    QTRY_VERIFY(boxes.answers.isEmpty());
    QVERIFY(!shown);
    QCOMPARE(verb, QString());
    QVERIFY(boxes.texts[1].contains(u"„b.txt“ ist nicht mehr da"));
    QCOMPARE(names(list), QByteArrayList{"d.txt"});
}

void TestShellListCommands::nothingElseWhileACommandWaits_data()
{
    // While a command waits for its question (the one before deleting, or the conflict
    // of a drop's operation), the user tries something else on the list: a key that the
    // key table passes on, or another command, which is refused. Afterwards F5 shows
    // whether the first command still counts as running.
    QTest::addColumn<QString>("command"); // "delete" or "drop"
    QTest::addColumn<int>("key");         // 0: `other` instead
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("other"); // "menu" or "double click"
    const int none = Qt::NoModifier;
    for (const QString& command : {QStringLiteral("delete"), QStringLiteral("drop")}) {
        const auto row = [&](const char* what) -> QTestData& {
            return QTest::addRow("%s: %s", qPrintable(command), what) << command;
        };
        row("F5") << int(Qt::Key_F5) << none << "";
        row("Backspace") << int(Qt::Key_Backspace) << none << "";
        row("Ctrl+A") << int(Qt::Key_A) << int(Qt::ControlModifier) << "";
        row("Space") << int(Qt::Key_Space) << none << "";
        row("Ctrl+H") << int(Qt::Key_H) << int(Qt::ControlModifier) << "";
        row("Delete") << int(Qt::Key_Delete) << none << "";
        row("the context menu") << 0 << none << "menu";
        row("a double click") << 0 << none << "double click";
    }
}

void TestShellListCommands::nothingElseWhileACommandWaits()
{
    QFETCH(QString, command);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, other);
    const QByteArray f = folder();
    QCOMPARE(::mkdir((f + "/liste").constData(), 0755), 0);
    QCOMPARE(::mkdir((f + "/liste/ordner").constData(), 0755), 0);
    putFile(f + "/liste/a.txt", "a");
    putFile(f + "/liste/b.txt", "b");
    putFile(f + "/a.txt", "the dropped a");
    Boxes boxes;
    QList<Reported> reports;
    TShellLink link;
    link.SelectionList()->SetCalculateSizes(false);
    TShellList list;
    list.SetShellLink(&link);
    list.SetShowParentFolder(true);
    open(list, f + "/liste", reports);
    list.SetCheckboxes(true);
    int populated = 0, checks = 0, menus = 0;
    list.OnPopulated = [&] { ++populated; };
    list.OnCheckStateChanged = [&](int, const QByteArray&, threads::TSelectionState) { ++checks; };
    TContextMenuPopup::SetPicker([&](QMenu&) -> QAction* {
        ++menus;
        return nullptr;
    });
    select(list, {"a.txt"});
    const QByteArrayList items = names(list);
    bool waited = false;
    boxes.whileAsked = [&] {
        waited = list.CommandRunning();
        QWidget* viewport = list.CurrentView()->viewport();
        const QPoint at = viewport->mapFrom(&list, list.ItemRect(list.Selected()).center());
        if (key != 0) {
            press(list, key, Qt::KeyboardModifiers(modifiers));
        } else if (other == u"menu") {
            QContextMenuEvent request(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
            QApplication::sendEvent(viewport, &request);
        } else {
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        }
        press(list, Qt::Key_F5);
    };
    if (command == u"delete") {
        boxes.answers << "cancel";
        press(list, Qt::Key_Delete);
    } else {
        boxes.answers << "skip"; // a.txt is there already
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"),
                     fileops::ClipboardFiles::uriOf(f + "/a.txt") + "\r\n");
        QWidget* viewport = list.CurrentView()->viewport();
        const QPoint empty(viewport->width() / 2, viewport->height() - 20);
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(empty, offered, &data, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent over(empty, offered, &data, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &over);
        QDropEvent drop(empty, offered, &data, Qt::NoButton, {});
        QApplication::sendEvent(viewport, &drop);
    }
    QTRY_VERIFY(boxes.answers.isEmpty());
    QVERIFY(waited);
    // Nothing of it happened: the same folder, items and selection, no second question,
    // no menu, nothing opened, no check box changed, no report.
    QCOMPARE(populated, 0);
    QCOMPARE(list.PathBytes(), f + "/liste/");
    QCOMPARE(names(list), items);
    QCOMPARE(names(list, true), QByteArrayList{"a.txt"});
    QCOMPARE(boxes.texts.size(), 1);
    QCOMPARE(menus, 0);
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(checks, 0);
    QVERIFY(reports.isEmpty());
    QCOMPARE(contentOf(f + "/liste/a.txt"), QByteArray("a"));
    // Once the command has ended, the keys act again.
    QTRY_VERIFY(!list.CommandRunning());
    press(list, Qt::Key_F5);
    QCOMPARE(populated, 1);
}

void TestShellListCommands::partlyDeleted()
{
    // A file that cannot be moved (immutable, which needs root and a file system that
    // keeps the flag) stays listed and is named; the other one goes.
    const QByteArray f = folder();
    putFile(f + "/fest", "f");
    putFile(f + "/los", "l");
    const int fd = ::open((f + "/fest").constData(), O_RDONLY);
    int flags = 0;
    const bool immutable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                           ::ioctl(fd, FS_IOC_SETFLAGS, &(flags |= FS_IMMUTABLE_FL)) == 0;
    const auto unlock = qScopeGuard([&] {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        ::close(fd);
    });
    if (!immutable)
        QSKIP("needs root and a file system with the immutable flag");
    Boxes boxes;
    boxes.answers << "accept"
                  << "ok";
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    select(list, {"fest", "los"});
    press(list, Qt::Key_Delete);
    QTRY_VERIFY(boxes.answers.isEmpty());
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY2(boxes.texts[1].contains(u"fest“: In den Papierkorb verschieben nicht möglich"),
             qPrintable(boxes.texts[1]));
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].files, TFileNames{f + "/los"});
    QCOMPARE(names(list), QByteArrayList{"fest"});
    QCOMPARE(list.SelCount(), 0);
}

void TestShellListCommands::propertiesOfAFolder()
{
    const QByteArray f = folder();
    QCOMPARE(::mkdir((f + "/ordner").constData(), 0755), 0);
    QCOMPARE(::mkdir((f + "/ordner/unten").constData(), 0755), 0);
    putFile(f + "/ordner/eins", QByteArray(1500, 'x'));
    putFile(f + "/ordner/unten/zwei", QByteArray(500, 'x'));
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    select(list, {"ordner"});
    press(list, Qt::Key_Return, Qt::AltModifier);
    TPropertiesDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = qobject_cast<TPropertiesDialog*>(QApplication::activeWindow())) || [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if ((dialog = qobject_cast<TPropertiesDialog*>(w)))
                return true;
        }
        return false;
    }());
    QTRY_VERIFY(dialog->Measured());
    QCOMPARE(dialog->Value(QStringLiteral("Name")), QStringLiteral("ordner"));
    QCOMPARE(dialog->Value(QStringLiteral("Typ")), QStringLiteral("Dateiordner"));
    QCOMPARE(dialog->Value(QStringLiteral("Ort")), QFile::decodeName(f));
    QCOMPARE(dialog->Value(QStringLiteral("Größe")), QStringLiteral("1,95 KB (2000 Bytes)"));
    QCOMPARE(dialog->Value(QStringLiteral("Inhalt")), QStringLiteral("2 Dateien, 1 Ordner"));
    QCOMPARE(dialog->Value(QStringLiteral("Berechtigungen")), QStringLiteral("rwxr-xr-x"));
}

void TestShellListCommands::doubleClick()
{
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    QCOMPARE(::mkdir((f + "/ordner").constData(), 0755), 0);
    putFile(f + "/ordner/drin.txt", "d");
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    auto doubleClickOn = [&](const QByteArray& name) {
        select(list, {name});
        const QRect r = list.ItemRect(list.Selected());
        QWidget* viewport = list.CurrentView()->viewport();
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, viewport->mapFrom(&list, r.center()));
    };
    doubleClickOn("a.txt");
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(m_opened[0].fileName(), QStringLiteral("a.txt"));
    doubleClickOn("ordner");
    QCOMPARE(list.PathBytes(), f + "/ordner/");
    QCOMPARE(names(list), QByteArrayList{"drin.txt"});
    // With its own handler the list leaves the double click to it.
    int handled = 0;
    list.OnDblClick = [&] { ++handled; };
    doubleClickOn("drin.txt");
    QCOMPARE(handled, 1);
    QCOMPARE(m_opened.size(), 1);
}

void TestShellListCommands::menuKeyNames_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("key");
    QTest::newRow("cut") << "Ausschneiden"
                         << "Strg+X";
    QTest::newRow("copy") << "Kopieren"
                          << "Strg+C";
    QTest::newRow("delete") << "Löschen"
                            << "Entf";
    QTest::newRow("rename") << "Umbenennen"
                            << "F2";
    QTest::newRow("properties") << "Eigenschaften"
                                << "Alt+Eingabe";
}

void TestShellListCommands::menuKeyNames()
{
    // The menu writes each entry's key beside it, in German whatever the locale.
    QFETCH(QString, caption);
    QFETCH(QString, key);
    InstallGermanTranslations(*qApp);
    const QByteArray f = folder();
    putFile(f + "/a.txt", "a");
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    select(list, {"a.txt"});
    QString shown = QStringLiteral("(no such entry)");
    TContextMenuPopup::SetPicker([&](QMenu& popup) -> QAction* {
        for (QAction* a : popup.actions()) {
            if (a->text() == caption)
                shown = a->shortcut().toString(QKeySequence::NativeText);
        }
        return nullptr;
    });
    const QRect r = list.ItemRect(list.Selected());
    QContextMenuEvent request(QContextMenuEvent::Mouse, r.center(), list.mapToGlobal(r.center()));
    QApplication::sendEvent(list.CurrentView()->viewport(), &request);
    QCOMPARE(shown, key);
}

QTEST_MAIN(TestShellListCommands)
#include "tst_shelllistcommands.moc"

void TestShellListCommands::commandWhileALargeFolderIsRead_data()
{
    // A folder too large to be read at once: while the rest is still coming, the user
    // sorts (or not), chooses three listed items with the mouse and deletes them.
    QTest::addColumn<int>("sortColumn"); // -1: as opened (by name)
    QTest::newRow("by name") << -1;
    QTest::newRow("sorted by size meanwhile") << 1;
}

void TestShellListCommands::commandWhileALargeFolderIsRead()
{
    QFETCH(int, sortColumn);
    const QByteArray f = folder();
    constexpr int kFiles = 6000;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/datei%04d", i);
        putFile(f + name, QByteArray(1 + (i * 7919) % 4096, 'x'));
    }
    Boxes boxes;
    QList<Reported> reports;
    TShellList list;
    open(list, f, reports);
    QVERIFY(list.Filling());
    if (sortColumn >= 0)
        list.SortByColumn(sortColumn);
    // A click and two Ctrl+clicks among the first rows.
    QAbstractItemView* view = list.CurrentView();
    QByteArrayList chosen;
    for (const int row : {1, 3, 6}) {
        const QRect rect = view->visualRect(list.Model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton,
                          chosen.isEmpty() ? Qt::NoModifier : Qt::ControlModifier, rect.center());
        chosen << QFile::encodeName(list.CaptionText(row));
    }
    QCOMPARE(names(list, true), chosen);
    QByteArrayList expected = onDisk(f);
    for (const QByteArray& name : chosen)
        expected.removeOne(name);
    boxes.answers << "accept";
    press(list, Qt::Key_Delete);
    QTRY_VERIFY(boxes.answers.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!list.Filling(), 60000);
    // Exactly the chosen went, and only they left the list; the rest is listed once, in
    // the order of the column.
    std::sort(chosen.begin(), chosen.end());
    QCOMPARE(trashed(), chosen);
    QCOMPARE(onDisk(f), expected);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].files.size(), 3);
    QByteArrayList shown = names(list);
    const QByteArrayList inOrder = shown;
    std::sort(shown.begin(), shown.end());
    QCOMPARE(shown, expected);
    QCOMPARE(list.SortColumn(), std::max(sortColumn, 0));
    list.SortItems();
    QCOMPARE(names(list), inOrder);
    QCOMPARE(list.SelCount(), 0);
}
