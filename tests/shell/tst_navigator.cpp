// TShellNavigator over real folders: setting the folder (and failing to), enumeration
// with filters, names written as paths, columns, overlays, renaming without replacing,
// odd names, UI objects and a folder that vanishes while it is listed.

#include "platform/DirectorySearch.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"

#include "RawFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace shell;

namespace {

QList<QByteArray> onePass(TShellNavigator& nav)
{
    QList<QByteArray> out;
    while (nav.NextObject())
        out.append(nav.ObjectNameBytes());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

class TestNavigator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void startsInDrivesFolder();
    void sameFolderAgainDoesNothing();
    void missingFolderKeepsPrevious_data();
    void missingFolderKeepsPrevious();
    void driveRootAndDrivesFolder();
    void unmountedDriveKeepsPrevious();
    void filterRoundTrip_data();
    void filterRoundTrip();
    void filterEnumeration_data();
    void filterEnumeration();
    void nextObjectStartsOver();
    void fileSystemOnlyOnDesktop();
    void objectNameAsPath();
    void objectNameNotFound();
    void enterAndSelectInParent();
    void ordinaryFolder();
    void columns_data();
    void columns();
    void detailTexts();
    void overlays();
    void specialFolders();
    void oddNamesListedAndRenamed();
    void renameNeverReplaces();
    void uiObjects();
    void modifiedAndThumbnail();
    void linkTargetFolder();
    void folderVanishesWhileListed();
    void trashIsVirtual();
    void hostileNamesAndFiles_data();
    void hostileNamesAndFiles();

private:
    QTemporaryDir m_dir;
    QByteArray m_base;
    QByteArray m_folder; // refilled before each test
};

void TestNavigator::initTestCase()
{
    QVERIFY(ShellStartup());
    QVERIFY(m_dir.isValid());
    m_base = QFile::encodeName(m_dir.path());
}

void TestNavigator::init()
{
    static int round = 0;
    m_folder = m_base + "/t" + QByteArray::number(++round);
    QVERIFY(QDir().mkpath(QFile::decodeName(m_folder + "/sub")));
    for (const char* name : {"a.txt", "b.doc", "README", ".hidden"})
        writeFile(m_folder + '/' + name);
    QCOMPARE(::symlink("a.txt", (m_folder + "/link").constData()), 0);
}

void TestNavigator::cleanupTestCase()
{
    // Names that are not valid UTF-8 cannot be removed through QDir.
    QVERIFY(removeTree(m_base));
}

void TestNavigator::startsInDrivesFolder()
{
    TShellNavigator nav;
    QCOMPARE(nav.FolderPath(), QByteArray());
    QCOMPARE(nav.SpecialFolder(), SF_DRIVES);
    QVERIFY(!nav.HasObject());
    QVERIFY(nav.NextObject());
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("/"));
}

void TestNavigator::sameFolderAgainDoesNothing()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    QVERIFY(nav.NextObject());
    const QByteArray first = nav.ObjectNameBytes();
    nav.SetFolderPath(m_folder + "/");      // the same folder, spelt with its slash
    QCOMPARE(nav.ObjectNameBytes(), first); // the object stays, the pass goes on
    QVERIFY(nav.NextObject());
    QVERIFY(nav.ObjectNameBytes() != first);
    // Another letter case is another folder on Linux.
    QVERIFY_THROWS_EXCEPTION(EShellNavigatorError, nav.SetFolderPath(m_folder + "/SUB"));
}

void TestNavigator::missingFolderKeepsPrevious_data()
{
    // The message: the reason in German, a line break, the path as given.
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("reason");
    const QString notFound = QStringLiteral("Das System kann den angegebenen Pfad nicht finden.");
    QTest::newRow("missing") << QByteArray("/no/such/folder") << notFound;
    QTest::newRow("relative") << QByteArray("relative/path") << notFound;
    QTest::newRow("newline") << QByteArray("/no/such\nname") << notFound;
    QTest::newRow("a file") << QByteArray("FILE") << QStringLiteral("Der Pfad ist kein Ordner.");
    QTest::newRow("unreadable") << QByteArray("LOCKED") << QStringLiteral("Zugriff verweigert.");
}

