// Copy, move and rename over real folders: trees arrive byte for byte, conflicts are
// answered per name, nothing writes into its own source, and a failure or a cancel
// anywhere leaves every source intact and no partial file behind.

#include "FileOpsFixtures.h"
#include "fileops/FailureText.h"
#include "fileops/NameRules.h"
#include "fileops/TreeTransfer.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace fileops;

namespace {

constexpr qint64 kBig = 20 * 1024 * 1024; // several pieces of the engine's copy loop

QByteArray bigContent(qint64 size, char seed)
{
    QByteArray data(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        data[i] = char((i * 131 + seed) ^ (i >> 12));
    return data;
}

void setTime(const QByteArray& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 123456789}};
    QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// A tree with every kind of object the engine copies.
void makeTree(const QByteArray& root)
{
    QCOMPARE(::mkdir(root.constData(), 0750), 0);
    QCOMPARE(::mkdir((root + "/sub").constData(), 0700), 0);
    QCOMPARE(::mkdir((root + "/sub/deeper").constData(), 0755), 0);
    putFile(root + "/plain.txt", "plain");
    putFile(root + "/empty", "");
    putFile(root + "/script.sh", "#!/bin/sh\n", 0755);
    putFile(root + "/secret", "only me", 0600);
    putFile(root + "/sub/deeper/big.bin", bigContent(kBig, 7));
    putFile(root + "/n\xff\xfe-\xc3.txt", "not utf-8");
    QCOMPARE(::symlink("plain.txt", (root + "/link").constData()), 0);
    QCOMPARE(::symlink("/nowhere/at/all", (root + "/sub/dangling").constData()), 0);
    for (const char* p : {"/plain.txt", "/empty", "/script.sh", "/secret", "/sub/deeper/big.bin",
                          "/n\xff\xfe-\xc3.txt", "/link", "/sub/dangling"})
        setTime(root + p, 1000000000);
    for (const char* p : {"/sub/deeper", "/sub", ""})
        setTime(root + p, 1100000000);
}

} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TreeTransfer::setChunkHook({}); }

    void treeArrivesWhole_data();
    void treeArrivesWhole();
    void conflicts_data();
    void conflicts();
    void nameTakenDuringCopy_data();
    void nameTakenDuringCopy();
    void copyNames_data();
    void copyNames();
    void pasteIntoSameFolder();
    void refusesOwnSource_data();
    void refusesOwnSource();
    void sourceRemovedMidway();
    void cancelMidFile_data();
    void cancelMidFile();
    void destinationRefuses_data();
    void destinationRefuses();
    void noWritePermission();
    void moveAcrossRemovesSourceAfterCopy();
    void moveAcrossSyncsBeforeRemoving();
    void killedMidway_data();
    void killedMidway();
    void errorSentences_data();
    void errorSentences();
    void links();
    void rename_data();
    void rename();
};

void TestTransfer::treeArrivesWhole_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("otherFileSystem");
    QTest::newRow("copy") << false << false;
    QTest::newRow("move") << true << false;
    QTest::newRow("copy to another file system") << false << true;
    QTest::newRow("move to another file system") << true << true;
}

void TestTransfer::treeArrivesWhole()
{
    QFETCH(bool, move);
    QFETCH(bool, otherFileSystem);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    const QByteArray src = base + "/tree";
    QByteArray dst = base + "/dst";
    std::optional<TmpfsMount> mount;
    if (otherFileSystem) {
        mount.emplace(dst, 64 * 1024);
        REQUIRE_TMPFS(*mount);
    } else {
        QCOMPARE(::mkdir(dst.constData(), 0755), 0);
    }
    makeTree(src);
    const auto before = snapshot(src);

    const OperationReport report =
        runOperation(move ? OperationKind::Move : OperationKind::Copy, {src}, dst);

    QVERIFY2(report.failures.isEmpty(), qPrintable(report.failures.value(0).reason));
    QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    QCOMPARE(report.done, shell::TFileNames{src});
    QCOMPARE(report.results, shell::TFileNames{dst + "/tree"});
    QCOMPARE(snapshot(dst + "/tree"), before);
    QCOMPARE(exists(src), !move);
    if (!move)
        QCOMPARE(snapshot(src), before);
    QVERIFY(temporaryLeftovers(dst).isEmpty());
}

void TestTransfer::conflicts_data()
{
    QTest::addColumn<int>("policy");
    QTest::addColumn<QByteArrayList>("expected"); // a.txt, b.txt, dir/x, dir/y at the target
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("outcome");
    QTest::newRow("skip") << int(ConflictAnswer::Skip)
                          << QByteArrayList{"old a", "new b", "old x", "new y"} << 2
                          << int(OperationReport::Outcome::Done);
    QTest::newRow("replace") << int(ConflictAnswer::Replace)
                             << QByteArrayList{"new a", "new b", "new x", "new y"} << 2
                             << int(OperationReport::Outcome::Done);
    QTest::newRow("cancel") << int(ConflictAnswer::Cancel)
                            << QByteArrayList{"old a", "<missing>", "old x", "<missing>"} << 1
                            << int(OperationReport::Outcome::Cancelled);
}

