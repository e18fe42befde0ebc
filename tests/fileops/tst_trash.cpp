// The trash under a test home: objects go to the trash of their own file system with an
// info file other desktops read, come back byte for byte to where they were, never
// replace anything on the way back, and an object without a trash is deleted for good
// only when the user says so.

#include "FileOpsFixtures.h"
#include "fileops/TrashStore.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace fileops;

namespace {

QByteArray infoOf(const QByteArray& trashed)
{
    const QByteArray trashDir = trashed.left(trashed.lastIndexOf("/files/"));
    return contentOf(trashDir + "/info/" + trashed.mid(trashed.lastIndexOf('/') + 1) +
                     ".trashinfo");
}

QByteArray pathField(const QByteArray& info)
{
    for (const QByteArray& line : info.split('\n')) {
        if (line.startsWith("Path="))
            return line.mid(5);
    }
    return {};
}

} // namespace

class TestTrash : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sameNameFromTwoFolders_data();
    void sameNameFromTwoFolders();
    void infoFileFormat();
    void homeTrashCreatedWithParents();
    void otherFileSystem_data();
    void otherFileSystem();
    void noTrashAsksBeforeDeleting_data();
    void noTrashAsksBeforeDeleting();
    void refusals_data();
    void refusals();
    void restoreNeverReplaces();
    void listDeleteAndEmpty();
    void deleteForGood();

private:
    // A home whose name is not UTF-8, as a user's may be.
    QByteArray home() const { return m_home->path() + "/h\xf6me"; }
    std::unique_ptr<ScratchDir> m_home;
};

void TestTrash::init()
{
    m_home = std::make_unique<ScratchDir>();
    QCOMPARE(::mkdir(home().constData(), 0755), 0);
    qputenv("HOME", home());
    qputenv("XDG_DATA_HOME", home() + "/data");
    QCOMPARE(::mkdir((home() + "/data").constData(), 0700), 0);
}

void TestTrash::sameNameFromTwoFolders_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("kind"); // file, link, folder
    QTest::newRow("file") << QByteArray("Bericht.txt") << QByteArray("file");
    QTest::newRow("not utf-8") << QByteArray("B\xe4richt\xff.txt") << QByteArray("file");
    QTest::newRow("link") << QByteArray("Verweis") << QByteArray("link");
    QTest::newRow("folder") << QByteArray("Ordner") << QByteArray("folder");
    QTest::newRow("name of 255 bytes") << QByteArray(255, 'l') << QByteArray("file");
}

void TestTrash::sameNameFromTwoFolders()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, kind);
    ScratchDir work;
    const QByteArray a = work.path() + "/a", b = work.path() + "/b";
    QList<QByteArray> sources;
    for (const QByteArray& folder : {a, b}) {
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        putFile(folder + "/target", "target in " + folder);
        const QByteArray path = folder + '/' + name;
        if (kind == "link") {
            QCOMPARE(::symlink("target", path.constData()), 0);
        } else if (kind == "folder") {
            QCOMPARE(::mkdir(path.constData(), 0755), 0);
            putFile(path + "/inner", "inside " + folder);
        } else {
            putFile(path, "content of " + folder);
        }
        sources.append(path);
    }
    // The folders the objects leave get new times; the objects keep theirs.
    const auto before = snapshot(work.path(), false);

    const OperationReport trashed = runOperation(OperationKind::Trash, sources);

    QCOMPARE(trashed.outcome, OperationReport::Outcome::Done);
    QCOMPARE(trashed.done, shell::TFileNames(sources.begin(), sources.end()));
    QCOMPARE(trashed.results.size(), 2);
    QVERIFY(trashed.results[0] != trashed.results[1]);
    for (int i = 0; i < 2; ++i) {
        QVERIFY(trashed.results[i].startsWith(home() + "/data/Trash/files/"));
        QVERIFY(!exists(sources[i]));
        QCOMPARE(QByteArray::fromPercentEncoding(pathField(infoOf(trashed.results[i]))),
                 sources[i]);
        if (kind == "link") {
            struct stat st;
            QCOMPARE(::lstat(trashed.results[i].constData(), &st), 0);
            QVERIFY(S_ISLNK(st.st_mode)); // the link went, its target stayed
        }
    }
    QVERIFY(exists(a + "/target") && exists(b + "/target"));

    const OperationReport restored =
        runOperation(OperationKind::Restore, {trashed.results.begin(), trashed.results.end()});

    QCOMPARE(restored.outcome, OperationReport::Outcome::Done);
    QCOMPARE(restored.results, shell::TFileNames(sources.begin(), sources.end()));
    QCOMPARE(snapshot(work.path(), false), before);
    QCOMPARE(snapshot(home() + "/data/Trash", false).keys(),
             (QByteArrayList{"", "/files", "/info"}));
}