void TestNavigator::missingFolderKeepsPrevious()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, reason);
    if (path == "FILE")
        path = m_folder + "/a.txt";
    // A folder that cannot be read, as the platform's seam makes it.
    if (path == "LOCKED") {
        path = m_folder + "/sub";
        platform::setFolderOpenHook(
            [](int, std::string_view name) { return !name.ends_with("/sub"); });
    }
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    nav.SetObjectNameBytes("a.txt");
    QString message;
    try {
        nav.SetFolderPath(path);
    } catch (const EShellNavigatorError& e) {
        message = e.message();
    }
    platform::setFolderOpenHook({});
    QCOMPARE(message, reason + u'\n' + QFile::decodeName(path));
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("a.txt"));
}

void TestNavigator::driveRootAndDrivesFolder()
{
    TShellNavigator nav;
    nav.SetFolderPath("//");
    QCOMPARE(nav.FolderPath(), QByteArray("/"));
    nav.SetFolderPath("/");
    QCOMPARE(nav.FolderPath(), QByteArray("/"));
    nav.SetFolderPath(m_folder);
    nav.SetFolderPath("");
    QCOMPARE(nav.FolderPath(), QByteArray());
    QCOMPARE(nav.SpecialFolder(), SF_DRIVES);
}

void TestNavigator::unmountedDriveKeepsPrevious()
{
    // A drive list kept from before its file system was unmounted: the folder that is
    // left at the mount point is not that drive.
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    const TIdList stale = TIdList::fromItems({"C", "D" + m_folder});
    QString message;
    try {
        nav.SetFolderIDList(stale);
    } catch (const EShellNavigatorError& e) {
        message = e.message();
    }
    QVERIFY2(message.startsWith(QStringLiteral("ShellNavigator.SetFolderIDList: ")),
             qPrintable(message));
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    // A malformed or absent list changes nothing either.
    nav.SetFolderIDList(TIdList());
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    QVERIFY_THROWS_EXCEPTION(EShellNavigatorError, nav.SetFolderIDList(TIdList::fromBytes(
                                                       QByteArray::fromHex("05006162"))));
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    nav.SetAbsoluteObjectIDList(TIdList::fromBytes(QByteArray::fromHex("01")));
    QCOMPARE(nav.FolderPath(), m_folder + "/");
}

void TestNavigator::filterRoundTrip_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("two") << "*.txt;*.doc"
                         << "*.txt;*.doc";
    QTest::newRow("star") << "*"
                          << "*";
    QTest::newRow("empty") << ""
                           << "*";
    QTest::newRow("empty piece kept") << "*.a;;*.b"
                                      << "*.a;;*.b";
    QTest::newRow("trailing separator") << "*.txt;"
                                        << "*.txt";
}

void TestNavigator::filterRoundTrip()
{
    QFETCH(QString, filter);
    TShellNavigator nav;
    nav.SetFilter(filter);
    QTEST(nav.Filter(), "readBack");
}

void TestNavigator::filterEnumeration_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QList<QByteArray>>("names");
    const QList<QByteArray> all{".hidden", "README", "a.txt", "b.doc", "link", "sub"};
    QTest::newRow("star") << "*" << all;
    QTest::newRow("empty") << "" << all;
    QTest::newRow("*.* needs a dot")
        << "*.*" << QList<QByteArray>{".hidden", "a.txt", "b.doc", "sub"};
    QTest::newRow("capitals") << "*.TXT" << QList<QByteArray>{"a.txt", "sub"};
    QTest::newRow("two") << "*.doc;read*" << QList<QByteArray>{"README", "b.doc", "sub"};
}

void TestNavigator::filterEnumeration()
{
    QFETCH(QString, filter);
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    nav.SetFilter(filter);
    QTEST(onePass(nav), "names");
}