void TestTransfer::conflicts()
{
    QFETCH(int, policy);
    QFETCH(QByteArrayList, expected);
    QFETCH(int, questions);
    QFETCH(int, outcome);
    for (const bool move : {false, true}) {
        ScratchDir tmp;
        const QByteArray src = tmp.path() + "/src";
        const QByteArray dst = tmp.path() + "/dst";
        for (const QByteArray& d : {src, dst, src + "/dir", dst + "/dir"})
            QCOMPARE(::mkdir(d.constData(), 0755), 0);
        putFile(src + "/a.txt", "new a");
        putFile(src + "/b.txt", "new b");
        putFile(src + "/dir/x", "new x");
        putFile(src + "/dir/y", "new y");
        putFile(dst + "/a.txt", "old a");
        putFile(dst + "/dir/x", "old x");
        const auto sourceBefore = snapshot(src);

        FixedAnswers answers(ConflictAnswer::Choice(policy), DeleteForGoodAnswer::Skip);
        const OperationReport report =
            runOperation(move ? OperationKind::Move : OperationKind::Copy,
                         {src + "/a.txt", src + "/b.txt", src + "/dir"}, dst, &answers);

        QCOMPARE(int(report.outcome), outcome);
        QCOMPARE(answers.conflictsAsked(), questions);
        QCOMPARE((QByteArrayList{contentOf(dst + "/a.txt"), contentOf(dst + "/b.txt"),
                                 contentOf(dst + "/dir/x"), contentOf(dst + "/dir/y")}),
                 expected);
        QVERIFY(temporaryLeftovers(dst).isEmpty());
        QVERIFY(report.failures.isEmpty());
        if (!move) {
            QCOMPARE(snapshot(src), sourceBefore);
            continue;
        }
        // A move removes exactly the sources whose content arrived.
        const QByteArrayList names{"a.txt", "b.txt", "dir/x", "dir/y"};
        const QByteArrayList contents{"new a", "new b", "new x", "new y"};
        for (int i = 0; i < names.size(); ++i) {
            const bool arrived = expected[i].startsWith("new");
            QCOMPARE(exists(src + '/' + names[i]), !arrived);
            if (!arrived)
                QCOMPARE(contentOf(src + '/' + names[i]), contents[i]);
        }
    }
}

void TestTransfer::nameTakenDuringCopy_data()
{
    QTest::addColumn<int>("policy");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("skip") << int(ConflictAnswer::Skip) << false;
    QTest::newRow("replace") << int(ConflictAnswer::Replace) << true;
}

void TestTransfer::nameTakenDuringCopy()
{
    QFETCH(int, policy);
    QFETCH(bool, replaced);
    ScratchDir tmp;
    const QByteArray src = tmp.path() + "/big", dst = tmp.path() + "/dst";
    const QByteArray content = bigContent(kBig, 9);
    putFile(src, content);
    QCOMPARE(::mkdir(dst.constData(), 0755), 0);
    // Someone else writes the same name while the copy is on its way.
    TreeTransfer::setChunkHook([&](const QByteArray&, std::uint64_t) {
        if (!exists(dst + "/big"))
            putFile(dst + "/big", "someone else's");
    });
    FixedAnswers answers(ConflictAnswer::Choice(policy), DeleteForGoodAnswer::Skip);
    const OperationReport report = runOperation(OperationKind::Copy, {src}, dst, &answers);
    QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    QCOMPARE(answers.conflictsAsked(), 1);
    QCOMPARE(contentOf(dst + "/big") == content, replaced);
    if (!replaced)
        QCOMPARE(contentOf(dst + "/big"), QByteArray("someone else's"));
    QVERIFY(temporaryLeftovers(dst).isEmpty());
    QCOMPARE(contentOf(src), content);
}

void TestTransfer::copyNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("first") << QByteArray("Brief.txt") << false << 1
                           << QByteArray("Brief - Kopie.txt");
    QTest::newRow("second") << QByteArray("Brief.txt") << false << 2
                            << QByteArray("Brief - Kopie (2).txt");
    QTest::newRow("last dot") << QByteArray("a.tar.gz") << false << 3
                              << QByteArray("a.tar - Kopie (3).gz");
    QTest::newRow("no extension") << QByteArray("Makefile") << false << 1
                                  << QByteArray("Makefile - Kopie");
    QTest::newRow("hidden") << QByteArray(".bashrc") << false << 1 << QByteArray(".bashrc - Kopie");
    QTest::newRow("folder keeps dots")
        << QByteArray("v1.2") << true << 2 << QByteArray("v1.2 - Kopie (2)");
    // 250 bytes of two-byte letters: the stem is cut between letters to fit 255 bytes.
    QTest::newRow("long") << QByteArray(125, 'x').replace("x", "\xc3\xa4") + ".txt" << false << 1
                          << QByteArray(121, 'x').replace("x", "\xc3\xa4") + " - Kopie.txt";
}

