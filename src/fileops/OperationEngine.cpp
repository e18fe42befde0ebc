#include "fileops/OperationEngine.h"

#include "fileops/FailureText.h"
#include "fileops/FolderListing.h"
#include "fileops/NameRules.h"
#include "fileops/OperationContext.h"
#include "fileops/TrashStore.h"
#include "fileops/TreeRemover.h"
#include "fileops/TreeTransfer.h"
#include "platform/NoReplaceRename.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileops {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The size a report gives for an object: its own for files and links, -1 for folders.
std::int64_t entrySize(const struct stat& st)
{
    return S_ISDIR(st.st_mode) ? -1 : std::int64_t(st.st_size);
}

std::int64_t entrySizeAt(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 ? entrySize(st) : -1;
}

QString quoted(const QByteArray& path)
{
    return QStringLiteral("„%1“").arg(QFile::decodeName(path));
}

// Whether the open folder `dirFd` is the object `st` or lies below it, found by going up
// through ".." by handles, so that links and bind mounts cannot hide it.
bool folderIsWithin(int dirFd, const struct stat& st)
{
    platform::UniqueFd at(::dup(dirFd));
    for (int depth = 0; at && depth < 4096; ++depth) {
        struct stat here;
        if (::fstat(at.get(), &here) != 0)
            return false;
        if (here.st_dev == st.st_dev && here.st_ino == st.st_ino)
            return true;
        platform::UniqueFd up(::openat(at.get(), "..", kFolderFlags));
        struct stat above;
        if (!up || ::fstat(up.get(), &above) != 0 ||
            (above.st_dev == here.st_dev && above.st_ino == here.st_ino))
            return false; // the root
        at = std::move(up);
    }
    return false;
}

// Bytes and objects below the sources, for the progress bar. Unknown parts count 0.
void measure(const shell::TFileNames& sources, std::uint64_t& items, std::uint64_t& bytes)
{
    static thread_local std::uint64_t tItems, tBytes;
    tItems = tBytes = 0;
    for (const QByteArray& source : sources) {
        ::nftw(
            source.constData(),
            [](const char*, const struct stat* st, int type, struct FTW*) {
                ++tItems;
                if (type == FTW_F)
                    tBytes += std::uint64_t(st->st_size);
                return 0;
            },
            32, FTW_PHYS);
    }
    items = tItems;
    bytes = tBytes;
}

class Runner
{
public:
    Runner(const Operation& operation, OperationContext& context)
        : m_op(operation), m_context(context)
    {
    }

    void run()
    {
        switch (m_op.kind) {
        case OperationKind::Copy:
        case OperationKind::Move:
        case OperationKind::Link:
            transferAll();
            break;
        case OperationKind::Trash:
            trashAll();
            break;
        case OperationKind::DeleteForGood:
            deleteAll();
            break;
        case OperationKind::Restore:
            restoreAll();
            break;
        case OperationKind::EmptyTrash:
            emptyTrash();
            break;
        case OperationKind::Rename:
            rename();
            break;
        }
    }

private:
    QString action() const { return OperationTitle(m_op.kind); }

    void transferAll();
    void transferOne(const QByteArray& source, int dstFd, const struct stat& dst);
    void linkOne(const QByteArray& source, const QByteArray& name, int dstFd);
    void trashAll();
    void deleteAll();
    void restoreAll();
    void emptyTrash();
    void rename();

    const Operation& m_op;
    OperationContext& m_context;
};

void Runner::transferAll()
{
    const QByteArray destination = shell::WithoutTrailingSlash(m_op.destination);
    platform::UniqueFd dstFd(::open(destination.constData(), kFolderFlags));
    struct stat dst;
    if (!dstFd || ::fstat(dstFd.get(), &dst) != 0) {
        const QString reason =
            QStringLiteral("Der Zielordner %1 ist nicht erreichbar: %2 Die Quellen bleiben "
                           "unverändert.")
                .arg(quoted(destination), shell::SystemErrorText(errno));
        for (const QByteArray& source : m_op.sources)
            m_context.fail(source, reason);
        return;
    }
    // What an operation that was killed left behind here is of no use to anyone.
    TreeTransfer::removeStalePartials(dstFd.get());
    if (m_op.kind != OperationKind::Link) {
        std::uint64_t items = 0, bytes = 0;
        measure(m_op.sources, items, bytes);
        m_context.progress().setTotals(items, bytes);
    } else {
        m_context.progress().setTotals(std::uint64_t(m_op.sources.size()), 0);
    }
    for (const QByteArray& source : m_op.sources) {
        if (m_context.stopped())
            break;
        transferOne(shell::WithoutTrailingSlash(source), dstFd.get(), dst);
    }
}

