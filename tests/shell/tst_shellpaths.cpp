// The path helpers: drives and their parts, UNC texts, wildcard matching, sizes and
// existence of real files, links, dropped URLs.

#include "shell/ShellPaths.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <fcntl.h>
#include <unistd.h>

using namespace shell;

class TestShellPaths : public QObject
{
    Q_OBJECT
private slots:
    void userDataMounts_data();
    void userDataMounts();
    void drivePart_data();
    void drivePart();
    void driveRoots();
    void unc_data();
    void unc();
    void matchSpec_data();
    void matchSpec();
    void sizesAndExistence();
    void linkTarget();
    void samePath();
    void droppedUrls();
};

void TestShellPaths::userDataMounts_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("point");
    QTest::addColumn<bool>("drive");
    QTest::newRow("root overlay") << QByteArray("overlay") << QByteArray("overlay")
                                  << QByteArray("/") << true;
    QTest::newRow("home ext4") << QByteArray("ext4") << QByteArray("/dev/sda2")
                               << QByteArray("/home") << true;
    QTest::newRow("usb stick") << QByteArray("vfat") << QByteArray("/dev/sdb1")
                               << QByteArray("/run/media/anna/STICK") << true;
    QTest::newRow("nfs") << QByteArray("nfs4") << QByteArray("nas:/data") << QByteArray("/mnt/nas")
                         << true;
    QTest::newRow("sshfs") << QByteArray("fuse.sshfs") << QByteArray("anna@host:")
                           << QByteArray("/home/anna/host") << true;
    QTest::newRow("proc") << QByteArray("proc") << QByteArray("proc") << QByteArray("/proc")
                          << false;
    QTest::newRow("shm") << QByteArray("tmpfs") << QByteArray("tmpfs") << QByteArray("/dev/shm")
                         << false;
    QTest::newRow("tmpfs elsewhere")
        << QByteArray("tmpfs") << QByteArray("tmpfs") << QByteArray("/mnt/ram") << false;
    QTest::newRow("snap") << QByteArray("squashfs") << QByteArray("/dev/loop3")
                          << QByteArray("/snap/core/1") << false;
    QTest::newRow("bound file") << QByteArray("ext4") << QByteArray("/dev/vda")
                                << QByteArray("/etc/hosts") << false;
    QTest::newRow("efi") << QByteArray("vfat") << QByteArray("/dev/sda1") << QByteArray("/boot/efi")
                         << false;
    QTest::newRow("gvfs") << QByteArray("fuse.gvfsd-fuse") << QByteArray("gvfsd-fuse")
                          << QByteArray("/home/anna/.gvfs") << false;
}

void TestShellPaths::userDataMounts()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, point);
    QTEST(IsUserDataMount(type, source, point), "drive");
}

void TestShellPaths::drivePart_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("part");
    QTest::newRow("root") << QByteArray("/") << QByteArray("/");
    QTest::newRow("on root") << QByteArray("/etc/passwd") << QByteArray("/");
    QTest::newRow("mount itself") << QByteArray("/mnt/usb") << QByteArray("/mnt/usb");
    QTest::newRow("below mount") << QByteArray("/mnt/usb/a/b") << QByteArray("/mnt/usb");
    QTest::newRow("same prefix, other name") << QByteArray("/mnt/usbstick/a") << QByteArray("/");
    QTest::newRow("nested mount") << QByteArray("/mnt/usb/inner/x") << QByteArray("/mnt/usb/inner");
    QTest::newRow("relative") << QByteArray("mnt/usb") << QByteArray();
}

void TestShellPaths::drivePart()
{
    QFETCH(QByteArray, path);
    const QList<QByteArray> mounts{"/", "/mnt/usb", "/mnt/usb/inner"};
    const QByteArray part = path.startsWith('/') ? DrivePart(path, mounts) : DrivePart(path);
    QTEST(part, "part");
}

void TestShellPaths::driveRoots()
{
    QVERIFY(IsDriveRoot("/"));
    QVERIFY(!IsDriveRoot(""));
    QVERIFY(!IsDriveRoot("relative"));
    const QList<QByteArray> drives = DriveMountPoints();
    QCOMPARE(drives.value(0), QByteArray("/"));
    for (const QByteArray& mp : drives) {
        QVERIFY2(IsDriveRoot(mp), mp.constData());
        QVERIFY(IsDriveRoot(WithTrailingSlash(mp)));
        QVERIFY(IsDriveReady(mp));
    }
    QTemporaryDir dir;
    const QByteArray sub = QFile::encodeName(dir.path()) + "/sub";
    QVERIFY(QDir().mkdir(QFile::decodeName(sub)));
    QVERIFY(!IsDriveRoot(sub));
    QVERIFY(IsDriveReady(sub));
}

void TestShellPaths::unc_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("isUnc");
    QTest::addColumn<QByteArray>("server");
    QTest::newRow("server only") << QByteArray("//server") << false << QByteArray();
    QTest::newRow("share") << QByteArray("//server/share") << true << QByteArray("server");
    QTest::newRow("folder") << QByteArray("//srv/share/dir/x") << true << QByteArray("srv");
    QTest::newRow("short") << QByteArray("///") << false << QByteArray();
    QTest::newRow("local") << QByteArray("/srv/share") << false << QByteArray();
}

void TestShellPaths::unc()
{
    QFETCH(QByteArray, path);
    QTEST(IsUNCPath(path), "isUnc");
    QTEST(UNCServerName(path), "server");
}

