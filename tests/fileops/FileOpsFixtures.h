#pragma once
// Fixtures of the file-operation tests: trees described and compared byte for byte
// (names, kinds, modes, times, contents, link targets), small tmpfs file systems mounted
// for the tests that need a full disk or a second file system (root only), and the
// engine run on the test's thread with fixed answers.

#include "fileops/FixedAnswers.h"
#include "fileops/OperationEngine.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <ftw.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// Removes a tree bottom-up without following links.
inline bool removeTreeAt(const QByteArray& path)
{
    return ::nftw(
               path.constData(),
               [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
               FTW_DEPTH | FTW_PHYS) == 0;
}

// A temporary folder that is removed with everything in it, names that are not UTF-8
// included (which QTemporaryDir leaves behind).
class ScratchDir
{
public:
    ScratchDir() : m_dir(QDir::tempPath() + QStringLiteral("/fegmann-fileops-XXXXXX")) {}
    ~ScratchDir() { removeTreeAt(path()); }
    QByteArray path() const { return QFile::encodeName(m_dir.path()); }

private:
    QTemporaryDir m_dir;
};

// Everything below `root`, by path relative to it: "d 0755 MTIME", "f 0644 MTIME CONTENT",
// "l TARGET". Folder times are left out where `folderTimes` is false (a merge changes them).
inline QMap<QByteArray, QByteArray> snapshot(const QByteArray& root, bool folderTimes = true)
{
    static thread_local QMap<QByteArray, QByteArray>* out;
    static thread_local qsizetype prefix;
    static thread_local bool withFolderTimes;
    QMap<QByteArray, QByteArray> result;
    out = &result;
    prefix = root.size();
    withFolderTimes = folderTimes;
    ::nftw(
        root.constData(),
        [](const char* p, const struct stat* st, int type, struct FTW*) {
            const QByteArray path(p);
            const QByteArray rel = path.mid(prefix);
            const QByteArray mode = QByteArray::number(st->st_mode & 07777, 8);
            const QByteArray mtime = QByteArray::number(qint64(st->st_mtim.tv_sec)) + '.' +
                                     QByteArray::number(qint64(st->st_mtim.tv_nsec));
            if (type == FTW_SL) {
                QByteArray target(4096, '\0');
                const ssize_t n = ::readlink(p, target.data(), size_t(target.size()));
                target.truncate(std::max<ssize_t>(n, 0));
                out->insert(rel, "l " + target);
            } else if (type == FTW_D || type == FTW_DP) {
                out->insert(rel, "d " + mode + (withFolderTimes ? ' ' + mtime : QByteArray()));
            } else {
                QByteArray content;
                const int fd = ::open(p, O_RDONLY);
                char buffer[65536];
                for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                    content.append(buffer, n);
                if (fd >= 0)
                    ::close(fd);
                out->insert(rel, "f " + mode + ' ' + mtime + ' ' + content);
            }
            return 0;
        },
        32, FTW_PHYS);
    return result;
}

inline void putFile(const QByteArray& path, const QByteArray& content, mode_t mode = 0644)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, mode);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    QCOMPARE(::close(fd), 0);
    QCOMPARE(::chmod(path.constData(), mode), 0);
}

inline QByteArray contentOf(const QByteArray& path)
{
    QByteArray content;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        content.append(buffer, n);
    ::close(fd);
    return content;
}

inline bool exists(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// Names in a folder that the engine's temporary files would have.
inline QByteArrayList temporaryLeftovers(const QByteArray& root)
{
    QByteArrayList found;
    for (const QByteArray& key : snapshot(root).keys()) {
        if (key.contains("/.~fegmann."))
            found.append(key);
    }
    return found;
}

// A file system mounted on `where` while the object lives, unmounted when it goes. Only
// root can mount; `mounted()` says whether it worked.
class ScopedMount
{
public:
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    ~ScopedMount()
    {
        if (m_mounted)
            ::umount2(m_where.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

protected:
    ScopedMount(const QByteArray& where, const char* source, const char* type,
                unsigned long flags, const QByteArray& options)
        : m_where(where)
    {
        if (::geteuid() != 0)
            return;
        ::mkdir(where.constData(), 0755);
        m_mounted = ::mount(source, where.constData(), type, flags,
                            options.isEmpty() ? nullptr : options.constData()) == 0;
    }

private:
    QByteArray m_where;
    bool m_mounted = false;
};

// A tmpfs of `sizeKib` on `where`.
class TmpfsMount : public ScopedMount
{
public:
    TmpfsMount(const QByteArray& where, int sizeKib, bool readOnly = false)
        : ScopedMount(where, "tmpfs", "tmpfs", readOnly ? MS_RDONLY : 0,
                      "size=" + QByteArray::number(sizeKib) + "k,mode=0755")
    {
    }
};

// `folder` bind-mounted on `where`: the same file system seen through a mount of its own.
class BindMount : public ScopedMount
{
public:
    BindMount(const QByteArray& folder, const QByteArray& where)
        : ScopedMount(where, folder.constData(), nullptr, MS_BIND, {})
    {
    }
};

#define REQUIRE_TMPFS(mount)                                                                       \
    do {                                                                                           \
        if (!(mount).mounted())                                                                    \
            QSKIP("needs root to mount a small tmpfs");                                            \
    } while (0)

inline fileops::OperationReport runOperation(fileops::OperationKind kind,
                                             const QList<QByteArray>& sources,
                                             const QByteArray& destination = {},
                                             fileops::OperationHost* host = nullptr)
{
    fileops::FixedAnswers skip(fileops::ConflictAnswer::Skip, fileops::DeleteForGoodAnswer::Skip);
    fileops::Operation op;
    op.kind = kind;
    op.sources = shell::TFileNames(sources.begin(), sources.end());
    op.destination = destination;
    fileops::OperationProgress progress;
    std::atomic_bool cancel{false};
    return fileops::OperationEngine::run(op, host ? *host : skip, progress, cancel);
}