void TestNavigator::nextObjectStartsOver()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    const QList<QByteArray> first = onePass(nav);
    QCOMPARE(first.size(), 6);
    QVERIFY(!nav.HasObject());
    // The call after the end begins a new pass with the first item.
    QCOMPARE(onePass(nav), first);
    QCOMPARE(onePass(nav), first);
    // SetFolderIDList with the navigator's own list starts the pass anew.
    QVERIFY(nav.NextObject());
    const QByteArray head = nav.ObjectNameBytes();
    nav.NextObject();
    nav.SetFolderIDList(nav.GetFolderIDList()); // a copy: the folder is set again
    QVERIFY(nav.NextObject());
    QCOMPARE(nav.ObjectNameBytes(), head);
}

void TestNavigator::fileSystemOnlyOnDesktop()
{
    TShellNavigator nav;
    nav.SetSpecialFolder(SF_DESKTOP);
    QCOMPARE(nav.SpecialFolder(), SF_DESKTOP);
    QStringList shown;
    while (nav.NextObject())
        shown << nav.DisplayName();
    QVERIFY(shown.contains(ComputerName()));
    QVERIFY(shown.contains(TrashName()));
    nav.SetFileSystemOnly(true);
    shown.clear();
    while (nav.NextObject())
        shown << nav.DisplayName();
    QVERIFY(shown.contains(ComputerName())); // the drives folder passes
    QVERIFY(!shown.contains(TrashName()));
    QVERIFY(shown.contains(QStringLiteral("Persönlicher Ordner")));
}

void TestNavigator::objectNameAsPath()
{
    TShellNavigator nav;
    nav.SetObjectNameBytes(m_folder + "/b.doc");
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("b.doc"));
    nav.SetObjectNameBytes("/");
    QCOMPARE(nav.FolderPath(), QByteArray());
    QCOMPARE(nav.SpecialFolder(), SF_DRIVES);
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("/"));
    QCOMPARE(nav.ObjectSpecialFolder(), SF_FILESYSTEMFOLDER);
    // A folder given with its trailing slash is the object, not the folder.
    nav.SetObjectNameBytes(m_folder + "/sub/");
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("sub"));
    QVERIFY(nav.IsFolder());
    nav.SetObjectNameBytes({});
    QVERIFY(!nav.HasObject());
    QCOMPARE(nav.ObjectNameBytes(), QByteArray());
    QCOMPARE(nav.DisplayName(), QString());
}

void TestNavigator::objectNameNotFound()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    QString message;
    try {
        nav.SetObjectNameBytes("nothing-here");
    } catch (const EShellNavigatorError& e) {
        message = e.message();
    }
    QCOMPARE(message, QStringLiteral("Error! Cannot find Object \"nothing-here\" in Folder \"") +
                          QFile::decodeName(m_folder) + QStringLiteral("/\""));
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    // A name the desktop only shows is found by enumeration.
    nav.SetSpecialFolder(SF_DESKTOP);
    nav.SetObjectName(ComputerName());
    QCOMPARE(nav.ObjectSpecialFolder(), SF_DRIVES);
    QVERIFY(nav.EnterObject());
    QCOMPARE(nav.SpecialFolder(), SF_DRIVES);
}

void TestNavigator::enterAndSelectInParent()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    nav.SetObjectNameBytes("a.txt");
    QVERIFY(!nav.EnterObject()); // a file
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    nav.SetObjectNameBytes("link");
    QVERIFY(!nav.EnterObject()); // links are not entered
    nav.SetObjectNameBytes("sub");
    QVERIFY(nav.EnterObject());
    QCOMPARE(nav.FolderPath(), m_folder + "/sub/");
    QVERIFY(nav.SelectFolderInParent());
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("sub"));
    // Going up from a drive's root reaches the drives folder with the drive current.
    nav.SetFolderPath("/");
    QVERIFY(nav.SelectFolderInParent());
    QCOMPARE(nav.SpecialFolder(), SF_DRIVES);
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("/"));
}

void TestNavigator::ordinaryFolder()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    QVERIFY(nav.IsOrdinaryFolder());
    QVERIFY(QDir().mkdir(QFile::decodeName(m_folder + "/archive.ZIP")));
    nav.SetFolderPath(m_folder + "/archive.ZIP");
    QVERIFY(!nav.IsOrdinaryFolder());
    nav.SetSpecialFolder(SF_DESKTOP);
    QVERIFY(!nav.IsOrdinaryFolder());
}