void TestTransfer::copyNames()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, folder);
    QFETCH(int, n);
    QFETCH(QByteArray, expected);
    const QByteArray made = CopyName(name, folder, n);
    QCOMPARE(made, expected);
    QVERIFY(made.size() <= kMaxNameBytes);
}

void TestTransfer::pasteIntoSameFolder()
{
    ScratchDir tmp;
    const QByteArray dir = tmp.path();
    putFile(dir + "/Brief.txt", "letter");
    QCOMPARE(::mkdir((dir + "/Fotos.alt").constData(), 0755), 0);
    putFile(dir + "/Fotos.alt/bild", "pixels");
    for (int round = 0; round < 2; ++round) {
        const OperationReport report =
            runOperation(OperationKind::Copy, {dir + "/Brief.txt", dir + "/Fotos.alt"}, dir);
        QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    }
    QCOMPARE(contentOf(dir + "/Brief - Kopie.txt"), QByteArray("letter"));
    QCOMPARE(contentOf(dir + "/Brief - Kopie (2).txt"), QByteArray("letter"));
    QCOMPARE(contentOf(dir + "/Fotos.alt - Kopie/bild"), QByteArray("pixels"));
    QCOMPARE(contentOf(dir + "/Fotos.alt - Kopie (2)/bild"), QByteArray("pixels"));
    QCOMPARE(contentOf(dir + "/Brief.txt"), QByteArray("letter"));
    // A move into the folder it is in changes nothing and asks nothing.
    FixedAnswers answers(ConflictAnswer::Replace, DeleteForGoodAnswer::Skip);
    const OperationReport moved =
        runOperation(OperationKind::Move, {dir + "/Brief.txt"}, dir, &answers);
    QCOMPARE(moved.outcome, OperationReport::Outcome::Done);
    QCOMPARE(answers.conflictsAsked(), 0);
    QCOMPARE(contentOf(dir + "/Brief.txt"), QByteArray("letter"));
}

void TestTransfer::refusesOwnSource_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<QByteArray>("destination"); // relative to the source folder's parent
    QTest::newRow("copy into itself") << false << QByteArray("src");
    QTest::newRow("copy below itself") << false << QByteArray("src/a/b");
    QTest::newRow("move below itself") << true << QByteArray("src/a");
    QTest::newRow("copy through a link into itself") << false << QByteArray("into/b");
    QTest::newRow("move through a link into itself") << true << QByteArray("into");
}

void TestTransfer::refusesOwnSource()
{
    QFETCH(bool, move);
    QFETCH(QByteArray, destination);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    QCOMPARE(::mkdir((base + "/src").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/src/a").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/src/a/b").constData(), 0755), 0);
    putFile(base + "/src/a/file", "data");
    QCOMPARE(::symlink("src/a", (base + "/into").constData()), 0);
    const auto before = snapshot(base);

    const OperationReport report = runOperation(move ? OperationKind::Move : OperationKind::Copy,
                                                {base + "/src"}, base + '/' + destination);

    QCOMPARE(report.outcome, OperationReport::Outcome::Failed);
    QCOMPARE(report.failures.size(), 1);
    QCOMPARE(report.failures[0].path, base + "/src");
    QVERIFY2(report.failures[0].reason.contains(u"in sich selbst oder einen seiner Unterordner"),
             qPrintable(report.failures[0].reason));
    QCOMPARE(snapshot(base), before);
}

void TestTransfer::sourceRemovedMidway()
{
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    const QByteArray src = base + "/src", dst = base + "/dst";
    QCOMPARE(::mkdir(src.constData(), 0755), 0);
    QCOMPARE(::mkdir(dst.constData(), 0755), 0);
    putFile(src + "/1-big", bigContent(kBig, 1));
    putFile(src + "/2-small", "small");
    putFile(src + "/3-gone-before", "never read");
    // The big file disappears while it is copied; the third goes before its turn.
    TreeTransfer::setChunkHook([&](const QByteArray& source, std::uint64_t) {
        if (source.endsWith("/1-big") && exists(source)) {
            ::unlink(source.constData());
            ::unlink((src + "/3-gone-before").constData());
        }
    });
    const OperationReport report = runOperation(
        OperationKind::Copy, {src + "/1-big", src + "/2-small", src + "/3-gone-before"}, dst);

    QCOMPARE(report.outcome, OperationReport::Outcome::Failed);
    QCOMPARE(report.failures.size(), 2);
    QCOMPARE(report.failures[0].path, src + "/1-big");
    QVERIFY2(report.failures[0].reason.contains(u"während des Kopierens entfernt"),
             qPrintable(report.failures[0].reason));
    QCOMPARE(report.failures[1].path, src + "/3-gone-before");
    QVERIFY2(report.failures[1].reason.contains(u"nicht finden"),
             qPrintable(report.failures[1].reason));
    QCOMPARE(report.done, shell::TFileNames{src + "/2-small"});
    QCOMPARE(snapshot(dst).keys(), (QByteArrayList{"", "/2-small"}));
}