void Runner::transferOne(const QByteArray& source, int dstFd, const struct stat& dst)
{
    const QByteArray name = NameOf(source);
    const QByteArray parent = ParentOf(source);
    if (!source.startsWith('/') || name.isEmpty() || shell::IsDotEntry(name)) {
        m_context.fail(source, FailureText(action(), EINVAL));
        return;
    }
    platform::UniqueFd parentFd(::open(parent.constData(), kFolderFlags));
    struct stat st, parentSt;
    if (!parentFd || ::fstat(parentFd.get(), &parentSt) != 0 ||
        ::fstatat(parentFd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        m_context.fail(source, FailureText(action(), errno));
        return;
    }
    const bool isFolder = S_ISDIR(st.st_mode);
    if (isFolder && m_op.kind != OperationKind::Link && folderIsWithin(dstFd, st)) {
        m_context.fail(source,
                       QStringLiteral("%1 nicht möglich: Der Ordner %2 kann nicht in sich selbst "
                                      "oder einen seiner Unterordner %3 werden.")
                           .arg(action(), quoted(source),
                                m_op.kind == OperationKind::Move ? QStringLiteral("verschoben")
                                                                 : QStringLiteral("kopiert")));
        return;
    }
    const QByteArray destination = shell::WithoutTrailingSlash(m_op.destination);
    QByteArray target = name;
    if (m_op.kind == OperationKind::Link) {
        // A link takes the source's name; where that is taken (always beside the source),
        // "NAME - Verknüpfung", and a clash with that one is a question.
        struct stat taken;
        if (::fstatat(dstFd, target.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
            target = LinkName(name, isFolder);
        linkOne(source, target, dstFd);
        return;
    }
    if (parentSt.st_dev == dst.st_dev && parentSt.st_ino == dst.st_ino) {
        if (m_op.kind == OperationKind::Move) {
            m_context.done(source, source, entrySize(st)); // already there
            return;
        }
        // A copy next to its original gets a name of its own.
        for (int n = 1;; ++n) {
            target = CopyName(name, isFolder, n);
            struct stat taken;
            if (::fstatat(dstFd, target.constData(), &taken, AT_SYMLINK_NOFOLLOW) != 0)
                break;
        }
    }
    const QByteArray targetPath = JoinPath(destination, target);
    TreeTransfer transfer(m_context, m_op.kind == OperationKind::Move ? TreeTransfer::Mode::Move
                                                                      : TreeTransfer::Mode::Copy);
    switch (transfer.transfer(parentFd.get(), name, source, st, dstFd, target, targetPath)) {
    case TreeTransfer::Result::Done:
        m_context.done(source, targetPath, entrySize(st));
        break;
    case TreeTransfer::Result::Skipped:
        m_context.skip(source);
        break;
    case TreeTransfer::Result::Failed:
    case TreeTransfer::Result::Stopped:
        break;
    }
}

void Runner::linkOne(const QByteArray& source, const QByteArray& name, int dstFd)
{
    const QByteArray targetPath = JoinPath(shell::WithoutTrailingSlash(m_op.destination), name);
    if (::symlinkat(source.constData(), dstFd, name.constData()) == 0) {
        m_context.countItem();
        m_context.done(source, targetPath);
        return;
    }
    if (errno != EEXIST) {
        m_context.fail(source, FailureText(action(), errno));
        return;
    }
    struct stat target, st;
    if (::fstatat(dstFd, name.constData(), &target, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::lstat(source.constData(), &st) != 0) {
        m_context.fail(source, FailureText(action(), errno));
        return;
    }
    ConflictQuestion q;
    q.source = source;
    q.target = targetPath;
    q.sourceIsFolder = S_ISDIR(st.st_mode);
    q.targetIsFolder = S_ISDIR(target.st_mode);
    q.sourceSize = st.st_size;
    q.targetSize = target.st_size;
    q.sourceModified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
    q.targetModified = QDateTime::fromSecsSinceEpoch(target.st_mtim.tv_sec);
    const ConflictAnswer::Choice choice = m_context.askConflict(q);
    if (choice == ConflictAnswer::Skip)
        m_context.skip(source);
    if (choice != ConflictAnswer::Replace)
        return;
    if (q.targetIsFolder) {
        m_context.fail(source, QStringLiteral("%1 nicht möglich: Am Ziel ist ein Ordner dieses "
                                              "Namens; er wird nicht ersetzt.")
                                   .arg(action()));
        return;
    }
    const QByteArray tmp = ".~fegmann." + QByteArray::number(::getpid()) + ".link";
    ::unlinkat(dstFd, tmp.constData(), 0);
    if (::symlinkat(source.constData(), dstFd, tmp.constData()) != 0 ||
        ::renameat(dstFd, tmp.constData(), dstFd, name.constData()) != 0) {
        const int error = errno;
        ::unlinkat(dstFd, tmp.constData(), 0);
        m_context.fail(source, FailureText(action(), error));
        return;
    }
    m_context.countItem();
    m_context.done(source, targetPath);
}

void Runner::trashAll()
{
    m_context.progress().setTotals(std::uint64_t(m_op.sources.size()), 0);
    TrashStore store;
    TreeRemover remover(m_context);
    for (const QByteArray& source : m_op.sources) {
        if (m_context.stopped())
            break;
        m_context.progress().setCurrent(source);
        QByteArray trashedAs;
        QString reason;
        switch (store.trash(source, trashedAs, reason)) {
        case TrashStore::Outcome::Trashed:
            m_context.countItem();
            m_context.done(source, trashedAs, entrySizeAt(trashedAs));
            break;
        case TrashStore::Outcome::Failed:
            m_context.fail(source, reason);
            break;
        case TrashStore::Outcome::NoTrash:
            switch (m_context.askDeleteForGood({source, reason})) {
            case DeleteForGoodAnswer::Delete: {
                const std::int64_t size = entrySizeAt(shell::WithoutTrailingSlash(source));
                if (remover.removePath(shell::WithoutTrailingSlash(source)))
                    m_context.done(source, QByteArray(), size);
                break;
            }
            case DeleteForGoodAnswer::Skip:
                m_context.skip(source);
                break;
            case DeleteForGoodAnswer::Cancel:
                break;
            }
            break;
        }
    }
}

void Runner::deleteAll()
{
    m_context.progress().setTotals(std::uint64_t(m_op.sources.size()), 0);
    TreeRemover remover(m_context);
    for (const QByteArray& source : m_op.sources) {
        if (m_context.stopped())
            break;
        const QByteArray path = shell::WithoutTrailingSlash(source);
        // An object deleted from the trash takes its info file along.
        const std::optional<TrashStore::Entry> entry = TrashStore::entryOf(path);
        const std::int64_t size = entrySizeAt(path);
        if (!remover.removePath(path))
            continue;
        if (entry && !entry->infoPath.isEmpty())
            ::unlink(entry->infoPath.constData());
        m_context.done(source, QByteArray(), size);
    }
}

void Runner::restoreAll()
{
    m_context.progress().setTotals(std::uint64_t(m_op.sources.size()), 0);
    const QString kept = QStringLiteral("Das Objekt bleibt im Papierkorb.");
    for (const QByteArray& source : m_op.sources) {
        if (m_context.stopped())
            break;
        m_context.progress().setCurrent(source);
        const std::optional<TrashStore::Entry> entry = TrashStore::entryOf(source);
        if (!entry || entry->originalPath.isEmpty() || entry->infoPath.isEmpty()) {
            m_context.fail(source, QStringLiteral("Wiederherstellen nicht möglich: Der "
                                                  "ursprüngliche Ort ist nicht bekannt. %1")
                                       .arg(kept));
            continue;
        }
        const QByteArray original = entry->originalPath;
        const QByteArray parent = ParentOf(original);
        const QByteArray name = NameOf(original);
        if (const int error = MakeFolders(parent, 0777)) {
            m_context.fail(source, FailureText(action(), error, kept));
            continue;
        }
        int error = platform::renameNoReplace(AT_FDCWD, entry->path.constData(), AT_FDCWD,
                                              original.constData());
        if (error == EXDEV) {
            // The original place is on another file system now: copy back, then remove.
            platform::UniqueFd from(::open(ParentOf(entry->path).constData(), kFolderFlags));
            platform::UniqueFd to(::open(parent.constData(), kFolderFlags));
            struct stat st, taken;
            if (!from || !to ||
                ::fstatat(from.get(), NameOf(entry->path).constData(), &st, AT_SYMLINK_NOFOLLOW) !=
                    0) {
                error = errno;
            } else if (::fstatat(to.get(), name.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
                error = EEXIST;
            } else {
                TreeTransfer transfer(m_context, TreeTransfer::Mode::Move);
                if (transfer.transfer(from.get(), NameOf(entry->path), entry->path, st, to.get(),
                                      name, original) != TreeTransfer::Result::Done)
                    continue; // the transfer reported why
                error = 0;
            }
        }
        if (error == EEXIST) {
            m_context.fail(source, QStringLiteral("Wiederherstellen nicht möglich: Am "
                                                  "ursprünglichen Ort %1 ist schon ein Objekt "
                                                  "dieses Namens. %2")
                                       .arg(quoted(original), kept));
            continue;
        }
        if (error != 0) {
            m_context.fail(source, FailureText(action(), error, kept));
            continue;
        }
        ::unlink(entry->infoPath.constData());
        m_context.countItem();
        m_context.done(source, original, entrySizeAt(original));
    }
}

void Runner::emptyTrash()
{
    TreeRemover remover(m_context);
    const QList<QByteArray> folders =
        m_op.sources.isEmpty() ? TrashStore::trashFolders() : QList<QByteArray>(m_op.sources);
    for (const QByteArray& dir : folders) {
        platform::UniqueFd files(::open((dir + "/files").constData(), kFolderFlags));
        platform::UniqueFd info(::open((dir + "/info").constData(), kFolderFlags));
        QList<QByteArray> names;
        int error = 0;
        if (files && !ListFolder(files.get(), names, error)) {
            m_context.fail(dir + "/files", FailureText(action(), error));
            continue;
        }
        for (const QByteArray& name : names) {
            if (m_context.stopped())
                return;
            const QByteArray path = dir + "/files/" + name;
            if (!remover.remove(files.get(), name, path))
                continue;
            if (info)
                ::unlinkat(info.get(), (name + ".trashinfo").constData(), 0);
            m_context.done(path, QByteArray());
        }
        // Info files whose object is gone describe nothing any more.
        if (info && ListFolder(info.get(), names, error)) {
            for (const QByteArray& name : names) {
                struct stat st;
                const QByteArray object = name.chopped(std::min<qsizetype>(10, name.size()));
                if (name.endsWith(".trashinfo") && files &&
                    ::fstatat(files.get(), object.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                    ::unlinkat(info.get(), name.constData(), 0);
            }
        }
        ::unlink((dir + "/directorysizes").constData());
    }
}

void Runner::rename()
{
    if (m_op.sources.size() != 1) {
        for (const QByteArray& source : m_op.sources)
            m_context.fail(source, FailureText(action(), EINVAL));
        return;
    }
    const QByteArray source = shell::WithoutTrailingSlash(m_op.sources.first());
    if (const std::optional<QString> problem = NameProblem(m_op.newName)) {
        m_context.fail(source, QStringLiteral("Umbenennen nicht möglich: %1").arg(*problem));
        return;
    }
    const QByteArray target = JoinPath(ParentOf(source), m_op.newName);
    if (target == source) {
        // Nothing to rename, but only an object that is there keeps its name.
        struct stat st;
        if (::lstat(source.constData(), &st) != 0) {
            m_context.fail(source, FailureText(action(), errno));
            return;
        }
        m_context.done(source, source);
        return;
    }
    if (const int error =
            platform::renameNoReplace(AT_FDCWD, source.constData(), AT_FDCWD, target.constData())) {
        m_context.fail(source, FailureText(action(), error));
        return;
    }
    m_context.countItem();
    m_context.done(source, target);
}

} // namespace

QString OperationTitle(OperationKind kind)
{
    switch (kind) {
    case OperationKind::Trash:
        return QStringLiteral("In den Papierkorb verschieben");
    case OperationKind::DeleteForGood:
        return QStringLiteral("Endgültig löschen");
    case OperationKind::Copy:
        return QStringLiteral("Kopieren");
    case OperationKind::Move:
        return QStringLiteral("Verschieben");
    case OperationKind::Link:
        return QStringLiteral("Verknüpfen");
    case OperationKind::Restore:
        return QStringLiteral("Wiederherstellen");
    case OperationKind::EmptyTrash:
        return QStringLiteral("Papierkorb leeren");
    case OperationKind::Rename:
        return QStringLiteral("Umbenennen");
    }
    return {};
}

const char* OperationKey(OperationKind kind)
{
    switch (kind) {
    case OperationKind::Trash:
        return "trash";
    case OperationKind::DeleteForGood:
        return "delete";
    case OperationKind::Copy:
        return "copy";
    case OperationKind::Move:
        return "move";
    case OperationKind::Link:
        return "link";
    case OperationKind::Restore:
        return "restore";
    case OperationKind::EmptyTrash:
        return "empty-trash";
    case OperationKind::Rename:
        return "rename";
    }
    return "";
}

OperationReport OperationEngine::run(const Operation& operation, OperationHost& host,
                                     OperationProgress& progress, const std::atomic_bool& cancel)
{
    OperationReport report;
    OperationContext context(host, progress, cancel, report);
    Runner(operation, context).run();
    if (context.stopped())
        report.outcome = OperationReport::Outcome::Cancelled;
    else if (!report.failures.isEmpty())
        report.outcome = OperationReport::Outcome::Failed;
    return report;
}

} // namespace fileops
