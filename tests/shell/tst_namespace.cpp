// The namespace: parsing paths into identifier lists and back, comparing lists, special
// folders, attributes, listing and renaming through folder objects, and lists that must
// name nothing rather than a wrong object.

#include "shell/IDComparer.h"
#include "shell/MimeTypeCache.h"
#include "shell/ShellFolderObject.h"
#include "shell/ShellNamespace.h"
#include "shell/ShellPaths.h"

#include "RawFiles.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace shell;

namespace {

QList<QByteArray> names(ShellFolderObject& folder)
{
    QList<QByteArray> out;
    auto e = folder.enumObjects();
    if (!e)
        return out;
    for (TIdList item = e->next(); !item.isNull(); item = e->next())
        out.append(folder.locate(item)->name);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

class TestNamespace : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void roundTrip_data();
    void roundTrip();
    void desktopAndDrivesRoundTrip();
    void badPaths_data();
    void badPaths();
    void listsThatNameNothing_data();
    void listsThatNameNothing();
    void oddNamesStayApart();
    void childLists_data();
    void childLists();
    void compareByColumn();
    void wholeFolderInTheOrderOfTwo_data();
    void wholeFolderInTheOrderOfTwo();
    void specialFolders();
    void attributes();
    void bindOnlyFolders();
    void listing();
    void renameRefusesBadNames();
    void renameFailureKeepsName();
    void typesByName_data();
    void typesByName();
    void listedItems();
    void sizeTexts_data();
    void sizeTexts();

private:
    QTemporaryDir m_dir;
    QByteArray m_base;
};

void TestNamespace::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_base = QFile::encodeName(m_dir.path());
    QVERIFY(QDir().mkpath(m_dir.filePath("folder/sub")));
    writeFile(m_base + "/folder/file.txt", "0123456789");
    writeFile(m_base + "/folder/nine", "012345678");
    writeFile(m_base + "/folder/.hidden", "h");
    writeFile(m_base + "/folder/line\nbreak", "n");
    QCOMPARE(::symlink("file.txt", (m_base + "/folder/link").constData()), 0);
    QCOMPARE(::symlink("gone", (m_base + "/folder/dangling").constData()), 0);
}

void TestNamespace::cleanupTestCase()
{
    // Names that are not valid UTF-8 cannot be removed through QDir.
    QVERIFY(removeTree(m_base));
}

void TestNamespace::roundTrip_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("file") << QByteArray("folder/file.txt") << QByteArray("folder/file.txt");
    QTest::newRow("folder, trailing slash")
        << QByteArray("folder/sub/") << QByteArray("folder/sub");
    QTest::newRow("double slashes") << QByteArray("folder//sub/./") << QByteArray("folder/sub");
    QTest::newRow("newline in name")
        << QByteArray("folder/line\nbreak") << QByteArray("folder/line\nbreak");
    QTest::newRow("dangling link")
        << QByteArray("folder/dangling") << QByteArray("folder/dangling");
    QTest::newRow("drive root") << QByteArray("/") << QByteArray("/");
    QTest::newRow("drives folder") << QByteArray("") << QByteArray("");
}

void TestNamespace::roundTrip()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, expected);
    auto full = [this](const QByteArray& p) {
        return p.isEmpty() || p.startsWith('/') ? p : m_base + '/' + p;
    };
    const TIdList list = IDListFromPath(full(path));
    QVERIFY(!list.isNull());
    QCOMPARE(PathFromIDList(list), full(expected));
    const TIdList again = IDListFromPath(PathFromIDList(list));
    QVERIFY(!again.isNull());
    QCOMPARE(CompareIDs(0, list, again), 0);
    QCOMPARE(again.block(), list.block());
    if (path.isEmpty()) {
        QCOMPARE(IDListCount(list), 1);
        QCOMPARE(SpecialFolderOf(list), SF_DRIVES);
    } else {
        // The drives folder, the drive, then one item per component below the drive.
        const QByteArray p = full(expected);
        const QByteArray drive = DrivePart(p);
        const int below = p == drive ? 0 : int(p.mid(drive == "/" ? 0 : drive.size()).count('/'));
        QCOMPARE(IDListCount(list), 2 + below);
        QCOMPARE(IsDriveRoot(PathFromIDList(list)), below == 0);
    }
}

