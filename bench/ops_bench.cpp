// Runs one file operation through the engine, on its worker thread beside a live event
// loop, as the interface runs it, with a fixed answer to every conflict and without
// dialogs.
//
//   ops_bench [--on-conflict skip|replace|cancel] --trash PATH...
//   ops_bench [--on-conflict skip|replace|cancel] --copy SRC... DESTDIR
//   ops_bench [--on-conflict skip|replace|cancel] --move SRC... DESTDIR
//   ops_bench --generate DIR --files N --bytes B [--folders F]
//
// Each failure is printed as "failed: PATH: REASON", then
//   ui: max_gap_ms=G
// and last
//   ops: op=OP items=N bytes=B seconds=S failed=F
// The exit code is 0 only when nothing failed and nothing was cancelled. The default answer to a
// conflict is "skip"; an object that cannot be trashed is skipped (never deleted for good).
// --generate writes N files of together B bytes of incompressible data into F folders
// (default 100) below DIR, for comparing a copy with `cp -a` (bench/compare_cp.sh).

#include "GapMeter.h"
#include "fileops/FixedAnswers.h"
#include "fileops/OperationJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: ops_bench [--on-conflict skip|replace|cancel] --trash PATH...\n"
                 "       ops_bench [--on-conflict skip|replace|cancel] --copy SRC... DESTDIR\n"
                 "       ops_bench [--on-conflict skip|replace|cancel] --move SRC... DESTDIR\n"
                 "       ops_bench --generate DIR --files N --bytes B [--folders F]\n");
    return 2;
}

int generate(const QByteArray& dir, long long files, long long bytes, long long folders)
{
    if (files <= 0 || bytes < 0 || folders <= 0)
        return usage();
    if (::mkdir(dir.constData(), 0755) != 0 && errno != EEXIST) {
        std::perror(dir.constData());
        return 1;
    }
    std::mt19937_64 random(42);
    const long long each = bytes / files;
    std::vector<std::uint64_t> block(std::size_t(std::max(each, 1LL) + 7) / 8);
    for (long long i = 0; i < files; ++i) {
        const QByteArray folder = dir + "/d" + QByteArray::number(i % folders);
        ::mkdir(folder.constData(), 0755);
        const QByteArray path = folder + "/f" + QByteArray::number(i) + ".bin";
        const long long size = i == files - 1 ? bytes - each * (files - 1) : each;
        if (std::size_t(size + 7) / 8 > block.size())
            block.resize(std::size_t(size + 7) / 8);
        for (std::uint64_t& word : block)
            word = random();
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, block.data(), std::size_t(size)) != size || ::close(fd) != 0) {
            std::perror(path.constData());
            return 1;
        }
    }
    std::printf("generate: files=%lld bytes=%lld folders=%lld\n", files, bytes, folders);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    using fileops::ConflictAnswer;
    ConflictAnswer::Choice policy = ConflictAnswer::Skip;
    std::optional<fileops::OperationKind> kind;
    QList<QByteArray> paths;
    QByteArray generateDir;
    long long files = 0, bytes = 0, folders = 100;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--on-conflict" && hasValue) {
            const std::string_view value = argv[++i];
            if (value == "skip")
                policy = ConflictAnswer::Skip;
            else if (value == "replace")
                policy = ConflictAnswer::Replace;
            else if (value == "cancel")
                policy = ConflictAnswer::Cancel;
            else
                return usage();
        } else if (arg == "--trash") {
            kind = fileops::OperationKind::Trash;
        } else if (arg == "--copy") {
            kind = fileops::OperationKind::Copy;
        } else if (arg == "--move") {
            kind = fileops::OperationKind::Move;
        } else if (arg == "--generate" && hasValue) {
            generateDir = argv[++i];
        } else if (arg == "--files" && hasValue) {
            files = std::atoll(argv[++i]);
        } else if (arg == "--bytes" && hasValue) {
            bytes = std::atoll(argv[++i]);
        } else if (arg == "--folders" && hasValue) {
            folders = std::atoll(argv[++i]);
        } else if (arg.starts_with("--")) {
            return usage();
        } else {
            paths.append(QByteArray(argv[i]));
        }
    }
    if (!generateDir.isEmpty())
        return generate(generateDir, files, bytes, folders);
    if (!kind || paths.isEmpty())
        return usage();

    fileops::Operation operation;
    operation.kind = *kind;
    if (*kind != fileops::OperationKind::Trash) {
        if (paths.size() < 2)
            return usage();
        operation.destination = paths.takeLast();
    }
    // The engine takes absolute paths, as the interface gives them.
    const QByteArray cwd = QFile::encodeName(QDir::currentPath());
    auto absolute = [&](const QByteArray& p) { return p.startsWith('/') ? p : cwd + '/' + p; };
    for (const QByteArray& p : paths)
        operation.sources.append(absolute(p));
    if (!operation.destination.isEmpty())
        operation.destination = absolute(operation.destination);

    fileops::FixedAnswers answers(policy, fileops::DeleteForGoodAnswer::Skip);
    fileops::OperationJob job(operation, &answers);
    GapMeter gaps;
    qint64 elapsedNs = 0;
    QObject::connect(&job, &fileops::OperationJob::finished, &app, [&] {
        elapsedNs = gaps.stop();
        app.quit();
    });
    QTimer::singleShot(0, &app, [&] {
        gaps.start();
        job.start();
    });
    app.exec();

    const fileops::OperationReport& report = job.report();
    for (const fileops::FailedItem& failure : report.failures)
        std::printf("failed: %s: %s\n", failure.path.constData(),
                    failure.reason.toUtf8().constData());
    if (report.outcome == fileops::OperationReport::Outcome::Cancelled)
        std::printf("cancelled: the operation stopped before its end\n");
    std::printf("ui: max_gap_ms=%lld\n", static_cast<long long>(gaps.maxGapMs()));
    std::printf("ops: op=%s items=%llu bytes=%llu seconds=%.3f failed=%lld\n",
                fileops::OperationKey(*kind), static_cast<unsigned long long>(report.items),
                static_cast<unsigned long long>(report.bytes), double(elapsedNs) / 1e9,
                static_cast<long long>(report.failures.size()));
    return report.succeeded() ? 0 : 1;
}
