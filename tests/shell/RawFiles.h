#pragma once
// Files with raw-byte names for the tests: written, read and removed through the kernel,
// since decoding a name that is not valid UTF-8 would lose it.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

inline void writeFile(const QByteArray& path, const QByteArray& content = "x")
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    ::close(fd);
}

inline QByteArray readFile(const QByteArray& path)
{
    QByteArray out(256, '\0');
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    const ssize_t n = ::read(fd, out.data(), size_t(out.size()));
    ::close(fd);
    out.truncate(n < 0 ? 0 : n);
    return out;
}

// Removes a tree without following links, also below PATH_MAX (rm walks by handles).
inline bool removeTree(const QByteArray& path)
{
    return QProcess::execute(QStringLiteral("rm"),
                             {QStringLiteral("-rf"), QStringLiteral("--"),
                              QFile::decodeName(path)}) == 0;
}