void TestNavigator::columns_data()
{
    QTest::addColumn<bool>("drives");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("align");
    QTest::addColumn<int>("width");
    QTest::newRow("name") << false << 0 << 0 << 210;
    QTest::newRow("size right") << false << 1 << 1 << 91;
    QTest::newRow("created hidden") << false << 4 << 0 << 0;
    QTest::newRow("owner hidden") << false << 5 << 0 << 0;
    QTest::newRow("no such column") << false << 42 << 0 << 120;
    QTest::newRow("drive free space") << true << 3 << 1 << 84;
}

void TestNavigator::columns()
{
    QFETCH(bool, drives);
    QFETCH(int, column);
    TShellNavigator nav;
    if (!drives)
        nav.SetFolderPath(m_folder);
    int width = -1;
    QTEST(nav.ColumnInfo(column, width), "align");
    QTEST(width, "width");
}

void TestNavigator::detailTexts()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    QString text = "stale";
    nav.DetailText(1, true, text);
    QCOMPARE(text, QStringLiteral("Größe"));
    nav.DetailText(1, false, text); // no object
    QCOMPARE(text, QString());
    nav.SetObjectNameBytes("sub");
    nav.DetailText(0, false, text);
    QCOMPARE(text, QStringLiteral("sub"));
    nav.DetailText(2, false, text);
    QCOMPARE(text, QStringLiteral("Dateiordner"));
    QVERIFY(nav.InfoTip(false).startsWith(QStringLiteral("Typ: Dateiordner")));
    nav.SetObjectNameBytes("a.txt");
    nav.DetailText(1, false, text);
    QCOMPARE(text, QStringLiteral("1 KB"));
    QVERIFY(nav.InfoTip(true).contains(QStringLiteral("Größe: 1 KB")));
}

void TestNavigator::overlays()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    QCOMPARE(nav.OverlayIndex(), -1); // no object
    nav.SetObjectNameBytes("link");
    QCOMPARE(nav.OverlayIndex(), 1);
    QVERIFY(nav.IsLink());
    nav.SetObjectNameBytes("a.txt");
    QCOMPARE(nav.OverlayIndex(), -1);
    QVERIFY(!nav.IsLink());
    nav.SetObjectNameBytes(".hidden");
    QVERIFY(nav.IsHidden());
    QVERIFY(nav.CanRename());
    QVERIFY(nav.ObjectIconIndex() >= 0);
}

void TestNavigator::specialFolders()
{
    TShellNavigator nav;
    nav.SetSpecialFolder(SF_DESKTOP);
    QCOMPARE(nav.SpecialFolder(), SF_DESKTOP);
    QCOMPARE(nav.FolderPath(), QByteArray());
    nav.SetSpecialFolder(SF_DRIVES);
    QCOMPARE(nav.SpecialFolder(), SF_DRIVES);
    nav.SetFolderPath(m_folder);
    nav.SetSpecialFolder(SF_PRINTERS); // none on Linux: nothing changes
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    QCOMPARE(nav.SpecialFolder(), SF_FILESYSTEMFOLDER);
    nav.BeginLoading();
    nav.SetSpecialFolder(SF_FILESYSTEMFOLDER); // while loading: the stored folder decides
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    nav.EndLoading();
}

void TestNavigator::oddNamesListedAndRenamed()
{
    const QByteArray odd = m_folder + "/odd";
    QVERIFY(QDir().mkdir(QFile::decodeName(odd)));
    writeFile(odd + "/\xff", "first");
    writeFile(odd + "/\xfe", "second");
    writeFile(odd + "/new\nline", "third");
    TShellNavigator nav;
    nav.SetFolderPath(odd);
    QCOMPARE(onePass(nav), (QList<QByteArray>{"new\nline", "\xfe", "\xff"}));
    nav.SetObjectNameBytes("\xff");
    QVERIFY(nav.DisplayName().contains(QChar(0xfffd)));
    QByteArray name = "renamed";
    QVERIFY(nav.RenameObject(name));
    QCOMPARE(name, QByteArray("renamed"));
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("renamed"));
    QCOMPARE(readFile(odd + "/renamed"), QByteArray("first"));
    QCOMPARE(readFile(odd + "/\xfe"), QByteArray("second"));
    QCOMPARE(readFile(odd + "/\xff"), QByteArray("<missing>"));
    // And back to a name that is not valid UTF-8.
    name = "\xfd";
    QVERIFY(nav.RenameObject(name));
    QCOMPARE(readFile(odd + "/\xfd"), QByteArray("first"));
}