void TestNamespace::desktopAndDrivesRoundTrip()
{
    const TIdList desktop = SpecialFolderIDList(SF_DESKTOP);
    QCOMPARE(PathFromIDList(desktop), QByteArray()); // virtual: no path
    QCOMPARE(ResolveIDList(desktop)->kind, ShellLocation::Desktop);
    QCOMPARE(CompareIDs(0, desktop, TIdList::empty()), 0);
    QVERIFY(CompareIDs(0, desktop, IDListFromPath("")) != 0);
    // Every child of the desktop that has a path parses back to the same object.
    const auto desk = ShellFolderObject::desktop();
    auto e = desk->enumObjects();
    int withPath = 0;
    for (TIdList child = e->next(); !child.isNull(); child = e->next()) {
        const TIdList absolute = ConcatIDLists(desktop, child);
        const QByteArray path = PathFromIDList(absolute);
        if (path.isEmpty())
            continue;
        ++withPath;
        QCOMPARE(CompareIDs(0, IDListFromPath(path), absolute), 0);
    }
    QVERIFY(withPath >= 1); // the home folder at least
    // Every drive parses to a two-item list and back to its mount point.
    for (const QByteArray& mp : DriveMountPoints()) {
        const TIdList drive = IDListFromPath(mp);
        QCOMPARE(IDListCount(drive), 2);
        QCOMPARE(PathFromIDList(drive), mp);
        QCOMPARE(IDListFromPath(WithTrailingSlash(mp)).block(), drive.block());
    }
}

void TestNamespace::badPaths_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("error");
    QTest::newRow("relative") << QByteArray("folder/file.txt") << int(EINVAL);
    QTest::newRow("dot dot") << QByteArray("/tmp/../etc") << int(EINVAL);
    QTest::newRow("missing") << QByteArray("/no/such/place/here") << int(ENOENT);
    QTest::newRow("NUL") << QByteArray("/tmp\0x", 6) << int(EINVAL);
}

void TestNamespace::badPaths()
{
    QFETCH(QByteArray, path);
    int error = 0;
    QVERIFY(IDListFromPath(path, &error).isNull());
    QTEST(error, "error");
}

void TestNamespace::listsThatNameNothing_data()
{
    QTest::addColumn<QList<QByteArray>>("items");
    QTest::newRow("slash in name") << QList<QByteArray>{"C", "D/", "Fetc/passwd"};
    QTest::newRow("dot dot") << QList<QByteArray>{"C", "D/", "Ftmp", "F.."};
    QTest::newRow("empty item") << QList<QByteArray>{"C", ""};
    QTest::newRow("entry on desktop") << QList<QByteArray>{"Fetc"};
    QTest::newRow("relative drive") << QList<QByteArray>{"C", "Dtmp"};
    QTest::newRow("drive with dot dot") << QList<QByteArray>{"C", "D/tmp/.."};
    QTest::newRow("unknown tag") << QList<QByteArray>{"Z"};
    QTest::newRow("NUL in name") << QList<QByteArray>{"C", "D/", QByteArray("Ftmp\0x", 6)};
}

void TestNamespace::listsThatNameNothing()
{
    QFETCH(QList<QByteArray>, items);
    const TIdList list = TIdList::fromItems(items);
    QVERIFY(!ResolveIDList(list).has_value());
    QCOMPARE(PathFromIDList(list), QByteArray());
    QVERIFY(!ShellFolderObject::bind(list));
    QCOMPARE(SpecialFolderOf(list), SF_FILESYSTEMFOLDER);
    QVERIFY(CompareIDs(0, list, IDListFromPath("/")) != 0);
}

void TestNamespace::oddNamesStayApart()
{
    // Two names that are not valid UTF-8 and read alike once decoded.
    const QByteArray a = m_base + "/folder/\xff.bin", b = m_base + "/folder/\xfe.bin";
    writeFile(a, "first");
    writeFile(b, "second");
    QCOMPARE(QFile::decodeName(a), QFile::decodeName(b));
    const TIdList la = IDListFromPath(a), lb = IDListFromPath(b);
    QVERIFY(!la.isNull() && !lb.isNull());
    QCOMPARE(PathFromIDList(la), a);
    QCOMPARE(PathFromIDList(lb), b);
    for (int column = 0; column < 4; ++column)
        QVERIFY(CompareIDs(column, la, lb) != 0);
    QCOMPARE(CompareIDs(0, la, lb), -CompareIDs(0, lb, la));
    QCOMPARE(readFile(PathFromIDList(la)), QByteArray("first"));
    QVERIFY(::unlink(a.constData()) == 0 && ::unlink(b.constData()) == 0);
}

