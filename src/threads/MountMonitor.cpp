#include "threads/MountMonitor.h"

#include "platform/MountTable.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace threads {

MountMonitor::MountMonitor(Sink sink, QObject* parent) : QObject(parent), m_sink(std::move(sink)) {}

MountMonitor::~MountMonitor()
{
    stop();
}

bool MountMonitor::start()
{
    if (m_fd >= 0)
        return true;
    m_fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    if (!readTable(&m_keys)) {
        stop();
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &MountMonitor::check);
    return true;
}

void MountMonitor::stop()
{
    if (m_fd < 0)
        return;
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater(); // its signal may be the one being handled
    }
    ::close(m_fd);
    m_fd = -1;
    m_keys.clear();
}

bool MountMonitor::readTable(QList<QByteArray>* keys) const
{
    QByteArray text;
    char chunk[16384];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(m_fd, chunk, sizeof chunk, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        text.append(chunk, n);
        at += n;
    }
    keys->clear();
    const platform::MountTable table = platform::MountTable::parse(text);
    for (const platform::MountTable::Mount& m : table.mounts()) {
        keys->append(m.mountPoint + '\0' + QByteArray::number(qulonglong(m.device)) + '\0' +
                     m.fileSystem + '\0' + m.source);
    }
    std::sort(keys->begin(), keys->end());
    return true;
}

void MountMonitor::check()
{
    QList<QByteArray> keys;
    if (m_fd < 0 || !readTable(&keys))
        return;
    QList<QByteArray> gone, added;
    std::set_difference(m_keys.cbegin(), m_keys.cend(), keys.cbegin(), keys.cend(),
                        std::back_inserter(gone));
    std::set_difference(keys.cbegin(), keys.cend(), m_keys.cbegin(), m_keys.cend(),
                        std::back_inserter(added));
    m_keys = std::move(keys);
    QList<Change> changes;
    for (const QByteArray& key : gone)
        changes.append({key.left(key.indexOf('\0')), false});
    for (const QByteArray& key : added)
        changes.append({key.left(key.indexOf('\0')), true});
    if (!changes.isEmpty())
        m_sink(changes); // last: the receiver may stop or destroy this monitor
}

} // namespace threads
