// TDirectoryEdit: where the chooser opens, what a choice or a cancel does to the text
// and InitialDir, the events, drops, keys handed to the window and the long path.
#include "controls/BitBtnXP.h"
#include "controls/DirectoryEdit.h"
#include "controls/GermanInterface.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Answers the chooser and records where it was opened.
struct FakeChooser
{
    QStringList starts;
    QStringList titles;
    TDirectoryEdit::TChoice answer;

    void install()
    {
        TDirectoryEdit::setChooser([this](QWidget*, const QString& title, const QString& start) {
            titles << title;
            starts << start;
            return answer;
        });
    }
};

} // namespace

class TestDirectoryEdit : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startFolder_data();
    void startFolder();
    void cancelKeepsText();
    void confirmedChoice_data();
    void confirmedChoice();
    void eventsMayChangeValues();
    void beforeDialogMayStop();
    void clickKeyAndButton();
    void keysReachWindowButtons_data();
    void keysReachWindowButtons();
    void drops_data();
    void drops();
    void dropIgnoredWithoutAcceptFiles();
    void longName();
    void directInput();
    void standardDialogsSpeakGerman();
    void chooserAccessKeys_data();
    void chooserAccessKeys();

private:
    QTemporaryDir m_dir;
    FakeChooser m_chooser;
    QString m_data;
};

void TestDirectoryEdit::init()
{
    QVERIFY(m_dir.isValid());
    m_data = m_dir.filePath(QStringLiteral("Data"));
    QVERIFY(QDir().mkpath(m_data));
    m_chooser = FakeChooser{};
    m_chooser.install();
}

void TestDirectoryEdit::cleanup()
{
    TDirectoryEdit::setChooser({});
}

void TestDirectoryEdit::startFolder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("initialDir");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty field: InitialDir") << ""
                                             << "@data"
                                             << "@data";
    QTest::newRow("empty field, default InitialDir") << ""
                                                     << "/"
                                                     << "/";
    QTest::newRow("empty field and InitialDir") << ""
                                                << ""
                                                << "/";
    QTest::newRow("existing folder") << "@data"
                                     << "/"
                                     << "@data";
    QTest::newRow("impossible path") << "@data/nosuch/deeper"
                                     << "@data"
                                     << "/";
    QTest::newRow("a file, not a folder") << "@file"
                                          << "@data"
                                          << "/";
    QTest::newRow("empty field, InitialDir gone") << ""
                                                  << "@data/gone"
                                                  << "/";
}

void TestDirectoryEdit::startFolder()
{
    QFETCH(QString, text);
    QFETCH(QString, initialDir);
    QFETCH(QString, expected);
    const QString file = m_dir.filePath(QStringLiteral("file.txt"));
    QFile(file).open(QIODevice::WriteOnly);
    auto expand = [&](QString s) {
        return s.replace(QLatin1String("@data"), m_data).replace(QLatin1String("@file"), file);
    };
    TDirectoryEdit edit;
    edit.setText(expand(text));
    edit.setInitialDir(expand(initialDir));
    edit.ButtonClick();
    QCOMPARE(m_chooser.starts, QStringList{expand(expected)});
    QCOMPARE(m_chooser.titles, QStringList{QStringLiteral("Verzeichnis auswählen")});
}

void TestDirectoryEdit::cancelKeepsText()
{
    TDirectoryEdit edit;
    edit.setText(QStringLiteral("/"));
    m_chooser.answer = {m_data, false};
    edit.ButtonClick();
    QCOMPARE(edit.text(), QStringLiteral("/"));
    QCOMPARE(edit.InitialDir(), QStringLiteral("/"));
}

void TestDirectoryEdit::confirmedChoice_data()
{
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<QString>("oldText");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("initialDir");
    QTest::newRow("existing folder") << false << "/"
                                     << "@data"
                                     << "@data"
                                     << "@data";
    QTest::newRow("folder that does not exist") << false << "/"
                                                << "@data/x"
                                                << "@data/x"
                                                << "/";
    QTest::newRow("empty choice") << false << "/"
                                  << ""
                                  << ""
                                  << "/";
    QTest::newRow("several folders") << true << "/"
                                     << "@data"
                                     << "@data;/"
                                     << "@data";
    QTest::newRow("several folders, empty field") << true << ""
                                                  << "@data"
                                                  << "@data"
                                                  << "@data";
}

void TestDirectoryEdit::confirmedChoice()
{
    QFETCH(bool, multiple);
    QFETCH(QString, oldText);
    QFETCH(QString, chosen);
    QFETCH(QString, text);
    QFETCH(QString, initialDir);
    auto expand = [&](QString s) { return s.replace(QLatin1String("@data"), m_data); };
    TDirectoryEdit edit;
    edit.setMultipleDirs(multiple);
    edit.setText(oldText);
    m_chooser.answer = {expand(chosen), true};
    edit.ButtonClick();
    QCOMPARE(edit.text(), expand(text));
    QCOMPARE(edit.InitialDir(), expand(initialDir));
    // The next chooser for an empty field opens at the chosen folder.
    edit.clear();
    edit.ButtonClick();
    QCOMPARE(m_chooser.starts.last(), edit.InitialDir());
}