void TestNamespace::childLists_data()
{
    QTest::addColumn<QByteArray>("parent");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("path"); // empty: no list
    QTest::addColumn<char>("tag");
    const QByteArray folder = m_base + "/folder";
    QTest::newRow("gone file") << folder << QByteArray("gone.txt") << folder + "/gone.txt" << 'F';
    QTest::newRow("desktop entry")
        << QByteArray("desktop") << QByteArray("x") << DesktopFolder() + "/x" << 'E';
    QTest::newRow("drive") << QByteArray("computer") << QByteArray("/mnt/usb")
                           << QByteArray("/mnt/usb") << 'D';
    QTest::newRow("in the trash") << QByteArray("trash") << QByteArray("old")
                                  << TrashFilesFolder() + "/old" << 'F';
    QTest::newRow("dot dot") << folder << QByteArray("..") << QByteArray() << '\0';
    QTest::newRow("slash") << folder << QByteArray("a/b") << QByteArray() << '\0';
    QTest::newRow("no name") << folder << QByteArray() << QByteArray() << '\0';
    QTest::newRow("relative drive")
        << QByteArray("computer") << QByteArray("mnt") << QByteArray() << '\0';
    QTest::newRow("no parent") << QByteArray("absent") << QByteArray("x") << QByteArray() << '\0';
}

void TestNamespace::childLists()
{
    QFETCH(QByteArray, parent);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, path);
    QFETCH(char, tag);
    TIdList folder;
    if (parent == "desktop")
        folder = TIdList::empty();
    else if (parent == "computer")
        folder = IDListFromPath({});
    else if (parent == "trash")
        folder = TIdList::fromItems({"T"});
    else if (parent != "absent")
        folder = IDListFromPath(parent);
    const TIdList child = ChildIDList(folder, name);
    QCOMPARE(PathFromIDList(child), path);
    QCOMPARE(child.isNull(), path.isEmpty());
    if (!child.isNull()) {
        QCOMPARE(IDListCount(child), IDListCount(folder) + 1);
        QCOMPARE(LastIDListItem(child).itemData(0), QByteArray(1, tag) + name);
    }
    // The directory that holds the children.
    const QByteArray expected = parent == "trash"        ? TrashFilesFolder()
                                : parent == "desktop"    ? DesktopFolder()
                                : parent.startsWith('/') ? parent
                                                         : QByteArray();
    if (parent != "desktop" || DesktopFolder() != HomeFolder())
        QCOMPARE(ChildrenDirectory(folder), expected);
}

void TestNamespace::compareByColumn()
{
    const TIdList folder = IDListFromPath(m_base + "/folder/sub");
    const TIdList ten = IDListFromPath(m_base + "/folder/file.txt");
    const TIdList nine = IDListFromPath(m_base + "/folder/nine");
    // Name: folders before files, whatever their names.
    QVERIFY(CompareIDs(0, folder, ten) < 0);
    QVERIFY(CompareIDs(0, ten, folder) > 0);
    QVERIFY(CompareIDs(0, ten, nine) < 0); // "file.txt" before "nine"
    // Size by value: 9 bytes before 10 bytes, though "10" < "9" as text.
    QVERIFY(CompareIDs(1, nine, ten) < 0);
    QVERIFY(CompareIDs(1, ten, nine) > 0);
    // Date by value.
    const QByteArray older = m_base + "/folder/nine", newer = m_base + "/folder/file.txt";
    struct timespec times[2] = {{1000, 0}, {1000, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, older.constData(), times, 0), 0);
    times[0].tv_sec = times[1].tv_sec = 2000000000;
    QCOMPARE(::utimensat(AT_FDCWD, newer.constData(), times, 0), 0);
    QVERIFY(CompareIDs(3, nine, ten) < 0);
    QVERIFY(CompareIDs(3, ten, nine) > 0);
    // The same object through two spellings compares equal by name.
    const TIdList home = TIdList::fromItems({QByteArray(1, item::Home)});
    QCOMPARE(CompareIDs(0, home, IDListFromPath(HomeFolder())), 0);
}

void TestNamespace::wholeFolderInTheOrderOfTwo_data()
{
    QTest::addColumn<int>("column");
    for (int column = 0; column < 4; ++column)
        QTest::addRow("column %d", column) << column;
}

