#include "fileops/TreeTransfer.h"

#include "fileops/FailureText.h"
#include "fileops/FolderListing.h"
#include "fileops/NameRules.h"
#include "fileops/OperationContext.h"
#include "platform/NoReplaceRename.h"
#include "platform/UniqueFd.h"

#include <QDateTime>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileops {

namespace {

// Large enough that the kernel copies at full speed, small enough that a cancel or a
// progress update comes several times a second.
constexpr std::size_t kChunk = 8 * 1024 * 1024;
// Private error values beside errno's: a copy stopped by the user, a source that changed
// while it was read, an object that cannot be copied at all.
constexpr int kCancelled = -1;
constexpr int kSourceChanged = -2;
constexpr int kNotCopyable = -3;

struct HookSlot
{
    std::atomic_bool set{false};
    std::mutex mutex;
    std::shared_ptr<const TreeTransfer::ChunkHook> hook;
};

HookSlot& hookSlot()
{
    static HookSlot slot;
    return slot;
}

void callChunkHook(const QByteArray& source, std::uint64_t written)
{
    HookSlot& slot = hookSlot();
    if (!slot.set.load(std::memory_order_acquire))
        return;
    std::shared_ptr<const TreeTransfer::ChunkHook> hook;
    {
        std::lock_guard lock(slot.mutex);
        hook = slot.hook;
    }
    if (hook && *hook)
        (*hook)(source, written);
}

std::atomic<unsigned> g_tmpCounter{0};

const QByteArray kTemporaryPrefix = QByteArrayLiteral(".~fegmann.");

QByteArray temporaryName()
{
    return kTemporaryPrefix + QByteArray::number(::getpid()) + '.' +
           QByteArray::number(g_tmpCounter.fetch_add(1, std::memory_order_relaxed)) + ".part";
}

bool allDigits(const QByteArray& text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The process that made a temporary name (".~fegmann.PID.N.part", ".~fegmann.PID.link"),
// or 0 when the name is none of ours.
pid_t temporaryOwner(const QByteArray& name)
{
    if (!name.startsWith(kTemporaryPrefix))
        return 0;
    const QByteArrayList parts = name.mid(kTemporaryPrefix.size()).split('.');
    const bool part = parts.size() == 3 && allDigits(parts[1]) && parts[2] == "part";
    const bool link = parts.size() == 2 && parts[1] == "link";
    if (!(part || link) || !allDigits(parts[0]) || parts[0].size() > 9)
        return 0;
    return pid_t(parts[0].toLong());
}

// fsync of a folder; file systems that cannot sync folders have nothing more to offer.
int syncFolder(int folderFd)
{
    if (::fsync(folderFd) == 0 || errno == EINVAL)
        return 0;
    return -1;
}

QDateTime modified(const struct stat& st)
{
    return QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
}

bool sameObject(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The kernel's fastest way that works here: copy_file_range, else sendfile, else
// read and write. Decided on the first call for each file.
class DataPump
{
public:
    DataPump(int in, int out) : m_in(in), m_out(out) {}

    // Copies up to `count` bytes from `inOffset` to the same offset of the output.
    // Returns the bytes copied (0 at the end of the input) or -errno.
    ssize_t copy(off_t offset, std::size_t count)
    {
        for (;;) {
            ssize_t n = -1;
            switch (m_way) {
            case Way::CopyRange: {
                off_t inOff = offset, outOff = offset;
                n = ::copy_file_range(m_in, &inOff, m_out, &outOff, count, 0);
                if (n < 0 &&
                    (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                     errno == EBADF) &&
                    !m_moved) {
                    m_way = Way::SendFile;
                    continue;
                }
                break;
            }
            case Way::SendFile: {
                if (::lseek(m_out, offset, SEEK_SET) < 0)
                    return -errno;
                off_t inOff = offset;
                n = ::sendfile(m_out, m_in, &inOff, count);
                if (n < 0 && (errno == EINVAL || errno == ENOSYS) && !m_moved) {
                    m_way = Way::ReadWrite;
                    continue;
                }
                break;
            }
            case Way::ReadWrite:
                n = readWrite(offset, count);
                break;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -errno;
            if (n > 0)
                m_moved = true;
            return n;
        }
    }

private:
    enum class Way
    {
        CopyRange,
        SendFile,
        ReadWrite
    };

    ssize_t readWrite(off_t offset, std::size_t count)
    {
        if (!m_buffer)
            m_buffer.reset(new char[kBuffer]);
        const ssize_t got = ::pread(m_in, m_buffer.get(), std::min(count, kBuffer), offset);
        if (got <= 0)
            return got;
        for (ssize_t put = 0; put < got;) {
            const ssize_t n =
                ::pwrite(m_out, m_buffer.get() + put, size_t(got - put), offset + put);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -1;
            put += n;
        }
        return got;
    }

    static constexpr std::size_t kBuffer = 1024 * 1024;
    int m_in;
    int m_out;
    Way m_way = Way::CopyRange;
    bool m_moved = false; // once data went one way, errors are errors, not a reason to switch
    std::unique_ptr<char[]> m_buffer;
};

} // namespace

void TreeTransfer::removeStalePartials(int folderFd)
{
    QList<QByteArray> names;
    int error = 0;
    if (!ListFolder(folderFd, names, error))
        return;
    for (const QByteArray& name : names) {
        const pid_t owner = temporaryOwner(name);
        // Only a process that is gone leaves its temporary files for good; one that runs
        // (or that we may not ask about) may still be writing.
        if (owner <= 0 || owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st;
        if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(st.st_mode))
            ::unlinkat(folderFd, name.constData(), 0);
    }
}

void TreeTransfer::setChunkHook(ChunkHook hook)
{
    HookSlot& slot = hookSlot();
    std::lock_guard lock(slot.mutex);
    slot.hook = hook ? std::make_shared<const ChunkHook>(std::move(hook)) : nullptr;
    slot.set.store(bool(slot.hook), std::memory_order_release);
}

TreeTransfer::TreeTransfer(OperationContext& context, Mode mode)
    : m_context(context), m_mode(mode), m_asRoot(::geteuid() == 0)
{
}

QString TreeTransfer::action() const
{
    return m_mode == Mode::Move ? QStringLiteral("Verschieben") : QStringLiteral("Kopieren");
}

QString TreeTransfer::sourceKept() const
{
    return QStringLiteral("Die Quelle bleibt unverändert.");
}

TreeTransfer::Result TreeTransfer::transfer(int srcParent, const QByteArray& srcName,
                                            const QByteArray& srcPath, const struct stat& st,
                                            int dstParent, const QByteArray& dstName,
                                            const QByteArray& dstPath)
{
    if (m_context.stopped())
        return Result::Stopped;
    m_context.progress().setCurrent(srcPath);
    if (m_mode == Mode::Move) {
        bool notHere = false;
        const Result r =
            moveByRename(srcParent, srcName, srcPath, st, dstParent, dstName, dstPath, notHere);
        if (!notHere)
            return r;
    }
    if (S_ISDIR(st.st_mode))
        return transferFolder(srcParent, srcName, srcPath, st, dstParent, dstName, dstPath);
    return copyObject(srcParent, srcName, srcPath, st, dstParent, dstName, dstPath);
}

TreeTransfer::Result TreeTransfer::resolveConflict(const QByteArray& srcPath, const struct stat& st,
                                                   const QByteArray& dstPath,
                                                   const struct stat& target)
{
    if (sameObject(st, target)) {
        m_context.fail(srcPath, QStringLiteral("%1 nicht möglich: Quelle und Ziel sind dasselbe "
                                               "Objekt. %2")
                                    .arg(action(), sourceKept()));
        return Result::Failed;
    }
    ConflictQuestion q;
    q.source = srcPath;
    q.target = dstPath;
    q.sourceIsFolder = S_ISDIR(st.st_mode);
    q.targetIsFolder = S_ISDIR(target.st_mode);
    q.sourceSize = q.sourceIsFolder ? 0 : std::int64_t(st.st_size);
    q.targetSize = q.targetIsFolder ? 0 : std::int64_t(target.st_size);
    q.sourceModified = modified(st);
    q.targetModified = modified(target);
    switch (m_context.askConflict(q)) {
    case ConflictAnswer::Skip:
        return Result::Skipped;
    case ConflictAnswer::Cancel:
        return Result::Stopped;
    case ConflictAnswer::Replace:
        break;
    }
    if (q.targetIsFolder || q.sourceIsFolder) {
        // Replacing would first have to delete a whole folder, or put a folder where a
        // file was: neither is what "Ersetzen" of one name should do without a word.
        m_context.fail(srcPath,
                       q.targetIsFolder
                           ? QStringLiteral("%1 nicht möglich: Am Ziel ist ein Ordner dieses "
                                            "Namens; er wird nicht durch eine Datei ersetzt. %2")
                                 .arg(action(), sourceKept())
                           : QStringLiteral("%1 nicht möglich: Am Ziel ist eine Datei dieses "
                                            "Namens; sie wird nicht durch einen Ordner ersetzt. %2")
                                 .arg(action(), sourceKept()));
        return Result::Failed;
    }
    return Result::Done;
}

TreeTransfer::Result TreeTransfer::moveByRename(int srcParent, const QByteArray& srcName,
                                                const QByteArray& srcPath, const struct stat& st,
                                                int dstParent, const QByteArray& dstName,
                                                const QByteArray& dstPath, bool& notHere)
{
    int error =
        platform::renameNoReplace(srcParent, srcName.constData(), dstParent, dstName.constData());
    if (error == 0) {
        m_context.countItem();
        return Result::Done;
    }
    if (error == EXDEV) {
        notHere = true; // another file system: copy, then remove
        return Result::Failed;
    }
    if (error != EEXIST) {
        m_context.fail(srcPath, FailureText(action(), error, sourceKept()));
        return Result::Failed;
    }
    struct stat target;
    if (::fstatat(dstParent, dstName.constData(), &target, AT_SYMLINK_NOFOLLOW) != 0) {
        m_context.fail(srcPath, FailureText(action(), errno, sourceKept()));
        return Result::Failed;
    }
    if (S_ISDIR(st.st_mode) && S_ISDIR(target.st_mode) && !sameObject(st, target)) {
        notHere = true; // two folders of one name are merged, name by name
        return Result::Failed;
    }
    const Result answer = resolveConflict(srcPath, st, dstPath, target);
    if (answer != Result::Done)
        return answer;
    // Only a file replaces a file here, and rename(2) does that in one step.
    if (::renameat(srcParent, srcName.constData(), dstParent, dstName.constData()) != 0) {
        error = errno;
        if (error == EXDEV) {
            notHere = true;
            return Result::Failed;
        }
        m_context.fail(srcPath, FailureText(action(), error, sourceKept()));
        return Result::Failed;
    }
    m_context.countItem();
    return Result::Done;
}

TreeTransfer::Result TreeTransfer::transferFolder(int srcParent, const QByteArray& srcName,
                                                  const QByteArray& srcPath, const struct stat& st,
                                                  int dstParent, const QByteArray& dstName,
                                                  const QByteArray& dstPath)
{
    bool created = false;
    struct stat target;
    if (::fstatat(dstParent, dstName.constData(), &target, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISDIR(target.st_mode)) {
            const Result answer = resolveConflict(srcPath, st, dstPath, target);
            if (answer != Result::Done)
                return answer;
        }
        // An existing folder of the same name takes the contents, name by name.
    } else if (errno != ENOENT) {
        m_context.fail(srcPath, FailureText(action(), errno, sourceKept()));
        return Result::Failed;
    } else if (::mkdirat(dstParent, dstName.constData(), (st.st_mode & 0777) | S_IRWXU) != 0) {
        // Made with its own permissions, and the owner's while it is filled: an
        // interruption leaves a folder that others can use as they could use the source.
        m_context.fail(srcPath, FailureText(action(), errno, sourceKept()));
        return Result::Failed;
    } else if (m_mode == Mode::Move && syncFolder(dstParent) != 0) {
        // Files moved into it are safe only once the folder itself is.
        const int error = errno;
        ::unlinkat(dstParent, dstName.constData(), AT_REMOVEDIR);
        m_context.fail(srcPath, FailureText(action(), error, sourceKept()));
        return Result::Failed;
    } else {
        created = true;
    }
    platform::UniqueFd dstFd(
        ::openat(dstParent, dstName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    platform::UniqueFd srcFd(
        ::openat(srcParent, srcName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    QList<QByteArray> names;
    int error = 0;
    if (!dstFd || !srcFd)
        error = errno;
    else
        ListFolder(srcFd.get(), names, error);
    if (error == 0 && !created)
        removeStalePartials(dstFd.get());
    if (error != 0) {
        if (created)
            ::unlinkat(dstParent, dstName.constData(), AT_REMOVEDIR);
        m_context.fail(srcPath, FailureText(action(), error, sourceKept()));
        return Result::Failed;
    }
    bool all = true;
    for (const QByteArray& name : names) {
        if (m_context.stopped())
            break;
        const QByteArray childPath = JoinPath(srcPath, name);
        struct stat cst;
        if (::fstatat(srcFd.get(), name.constData(), &cst, AT_SYMLINK_NOFOLLOW) != 0) {
            m_context.fail(childPath, FailureText(action(), errno));
            all = false;
            continue;
        }
        const Result r =
            transfer(srcFd.get(), name, childPath, cst, dstFd.get(), name, JoinPath(dstPath, name));
        all = all && r == Result::Done;
    }
    if (created) {
        if (m_asRoot)
            (void)::fchown(dstFd.get(), st.st_uid, st.st_gid);
        (void)::fchmod(dstFd.get(), st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        (void)::futimens(dstFd.get(), times);
    }
    m_context.countItem();
    if (m_context.stopped())
        return Result::Stopped;
    if (!all)
        return Result::Failed;
    if (m_mode == Mode::Move) {
        srcFd.reset();
        if (::unlinkat(srcParent, srcName.constData(), AT_REMOVEDIR) != 0) {
            m_context.fail(srcPath, QStringLiteral("Der Inhalt wurde verschoben, aber der "
                                                   "Quellordner blieb stehen: %1")
                                        .arg(shell::SystemErrorText(errno)));
            return Result::Failed;
        }
    }
    return Result::Done;
}

TreeTransfer::Result TreeTransfer::copyObject(int srcParent, const QByteArray& srcName,
                                              const QByteArray& srcPath, const struct stat& st,
                                              int dstParent, const QByteArray& dstName,
                                              const QByteArray& dstPath)
{
    bool replace = false;
    struct stat target;
    if (::fstatat(dstParent, dstName.constData(), &target, AT_SYMLINK_NOFOLLOW) == 0) {
        const Result answer = resolveConflict(srcPath, st, dstPath, target);
        if (answer != Result::Done)
            return answer;
        replace = true;
    }
    QByteArray tmpName;
    const int error = writeTemporary(srcParent, srcName, srcPath, st, dstParent, tmpName);
    if (error != 0) {
        if (!tmpName.isEmpty())
            ::unlinkat(dstParent, tmpName.constData(), 0);
        if (error == kCancelled)
            return Result::Stopped;
        if (error == kSourceChanged)
            m_context.fail(srcPath, QStringLiteral("%1 nicht möglich: Die Quelldatei wurde "
                                                   "während des Kopierens entfernt oder "
                                                   "verändert. Am Ziel bleibt nichts davon zurück.")
                                        .arg(action()));
        else if (error == kNotCopyable)
            m_context.fail(srcPath, QStringLiteral("%1 nicht möglich: Ein Socket lässt sich nicht "
                                                   "kopieren. %2")
                                        .arg(action(), sourceKept()));
        else
            m_context.fail(srcPath, FailureText(action(), error, sourceKept()));
        return Result::Failed;
    }
    auto dropTemporary = [&] { ::unlinkat(dstParent, tmpName.constData(), 0); };
    int placed = replace ? 0
                         : platform::renameNoReplace(dstParent, tmpName.constData(), dstParent,
                                                     dstName.constData());
    if (placed == EEXIST) {
        // The name was taken while the copy was written.
        if (::fstatat(dstParent, dstName.constData(), &target, AT_SYMLINK_NOFOLLOW) != 0) {
            placed = errno;
        } else {
            const Result answer = resolveConflict(srcPath, st, dstPath, target);
            if (answer != Result::Done) {
                dropTemporary();
                return answer;
            }
            replace = true;
            placed = 0;
        }
    }
    if (placed == 0 && replace &&
        ::renameat(dstParent, tmpName.constData(), dstParent, dstName.constData()) != 0)
        placed = errno;
    if (placed != 0) {
        dropTemporary();
        m_context.fail(srcPath, FailureText(action(), placed, sourceKept()));
        return Result::Failed;
    }
    m_context.countItem();
    if (m_mode == Mode::Move && syncFolder(dstParent) != 0) {
        // Until its name in the folder is on the disk, a power loss could take the copy.
        m_context.fail(srcPath, QStringLiteral("%1 nicht möglich: Die Kopie ist vollständig, "
                                               "aber der Zielordner ließ sich nicht sicher "
                                               "speichern: %2 Die Quelle bleibt erhalten.")
                                    .arg(action(), shell::SystemErrorText(errno)));
        return Result::Failed;
    }
    if (m_mode == Mode::Move && ::unlinkat(srcParent, srcName.constData(), 0) != 0) {
        m_context.fail(srcPath, QStringLiteral("Die Kopie ist vollständig, aber die Quelle "
                                               "konnte nicht entfernt werden: %1")
                                    .arg(shell::SystemErrorText(errno)));
        return Result::Failed;
    }
    return Result::Done;
}

int TreeTransfer::makeSpecial(int dstParent, const struct stat& st, QByteArray& tmpName,
                              const std::function<int(const char* name)>& make)
{
    for (;;) {
        tmpName = temporaryName();
        if (make(tmpName.constData()) == 0)
            break;
        const int error = errno;
        tmpName.clear();
        if (error != EEXIST)
            return error;
    }
    if (m_asRoot)
        (void)::fchownat(dstParent, tmpName.constData(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::utimensat(dstParent, tmpName.constData(), times, AT_SYMLINK_NOFOLLOW);
    return 0;
}

int TreeTransfer::writeTemporary(int srcParent, const QByteArray& srcName,
                                 const QByteArray& srcPath, const struct stat& st, int dstParent,
                                 QByteArray& tmpName)
{
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (S_ISLNK(st.st_mode)) {
        QByteArray target(std::max<qsizetype>(st.st_size, 255) + 1, '\0');
        const ssize_t n =
            ::readlinkat(srcParent, srcName.constData(), target.data(), size_t(target.size()));
        if (n < 0)
            return errno;
        if (n >= target.size())
            return EOVERFLOW; // the link changed since it was looked at
        target.truncate(n);
        return makeSpecial(dstParent, st, tmpName, [&](const char* name) {
            return ::symlinkat(target.constData(), dstParent, name);
        });
    }
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        return makeSpecial(dstParent, st, tmpName, [&](const char* name) {
            return ::mknodat(dstParent, name, st.st_mode, st.st_rdev);
        });
    }
    if (!S_ISREG(st.st_mode))
        return kNotCopyable; // a socket has nothing to copy

    platform::UniqueFd in(
        ::openat(srcParent, srcName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!in)
        return errno;
    platform::UniqueFd out;
    for (;;) {
        tmpName = temporaryName();
        out.reset(::openat(dstParent, tmpName.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (out)
            break;
        const int error = errno;
        tmpName.clear();
        if (error != EEXIST)
            return error;
    }
    int error = copyFileData(in.get(), out.get(), st, srcPath);
    if (error != 0)
        return error;
    if (m_asRoot)
        (void)::fchown(out.get(), st.st_uid, st.st_gid);
    (void)::fchmod(out.get(), st.st_mode & 07777);
    (void)::futimens(out.get(), times);
    // A move removes the only other copy next: the data must be on the disk first.
    if (m_mode == Mode::Move && ::fdatasync(out.get()) != 0)
        return errno;
    return out.close();
}

int TreeTransfer::copyFileData(int in, int out, const struct stat& st, const QByteArray& srcPath)
{
    DataPump pump(in, out);
    std::uint64_t written = 0;
    off_t offset = 0;
    // A sparse file keeps its holes: only the parts with data are copied.
    const bool sparse = std::uint64_t(st.st_blocks) * 512 < std::uint64_t(st.st_size);
    for (;;) {
        if (sparse) {
            const off_t data = ::lseek(in, offset, SEEK_DATA);
            if (data < 0)
                break; // ENXIO: no data after `offset`; the size is set below
            offset = data;
        }
        const off_t end = sparse ? ::lseek(in, offset, SEEK_HOLE) : off_t(-1);
        const std::size_t want =
            end > offset ? std::min<std::size_t>(kChunk, std::size_t(end - offset)) : kChunk;
        const ssize_t n = pump.copy(offset, want);
        if (n < 0)
            return int(-n);
        if (n == 0)
            break;
        offset += n;
        written += std::uint64_t(n);
        m_context.countBytes(std::uint64_t(n));
        callChunkHook(srcPath, written);
        if (m_context.stopped())
            return kCancelled;
    }
    if (sparse && ::ftruncate(out, st.st_size) != 0)
        return errno;
    // A source that was removed, shortened or rewritten while it was read gives a copy
    // that is neither the old file nor the new one.
    struct stat after;
    if (::fstat(in, &after) != 0)
        return errno;
    if (after.st_nlink == 0 || after.st_size != st.st_size ||
        after.st_mtim.tv_sec != st.st_mtim.tv_sec || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec ||
        (!sparse && std::uint64_t(st.st_size) != written))
        return kSourceChanged;
    return 0;
}

} // namespace fileops