void TestTransfer::cancelMidFile_data()
{
    QTest::addColumn<bool>("move");
    QTest::newRow("copy") << false;
    QTest::newRow("move to another file system") << true;
}

void TestTransfer::cancelMidFile()
{
    QFETCH(bool, move);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    const QByteArray src = base + "/src", dst = base + "/dst";
    TmpfsMount mount(dst, 64 * 1024);
    if (move)
        REQUIRE_TMPFS(mount);
    else
        QCOMPARE(::mkdir(dst.constData(), 0755) == 0, !mount.mounted());
    QCOMPARE(::mkdir(src.constData(), 0755), 0);
    putFile(src + "/a-first", "done before the cancel");
    putFile(src + "/b-big", bigContent(kBig, 3));
    putFile(src + "/c-last", "never started");
    const auto before = snapshot(src);
    std::atomic_bool cancel{false};
    std::uint64_t seen = 0;
    TreeTransfer::setChunkHook([&](const QByteArray& source, std::uint64_t written) {
        if (source.endsWith("/b-big")) {
            seen = written;
            cancel = true;
        }
    });
    FixedAnswers answers(ConflictAnswer::Skip, DeleteForGoodAnswer::Skip);
    OperationProgress progress;
    const Operation op{move ? OperationKind::Move : OperationKind::Copy,
                       {src + "/a-first", src + "/b-big", src + "/c-last"},
                       dst,
                       {}};
    const OperationReport report = OperationEngine::run(op, answers, progress, cancel);

    QCOMPARE(report.outcome, OperationReport::Outcome::Cancelled);
    QVERIFY(seen > 0 && seen < std::uint64_t(kBig));
    QCOMPARE(report.done, shell::TFileNames{src + "/a-first"});
    QCOMPARE(snapshot(dst).keys(), (QByteArrayList{"", "/a-first"}));
    QCOMPARE(contentOf(dst + "/a-first"), QByteArray("done before the cancel"));
    auto expected = before;
    if (move)
        expected.remove("/a-first");
    expected.remove("");
    auto after = snapshot(src);
    after.remove("");
    QCOMPARE(after, expected);
}

void TestTransfer::destinationRefuses_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("reason");
    QTest::newRow("copy onto a full disk") << false << false << "nicht genügend Speicherplatz";
    QTest::newRow("move onto a full disk") << true << false << "nicht genügend Speicherplatz";
    QTest::newRow("copy onto a read-only disk") << false << true << "schreibgeschützt";
    QTest::newRow("move onto a read-only disk") << true << true << "schreibgeschützt";
}

void TestTransfer::destinationRefuses()
{
    QFETCH(bool, move);
    QFETCH(bool, readOnly);
    QFETCH(QString, reason);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    const QByteArray src = base + "/src", dst = base + "/dst";
    TmpfsMount mount(dst, 4096, readOnly);
    REQUIRE_TMPFS(mount);
    QCOMPARE(::mkdir(src.constData(), 0755), 0);
    putFile(src + "/1-small", "fits");
    putFile(src + "/2-big", bigContent(kBig, 5)); // 20 MiB into 4 MiB
    putFile(src + "/3-after", "fits too");
    const auto before = snapshot(src);

    const OperationReport report =
        runOperation(move ? OperationKind::Move : OperationKind::Copy,
                     {src + "/1-small", src + "/2-big", src + "/3-after"}, dst);

    QCOMPARE(report.outcome, OperationReport::Outcome::Failed);
    QVERIFY(!report.failures.isEmpty());
    QCOMPARE(report.failures[0].path, readOnly ? src + "/1-small" : src + "/2-big");
    QVERIFY2(report.failures[0].reason.contains(reason), qPrintable(report.failures[0].reason));
    QVERIFY(temporaryLeftovers(dst).isEmpty());
    QVERIFY(!exists(dst + "/2-big"));
    // Every source that did not arrive is still there, byte for byte.
    const auto after = snapshot(src);
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const bool arrived = !readOnly && it.key() != "/2-big" && !it.key().isEmpty();
        if (arrived) {
            QCOMPARE(snapshot(dst).value(it.key()), it.value());
            QCOMPARE(after.contains(it.key()), !move);
        } else if (!it.key().isEmpty()) {
            QCOMPARE(after.value(it.key()), it.value());
        }
    }
}