void TestShellPaths::matchSpec_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("match");
    QTest::newRow("*.* without dot") << "README"
                                     << "*.*" << false;
    QTest::newRow("*.* with dot") << "a.txt"
                                  << "*.*" << true;
    QTest::newRow("* without dot") << "README"
                                   << "*" << true;
    QTest::newRow("capitals") << "bericht.txt"
                              << "*.TXT" << true;
    QTest::newRow("umlaut case") << "Äpfel.txt"
                                 << "ä*" << true;
    QTest::newRow("second of two") << "bild.png"
                                   << "*.txt;*.png" << true;
    QTest::newRow("neither of two") << "bild.gif"
                                    << "*.txt;*.png" << false;
    QTest::newRow("question mark") << "ab"
                                   << "a?" << true;
    QTest::newRow("question needs one") << "a"
                                        << "a?" << false;
    QTest::newRow("star in middle") << "abcXdef"
                                    << "abc*def" << true;
    QTest::newRow("suffix must end") << "a.txt.bak"
                                     << "*.txt" << false;
    QTest::newRow("many stars, no match") << QString(200, u'a') << "*a*a*a*a*a*a*a*a*b" << false;
}

void TestShellPaths::matchSpec()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QTEST(MatchSpec(name, pattern), "match");
}

void TestShellPaths::sizesAndExistence()
{
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    const QByteArray big = base + "/big";
    const int fd = ::open(big.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::ftruncate(fd, 4294967296LL), 0); // sparse: no disk space needed
    ::close(fd);
    QCOMPARE(FileSizeOf(big), Q_INT64_C(4294967296));
    QCOMPARE(FileSizeOf(base + "/missing"), Q_INT64_C(-1));
    QCOMPARE(FileSizeOf(base), Q_INT64_C(0));
    QCOMPARE(FileSizeOf(""), Q_INT64_C(-1));

    const QByteArray dangling = base + "/dangling";
    QCOMPARE(::symlink("nowhere/at/all", dangling.constData()), 0);
    QVERIFY(PathExists(dangling));
    QCOMPARE(FileSizeOf(dangling), Q_INT64_C(14)); // the link itself, not its target
    QVERIFY(PathExists(base + "/"));
    QVERIFY(PathExists("/"));
    QVERIFY(!PathExists(base + "/missing"));
    QVERIFY(!PathExists(""));
    QVERIFY(!PathExists(QByteArray("/tmp\0/x", 7)));
}

void TestShellPaths::linkTarget()
{
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    QVERIFY(QDir().mkdir(dir.filePath("target")));
    QCOMPARE(::symlink("target", (base + "/rel").constData()), 0);
    QCOMPARE(::symlink("/usr", (base + "/abs").constData()), 0);
    QCOMPARE(LinkTarget(base + "/rel"), base + "/target");
    QCOMPARE(LinkTarget(base + "/abs"), QByteArray("/usr"));
    QCOMPARE(LinkTarget(base + "/target"), QByteArray()); // a folder, no link
    QCOMPARE(LinkTarget(base + "/missing"), QByteArray());
    QCOMPARE(LinkTarget(""), QByteArray());
}

void TestShellPaths::samePath()
{
    QVERIFY(SamePath("/a/b/", "/a/b"));
    QVERIFY(!SamePath("/a/B", "/a/b"));
    QVERIFY(!SamePath("/a/b//", "/a/b"));
    QCOMPARE(WithTrailingSlash("/a"), QByteArray("/a/"));
    QCOMPARE(WithoutTrailingSlash("/"), QByteArray("/"));
    QVERIFY(IsPathBelow("/a/b", "/a") && IsPathBelow("/a", "/") && IsPathBelow("/a/b/c", "/a"));
    QVERIFY(!IsPathBelow("/a", "/a") && !IsPathBelow("/ab", "/a") && !IsPathBelow("/", "/"));
}

void TestShellPaths::droppedUrls()
{
    // Only files of this machine count: another host's /etc/hostname is not ours.
    const QString self = QSysInfo::machineHostName();
    const QList<QUrl> urls{QUrl("file:///tmp/%FF%FE.txt"),
                           QUrl("https://example.org/x"),
                           QUrl("file://otherhost/etc/hostname"),
                           QUrl("file://localhost/tmp/local"),
                           QUrl("file://LOCALHOST/tmp/LOCAL"),
                           QUrl("file://" + self + "/tmp/self"),
                           QUrl("file:///tmp/a%20b")};
    const std::optional<TFileNames> names = FileNamesFromUrls(urls);
    QVERIFY(names.has_value());
    QCOMPARE(*names, (TFileNames{QByteArray("/tmp/\xff\xfe.txt"), "/tmp/local", "/tmp/LOCAL",
                                 "/tmp/self", "/tmp/a b"}));
    QVERIFY(!FileNamesFromUrls({QUrl("file://otherhost/etc/hostname")}).has_value());
    QVERIFY(!FileNamesFromUrls({}).has_value());
    QVERIFY(!FileNamesFromMimeData(nullptr).has_value());
    QMimeData textOnly;
    textOnly.setText(QStringLiteral("hallo"));
    QCOMPARE(FileNamesFromMimeData(&textOnly).value(), TFileNames());
}

QTEST_GUILESS_MAIN(TestShellPaths)
#include "tst_shellpaths.moc"
