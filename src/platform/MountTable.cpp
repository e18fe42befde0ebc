#include "platform/MountTable.h"

#include "platform/TestSeam.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <string_view>
#include <sys/sysmacros.h>

namespace platform {

namespace {

// mountinfo writes space, tab, newline and backslash in paths as \ooo.
QByteArray unescape(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], d = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && d >= '0' && d <= '7') {
                out.append(char((a - '0') * 64 + (b - '0') * 8 + (d - '0')));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

} // namespace

bool MountTable::isPseudoFileSystem(const QByteArray& type)
{
    static constexpr std::array<std::string_view, 21> kPseudo = {
        "proc",      "sysfs",       "devtmpfs", "devpts",   "cgroup",   "cgroup2",    "debugfs",
        "tracefs",   "securityfs",  "pstore",   "bpf",      "configfs", "fusectl",    "mqueue",
        "hugetlbfs", "binfmt_misc", "autofs",   "efivarfs", "nsfs",     "rpc_pipefs", "selinuxfs"};
    const std::string_view t(type.constData(), size_t(type.size()));
    return std::find(kPseudo.begin(), kPseudo.end(), t) != kPseudo.end();
}

namespace {

TestSeam<QString>& tableFileSeam()
{
    static auto* seam = new TestSeam<QString>;
    return *seam;
}

} // namespace

void MountTable::setTableFile(const QString& path)
{
    tableFileSeam().set(path.isEmpty() ? nullptr : std::make_shared<const QString>(path));
}

MountTable MountTable::read()
{
    const std::shared_ptr<const QString> replaced = tableFileSeam().get();
    QFile file(replaced ? *replaced : QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

MountTable MountTable::parse(const QByteArray& mountinfo)
{
    MountTable table;
    for (const QByteArray& line : mountinfo.split('\n')) {
        // id parent major:minor root mount-point options [optional...] - type source super
        const QList<QByteArray> f = line.split(' ');
        const qsizetype dash = f.indexOf(QByteArrayLiteral("-"));
        if (f.size() < 6 || dash < 6 || dash + 2 >= f.size())
            continue;
        const QList<QByteArray> majorMinor = f[2].split(':');
        bool okMajor = false, okMinor = false;
        const uint major = majorMinor.value(0).toUInt(&okMajor);
        const uint minor = majorMinor.value(1).toUInt(&okMinor);
        if (majorMinor.size() != 2 || !okMajor || !okMinor)
            continue;
        Mount m;
        m.device = makedev(major, minor);
        m.mountPoint = unescape(f[4]);
        m.fileSystem = f[dash + 1];
        m.source = unescape(f[dash + 2]);
        if (isPseudoFileSystem(m.fileSystem))
            table.m_pseudoDevices.push_back(m.device);
        table.m_mounts.append(std::move(m));
    }
    std::sort(table.m_pseudoDevices.begin(), table.m_pseudoDevices.end());
    return table;
}

bool MountTable::isPseudoDevice(dev_t device) const
{
    return std::binary_search(m_pseudoDevices.begin(), m_pseudoDevices.end(), device);
}

} // namespace platform