void TestTransfer::noWritePermission()
{
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    const QByteArray src = base + "/src", dst = base + "/dst";
    QCOMPARE(::chmod(base.constData(), 0755), 0);
    QCOMPARE(::mkdir(src.constData(), 0755), 0);
    QCOMPARE(::mkdir(dst.constData(), 0755), 0);
    putFile(src + "/file", "keep me");
    putFile(dst + "/other", "untouched");
    const auto sourceBefore = snapshot(src);
    const auto targetBefore = snapshot(dst);
    QString output;
    if (::geteuid() == 0) {
        // Root may write anywhere: the benchmark runs as nobody, as a user would.
        QProcess child;
        child.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                     QStringLiteral("--clear-groups"), QStringLiteral(FEGMANN_OPS_BENCH),
                     QStringLiteral("--move"), QFile::decodeName(src + "/file"),
                     QFile::decodeName(dst)});
        QVERIFY(child.waitForFinished(60000));
        output = QString::fromUtf8(child.readAllStandardOutput());
        QCOMPARE(child.exitCode(), 1);
        QVERIFY2(output.endsWith(u"failed=1\n"), qPrintable(output));
    } else {
        QCOMPARE(::chmod(dst.constData(), 0555), 0);
        const OperationReport report = runOperation(OperationKind::Move, {src + "/file"}, dst);
        QCOMPARE(report.failures.size(), 1);
        output = QFile::decodeName(report.failures[0].path) + QStringLiteral(": ") +
                 report.failures[0].reason;
        ::chmod(dst.constData(), 0755);
    }
    QVERIFY2(output.contains(QFile::decodeName(src + "/file") +
                             QStringLiteral(": Verschieben nicht möglich: Zugriff verweigert.")),
             qPrintable(output));
    QCOMPARE(snapshot(src), sourceBefore);
    QCOMPARE(snapshot(dst), targetBefore);
}

void TestTransfer::moveAcrossRemovesSourceAfterCopy()
{
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    const QByteArray dst = base + "/dst";
    TmpfsMount mount(dst, 128 * 1024);
    REQUIRE_TMPFS(mount);
    makeTree(base + "/tree");
    const auto before = snapshot(base + "/tree");
    // While a file is written, its source is whole and its final name not yet taken.
    QByteArrayList violations;
    int pieces = 0;
    TreeTransfer::setChunkHook([&](const QByteArray& source, std::uint64_t) {
        ++pieces;
        const QByteArray target = dst + source.mid(base.size());
        if (!exists(source) || exists(target))
            violations.append(source);
    });
    const OperationReport report = runOperation(OperationKind::Move, {base + "/tree"}, dst);
    QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    QVERIFY(pieces >= 5);
    QCOMPARE(violations, QByteArrayList());
    QVERIFY(!exists(base + "/tree"));
    QCOMPARE(snapshot(dst + "/tree"), before);
}