void TestNamespace::wholeFolderInTheOrderOfTwo()
{
    // A folder sorted at once (facts and name keys made once per item) stands in the
    // order that CompareIDs gives any two of its items: folders, case, numbers, names
    // that read alike, equal sizes and dates, links, plain and listed items.
    QFETCH(int, column);
    const QByteArray folder = m_base + "/order" + QByteArray::number(column);
    QVERIFY(QDir().mkpath(QFile::decodeName(folder + "/Zebra")));
    QVERIFY(QDir().mkpath(QFile::decodeName(folder + "/alpha")));
    const QList<std::pair<QByteArray, int>> files{
        {"datei 9.txt", 9}, {"Datei 10.txt", 10}, {"datei 10.txt", 10}, {"\xff.txt", 3},
        {"\xfe.txt", 3},    {"bild.PNG", 4},      {"bild.png", 5},      {"ohne", 0}};
    for (const auto& [name, size] : files)
        writeFile(folder + '/' + name, QByteArray(size, 'x'));
    QCOMPARE(::symlink("ohne", (folder + "/verweis").constData()), 0);
    const TIdList folderList = IDListFromPath(folder);
    const auto shellFolder = ShellFolderObject::bind(folderList);
    std::vector<TIdList> items;
    auto e = shellFolder->enumObjects();
    for (TIdList item = e->next(); !item.isNull(); item = e->next())
        items.push_back(item);
    items.push_back(TIdList::fromItems({"Fohne"})); // the same object as a plain item
    items.push_back(TIdList());                     // names nothing
    TIDComparer comparer(shellFolder, column);
    comparer.prepare(items.size(), [&](size_t i) -> const TIdList& { return items[i]; });
    for (size_t a = 0; a < items.size(); ++a) {
        for (size_t b = 0; b < items.size(); ++b) {
            const int expected =
                items[a].isNull() || items[b].isNull()
                    ? (items[a].isNull() == items[b].isNull() ? 0 : (items[a].isNull() ? 1 : -1))
                    : CompareIDs(column, ConcatIDLists(folderList, items[a]),
                                 ConcatIDLists(folderList, items[b]));
            QVERIFY2(comparer.compare(a, b) == expected,
                     qPrintable(QStringLiteral("%1 vs %2").arg(a).arg(b)));
        }
    }
}

void TestNamespace::specialFolders()
{
    QCOMPARE(SpecialFolderOf(TIdList::empty()), SF_DESKTOP);
    QCOMPARE(SpecialFolderOf(IDListFromPath("")), SF_DRIVES);
    QCOMPARE(SpecialFolderOf(SpecialFolderIDList(SF_BITBUCKET)), SF_BITBUCKET);
    QCOMPARE(SpecialFolderOf(IDListFromPath(m_base)), SF_FILESYSTEMFOLDER);
    QCOMPARE(SpecialFolderOf(TIdList()), SF_FILESYSTEMFOLDER);
    // Kinds Linux has no counterpart for are absent.
    for (TShellFolder k : {SF_CONTROLS, SF_PRINTERS, SF_NETHOOD, SF_NETWORK, SF_COOKIES})
        QVERIFY(SpecialFolderIDList(k).isNull());
    QCOMPARE(SpecialFolderIDList(SF_FILESYSTEMFOLDER).block(),
             SpecialFolderIDList(SF_DRIVES).block());
    QCOMPARE(IDListSize(SpecialFolderIDList(SF_DESKTOP)), 2);
    // A mapped folder that exists is found again.
    const QByteArray cache = SpecialFolderPath(SF_INTERNET_CACHE).value();
    if (PathExists(cache))
        QCOMPARE(SpecialFolderOf(IDListFromPath(cache)), SF_INTERNET_CACHE);
}