void TestDirectoryEdit::eventsMayChangeValues()
{
    TDirectoryEdit edit;
    QStringList order;
    edit.OnButtonClick = [&] { order << QStringLiteral("button"); };
    edit.OnBeforeDialog = [&](QString& folder, bool&) {
        order << QStringLiteral("before ") + folder;
        folder = m_data;
    };
    edit.OnAfterDialog = [&](QString& result, bool& confirmed) {
        order << QStringLiteral("after %1 %2").arg(result).arg(confirmed);
        result = QStringLiteral("/");
        confirmed = true;
    };
    edit.setText(QStringLiteral("/nosuch"));
    m_chooser.answer = {m_data, false};
    edit.ButtonClick();
    QCOMPARE(m_chooser.starts, QStringList{m_data});
    QCOMPARE(order, (QStringList{"button", "before /nosuch", "after " + m_data + " 0"}));
    QCOMPARE(edit.text(), QStringLiteral("/"));
}

void TestDirectoryEdit::beforeDialogMayStop()
{
    TDirectoryEdit edit;
    edit.setText(QStringLiteral("/"));
    bool afterCalled = false;
    edit.OnBeforeDialog = [](QString&, bool& action) { action = false; };
    edit.OnAfterDialog = [&](QString&, bool&) { afterCalled = true; };
    m_chooser.answer = {m_data, true};
    edit.ButtonClick();
    QVERIFY(m_chooser.starts.isEmpty());
    QVERIFY(!afterCalled);
    QCOMPARE(edit.text(), QStringLiteral("/"));
}

void TestDirectoryEdit::clickKeyAndButton()
{
    QWidget window;
    auto* edit = new TDirectoryEdit(&window);
    edit->setGeometry(8, 56, 185, 21);
    window.show();
    QCOMPARE(edit->Button()->geometry(), QRect(185 - 2 - 21, 2, 21, 17));

    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(m_chooser.starts.size(), 1);
    QTest::keyClick(edit, Qt::Key_Down);
    QCOMPARE(m_chooser.starts.size(), 1);
    QTest::mouseClick(edit->Button(), Qt::LeftButton);
    QCOMPARE(m_chooser.starts.size(), 2);
    // Without its button the field has no click key either.
    edit->Button()->hide();
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(m_chooser.starts.size(), 2);
}

void TestDirectoryEdit::keysReachWindowButtons_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("startClicks");
    QTest::addColumn<int>("cancelClicks");
    QTest::newRow("Esc, cancel enabled") << int(Qt::Key_Escape) << true << 0 << 1;
    QTest::newRow("Esc, cancel disabled") << int(Qt::Key_Escape) << false << 0 << 0;
    QTest::newRow("Enter: default button") << int(Qt::Key_Return) << true << 1 << 0;
}

void TestDirectoryEdit::keysReachWindowButtons()
{
    QFETCH(int, key);
    QFETCH(bool, enabled);
    QFETCH(int, startClicks);
    QFETCH(int, cancelClicks);
    // A main window's top panel: a start button made default for this test, a
    // cancel button that is enabled while a scan runs, and the folder field.
    QWidget window;
    auto* box = new QVBoxLayout(&window);
    auto* start = new TBitBtnXP(&window);
    start->setText(QStringLiteral("&Starten"));
    start->setKind(bkAll);
    start->setDefault(true);
    auto* cancel = new TBitBtnXP(&window);
    cancel->setText(QStringLiteral("Abbrechen"));
    cancel->setKind(bkCancel);
    cancel->setEnabled(enabled);
    auto* edit = new TDirectoryEdit(&window);
    for (QWidget* w : std::initializer_list<QWidget*>{start, cancel, edit})
        box->addWidget(w);
    window.show();
    edit->setText(QStringLiteral("/tmp"));
    QSignalSpy startSpy(start, &QAbstractButton::clicked);
    QSignalSpy cancelSpy(cancel, &QAbstractButton::clicked);
    QTest::keyClick(edit, Qt::Key(key));
    QCOMPARE(startSpy.count(), startClicks);
    QCOMPARE(cancelSpy.count(), cancelClicks);
    QCOMPARE(edit->text(), QStringLiteral("/tmp"));
}

void TestDirectoryEdit::drops_data()
{
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QString>("text");
    QTest::newRow("a folder") << false << QStringList{"@data"} << "@data";
    QTest::newRow("a file counts as its folder") << false << QStringList{"@data/f.txt"} << "@data";
    QTest::newRow("only the first") << false << QStringList{"@data", "/"} << "@data";
    QTest::newRow("all with several folders")
        << true << QStringList{"@data/f.txt", "/"} << "@data;/;/old";
}