void TestTransfer::moveAcrossSyncsBeforeRemoving()
{
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    const QByteArray dst = base + "/dst";
    TmpfsMount mount(dst, 64 * 1024);
    REQUIRE_TMPFS(mount);
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("needs strace (scripts/setup installs it)");
    const QByteArray src = base + "/tree";
    QCOMPARE(::mkdir(src.constData(), 0755), 0);
    QCOMPARE(::mkdir((src + "/sub").constData(), 0755), 0);
    QCOMPARE(::mkdir((src + "/sub/deeper").constData(), 0755), 0);
    putFile(src + "/a", "a");
    putFile(src + "/sub/b", bigContent(kBig, 2));
    putFile(src + "/sub/deeper/c", "c");
    QCOMPARE(::symlink("a", (src + "/link").constData()), 0);
    const QByteArray log = base + "/strace.log";
    QProcess child;
    // The leak checker of a checked build cannot run under a tracer and aborts the child.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) +
                           QStringLiteral(":detect_leaks=0"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("strace"),
                {QStringLiteral("-f"), QStringLiteral("-q"), QStringLiteral("-y"),
                 QStringLiteral("-o"), QFile::decodeName(log), QStringLiteral("-e"),
                 QStringLiteral("trace=mkdirat,renameat2,fdatasync,fsync,unlinkat"),
                 QStringLiteral(FEGMANN_OPS_BENCH), QStringLiteral("--move"),
                 QFile::decodeName(src), QFile::decodeName(dst)});
    QVERIFY(child.waitForFinished(60000));
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        // strace records how each traced process ended; without a failed end there, the
        // tracer itself failed, which says nothing of the move.
        const QByteArray trace = contentOf(log);
        const QByteArray said = child.readAllStandardError() + child.readAllStandardOutput();
        const bool moverFailed = trace.contains("+++ killed by") ||
                                 QRegularExpression(QStringLiteral("\\+\\+\\+ exited with [1-9]"))
                                     .match(QString::fromUtf8(trace))
                                     .hasMatch();
        if (!moverFailed)
            QSKIP(qPrintable(QStringLiteral("strace could not trace here: ") +
                             QString::fromUtf8(said)));
        QFAIL(qPrintable(QString::fromUtf8(said + "\n" + trace.right(2000))));
    }
    QVERIFY(!exists(src));

    // Before a source goes, its copy's data, its name and the folders up to the
    // destination are on the disk: a power loss can cost the move, never the file.
    struct Call
    {
        QByteArray name;
        QByteArrayList folders; // the paths strace gives for descriptor arguments
        QByteArrayList texts;   // the string arguments
        QString arguments;
    };
    QList<Call> calls;
    const QRegularExpression callLine(QStringLiteral("^\\d+\\s+(\\w+)\\((.*)$"));
    const QRegularExpression folderArg(QStringLiteral("\\d+<([^>]*)>"));
    const QRegularExpression textArg(QStringLiteral("\"([^\"]*)\""));
    for (const QByteArray& line : contentOf(log).split('\n')) {
        const auto m = callLine.match(QString::fromUtf8(line));
        if (!m.hasMatch())
            continue;
        Call call{m.captured(1).toUtf8(), {}, {}, m.captured(2)};
        for (auto it = folderArg.globalMatch(m.captured(2)); it.hasNext();)
            call.folders << it.next().captured(1).toUtf8();
        for (auto it = textArg.globalMatch(m.captured(2)); it.hasNext();)
            call.texts << it.next().captured(1).toUtf8();
        calls << call;
    }
    auto targetOf = [&](const QByteArray& sourceFolder) {
        return dst + sourceFolder.mid(base.size());
    };
    int removed = 0;
    for (int i = 0; i < calls.size(); ++i) {
        const Call& c = calls[i];
        if (c.name != "unlinkat" || c.folders.isEmpty() || !IsSameOrBelow(c.folders[0], src) ||
            c.texts.size() != 1 || c.arguments.contains(u"AT_REMOVEDIR"))
            continue;
        ++removed;
        const QByteArray folder = targetOf(c.folders[0]);
        const QByteArray name = c.texts[0];
        int written = -1, renamed = -1, synced = -1;
        for (int j = 0; j < i; ++j) {
            const Call& e = calls[j];
            if (e.name == "renameat2" && e.folders.value(1) == folder && e.texts.value(1) == name) {
                renamed = j;
                for (int k = 0; k < j; ++k) {
                    if (calls[k].name == "fdatasync" &&
                        calls[k].folders.value(0) == folder + '/' + e.texts.value(0))
                        written = k;
                }
            }
            if (e.name == "fsync" && e.folders.value(0) == folder && renamed >= 0)
                synced = j;
        }
        QVERIFY2(renamed >= 0, (folder + '/' + name).constData());
        QVERIFY2(name == "link" || written >= 0, ("no fdatasync of " + name).constData());
        QVERIFY2(synced > renamed, ("no fsync of " + folder + " before " + name).constData());
    }
    QCOMPARE(removed, 4); // a, b, c and the link
    // A folder made at the destination is synced into its parent before anything inside
    // it loses its source.
    for (int i = 0; i < calls.size(); ++i) {
        if (calls[i].name != "mkdirat" || calls[i].folders.isEmpty())
            continue;
        int synced = -1;
        for (int j = i + 1; j < calls.size() && synced < 0; ++j) {
            if (calls[j].name == "unlinkat")
                break;
            if (calls[j].name == "fsync" && calls[j].folders.value(0) == calls[i].folders[0])
                synced = j;
        }
        QVERIFY2(synced > i, ("no fsync of " + calls[i].folders[0]).constData());
    }
}

void TestTransfer::killedMidway_data()
{
    QTest::addColumn<bool>("move");
    QTest::newRow("copy") << false;
    QTest::newRow("move to another file system") << true;
}