void TestNavigator::renameNeverReplaces()
{
    writeFile(m_folder + "/one", "1");
    writeFile(m_folder + "/two", "2");
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    nav.SetObjectNameBytes("one");
    QByteArray name = "two";
    QVERIFY(!nav.RenameObject(name));
    QCOMPARE(name, QByteArray("one"));
    QCOMPARE(nav.LastError(), int(EEXIST));
    QCOMPARE(readFile(m_folder + "/one"), QByteArray("1"));
    QCOMPARE(readFile(m_folder + "/two"), QByteArray("2"));
    // A folder onto an existing folder, and a text rename that keeps the old name.
    nav.SetObjectNameBytes("sub");
    QVERIFY(QDir().mkdir(QFile::decodeName(m_folder + "/other")));
    QString text = QStringLiteral("other");
    QVERIFY(!nav.RenameObject(text));
    QCOMPARE(text, QStringLiteral("sub"));
    QVERIFY(QFileInfo(QFile::decodeName(m_folder + "/sub")).isDir());
}

void TestNavigator::uiObjects()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    nav.SetObjectNameBytes("a.txt");
    auto single = nav.GetUIObject(TUIObjectKind::ContextMenu);
    QVERIFY(single);
    QCOMPARE(single->paths(), (TFileNames{m_folder + "/a.txt"}));
    nav.MultiObjects() = TFileNames{"b.doc", m_folder + "/sub/", "README"};
    auto several = nav.GetUIObject(TUIObjectKind::DataObject);
    QVERIFY(several);
    QCOMPARE(several->kind(), TUIObjectKind::DataObject);
    QCOMPARE(several->paths(),
             (TFileNames{m_folder + "/b.doc", m_folder + "/sub", m_folder + "/README"}));
    QVERIFY(nav.MultiObjects().isEmpty());
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("a.txt")); // the current object is put back
    nav.MultiObjects() = TFileNames{"b.doc", "missing"};
    QVERIFY(!nav.GetUIObject(TUIObjectKind::ContextMenu));
    QVERIFY(nav.MultiObjects().isEmpty());
    QVERIFY(nav.LastError() != 0);
    // A missing name in another folder: the navigator is put back all the same.
    nav.MultiObjects() = TFileNames{"b.doc", m_folder + "/sub/missing"};
    QVERIFY(!nav.GetUIObject(TUIObjectKind::ContextMenu));
    QCOMPARE(nav.FolderPath(), m_folder + "/");
    QCOMPARE(nav.ObjectNameBytes(), QByteArray("a.txt"));
    nav.SetObjectNameBytes({});
    QVERIFY(!nav.GetUIObject(TUIObjectKind::DropTarget));
}

void TestNavigator::modifiedAndThumbnail()
{
    const QByteArray picture = m_folder + "/bild.png";
    QImage img(400, 100, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(QFile::decodeName(picture), "PNG"));
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, picture.constData(), times, 0), 0);
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    nav.SetObjectNameBytes("bild.png");
    QCOMPARE(nav.ObjectModified(), QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    QCOMPARE(nav.ObjectModified().timeSpec(), Qt::UTC);
    const QImage thumb = nav.ExtractThumbnail(0, 0);
    QCOMPARE(thumb.size(), QSize(200, 50));
    QCOMPARE(thumb.pixelColor(100, 25), QColor(Qt::red));
    QCOMPARE(nav.ExtractThumbnail(40, 40).size(), QSize(40, 10));
    nav.SetObjectNameBytes("a.txt");
    QVERIFY(nav.ExtractThumbnail(100, 100).isNull());
    nav.SetObjectNameBytes("sub");
    QVERIFY(nav.ExtractThumbnail(100, 100).isNull());
}