void TestNamespace::attributes()
{
    const auto folder = ShellFolderObject::bind(IDListFromPath(m_base + "/folder"));
    QVERIFY(folder);
    auto attrs = [&](const QByteArray& name) {
        return folder->attributesOf(folder->parseDisplayName(name), 0xffffffffu);
    };
    const std::uint32_t sub = attrs("sub"), file = attrs("file.txt"), link = attrs("link"),
                        hidden = attrs(".hidden");
    QVERIFY(sub & SFGAO_FOLDER);
    QVERIFY(sub & SFGAO_FILESYSANCESTOR);
    QVERIFY(!(file & SFGAO_FOLDER));
    QVERIFY(file & SFGAO_FILESYSTEM);
    QVERIFY(file & SFGAO_CANRENAME);
    QVERIFY(file & SFGAO_CANDELETE);
    QVERIFY(link & SFGAO_LINK);
    QVERIFY(!(link & SFGAO_FOLDER));
    QVERIFY(hidden & SFGAO_HIDDEN);
    QVERIFY(!(file & SFGAO_HIDDEN));
    for (std::uint32_t a : {sub, file, link, hidden})
        QCOMPARE(a & (SFGAO_COMPRESSED | SFGAO_ENCRYPTED), 0u);
    QCOMPARE(folder->attributesOf(folder->parseDisplayName("file.txt"), SFGAO_LINK), 0u);
    QCOMPARE(folder->overlayIndex(folder->parseDisplayName("link")), 1);
    QCOMPARE(folder->overlayIndex(folder->parseDisplayName("file.txt")), -1);
    // Drives and virtual folders cannot be renamed.
    const auto drives = ShellFolderObject::bind(IDListFromPath(""));
    const std::uint32_t root = drives->attributesOf(drives->parseDisplayName("/"), 0xffffffffu);
    QVERIFY(root & SFGAO_FOLDER);
    QVERIFY(!(root & SFGAO_CANRENAME));
    const auto desk = ShellFolderObject::desktop();
    QVERIFY(
        !(desk->attributesOf(SpecialFolderIDList(SF_BITBUCKET), 0xffffffffu) & SFGAO_FILESYSTEM));
}

void TestNamespace::bindOnlyFolders()
{
    int error = 0;
    QVERIFY(!ShellFolderObject::bind(IDListFromPath(m_base + "/folder/file.txt"), &error));
    QCOMPARE(error, int(ENOTDIR));
    // A drive that is no longer mounted: its empty mount folder is not that drive.
    QVERIFY(!ShellFolderObject::bind(TIdList::fromItems({"C", "D" + m_base}), &error));
    QVERIFY(!ShellFolderObject::bind(TIdList()));
    QVERIFY(ShellFolderObject::bind(TIdList::empty()) == ShellFolderObject::desktop());
}

void TestNamespace::listing()
{
    const auto folder = ShellFolderObject::bind(IDListFromPath(m_base + "/folder"));
    QVERIFY(folder);
    const QList<QByteArray> got = names(*folder);
    QVERIFY(got.contains(".hidden"));
    QVERIFY(got.contains("line\nbreak"));
    QVERIFY(got.contains("dangling"));
    QVERIFY(got.contains("sub"));
    QVERIFY(!got.contains("."));
    // The drives folder holds "/"; the desktop the drives folder, home and trash.
    auto drives = ShellFolderObject::bind(IDListFromPath(""));
    auto e = drives->enumObjects();
    QCOMPARE(drives->locate(e->next())->path, QByteArray("/"));
    auto de = ShellFolderObject::desktop()->enumObjects();
    QCOMPARE(ShellFolderObject::desktop()->displayNameOf(de->next()), ComputerName());
    // A folder removed before it is listed gives no listing.
    QVERIFY(QDir().mkdir(m_dir.filePath("gone")));
    const auto gone = ShellFolderObject::bind(IDListFromPath(m_base + "/gone"));
    QVERIFY(gone);
    QVERIFY(QDir().rmdir(m_dir.filePath("gone")));
    QVERIFY(!gone->enumObjects());
    QCOMPARE(gone->attributesOf(TIdList::fromItems({"Fx"}), 0xffffffffu), 0u);
}

void TestNamespace::renameRefusesBadNames()
{
    writeFile(m_base + "/folder/keep-a", "A");
    const auto folder = ShellFolderObject::bind(IDListFromPath(m_base + "/folder"));
    const TIdList a = folder->parseDisplayName("keep-a");
    int error = 0;
    // Names that would leave the folder, or that the kernel cannot take.
    for (const QByteArray& bad :
         {QByteArray("../x"), QByteArray(""), QByteArray(".."), QByteArray("a\0b", 3)}) {
        QVERIFY(folder->setNameOf(a, bad, &error).isNull());
        QCOMPARE(error, int(EINVAL));
    }
    QCOMPARE(readFile(m_base + "/folder/keep-a"), QByteArray("A"));
}