void TestTransfer::killedMidway()
{
    QFETCH(bool, move);
    ScratchDir tmp;
    const QByteArray base = tmp.path();
    const QByteArray src = base + "/tree", dst = base + "/dst";
    TmpfsMount mount(dst, 64 * 1024);
    if (move)
        REQUIRE_TMPFS(mount);
    else
        QCOMPARE(::mkdir(dst.constData(), 0755) == 0, !mount.mounted());
    QCOMPARE(::mkdir(src.constData(), 0750), 0);
    QCOMPARE(::chmod(src.constData(), 0750), 0);
    QCOMPARE(::mkdir((src + "/sub").constData(), 0755), 0);
    putFile(src + "/a-small", "small");
    putFile(src + "/b-big", bigContent(kBig, 4));
    putFile(src + "/sub/c", "c");
    const auto before = snapshot(src, false);
    const OperationKind kind = move ? OperationKind::Move : OperationKind::Copy;

    // kill -9 in the middle of the big file.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        TreeTransfer::setChunkHook([](const QByteArray& source, std::uint64_t) {
            if (source.endsWith("/b-big"))
                ::kill(::getpid(), SIGKILL);
        });
        runOperation(kind, {src}, dst);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    // The folder has its own mode already; the partial file is still there.
    QCOMPARE(snapshot(dst + "/tree", false).value(""), QByteArray("d 750"));
    QCOMPARE(temporaryLeftovers(dst).size(), 1);

    // The next operation into the folder completes it and clears what the killed one left.
    const OperationReport report = runOperation(kind, {src}, dst);

    QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    QVERIFY(report.failures.isEmpty());
    QCOMPARE(snapshot(dst + "/tree", false), before);
    QVERIFY(temporaryLeftovers(dst).isEmpty());
    QCOMPARE(exists(src), !move);
}

void TestTransfer::errorSentences_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("listed");     // has a sentence of its own
    QTest::addColumn<QByteArray>("road"); // how a user meets it; empty: the table alone
    for (const int e :
         {EFBIG,     EDQUOT,    ELOOP,     ENOSPC,     EROFS,     EACCES, EPERM,     ENAMETOOLONG,
          EMLINK,    ENOTEMPTY, EBUSY,     ETXTBSY,    EIO,       EXDEV,  EISDIR,    ENOTDIR,
          EEXIST,    ENOENT,    EINVAL,    EMFILE,     ENFILE,    ENOMEM, ESTALE,    ETIMEDOUT,
          EINTR,     EAGAIN,    ENOTCONN,  EOPNOTSUPP, EOVERFLOW, ENODEV, ENXIO,     EUCLEAN,
          ENOMEDIUM, EBADF,     ECANCELED, ENOSYS,     EPIPE,     ENOLCK, EREMOTEIO, EHOSTDOWN})
        QTest::newRow(::strerrorname_np(e)) << e << true << QByteArray();
    QTest::newRow("an error no operation meets") << EHWPOISON << false << QByteArray();
    QTest::newRow("a number the system does not know") << 4000 << false << QByteArray();
    QTest::newRow("a copy beyond the file size limit") << EFBIG << true << QByteArray("limit");
    QTest::newRow("a destination in a loop of links") << ELOOP << true << QByteArray("loop");
}

void TestTransfer::errorSentences()
{
    QFETCH(int, error);
    QFETCH(bool, listed);
    QFETCH(QByteArray, road);
    const QString kept = QStringLiteral("Die Quelle bleibt unverändert.");
    QString text = FailureText(QStringLiteral("Kopieren"), error, kept);
    if (!road.isEmpty()) {
        ScratchDir tmp;
        putFile(tmp.path() + "/big", bigContent(2 * 1024 * 1024, 1));
        QCOMPARE(::mkdir((tmp.path() + "/dst").constData(), 0755), 0);
        QCOMPARE(::symlink("loop", (tmp.path() + "/loop").constData()), 0);
        struct rlimit limit;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const struct rlimit saved = limit;
        const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = 1024 * 1024;
        if (road == "limit")
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const OperationReport report =
            runOperation(OperationKind::Copy, {tmp.path() + "/big"},
                         tmp.path() + (road == "limit" ? "/dst" : "/loop"));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedHandler);
        QCOMPARE(report.failures.size(), 1);
        text = report.failures[0].reason;
        QVERIFY2(text.contains(shell::SystemErrorText(error)), qPrintable(text));
        QVERIFY(temporaryLeftovers(tmp.path()).isEmpty());
    }
    const QString reason = shell::SystemErrorText(error);
    QVERIFY2(!text.contains(QString::fromLocal8Bit(std::strerror(error))), qPrintable(text));
    QVERIFY2(!text.contains(u"Systemfehler"), qPrintable(text));
    QVERIFY2(reason.endsWith(u'.') && text.endsWith(u'.'), qPrintable(text));
    // Every sentence begins with a capital letter and ends with its full stop.
    for (const QString& sentence : text.split(QStringLiteral(". "))) {
        const QString inner = sentence.section(QStringLiteral(": "), -1);
        QVERIFY2(sentence.at(0).isUpper() && inner.at(0).isUpper(), qPrintable(text));
    }
    QCOMPARE(reason.startsWith(u"Das System meldet"), !listed);
    if (!listed)
        QVERIFY2(reason.contains(QString::number(error)), qPrintable(reason));
}