void TestNavigator::linkTargetFolder()
{
    QCOMPARE(::symlink("sub", (m_folder + "/tosub").constData()), 0);
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    nav.SetObjectNameBytes("tosub");
    QCOMPARE(nav.LinkTargetFolder(), m_folder + "/sub");
    nav.SetObjectNameBytes("link"); // to a file
    QCOMPARE(nav.LinkTargetFolder(), QByteArray());
    nav.SetObjectNameBytes("sub"); // no link
    QCOMPARE(nav.LinkTargetFolder(), QByteArray());
}

void TestNavigator::folderVanishesWhileListed()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_folder);
    const QList<QByteArray> listed = onePass(nav);
    QVERIFY(nav.NextObject());
    QVERIFY(removeTree(m_folder));
    // The pass that was under way may still hand out entries it had read, each under
    // its own name; nothing else, and a new pass over the vanished folder gives nothing.
    while (nav.NextObject())
        QVERIFY2(listed.contains(nav.ObjectNameBytes()), nav.ObjectNameBytes().constData());
    QVERIFY(!nav.NextObject());
    QCOMPARE(nav.FolderPath(), m_folder + "/");
}

void TestNavigator::trashIsVirtual()
{
    const QByteArray data = m_base + "/data";
    QVERIFY(QDir().mkpath(QFile::decodeName(data + "/Trash/files/old folder")));
    writeFile(data + "/Trash/files/old.txt", "gone");
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data);
    // A record in the trash gives the name the object had; without one it keeps its own.
    QVERIFY(QDir().mkpath(QFile::decodeName(data + "/Trash/info")));
    writeFile(data + "/Trash/info/old folder.trashinfo",
              "[Trash Info]\nPath=/home/x/Bilder%20alt\nDeletionDate=2024-01-02T03:04:05\n");
    TShellNavigator nav;
    nav.SetSpecialFolder(SF_BITBUCKET);
    QCOMPARE(nav.SpecialFolder(), SF_BITBUCKET);
    QCOMPARE(nav.FolderPath(), QByteArray()); // no path of its own
    // Its objects are named by their paths: the trashes of several file systems may hold
    // objects of one name.
    QList<QByteArray> listed = onePass(nav);
    QVERIFY2(listed.contains(data + "/Trash/files/old folder"), listed.join(' ').constData());
    QVERIFY(listed.contains(data + "/Trash/files/old.txt"));
    nav.SetObjectNameBytes(data + "/Trash/files/old folder");
    QCOMPARE(nav.DisplayName(), QStringLiteral("Bilder alt"));
    QCOMPARE(nav.FolderPath(), QByteArray()); // a path of the trash stays in the trash
    nav.SetObjectNameBytes("old.txt");
    QCOMPARE(nav.DisplayName(), QStringLiteral("old.txt"));
    QVERIFY(!nav.CanRename()); // its record in the trash names it
    QByteArray name = "new.txt";
    QVERIFY(!nav.RenameObject(name));
    QCOMPARE(readFile(data + "/Trash/files/old.txt"), QByteArray("gone"));
    nav.SetObjectNameBytes("old folder");
    QVERIFY(nav.EnterObject());
    QCOMPARE(nav.FolderPath(), data + "/Trash/files/old folder/");
    qputenv("XDG_DATA_HOME", saved);
    if (saved.isEmpty())
        qunsetenv("XDG_DATA_HOME");
}

