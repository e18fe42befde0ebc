#pragma once
// Helpers shared by the tests: building real folders, and what `find` says about
// them, as an account independent of our own folder listing.

#include <QByteArray>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace testtrees {

// A temporary folder removed with `rm -rf`, which also copes with names that are
// not UTF-8 and with chains deeper than PATH_MAX. `where` may name a folder to make
// it in, such as /dev/shm for a large tree whose removal from a busy disk takes
// longer than the test itself; the temporary folder serves when it cannot be used.
class ScratchDir
{
public:
    explicit ScratchDir(const QString& where = {})
    {
        if (!where.isEmpty() && QFileInfo(where).isWritable())
            m_dir = std::make_unique<QTemporaryDir>(where + QStringLiteral("/fegmann-XXXXXX"));
        if (!m_dir || !m_dir->isValid())
            m_dir = std::make_unique<QTemporaryDir>();
        m_dir->setAutoRemove(false);
    }
    ~ScratchDir()
    {
        if (m_dir->isValid())
            QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), m_dir->path()});
    }
    QString path() const { return m_dir->path(); }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

inline void makeDir(const QByteArray& path)
{
    QVERIFY2(::mkdir(path.constData(), 0755) == 0 || errno == EEXIST, path.constData());
}

// A sparse file of `size` bytes.
inline void makeFile(const QByteArray& path, qint64 size)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::ftruncate(fd, size), 0);
    ::close(fd);
}

inline void makeLink(const QByteArray& target, const QByteArray& path)
{
    QVERIFY2(::symlink(target.constData(), path.constData()) == 0, path.constData());
}

struct Totals
{
    qint64 bytes = 0;
    qint64 files = 0;
};

inline QByteArray runFind(const QByteArray& root, const QStringList& test)
{
    QProcess find;
    find.start(QStringLiteral("find"), QStringList{QFile::decodeName(root)} + test);
    find.waitForFinished(-1);
    return find.readAllStandardOutput();
}

// What `find` counts at and below `path`, links not followed: the bytes and number of
// the non-folders, and the folders, `path` itself included.
struct Counts
{
    qint64 bytes = 0;
    qint64 files = 0;
    qint64 folders = 0;
};

inline Counts findCounts(const QByteArray& path)
{
    Counts c;
    const QByteArray out = runFind(path, {QStringLiteral("-printf"), QStringLiteral("%y %s\\n")});
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith('d')) {
            ++c.folders;
        } else if (!line.isEmpty()) {
            ++c.files;
            c.bytes += line.mid(2).toLongLong();
        }
    }
    return c;
}

// For every folder at or below `root`: the bytes and number of the non-folders in
// its subtree, as `find` counts them. Keys are the folders' paths as find prints
// them (starting with `root`, no trailing separator).
inline QHash<QByteArray, Totals> findTotals(const QByteArray& root)
{
    QHash<QByteArray, Totals> totals;
    const QByteArray dirs =
        runFind(root, {QStringLiteral("-type"), QStringLiteral("d"), QStringLiteral("-print0")});
    for (const QByteArray& d : dirs.split('\0'))
        if (!d.isEmpty())
            totals[d];
    const QList<QByteArray> fields =
        runFind(root, {QStringLiteral("!"), QStringLiteral("-type"), QStringLiteral("d"),
                       QStringLiteral("-printf"), QStringLiteral("%h\\0%s\\0")})
            .split('\0');
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        const qint64 size = fields[i + 1].toLongLong();
        for (QByteArray folder = fields[i]; folder.size() >= root.size();) {
            Totals& t = totals[folder];
            t.bytes += size;
            t.files += 1;
            const qsizetype cut = folder.lastIndexOf('/');
            if (cut < 0)
                break;
            folder.truncate(cut);
        }
    }
    return totals;
}

} // namespace testtrees