void TestTrash::infoFileFormat()
{
    ScratchDir work;
    const QByteArray name = "a b%\xc3\xa4\xff#?.txt";
    putFile(work.path() + '/' + name, "x");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const OperationReport report = runOperation(OperationKind::Trash, {work.path() + '/' + name});
    QCOMPARE(report.outcome, OperationReport::Outcome::Done);

    const QByteArrayList lines = infoOf(report.results.value(0)).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QByteArray("[Trash Info]"));
    QCOMPARE(lines[1],
             "Path=" + work.path().toPercentEncoding("/") + "/a%20b%25%C3%A4%FF%23%3F.txt");
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"))
                 .match(QString::fromLatin1(lines[2]))
                 .hasMatch(),
             lines[2].constData());
    const QDateTime when =
        QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), Qt::ISODate);
    QVERIFY(when >= before.addSecs(-1) && when <= QDateTime::currentDateTime().addSecs(1));
    QCOMPARE(lines[3], QByteArray());

    const std::optional<TrashStore::Entry> entry = TrashStore::entryOf(report.results[0]);
    QVERIFY(entry);
    QCOMPARE(entry->originalPath, work.path() + '/' + name);
    QCOMPARE(entry->deletionDate.toString(Qt::ISODate), when.toString(Qt::ISODate));
}

void TestTrash::homeTrashCreatedWithParents()
{
    qunsetenv("XDG_DATA_HOME");
    ScratchDir work;
    const QByteArray file = work.path() + "/file";
    putFile(file, "x");
    // A trash put below the working folder (as a relative path would be) shows up here.
    ScratchDir cwd;
    const QString cwdBefore = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QFile::decodeName(cwd.path())));
    const OperationReport report = runOperation(OperationKind::Trash, {file});
    QVERIFY(QDir::setCurrent(cwdBefore));

    QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    const QByteArray trash = home() + "/.local/share/Trash";
    QCOMPARE(report.results, shell::TFileNames{trash + "/files/file"});
    QCOMPARE(contentOf(trash + "/files/file"), QByteArray("x"));
    for (const QByteArray& dir : {trash, trash + "/files", trash + "/info"}) {
        struct stat st;
        QCOMPARE(::stat(dir.constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0700));
    }
    // Nothing landed anywhere else: not in the home, not in the working folder.
    QCOMPARE(snapshot(home(), false).keys(),
             (QByteArrayList{"", "/.local", "/.local/share", "/.local/share/Trash",
                             "/.local/share/Trash/files", "/.local/share/Trash/files/file",
                             "/.local/share/Trash/info", "/.local/share/Trash/info/file.trashinfo",
                             "/data"}));
    QCOMPARE(snapshot(cwd.path(), false).keys(), QByteArrayList{""});
}

void TestTrash::otherFileSystem_data()
{
    QTest::addColumn<QByteArray>("mount");  // tmpfs, or a bind mount of a home folder
    QTest::addColumn<QByteArray>("shared"); // what .Trash is on the other file system
    QTest::addColumn<QByteArray>("expectedTrash");
    QTest::newRow("no .Trash") << QByteArray("tmpfs") << QByteArray("none")
                               << QByteArray("/.Trash-0");
    QTest::newRow("sticky .Trash")
        << QByteArray("tmpfs") << QByteArray("sticky") << QByteArray("/.Trash/0");
    QTest::newRow(".Trash not sticky")
        << QByteArray("tmpfs") << QByteArray("plain") << QByteArray("/.Trash-0");
    QTest::newRow(".Trash a link")
        << QByteArray("tmpfs") << QByteArray("link") << QByteArray("/.Trash-0");
    // The home's own file system through another mount: rename(2) cannot reach the home
    // trash from there, the mount's top directory has one.
    QTest::newRow("bind mount of a home folder")
        << QByteArray("bind") << QByteArray("none") << QByteArray("/.Trash-0");
    QTest::newRow("bind mount with a sticky .Trash")
        << QByteArray("bind") << QByteArray("sticky") << QByteArray("/.Trash/0");
}