void TestNavigator::hostileNamesAndFiles_data()
{
    // Entries are "f:" files, "d:" folders, "p:" named pipes. `ask` is looked up as
    // raw bytes, `askText` as typed text; `found` is what must become current, empty
    // when the lookup must fail.
    QTest::addColumn<bool>("deep");
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<QByteArray>("ask");
    QTest::addColumn<QString>("askText");
    QTest::addColumn<QByteArray>("found");
    QTest::newRow("missing invalid name never picks a neighbour")
        << false << QList<QByteArray>{"f:\xff\x01", "f:plain"} << QByteArray("\xfe\x01")
        << QString() << QByteArray();
    QTest::newRow("text that reads like an invalid name picks nothing")
        << false << QList<QByteArray>{"f:\xff\x01"} << QByteArray() << QStringLiteral("\ufffd\x01")
        << QByteArray();
    QTest::newRow("invalid name found by its bytes")
        << false << QList<QByteArray>{"f:\xfe\x01", "f:\xff\x01"} << QByteArray("\xff\x01")
        << QString() << QByteArray("\xff\x01");
    QTest::newRow("names that begin with two dots")
        << false << QList<QByteArray>{"f:..foo", "d:..bar", "f:...", "f:.."} << QByteArray("..bar")
        << QString() << QByteArray("..bar");
    QTest::newRow("named pipes are no pictures")
        << false << QList<QByteArray>{"p:pipe.png", "p:pipe.jpg"} << QByteArray("pipe.png")
        << QString() << QByteArray("pipe.png");
    QTest::newRow("children past PATH_MAX")
        << true
        << QList<QByteArray>{"f:" + QByteArray(200, 'a'), "f:" + QByteArray(200, 'b'),
                             "d:" + QByteArray(200, 'c')}
        << QByteArray(200, 'b') << QString() << QByteArray(200, 'b');
}

void TestNavigator::hostileNamesAndFiles()
{
    QFETCH(bool, deep);
    QFETCH(QList<QByteArray>, entries);
    QFETCH(QByteArray, ask);
    QFETCH(QString, askText);
    QFETCH(QByteArray, found);
    // The folder; a deep one ends 200 bytes short of PATH_MAX, so that every child's
    // full path is longer than the kernel takes.
    QByteArray folder = m_folder + "/hostile";
    QCOMPARE(::mkdir(folder.constData(), 0755), 0);
    while (deep && folder.size() < PATH_MAX - 200) {
        folder += '/' + QByteArray(qMin<qsizetype>(200, PATH_MAX - 200 - folder.size()), 'x');
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
    }
    const int dirFd = ::open(folder.constData(), O_PATH | O_DIRECTORY);
    QVERIFY(dirFd >= 0);
    QList<QByteArray> expected;
    for (const QByteArray& e : entries) {
        const QByteArray name = e.mid(2);
        int rc = 0;
        if (e.startsWith("d:"))
            rc = ::mkdirat(dirFd, name.constData(), 0755);
        else if (e.startsWith("p:"))
            rc = ::mkfifoat(dirFd, name.constData(), 0644);
        else if (name != "..")
            rc = ::close(::openat(dirFd, name.constData(), O_CREAT | O_WRONLY, 0644));
        QCOMPARE(rc, 0);
        if (name != "..")
            expected.append(name);
    }
    ::close(dirFd);
    std::sort(expected.begin(), expected.end());

    TShellNavigator nav;
    nav.SetFolderPath(folder);
    QCOMPARE(onePass(nav), expected);

    bool threw = false;
    try {
        if (askText.isNull())
            nav.SetObjectNameBytes(ask);
        else
            nav.SetObjectName(askText);
    } catch (const EShellNavigatorError&) {
        threw = true;
    }
    QCOMPARE(threw, found.isEmpty());
    if (!found.isEmpty()) {
        QCOMPARE(nav.ObjectNameBytes(), found);
        QCOMPARE(nav.GetUIObject(TUIObjectKind::ContextMenu)->paths().value(0),
                 folder + '/' + found);
    }

    // Every entry answers at once and is no picture; a pipe is never opened for reading
    // (that would wait for a writer for ever).
    for (const QByteArray& name : expected) {
        nav.SetObjectNameBytes(name);
        std::atomic_bool done = false;
        QImage thumb;
        std::thread worker([&] {
            thumb = nav.ExtractThumbnail(64, 64);
            done = true;
        });
        QDeadlineTimer deadline(5000);
        while (!done && !deadline.hasExpired())
            QThread::msleep(5);
        const bool answered = done;
        if (!answered) // let a reader stuck on a pipe go before failing
            ::close(::open((folder + '/' + name).constData(), O_WRONLY | O_NONBLOCK));
        worker.join();
        QVERIFY2(answered, name.constData());
        QVERIFY(thumb.isNull());
        QVERIFY(nav.ObjectModified().isValid());
    }
}

QTEST_MAIN(TestNavigator)
#include "tst_navigator.moc"
