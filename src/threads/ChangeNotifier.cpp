#include "threads/ChangeNotifier.h"

#include "shell/ShellNamespace.h"
#include "shell/ShellPaths.h"
#include "threads/InotifyWatches.h"

#include <QFile>
#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <chrono>

namespace threads {

using shell::TIdList;

namespace {

std::uint32_t monotonicTick()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// The image value an image-list report carries: a 32-bit number as the data of the
// second item; -1 when it has none.
int imageValue(const TIdList& item)
{
    const QByteArrayView data = item.itemData(0);
    if (data.size() < 4)
        return -1;
    const auto* b = reinterpret_cast<const unsigned char*>(data.data());
    return int(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
               std::uint32_t(b[3]) << 24);
}

} // namespace

TShellChangeNotifier::TShellChangeNotifier(QObject* owner)
    : TBaseComponent(owner),
      m_watches(new InotifyWatches([this](const ChangeReport& r) { handleReport(r); }, this)),
      m_mounts(new MountMonitor(
          [this](const QList<MountMonitor::Change>& changes) { mountsChanged(changes); }, this)),
      m_tick(monotonicTick)
{
    // Created switched off: the owner points it somewhere first.
    SetEnabled(false);
}

TShellChangeNotifier::~TShellChangeNotifier()
{
    SetEnabled(false);
}

void TShellChangeNotifier::SetEnabled(bool on)
{
    if (on == Enabled())
        return;
    TBaseComponent::SetEnabled(on);
    if (on)
        StartWatching();
    else
        StopWatching();
}

QList<QByteArray> TShellChangeNotifier::Directories() const
{
    QList<QByteArray> out;
    for (const Directory& d : m_directories)
        out.append(d.path);
    return out;
}

void TShellChangeNotifier::SetDirectories(const QList<QByteArray>& paths)
{
    StopWatching();
    m_directories.clear();
    for (const QByteArray& p : paths) {
        const auto at = std::lower_bound(
            m_directories.begin(), m_directories.end(), p,
            [](const Directory& d, const QByteArray& path) { return d.path < path; });
        if (at == m_directories.end() || at->path != p)
            m_directories.insert(at, {p, 0});
    }
    DirectoriesChanged();
}

bool TShellChangeNotifier::AddDirectory(const QByteArray& path)
{
    const auto at =
        std::lower_bound(m_directories.begin(), m_directories.end(), path,
                         [](const Directory& d, const QByteArray& p) { return d.path < p; });
    if (at != m_directories.end() && at->path == path)
        return false;
    const auto index = at - m_directories.begin();
    StopWatching();
    m_directories.insert(m_directories.begin() + index, {path, 0});
    DirectoriesChanged();
    return true;
}

bool TShellChangeNotifier::RemoveDirectory(const QByteArray& path)
{
    const auto at = std::find_if(m_directories.begin(), m_directories.end(),
                                 [&](const Directory& d) { return d.path == path; });
    if (at == m_directories.end())
        return false;
    const auto index = at - m_directories.begin();
    StopWatching();
    m_directories.erase(m_directories.begin() + index);
    DirectoriesChanged();
    return true;
}

int TShellChangeNotifier::DirectoryHandle(int index) const
{
    return index >= 0 && size_t(index) < m_directories.size() ? m_directories[size_t(index)].handle
                                                              : 0;
}

void TShellChangeNotifier::SetRecursive(bool on)
{
    if (on == m_recursive)
        return;
    m_recursive = on;
    RestartWatching();
}

void TShellChangeNotifier::SetFollowPath(bool on)
{
    if (on == m_followPath)
        return;
    m_followPath = on;
    RestartWatching();
}

void TShellChangeNotifier::SetEventFilter(TNotificationEvents events)
{
    if (events == m_eventFilter)
        return;
    m_eventFilter = events;
    RestartWatching();
}

void TShellChangeNotifier::WatchFolder(const TIdList& item)
{
    StopWatching();
    if (m_directories.size() == 1 && m_directories.front().path.isEmpty())
        m_directories.clear();
    m_rootItem = shell::CopyIDList(item);
    StartWatching();
}

QString TShellChangeNotifier::LastError() const
{
    return m_error.isEmpty() ? m_watches->lastError() : m_error;
}

int TShellChangeNotifier::WatchCount() const
{
    return m_watches->watchCount();
}

void TShellChangeNotifier::SetTickSource(std::function<std::uint32_t()> tick)
{
    m_tick = tick ? std::move(tick) : monotonicTick;
}

void TShellChangeNotifier::SetWatchLimit(int limit)
{
    m_watches->setWatchLimit(limit);
}

void TShellChangeNotifier::InjectQueueOverflow()
{
    m_watches->injectOverflow();
}

void TShellChangeNotifier::StartWatching()
{
    if (!Enabled())
        return;
    ++m_starts;
    m_error.clear();
    m_watches->clearError();
    // A bare notifier watches everything.
    if (m_directories.empty() && !m_onItemIdChange && m_rootItem.isNull()) {
        m_directories.push_back({QByteArray(), 0});
        m_recursive = true;
    }
    if (!m_rootItem.isNull() && m_rootHandle == 0)
        m_rootHandle = RegisterWatch(m_rootItem, m_recursive);
    for (Directory& d : m_directories) {
        if (d.handle == 0)
            d.handle = RegisterWatch(shell::IDListFromPath(d.path), m_recursive, d.path);
    }
    m_active = Enabled(); // a kernel without inotify switches it off
}

void TShellChangeNotifier::StopWatching()
{
    if (!m_active)
        return;
    ++m_starts;
    m_active = false;
    if (m_rootHandle != 0) {
        Deregister(m_rootHandle);
        m_rootHandle = 0;
    }
    for (Directory& d : m_directories) {
        if (d.handle != 0)
            Deregister(d.handle);
        d.handle = 0;
    }
}

void TShellChangeNotifier::RestartWatching()
{
    if (!m_active)
        return;
    StopWatching();
    StartWatching();
}

void TShellChangeNotifier::DirectoriesChanged()
{
    StopWatching();
    if (m_directories.size() > 1 && m_directories.front().path.isEmpty())
        m_directories.erase(m_directories.begin());
    StartWatching();
}

int TShellChangeNotifier::RegisterWatch(const TIdList& item, bool recursive, const QByteArray& path)
{
    if (!Enabled())
        return 0;
    const std::uint32_t codes = m_eventFilter.shellEvents();
    const int handle = m_nextHandle++;
    int error = 0;
    if (!m_watches->add(handle, item, recursive, codes, m_followPath, &error)) {
        if (error == ENOSYS) {
            // No inotify in this kernel: there is nothing to watch with.
            SetEnabled(false);
        } else if (m_watches->lastError().isEmpty()) {
            m_error =
                QStringLiteral("Der Ordner „%1“ kann nicht überwacht werden: %2")
                    .arg(QFile::decodeName(item.isNull() ? path : shell::PathFromIDList(item)),
                         shell::SystemErrorText(error));
        }
        return 0;
    }
    const std::optional<shell::ShellLocation> place = shell::ResolveIDList(item);
    Registration reg;
    reg.item = item;
    reg.recursive = recursive;
    reg.codes = codes;
    reg.folder = shell::ChildrenDirectory(item);
    // The trash gathers the trashes of every file system: a mount may bring one.
    reg.everywhere = place->kind == shell::ShellLocation::Computer ||
                     place->kind == shell::ShellLocation::Trash ||
                     (place->kind == shell::ShellLocation::Desktop && recursive);
    m_registrations[handle] = std::move(reg);
    if (codes & (SHCNE_DRIVEADD | SHCNE_DRIVEREMOVED))
        m_mounts->start();
    return handle;
}

void TShellChangeNotifier::Deregister(int handle)
{
    m_watches->remove(handle);
    m_registrations.erase(handle);
    if (m_registrations.empty())
        m_mounts->stop();
}

void TShellChangeNotifier::handleReport(const ChangeReport& report)
{
    const auto reg = m_registrations.find(report.registration);
    if (reg == m_registrations.end() || !(report.code & reg->second.codes))
        return;
    if (report.unmounted && m_mounts->isActive()) {
        // The mount table names the mount point: it reports the drive.
        m_mounts->check();
        return;
    }
    if (!report.lost) {
        HandleNotifyMessage(report.code, report.item1, report.item2);
        return;
    }
    // Changes were lost: this report is never taken for a repeat of the last one.
    m_lastEventCode = 0;
    HandleNotifyMessage(report.code, report.item1, report.item2);
}

void TShellChangeNotifier::HandleNotifyMessage(std::uint32_t code, const TIdList& item1,
                                               const TIdList& item2)
{
    if (!Enabled())
        return;
    code &= ~std::uint32_t(SHCNE_INTERRUPT);
    const TNotificationEvent event = NotificationEventOf(code);
    const std::uint32_t now = m_tick();
    QByteArray path1, path2;
    if (event == neImageListChange) {
        path1 = QByteArray::number(imageValue(item2));
    } else if (event != neAssociationChange) {
        if (code == m_lastEventCode && shell::IDListCount(item1) > 0 &&
            std::uint32_t(now - m_lastEventTick) < kRepeatMs &&
            shell::CompareIDs(0, item1, m_lastEventItem) == 0)
            return;
        path1 = shell::PathFromIDList(item1);
        path2 = shell::PathFromIDList(item2);
    }
    m_lastEventCode = code;
    m_lastEventItem = shell::CopyIDList(item1);
    m_lastEventTick = now;
    if (m_onItemIdChange) {
        QPointer<TShellChangeNotifier> self(this);
        const TItemIdChangeEvent handler = m_onItemIdChange; // may be replaced meanwhile
        handler(this, event, item1, item2);
        if (!self)
            return;
    }
    DispatchChange(this, event, path1, path2);
}

void TShellChangeNotifier::DispatchChange(QObject* sender, TNotificationEvent event,
                                          const QByteArray& path1, const QByteArray& path2)
{
    if (!m_onChange)
        return;
    QMetaObject::invokeMethod(
        this,
        [handler = m_onChange, sender, event, path1, path2] {
            handler(sender, event, path1, path2);
        },
        Qt::QueuedConnection);
}

void TShellChangeNotifier::mountsChanged(const QList<MountMonitor::Change>& changes)
{
    QPointer<TShellChangeNotifier> self(this);
    const std::uint64_t starts = m_starts;
    const TIdList drives = shell::IDListFromPath({});
    for (const MountMonitor::Change& change : changes) {
        // Recursive trees take in what is now at the mount point.
        m_watches->mountChanged(change.mountPoint);
        if (!self || starts != m_starts)
            return;
        const std::uint32_t code = change.added ? SHCNE_DRIVEADD : SHCNE_DRIVEREMOVED;
        if (!concernsMount(change.mountPoint, code))
            continue;
        HandleNotifyMessage(code, shell::ChildIDList(drives, change.mountPoint), TIdList());
        if (!self || starts != m_starts)
            return;
    }
}

bool TShellChangeNotifier::concernsMount(const QByteArray& mountPoint, std::uint32_t code) const
{
    for (const auto& [handle, reg] : m_registrations) {
        if (!(reg.codes & code))
            continue;
        if (reg.everywhere)
            return true;
        const QByteArray& folder = reg.folder;
        if (folder.isEmpty())
            continue;
        // The folder itself, a folder that holds it (mounted over or taken away), or a
        // child (with Recursive any folder below).
        if (mountPoint == folder || shell::IsPathBelow(folder, mountPoint) ||
            (shell::IsPathBelow(mountPoint, folder) &&
             (reg.recursive || parentOf(mountPoint) == folder)))
            return true;
    }
    return false;
}

} // namespace threads
