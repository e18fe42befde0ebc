#pragma once
// Tells when file systems are mounted or unmounted anywhere: the kernel marks
// /proc/self/mountinfo with POLLPRI when the mount table changes, and the table read
// then is compared with the one read before. Owned by the change notifier, which turns
// the changes into drive add and drive remove reports; interface thread only.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <functional>

namespace threads {

class MountMonitor : public QObject
{
    Q_OBJECT
public:
    struct Change
    {
        QByteArray mountPoint;
        bool added = false;
    };
    // Called with the removals first, then the additions, each sorted by mount point.
    using Sink = std::function<void(const QList<Change>&)>;

    explicit MountMonitor(Sink sink, QObject* parent = nullptr);
    ~MountMonitor() override;

    // Reads the table as it is now; changes from then on are reported.
    bool start();
    void stop();
    bool isActive() const { return m_fd >= 0; }
    // Reads the table now and reports what changed since the last reading.
    void check();

private:
    bool readTable(QList<QByteArray>* keys) const;

    Sink m_sink;
    int m_fd = -1;
    QPointer<QSocketNotifier> m_notifier;
    QList<QByteArray> m_keys; // one per mount, sorted: mount point, NUL, the rest
};

} // namespace threads