void TestTransfer::links()
{
    ScratchDir tmp;
    const QByteArray dir = tmp.path();
    QCOMPARE(::mkdir((dir + "/dst").constData(), 0755), 0);
    QCOMPARE(::mkdir((dir + "/folder").constData(), 0755), 0);
    putFile(dir + "/file", "f");
    putFile(dir + "/dst/file", "already here");
    FixedAnswers answers(ConflictAnswer::Skip, DeleteForGoodAnswer::Skip);
    // A taken name makes "NAME - Verknüpfung"; only when that is taken too is it a question.
    const OperationReport report =
        runOperation(OperationKind::Link, {dir + "/file", dir + "/folder", dir + "/file"},
                     dir + "/dst", &answers);
    QCOMPARE(report.outcome, OperationReport::Outcome::Done);
    QCOMPARE(answers.conflictsAsked(), 1);
    QCOMPARE(report.done, (shell::TFileNames{dir + "/file", dir + "/folder"}));
    QCOMPARE(report.results,
             (shell::TFileNames{dir + "/dst/file - Verknüpfung", dir + "/dst/folder"}));
    QCOMPARE(report.skipped, shell::TFileNames{dir + "/file"});
    QCOMPARE(snapshot(dir + "/dst", false),
             (QMap<QByteArray, QByteArray>{{"", "d 755"},
                                           {"/file", snapshot(dir + "/dst").value("/file")},
                                           {"/file - Verknüpfung", "l " + dir + "/file"},
                                           {"/folder", "l " + dir + "/folder"}}));
    QCOMPARE(contentOf(dir + "/dst/file"), QByteArray("already here"));
    // Linking next to the original: the extension stays last.
    putFile(dir + "/note.txt", "n");
    const OperationReport beside = runOperation(OperationKind::Link, {dir + "/note.txt"}, dir);
    QCOMPARE(beside.results, shell::TFileNames{dir + "/note - Verknüpfung.txt"});
    QCOMPARE(contentOf(dir + "/note - Verknüpfung.txt"), QByteArray("n"));
}

void TestTransfer::rename_data()
{
    QTest::addColumn<QByteArray>("newName");
    QTest::addColumn<QString>("reason"); // empty: the rename happens
    QTest::addColumn<QByteArray>("source");
    const QByteArray kOld("old.txt");
    QTest::newRow("plain") << QByteArray("neu.txt") << QString() << kOld;
    QTest::newRow("not utf-8") << QByteArray("neu\xff") << QString() << kOld;
    QTest::newRow("255 bytes") << QByteArray(255, 'n') << QString() << kOld;
    QTest::newRow("empty") << QByteArray() << "Der Name darf nicht leer sein." << kOld;
    QTest::newRow("dot") << QByteArray(".") << "Die Namen „.“ und „..“ sind nicht erlaubt." << kOld;
    QTest::newRow("dot dot") << QByteArray("..") << "Die Namen „.“ und „..“ sind nicht erlaubt."
                             << kOld;
    QTest::newRow("slash") << QByteArray("a/b") << "Der Name darf keinen Schrägstrich" << kOld;
    QTest::newRow("nul") << QByteArray("a\0b", 3) << "Der Name darf kein Nullzeichen" << kOld;
    QTest::newRow("256 bytes") << QByteArray(256, 'n') << "Er hat 256 Bytes" << kOld;
    QTest::newRow("taken") << QByteArray("other") << "bereits vorhanden" << kOld;
    QTest::newRow("its own name") << QByteArray("old.txt") << QString() << kOld;
    QTest::newRow("its own name, but gone")
        << QByteArray("gone.txt") << "nicht finden" << QByteArray("gone.txt");
}

void TestTransfer::rename()
{
    QFETCH(QByteArray, newName);
    QFETCH(QString, reason);
    QFETCH(QByteArray, source);
    ScratchDir tmp;
    const QByteArray dir = tmp.path();
    putFile(dir + "/old.txt", "mine");
    putFile(dir + "/other", "someone else's");
    const auto before = snapshot(dir, false);
    Operation op{OperationKind::Rename, {dir + '/' + source}, {}, newName};
    FixedAnswers answers(ConflictAnswer::Replace, DeleteForGoodAnswer::Delete);
    OperationProgress progress;
    std::atomic_bool cancel{false};
    const OperationReport report = OperationEngine::run(op, answers, progress, cancel);
    if (reason.isEmpty()) {
        QCOMPARE(report.outcome, OperationReport::Outcome::Done);
        QCOMPARE(report.results, shell::TFileNames{dir + '/' + newName});
        QCOMPARE(contentOf(dir + '/' + newName), QByteArray("mine"));
        QCOMPARE(exists(dir + "/old.txt"), newName == "old.txt");
        return;
    }
    QCOMPARE(report.outcome, OperationReport::Outcome::Failed);
    QVERIFY2(report.failures.value(0).reason.startsWith(u"Umbenennen nicht möglich: "),
             qPrintable(report.failures.value(0).reason));
    QVERIFY2(report.failures.value(0).reason.contains(reason),
             qPrintable(report.failures.value(0).reason));
    QCOMPARE(snapshot(dir, false), before);
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