void TestTrash::otherFileSystem()
{
    QFETCH(QByteArray, mount);
    QFETCH(QByteArray, shared);
    QFETCH(QByteArray, expectedTrash);
    ScratchDir work;
    const QByteArray top = work.path() + "/disk";
    const QByteArray project = home() + "/projekt";
    QCOMPARE(::mkdir(project.constData(), 0755), 0);
    std::optional<TmpfsMount> tmpfs;
    std::optional<BindMount> bind;
    if (mount == "tmpfs") {
        tmpfs.emplace(top, 1024);
        REQUIRE_TMPFS(*tmpfs);
    } else {
        bind.emplace(project, top);
        if (!bind->mounted())
            QSKIP("needs root to bind-mount a folder of the home");
    }
    if (shared == "sticky" || shared == "plain") {
        QCOMPARE(::mkdir((top + "/.Trash").constData(), 0777), 0);
        QCOMPARE(::chmod((top + "/.Trash").constData(), shared == "sticky" ? 01777 : 0777), 0);
    } else if (shared == "link") {
        QCOMPARE(::mkdir((top + "/elsewhere").constData(), 0777), 0);
        QCOMPARE(::chmod((top + "/elsewhere").constData(), 01777), 0);
        QCOMPARE(::symlink("elsewhere", (top + "/.Trash").constData()), 0);
    }
    QCOMPARE(::mkdir((top + "/sub").constData(), 0755), 0);
    putFile(top + "/sub/file", "on the other disk");
    putFile(top + "/sub/second", "and another");

    FixedAnswers answers(ConflictAnswer::Skip, DeleteForGoodAnswer::Skip);
    const OperationReport report =
        runOperation(OperationKind::Trash, {top + "/sub/file", top + "/sub/second"}, {}, &answers);

    QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    QCOMPARE(answers.deleteQuestionsAsked(), 0);
    QCOMPARE(report.results, (shell::TFileNames{top + expectedTrash + "/files/file",
                                                top + expectedTrash + "/files/second"}));
    QCOMPARE(pathField(infoOf(report.results[0])), QByteArray("sub/file"));
    struct stat st;
    QCOMPARE(::lstat((top + expectedTrash).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0700));
    if (mount == "tmpfs")
        QVERIFY(!exists(home() + "/data/Trash"));
    auto homeTrash = snapshot(home() + "/data/Trash", false);
    homeTrash.remove(""), homeTrash.remove("/files"), homeTrash.remove("/info");
    QCOMPARE(homeTrash.keys(), QByteArrayList()); // no info file left behind there
    // The trash view finds the mount's trash.
    QVERIFY(TrashStore::trashFolders().contains(top + expectedTrash));

    const OperationReport restored = runOperation(OperationKind::Restore, {report.results[0]});
    QCOMPARE(restored.outcome, OperationReport::Outcome::Done);
    QCOMPARE(contentOf(top + "/sub/file"), QByteArray("on the other disk"));
}

void TestTrash::noTrashAsksBeforeDeleting_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("firstGone");
    QTest::addColumn<bool>("secondGone");
    QTest::addColumn<int>("outcome");
    QTest::newRow("delete") << int(DeleteForGoodAnswer::Delete) << true << true
                            << int(OperationReport::Outcome::Done);
    QTest::newRow("skip") << int(DeleteForGoodAnswer::Skip) << false << false
                          << int(OperationReport::Outcome::Done);
    QTest::newRow("cancel") << int(DeleteForGoodAnswer::Cancel) << false << false
                            << int(OperationReport::Outcome::Cancelled);
}