void TestDirectoryEdit::drops()
{
    QFETCH(bool, multiple);
    QFETCH(QStringList, dropped);
    QFETCH(QString, text);
    QFile(m_data + QStringLiteral("/f.txt")).open(QIODevice::WriteOnly);
    for (QString& s : dropped)
        s.replace(QLatin1String("@data"), m_data);
    text.replace(QLatin1String("@data"), m_data);

    TDirectoryEdit edit;
    edit.setAcceptFiles(true);
    edit.setMultipleDirs(multiple);
    edit.setText(QStringLiteral("/old"));
    QStringList reported;
    edit.OnDropFiles = [&](const QStringList& paths) { reported = paths; };

    // Through a real drop event, as the desktop delivers it.
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& s : dropped)
        urls << QUrl::fromLocalFile(s);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&edit, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&edit, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(edit.text(), text);
    QCOMPARE(reported, dropped);
}

void TestDirectoryEdit::dropIgnoredWithoutAcceptFiles()
{
    TDirectoryEdit edit;
    edit.setText(QStringLiteral("/old"));
    bool fired = false;
    edit.OnDropFiles = [&](const QStringList&) { fired = true; };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(m_data)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&edit, &enter);
    QVERIFY(!enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&edit, &drop);
    QVERIFY(!drop.isAccepted());
    QCOMPARE(edit.text(), QStringLiteral("/old"));
    QVERIFY(!fired);
}

void TestDirectoryEdit::longName()
{
    TDirectoryEdit edit;
    edit.setText(m_dir.path() + QStringLiteral("/data/nosuch"));
    const QByteArray expected = QFile::encodeName(m_dir.path()) + "/Data/";
    QCOMPARE(edit.LongName(), expected);
    QCOMPARE(edit.ShortName(), expected);
}

void TestDirectoryEdit::directInput()
{
    TDirectoryEdit edit;
    edit.setText(QStringLiteral("/"));
    edit.setDirectInput(false);
    QTest::keyClicks(&edit, QStringLiteral("tmp"));
    QCOMPARE(edit.text(), QStringLiteral("/"));
    m_chooser.answer = {m_data, true};
    edit.ButtonClick();
    QCOMPARE(edit.text(), m_data);
    edit.setDirectInput(true);
    edit.setText(QString());
    QTest::keyClicks(&edit, QStringLiteral("/tmp"));
    QCOMPARE(edit.text(), QStringLiteral("/tmp"));
}

void TestDirectoryEdit::standardDialogsSpeakGerman()
{
    QVERIFY(InstallGermanTranslations(*qApp));
    // Qt's own buttons take Qt's German texts.
    QMessageBox box(QMessageBox::Question, QStringLiteral("Frage"), QStringLiteral("Wirklich?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Ja"));
    QCOMPARE(box.button(QMessageBox::No)->text().remove(u'&'), QStringLiteral("Nein"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(u'&'), QStringLiteral("Abbrechen"));
    // The folder chooser with its own labels.
    QStringList labels;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (auto label : {QFileDialog::LookIn, QFileDialog::FileName, QFileDialog::FileType,
                           QFileDialog::Accept, QFileDialog::Reject})
            labels << dialog->labelText(label);
        labels << dialog->windowTitle();
        dialog->reject();
    });
    const TDirectoryEdit::TChoice choice = TDirectoryEdit::ShowStandardChooser(
        nullptr, TDirectoryEdit::DialogTitle(), QDir::tempPath());
    QVERIFY(!choice.Confirmed);
    QCOMPARE(labels, (QStringList{"&Verzeichnisse:", "Verzeichnis&name:", "&Dateien: (*.*)", "OK",
                                  "Abbrechen", "Verzeichnis auswählen"}));
}

void TestDirectoryEdit::chooserAccessKeys_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("key");
    QTest::newRow("folders") << "&Verzeichnisse:" << int(Qt::Key_V);
    QTest::newRow("folder name") << "Verzeichnis&name:" << int(Qt::Key_N);
    QTest::newRow("files") << "&Dateien: (*.*)" << int(Qt::Key_D);
}

void TestDirectoryEdit::chooserAccessKeys()
{
    // A caption's "&" marks its access key: Alt and the letter put the focus into the
    // field beside it, and the caption shows no "&".
    QFETCH(QString, caption);
    QFETCH(int, key);
    QWidget* focused = nullptr;
    QWidget* buddy = nullptr;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (label->isVisible() && label->text() == caption)
                buddy = label->buddy();
        }
        dialog->activateWindow();
        if (QTest::qWaitForWindowActive(dialog)) {
            QTest::keyClick(dialog, Qt::Key(key), Qt::AltModifier);
            focused = QApplication::focusWidget();
        }
        dialog->reject();
    });
    TDirectoryEdit::ShowStandardChooser(nullptr, TDirectoryEdit::DialogTitle(), QDir::tempPath());
    QVERIFY2(buddy, "the caption shows its \"&\"");
    QCOMPARE(focused, buddy);
}

QTEST_MAIN(TestDirectoryEdit)
#include "tst_directoryedit.moc"