void TestNamespace::renameFailureKeepsName()
{
    writeFile(m_base + "/folder/locked", "L");
    const auto folder = ShellFolderObject::bind(IDListFromPath(m_base + "/folder"));
    ShellFolderObject::setRenameCall([](const QByteArray&, const QByteArray&) { return EACCES; });
    int error = 0;
    const TIdList result = folder->setNameOf(folder->parseDisplayName("locked"), "free", &error);
    ShellFolderObject::setRenameCall({});
    QVERIFY(result.isNull());
    QCOMPARE(error, int(EACCES));
    QVERIFY(PathExists(m_base + "/folder/locked"));
    QVERIFY(!PathExists(m_base + "/folder/free"));
}

void TestNamespace::typesByName_data()
{
    // Pairs that share an ending but not always a type: whatever was looked up first,
    // the second gets the database's own answer.
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("whole-name glob") << QByteArray("x.am") << QByteArray("Makefile.am");
    QTest::newRow("prefix glob") << QByteArray("notes.md") << QByteArray("README.md");
    QTest::newRow("letter case") << QByteArray("prog.c") << QByteArray("prog.C");
    QTest::newRow("two dots") << QByteArray("x.gz") << QByteArray("x.tar.gz");
    QTest::newRow("numbered") << QByteArray("a.1") << QByteArray("lib.so.1");
    QTest::newRow("backup") << QByteArray("a.txt") << QByteArray("a.txt~");
    QTest::newRow("no dot") << QByteArray("plain") << QByteArray("core");
    QTest::newRow("hidden") << QByteArray(".bashrc") << QByteArray("x.bashrc");
    QTest::newRow("not UTF-8") << QByteArray("\xff.png") << QByteArray("\xfe.png");
}

void TestNamespace::typesByName()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const QMimeDatabase db;
    for (const QByteArray& name : {first, second, first}) {
        const QMimeType expected =
            db.mimeTypeForFile(QFile::decodeName(name), QMimeDatabase::MatchExtension);
        QCOMPARE(MimeTypeOfName(name).name(), expected.name());
    }
}

void TestNamespace::listedItems()
{
    // An item handed out by a listing knows its kind without another look at the disk;
    // its size is read when asked for, and it names the same object as its plain form.
    const QByteArray folder = m_base + "/listed";
    QVERIFY(QDir().mkpath(QFile::decodeName(folder + "/sub")));
    writeFile(folder + "/file.txt", QByteArray(3000, 'x'));
    const TIdList folderList = IDListFromPath(folder);
    const auto shellFolder = ShellFolderObject::bind(folderList);
    auto e = shellFolder->enumObjects();
    QHash<QByteArray, TIdList> items;
    for (TIdList item = e->next(); !item.isNull(); item = e->next()) {
        QCOMPARE(item.itemData(0).front(), item::Listed);
        items.insert(shellFolder->locate(item)->name, item);
    }
    QCOMPARE(items.size(), 2);
    QCOMPARE(shellFolder->detailsOf(&items["file.txt"], 1)->text, QStringLiteral("3 KB"));
    // The folder is gone, yet the listing's word on its kind stands.
    QVERIFY(QDir().rmdir(QFile::decodeName(folder + "/sub")));
    QVERIFY(shellFolder->attributesOf(items["sub"], SFGAO_FOLDER) & SFGAO_FOLDER);
    QCOMPARE(shellFolder->detailsOf(&items["sub"], 2)->text, QStringLiteral("Dateiordner"));
    const TIdList plain = ConcatIDLists(folderList, TIdList::fromItems({"Ffile.txt"}));
    QCOMPARE(CompareIDs(0, ConcatIDLists(folderList, items["file.txt"]), plain), 0);
    QCOMPARE(PathFromIDList(ConcatIDLists(folderList, items["file.txt"])), folder + "/file.txt");
    // Without a name or with no known type it names nothing.
    QVERIFY(!shellFolder->locate(TIdList::fromItems({QByteArray("L\x08")})));
    QVERIFY(!shellFolder->locate(TIdList::fromItems({QByteArray("L\x00x", 3)})));
}

void TestNamespace::sizeTexts_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << qint64(0) << "0 KB";
    QTest::newRow("one byte rounds up") << qint64(1) << "1 KB";
    QTest::newRow("exactly 1 KB") << qint64(1024) << "1 KB";
    QTest::newRow("just above") << qint64(1025) << "2 KB";
    QTest::newRow("grouped") << qint64(1263616) << "1.234 KB";
}

void TestNamespace::sizeTexts()
{
    QFETCH(qint64, bytes);
    QTEST(FileSizeText(bytes), "text");
}

QTEST_GUILESS_MAIN(TestNamespace)
#include "tst_namespace.moc"