void TestTrash::noTrashAsksBeforeDeleting()
{
    QFETCH(int, answer);
    QFETCH(bool, firstGone);
    QFETCH(bool, secondGone);
    QFETCH(int, outcome);
    ScratchDir work;
    const QByteArray top = work.path() + "/disk";
    TmpfsMount mount(top, 1024);
    REQUIRE_TMPFS(mount);
    putFile(top + "/.Trash-0", "a file where the trash folder would be");
    QCOMPARE(::mkdir((top + "/folder").constData(), 0755), 0);
    putFile(top + "/folder/inner", "x");
    putFile(top + "/file", "y");

    FixedAnswers answers(ConflictAnswer::Skip, DeleteForGoodAnswer::Choice(answer));
    const OperationReport report =
        runOperation(OperationKind::Trash, {top + "/folder", top + "/file"}, {}, &answers);

    QCOMPARE(int(report.outcome), outcome);
    QCOMPARE(answers.deleteQuestionsAsked(), answer == DeleteForGoodAnswer::Cancel ? 1 : 2);
    QCOMPARE(!exists(top + "/folder"), firstGone);
    QCOMPARE(!exists(top + "/file"), secondGone);
    QCOMPARE(contentOf(top + "/.Trash-0"), QByteArray("a file where the trash folder would be"));
    if (!firstGone)
        QCOMPARE(contentOf(top + "/folder/inner"), QByteArray("x"));
}

void TestTrash::refusals_data()
{
    QTest::addColumn<QByteArray>("path"); // below the test home
    QTest::addColumn<QString>("reason");
    QTest::newRow("gone") << QByteArray("/nothing-here") << "nicht finden";
    QTest::newRow("the trash's own folder") << QByteArray("/data") << "Der Papierkorb selbst";
    QTest::newRow("root") << QByteArray("/../../../..") << "ungültig";
    // Its .trashinfo would be orphaned: the object is trashed already.
    QTest::newRow("an object in the trash") << QByteArray("/data/Trash/files/alt")
                                            << "/data/Trash/files/alt“ liegt schon im Papierkorb.";
    QTest::newRow("a folder of an object in the trash")
        << QByteArray("/data/Trash/files/ordner/innen") << "liegt schon im Papierkorb.";
    QTest::newRow("the trash's files folder")
        << QByteArray("/data/Trash/files") << "gehört zum Papierkorb selbst.";
    QTest::newRow("an info file") << QByteArray("/data/Trash/info/alt.trashinfo")
                                  << "gehört zum Papierkorb selbst.";
    QTest::newRow("the trash") << QByteArray("/data/Trash") << "gehört zum Papierkorb selbst.";
}

void TestTrash::refusals()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, reason);
    putFile(home() + "/data/keep", "x");
    putFile(home() + "/alt", "trashed before");
    QCOMPARE(::mkdir((home() + "/ordner").constData(), 0755), 0);
    putFile(home() + "/ordner/innen", "trashed with its folder");
    QCOMPARE(runOperation(OperationKind::Trash, {home() + "/alt", home() + "/ordner"}).done.size(),
             2);
    const auto before = snapshot(home(), false);
    const QByteArray target = path.startsWith("/..") ? QByteArray("/") : home() + path;
    FixedAnswers answers(ConflictAnswer::Skip, DeleteForGoodAnswer::Delete);
    const OperationReport report = runOperation(OperationKind::Trash, {target}, {}, &answers);
    QCOMPARE(report.outcome, OperationReport::Outcome::Failed);
    QCOMPARE(answers.deleteQuestionsAsked(), 0);
    QVERIFY2(report.failures.value(0).reason.contains(reason),
             qPrintable(report.failures.value(0).reason));
    QCOMPARE(snapshot(home(), false), before);
}

void TestTrash::restoreNeverReplaces()
{
    ScratchDir work;
    const QByteArray file = work.path() + "/file";
    putFile(file, "old");
    const OperationReport trashed = runOperation(OperationKind::Trash, {file});
    putFile(file, "new one in its place");

    const OperationReport restored = runOperation(OperationKind::Restore, {trashed.results[0]});

    QCOMPARE(restored.outcome, OperationReport::Outcome::Failed);
    QVERIFY2(restored.failures.value(0).reason.contains(u"schon ein Objekt dieses Namens"),
             qPrintable(restored.failures.value(0).reason));
    QCOMPARE(contentOf(file), QByteArray("new one in its place"));
    QCOMPARE(contentOf(trashed.results[0]), QByteArray("old"));
    QVERIFY(!infoOf(trashed.results[0]).isEmpty());
}

