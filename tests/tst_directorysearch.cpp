// The folder listing of the platform layer: what an entry reports, folders that
// cannot be listed, descriptors on deep chains, and the mount table.

#include "TestTrees.h"
#include "platform/DirectorySearch.h"
#include "platform/MountTable.h"
#include "platform/NumberText.h"
#include "platform/VolumeSpace.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using platform::DirectorySearch;
using platform::MountTable;
using namespace testtrees;

namespace {

struct Listed
{
    bool isDirectory;
    qint64 size;
};

QHash<QByteArray, Listed> listing(const DirectorySearch& search)
{
    QHash<QByteArray, Listed> out;
    for (size_t i = 0; i < search.count(); ++i) {
        const std::string_view n = search.name(i);
        out.insert(QByteArray(n.data(), qsizetype(n.size())),
                   {search.entry(i).isDirectory, search.entry(i).size});
    }
    return out;
}

int openDescriptors()
{
    DIR* d = ::opendir("/proc/self/fd");
    int n = 0;
    while (::readdir(d))
        ++n;
    ::closedir(d);
    return n;
}

} // namespace

class TestDirectorySearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { platform::setFolderOpenHook({}); }

    void entriesReportTheirOwnTypeAndSize()
    {
        ScratchDir tmp;
        const QByteArray base = QFile::encodeName(tmp.path());
        makeFile(base + "/plain", 100);
        makeFile(base + "/.hidden", 7);
        makeFile(base + "/\xff\xfe-latin1", 3);
        makeDir(base + "/sub");
        makeDir(base + "/.hiddendir");
        makeFile(base + "/sub/inner", 1000);
        makeLink("sub", base + "/linkdir");
        makeLink("plain", base + "/linkfile");
        makeLink("nowhere/at/all", base + "/dangling");
        makeFile(base + "/huge", 5 * (qint64(1) << 30));
        makeFile(base + "/..foo", 11);
        makeDir(base + "/..bar");
        makeFile(base + "/...", 12);

        DirectorySearch search;
        QVERIFY(search.openPath(base.toStdString(), nullptr));
        const QHash<QByteArray, Listed> got = listing(search);
        QCOMPARE(got.size(), 12); // no "." and no ".."
        QCOMPARE(got["..foo"].size, 11);
        QVERIFY(got["..bar"].isDirectory);
        QCOMPARE(got["..."].size, 12);
        QVERIFY(!got.contains(".") && !got.contains(".."));
        QCOMPARE(got["plain"].size, 100);
        QCOMPARE(got[".hidden"].size, 7);
        QCOMPARE(got["\xff\xfe-latin1"].size, 3);
        QVERIFY(got["sub"].isDirectory);
        QVERIFY(got[".hiddendir"].isDirectory);
        QCOMPARE(got["sub"].size, 0);
        // Links are files of their own size (the length of the target text), never followed.
        QVERIFY(!got["linkdir"].isDirectory);
        QCOMPARE(got["linkdir"].size, 3);
        QCOMPARE(got["linkfile"].size, 5);
        QCOMPARE(got["dangling"].size, 14);
        QCOMPARE(got["huge"].size, 5 * (qint64(1) << 30));
        QSet<QByteArray> hidden;
        for (size_t i = 0; i < search.count(); ++i)
            if (search.isHidden(i))
                hidden.insert(QByteArray(search.name(i).data(), qsizetype(search.name(i).size())));
        QCOMPARE(hidden, (QSet<QByteArray>{".hidden", ".hiddendir", "..foo", "..bar", "..."}));
    }

    void foldersThatCannotBeListedAreEmpty()
    {
        ScratchDir tmp;
        const QByteArray base = QFile::encodeName(tmp.path());
        makeFile(base + "/file", 1);
        makeDir(base + "/denied");
        makeFile(base + "/denied/x", 1);
        makeLink("denied", base + "/link");

        DirectorySearch search;
        QVERIFY(!search.openPath((base + "/missing/").toStdString(), nullptr));
        QCOMPARE(search.count(), size_t(0));
        QVERIFY(!search.openPath((base + "/file/").toStdString(), nullptr));
        QVERIFY(!search.openPath(std::string(), nullptr));

        DirectorySearch parent;
        QVERIFY(parent.openPath(base.toStdString(), nullptr));
        QVERIFY(!search.open(parent.fd(), "file", nullptr));
        QVERIFY2(!search.open(parent.fd(), "link", nullptr),
                 "a link to a folder must not be entered");
        QVERIFY(search.open(parent.fd(), "denied", nullptr));
        QCOMPARE(search.count(), size_t(1));

        platform::setFolderOpenHook([](int, std::string_view name) { return name != "denied"; });
        QVERIFY(!search.open(parent.fd(), "denied", nullptr));
        QCOMPARE(search.count(), size_t(0));
    }

    void deepChainsBeyondPathMaxWithBoundedDescriptors()
    {
        ScratchDir tmp;
        const QByteArray base = QFile::encodeName(tmp.path());
        constexpr int depth = 600; // 600 * 11 bytes: well beyond PATH_MAX
        {
            int fd = ::open(base.constData(), O_RDONLY | O_DIRECTORY);
            for (int i = 0; i < depth; ++i) {
                QCOMPARE(::mkdirat(fd, "0123456789", 0755), 0);
                const int child = ::openat(fd, "0123456789", O_RDONLY | O_DIRECTORY);
                ::close(fd);
                fd = child;
            }
            QCOMPARE(::mknodat(fd, "deepest", S_IFREG | 0644, 0), 0);
            ::close(fd);
        }
        const int before = openDescriptors();
        std::vector<DirectorySearch> levels(depth + 1);
        QVERIFY(levels[0].openPath(base.toStdString(), nullptr));
        for (int i = 1; i <= depth; ++i) {
            QVERIFY(levels[size_t(i)].open(levels[size_t(i) - 1].fd(), "0123456789", nullptr));
            if (i > 4)
                levels[size_t(i) - 1].park();
        }
        QVERIFY(openDescriptors() - before < 10);
        QCOMPARE(levels[depth].count(), size_t(1));
        QCOMPARE(QByteArray(levels[depth].name(0).data()).left(7), QByteArray("deepest"));
        // Coming back up, every parked level finds its own folder again.
        for (int i = depth; i >= 1; --i) {
            DirectorySearch& parent = levels[size_t(i) - 1];
            if (parent.isParked())
                QVERIFY(parent.unpark(levels[size_t(i)].fd(), ".."));
            struct stat st;
            QCOMPARE(::fstat(parent.fd(), &st), 0);
            QCOMPARE(st.st_ino, parent.inode());
            levels[size_t(i)].close();
        }
        QCOMPARE(openDescriptors(), before + 1);
    }

    void unparkFindsOnlyTheSameFolder()
    {
        ScratchDir tmp;
        const QByteArray base = QFile::encodeName(tmp.path());
        makeDir(base + "/a");
        makeDir(base + "/a/child");
        makeDir(base + "/b");
        makeFile(base + "/a/file", 5);
        DirectorySearch root, a, child;
        QVERIFY(root.openPath(base.toStdString(), nullptr));
        QVERIFY(a.open(root.fd(), "a", nullptr));
        QVERIFY(child.open(a.fd(), "child", nullptr));
        a.park();
        QCOMPARE(a.fd(), -1);
        // The child moves away while "a" is parked: its ".." is no longer "a", but
        // "a" is still found by its name.
        QCOMPARE(::rename((base + "/a/child").constData(), (base + "/b/child").constData()), 0);
        QVERIFY(!a.unpark(child.fd(), ".."));
        QVERIFY(a.isParked());
        QVERIFY(a.unpark(root.fd(), "a"));
        QVERIFY(!a.isParked());
        struct stat st;
        QCOMPARE(::fstat(a.fd(), &st), 0);
        QCOMPARE(st.st_ino, a.inode());
        QCOMPARE(a.count(), size_t(2));

        // "a" itself moves away and another folder takes its name: not the same one.
        a.park();
        QCOMPARE(::rename((base + "/a").constData(), (base + "/b/a").constData()), 0);
        QVERIFY(!a.unpark(root.fd(), "a"));
        makeDir(base + "/a");
        QVERIFY(!a.unpark(root.fd(), "a"));
        QVERIFY(a.isParked());
        a.abandon();
        QVERIFY(!a.isParked());
        QCOMPARE(a.fd(), -1);
        QCOMPARE(a.count(), size_t(2)); // the listing stays
        DirectorySearch next;
        QVERIFY(!next.open(a.fd(), "child", nullptr));
    }

    void mountTableParsesMountinfo()
    {
        QFile fixture(qEnvironmentVariable("FEGMANN_FIXTURES") + QStringLiteral("/mountinfo"));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        const MountTable table = MountTable::parse(fixture.readAll());
        QCOMPARE(table.mounts().size(), 11); // three malformed lines are skipped
        QCOMPARE(table.mounts()[0].mountPoint, QByteArray("/"));
        QCOMPARE(table.mounts()[0].fileSystem, QByteArray("ext4"));
        QCOMPARE(table.mounts()[0].device, makedev(254, 1));
        QCOMPARE(table.mounts()[7].mountPoint, QByteArray("/media/My Disk"));
        QCOMPARE(table.mounts()[7].source, QByteArray("/dev/sdb1"));
        QCOMPARE(table.mounts()[8].fileSystem, QByteArray("fuse.sshfs"));
        QCOMPARE(table.mounts()[9].mountPoint, QByteArray("/mnt/back\\slash\ttab"));

        for (auto [major, minor] : {std::pair{0, 21}, {0, 22}, {0, 23}, {0, 5}, {0, 24}, {0, 53}})
            QVERIFY(table.isPseudoDevice(makedev(major, minor)));
        for (auto [major, minor] : {std::pair{254, 1}, {0, 26}, {8, 17}, {0, 50}, {0, 51}})
            QVERIFY(!table.isPseudoDevice(makedev(major, minor)));
        QVERIFY(MountTable::isPseudoFileSystem("proc"));
        QVERIFY(!MountTable::isPseudoFileSystem("tmpfs"));
        QVERIFY(!MountTable::isPseudoFileSystem("proc2"));
        QVERIFY(MountTable::parse(QByteArray()).mounts().isEmpty());
    }

    // Mount points are written with \ooo for space, tab, newline and backslash.
    void mountPointEscapes_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("mountPoint");
        QTest::newRow("escape at the end")
            << QByteArray("/mnt/trailing\\040") << QByteArray("/mnt/trailing ");
        QTest::newRow("escape at the start") << QByteArray("\\011/x") << QByteArray("\t/x");
        QTest::newRow("escapes side by side")
            << QByteArray("/a\\134\\012b") << QByteArray("/a\\\nb");
        QTest::newRow("only an escape") << QByteArray("\\040") << QByteArray(" ");
        QTest::newRow("cut short at the end")
            << QByteArray("/mnt/x\\04") << QByteArray("/mnt/x\\04");
        QTest::newRow("backslash at the end") << QByteArray("/mnt/x\\") << QByteArray("/mnt/x\\");
        QTest::newRow("not octal") << QByteArray("/mnt/\\08a") << QByteArray("/mnt/\\08a");
        QTest::newRow("past a byte") << QByteArray("/mnt/\\400") << QByteArray("/mnt/\\400");
    }

    void mountPointEscapes()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, mountPoint);
        const MountTable table =
            MountTable::parse("40 22 0:60 / " + field + " rw - tmpfs tmp\\040fs rw\n");
        QCOMPARE(table.mounts().size(), 1);
        QCOMPARE(table.mounts()[0].mountPoint, mountPoint);
        QCOMPARE(table.mounts()[0].source, QByteArray("tmp fs"));
    }

    void pseudoFileSystemsAndRepeatedFoldersListNothing()
    {
        ScratchDir tmp;
        const QByteArray base = QFile::encodeName(tmp.path());
        makeDir(base + "/folder");
        makeFile(base + "/folder/file", 10);
        struct stat st;
        QCOMPARE(::stat(base.constData(), &st), 0);
        // A table that calls the device of this very folder a proc file system.
        const QByteArray line = "99 1 " + QByteArray::number(major(st.st_dev)) + ':' +
                                QByteArray::number(minor(st.st_dev)) + " / " + base +
                                " rw - proc proc rw\n";
        const MountTable table = MountTable::parse(line);
        DirectorySearch parent, search;
        QVERIFY(parent.openPath(base.toStdString(), nullptr));
        QVERIFY(search.open(parent.fd(), "folder", &table));
        QCOMPARE(search.count(), size_t(0));
        QVERIFY(search.open(parent.fd(), "folder", nullptr));
        QCOMPARE(search.count(), size_t(1));

        // A folder met again on the way down to it opens but lists nothing.
        const platform::FolderId folder = search.id();
        const std::vector<platform::FolderId> path = {
            parent.id(), {st.st_dev, 1}, folder, {st.st_dev, 2}};
        QVERIFY(search.open(parent.fd(), "folder", nullptr, nullptr, path));
        QCOMPARE(search.count(), size_t(0));
        QVERIFY(search.open(parent.fd(), "folder", nullptr, nullptr, std::span(path).subspan(3)));
        QCOMPARE(search.count(), size_t(1));
    }

    void realProcMountListsNothing()
    {
        ScratchDir tmp;
        const QByteArray proc = QFile::encodeName(tmp.path()) + "/proc";
        makeDir(proc);
        if (::mount("proc", proc.constData(), "proc", 0, nullptr) != 0)
            QSKIP("mounting a proc file system needs root");
        DirectorySearch search;
        const MountTable table = MountTable::read();
        const bool opened = search.openPath(proc.toStdString(), &table);
        const size_t withRule = search.count();
        search.openPath(proc.toStdString(), nullptr);
        const size_t withoutRule = search.count();
        ::umount2(proc.constData(), MNT_DETACH);
        QVERIFY(opened);
        QCOMPARE(withRule, size_t(0));
        QVERIFY(withoutRule > 0);
    }

    void freeSpaceAndNumberTexts()
    {
        QVERIFY(platform::freeBytes("/").has_value());
        const std::optional<platform::VolumeSize> root = platform::volumeSize("/");
        QVERIFY(root && root->total > 0 && root->free <= root->total);
        QVERIFY(!platform::freeBytes("/no/such/folder/anywhere").has_value());
        QVERIFY(!platform::freeBytes("").has_value());

        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(platform::fixed2(1234567.891), QStringLiteral("1234567,89"));
        QCOMPARE(platform::fixed2(0), QStringLiteral("0,00"));
        QCOMPARE(platform::fixed2(0.005), QStringLiteral("0,01"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(platform::fixed2(1234567.891), QStringLiteral("1234567.89"));
        QLocale::setDefault(QLocale::system());
    }
};

QTEST_GUILESS_MAIN(TestDirectorySearch)
#include "tst_directorysearch.moc"
