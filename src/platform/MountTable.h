#pragma once
// The mounted file systems, read from /proc/self/mountinfo. The walk asks it which
// devices belong to pseudo file systems (proc, sysfs, ...), whose folders hold no data
// on any disk and are never entered; the drives folder lists the other mounts.

#include <QByteArray>
#include <QList>
#include <QString>
#include <sys/types.h>
#include <vector>

namespace platform {

class MountTable
{
public:
    struct Mount
    {
        dev_t device = 0;
        QByteArray mountPoint; // unescaped, raw bytes
        QByteArray fileSystem; // "ext4", "proc", "fuse.sshfs", ...
        QByteArray source;     // "/dev/sda1", "proc", "server:/share", ...
    };

    MountTable() = default;
    // Reads the table of this process; an unreadable table gives an empty one.
    static MountTable read();
    // A seam for tests: read() reads this file instead, in the format of mountinfo;
    // an empty path reads the process's own table again.
    static void setTableFile(const QString& path);
    // Parses the text of a mountinfo file; lines that do not parse are skipped.
    static MountTable parse(const QByteArray& mountinfo);

    const QList<Mount>& mounts() const { return m_mounts; }
    bool isPseudoDevice(dev_t device) const;
    static bool isPseudoFileSystem(const QByteArray& type);

private:
    QList<Mount> m_mounts;
    std::vector<dev_t> m_pseudoDevices; // sorted
};

} // namespace platform