void TestTrash::listDeleteAndEmpty()
{
    ScratchDir work;
    QCOMPARE(::mkdir((work.path() + "/folder").constData(), 0755), 0);
    putFile(work.path() + "/folder/a", "12345");
    putFile(work.path() + "/folder/b", "678");
    putFile(work.path() + "/one", "1");
    putFile(work.path() + "/two", "22");
    const OperationReport trashed =
        runOperation(OperationKind::Trash,
                     {work.path() + "/folder", work.path() + "/one", work.path() + "/two"});
    QCOMPARE(trashed.outcome, OperationReport::Outcome::Done);

    QMap<QByteArray, std::int64_t> listed;
    for (const TrashStore::Entry& e : TrashStore::list(true)) {
        if (!e.originalPath.startsWith(work.path()))
            continue; // the trash of some other file system of this machine
        QVERIFY(e.deletionDate.isValid());
        listed.insert(e.originalPath, e.size);
    }
    QCOMPARE(listed, (QMap<QByteArray, std::int64_t>{{work.path() + "/folder", 8},
                                                     {work.path() + "/one", 1},
                                                     {work.path() + "/two", 2}}));

    // Deleting from the trash takes the info file along.
    const OperationReport deleted =
        runOperation(OperationKind::DeleteForGood, {trashed.results[1]});
    QCOMPARE(deleted.outcome, OperationReport::Outcome::Done);
    QVERIFY(infoOf(trashed.results[1]) == "<missing>");
    QCOMPARE(snapshot(home() + "/data/Trash/files", false).keys(),
             (QByteArrayList{"", "/folder", "/folder/a", "/folder/b", "/two"}));

    const OperationReport emptied =
        runOperation(OperationKind::EmptyTrash, {TrashStore::homeTrash()});
    QCOMPARE(emptied.outcome, OperationReport::Outcome::Done);
    QCOMPARE(emptied.done.size(), 2);
    QCOMPARE(snapshot(home() + "/data/Trash", false).keys(),
             (QByteArrayList{"", "/files", "/info"}));
}

void TestTrash::deleteForGood()
{
    ScratchDir work;
    const QByteArray tree = work.path() + "/tree", outside = work.path() + "/outside";
    QCOMPARE(::mkdir(tree.constData(), 0755), 0);
    QCOMPARE(::mkdir((tree + "/deep").constData(), 0755), 0);
    QCOMPARE(::mkdir(outside.constData(), 0755), 0);
    putFile(outside + "/keep", "not part of the tree");
    putFile(tree + "/deep/file\xff", "x", 0400);
    QCOMPARE(::symlink(outside.constData(), (tree + "/deep/to-outside").constData()), 0);
    QCOMPARE(::symlink(outside.constData(), (work.path() + "/link").constData()), 0);
    // A file system mounted inside the tree is not the tree's to delete.
    TmpfsMount mount(tree + "/mounted", 1024);
    if (mount.mounted())
        putFile(tree + "/mounted/on-other-disk", "y");

    const OperationReport report =
        runOperation(OperationKind::DeleteForGood, {work.path() + "/link", tree});

    QCOMPARE(contentOf(outside + "/keep"), QByteArray("not part of the tree"));
    QVERIFY(!exists(work.path() + "/link"));
    QVERIFY(!exists(tree + "/deep"));
    if (mount.mounted()) {
        QCOMPARE(report.outcome, OperationReport::Outcome::Failed);
        QCOMPARE(report.done, shell::TFileNames{work.path() + "/link"});
        QCOMPARE(report.failures.size(), 1);
        QCOMPARE(report.failures[0].path, tree + "/mounted");
        QVERIFY(report.failures[0].reason.contains(u"anderes Dateisystem"));
        QCOMPARE(contentOf(tree + "/mounted/on-other-disk"), QByteArray("y"));
    } else {
        QCOMPARE(report.outcome, OperationReport::Outcome::Done);
        QVERIFY(!exists(tree));
    }
}

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
