#include "threads/InotifyWatches.h"

#include "fileops/TrashStore.h"
#include "platform/DirectorySearch.h"
#include "platform/MountTable.h"
#include "shell/ShellNamespace.h"
#include "shell/ShellPaths.h"
#include "threads/NotificationEvent.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace threads {

using shell::TIdList;

namespace {

// Longer than this, a burst of events or a wide tree gives the interface a turn before
// the rest is handled.
constexpr int kSliceMs = 8;
// How long the first half of a move waits for its second half before it counts as a delete.
constexpr int kMoveWaitMs = 30;
constexpr qsizetype kReadSize = 64 * 1024;

// Read for every watch, whatever was asked for: creations, deletions and moves keep the
// tree of a recursive watch and the pairing of renames right.
constexpr std::uint32_t kStructure = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK |
                                     IN_MASK_ADD;

// Read for the folders on a watched folder's path: what happens to the names that lead on.
constexpr std::uint32_t kGuard = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                 IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;

std::uint32_t inotifyMask(std::uint32_t codes)
{
    std::uint32_t mask = kStructure;
    if (codes & SHCNE_UPDATEITEM)
        mask |= IN_MODIFY | IN_CLOSE_WRITE;
    if (codes & SHCNE_ATTRIBUTES)
        mask |= IN_ATTRIB;
    return mask;
}

bool isAtOrBelow(const QByteArray& path, const QByteArray& folder)
{
    return path == folder || shell::IsPathBelow(path, folder);
}

QByteArray childPath(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The list of `path` below the folder `folder` with the list `folderList`.
TIdList listBelow(const TIdList& folderList, const QByteArray& folder, const QByteArray& path)
{
    TIdList list = folderList;
    const QByteArray rest = path.mid(folder.size());
    for (const QByteArray& part : rest.split('/')) {
        if (part.isEmpty())
            continue;
        list = shell::ChildIDList(list, part);
        if (list.isNull())
            break;
    }
    return list;
}

ChangeReport report(int registration, std::uint32_t code, const TIdList& item1,
                    const TIdList& item2 = TIdList(), bool lost = false, bool unmounted = false)
{
    ChangeReport r;
    r.registration = registration;
    r.code = code;
    r.item1 = item1;
    r.item2 = item2;
    r.lost = lost;
    r.unmounted = unmounted;
    return r;
}

// The folder itself could not be watched for lack of room.
QString folderLimitText(const QByteArray& folder)
{
    return QStringLiteral("Die Grenze des Systems für überwachte Ordner ist erreicht. "
                          "Änderungen in „%1“ werden nicht gemeldet.")
        .arg(QFile::decodeName(folder));
}

QString limitText(const QByteArray& folder)
{
    return QStringLiteral("Die Grenze des Systems für überwachte Ordner ist erreicht. Unter „%1“ "
                          "werden nicht alle Unterordner überwacht; ihre Änderungen werden "
                          "nicht gemeldet.")
        .arg(QFile::decodeName(folder));
}

} // namespace

InotifyWatches::InotifyWatches(Sink sink, QObject* parent)
    : QObject(parent), m_sink(std::move(sink))
{
    for (QTimer* t : {&m_walkTimer, &m_continueTimer, &m_moveTimer})
        t->setSingleShot(true);
    m_moveTimer.setInterval(kMoveWaitMs);
    connect(&m_walkTimer, &QTimer::timeout, this, &InotifyWatches::walkSlice);
    connect(&m_continueTimer, &QTimer::timeout, this, &InotifyWatches::processBuffer);
    connect(&m_moveTimer, &QTimer::timeout, this, [this] {
        QPointer<InotifyWatches> self(this);
        readEvents();
        // A second half still being handled ends the wait itself.
        if (self && m_move && m_pos >= m_buffer.size())
            flushMove();
    });
}

InotifyWatches::~InotifyWatches()
{
    close();
}

bool InotifyWatches::open(int* error)
{
    if (m_fd >= 0)
        return true;
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        if (error)
            *error = errno;
        m_error = QStringLiteral("Die Ordnerüberwachung kann nicht gestartet werden: %1")
                      .arg(shell::SystemErrorText(errno));
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InotifyWatches::readEvents);
    return true;
}

void InotifyWatches::close()
{
    if (m_fd < 0)
        return;
    // The notifier may be the one whose signal is being handled: it goes later.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    ::close(m_fd); // takes every watch with it
    m_fd = -1;
    m_watches.clear();
    m_walk.clear();
    m_buffer.clear();
    m_pos = 0;
    m_move.reset();
    m_walkTimer.stop();
    m_continueTimer.stop();
    m_moveTimer.stop();
}

bool InotifyWatches::add(int registration, const TIdList& folder, bool recursive,
                         std::uint32_t codes, bool followPath, int* error)
{
    const std::optional<shell::ShellLocation> place = shell::ResolveIDList(folder);
    if (!place) {
        *error = ENOENT;
        return false;
    }
    if (!open(error))
        return false;
    Registration& reg = m_registrations[registration];
    reg = Registration();
    reg.item = folder;
    reg.recursive = recursive;
    reg.mask = inotifyMask(codes);
    QList<ChangeReport> out;
    const auto failed = [&](int err, const QByteArray& dir) {
        remove(registration);
        *error = err;
        m_error = err == ENOSPC ? folderLimitText(dir)
                                : QStringLiteral("Der Ordner „%1“ kann nicht überwacht "
                                                 "werden: %2")
                                      .arg(QFile::decodeName(dir), shell::SystemErrorText(err));
        return false;
    };
    if (place->kind == shell::ShellLocation::Trash) {
        // The trash lists what every trash of the user holds, so each one is watched; a
        // trashed folder's inside is not the trash's. A trash not made yet has nothing.
        for (const QByteArray& trash : fileops::TrashStore::trashFolders()) {
            const QByteArray files = trash + "/files";
            int err = 0;
            if (watchFolder(registration, files, folder, true, &err, true) == Added::Failed &&
                err != ENOENT)
                return failed(err, files);
        }
    } else if (place->kind == shell::ShellLocation::Computer) {
        // The drives are watched as roots of their own; each walk stops where it meets
        // another drive, which is watched already.
        if (recursive) {
            for (const QByteArray& mp : shell::DriveMountPoints())
                adopt(registration, mp, shell::ChildIDList(folder, mp), true, false, out);
        }
    } else if (const QByteArray dir = shell::ChildrenDirectory(folder); !dir.isEmpty()) {
        int err = 0;
        const Added a = watchFolder(registration, dir, folder, true, &err);
        if (a == Added::Failed)
            return failed(err, dir);
        if (recursive && a == Added::New)
            queueWalk({registration, dir, folder, false});
        if (followPath)
            guardPath(registration, dir);
    }
    if (!out.isEmpty()) // the caller is still setting up: the reports follow once it is done
        QTimer::singleShot(0, this, [this, out] { deliver(out); });
    return true;
}

void InotifyWatches::remove(int registration)
{
    if (m_registrations.erase(registration) == 0)
        return;
    dropWatches(registration);
    if (m_registrations.empty())
        close();
}

void InotifyWatches::dropWatches(int registration)
{
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        it->second.removeIf(
            [registration](const Target& t) { return t.registration == registration; });
        if (it->second.isEmpty()) {
            ::inotify_rm_watch(m_fd, it->first);
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(m_walk,
                  [registration](const WalkStep& s) { return s.registration == registration; });
}

bool InotifyWatches::limitReached(int registration) const
{
    const auto it = m_registrations.find(registration);
    return it != m_registrations.end() && it->second.limitReached;
}

InotifyWatches::Added InotifyWatches::watchFolder(int registration, const QByteArray& path,
                                                  const TIdList& list, bool root, int* error,
                                                  bool trashed)
{
    Registration& reg = m_registrations.at(registration);
    if (reg.limitReached || list.isNull()) {
        *error = reg.limitReached ? ENOSPC : EINVAL;
        return Added::Failed;
    }
    int wd = -1;
    *error = ENOSPC;
    if (m_limit <= 0 || int(m_watches.size()) < m_limit) {
        wd = ::inotify_add_watch(m_fd, path.constData(), reg.mask);
        *error = errno;
    }
    if (wd < 0)
        return Added::Failed;
    QList<Target>& targets = m_watches[wd];
    for (const Target& t : targets) {
        // The same folder reached again (a bind mount, a drive inside another one): a
        // rescan enters it once, a walk never, so that a mount loop ends.
        if (t.registration == registration)
            return reg.rescanned.insert(wd).second ? Added::Known : Added::Seen;
    }
    targets.append({registration, path, list, root, trashed, {}});
    reg.rescanned.insert(wd);
    return Added::New;
}

void InotifyWatches::guardPath(int registration, const QByteArray& folder)
{
    // Each folder on the path as it is spelt: through a link the watch is on the link's
    // target, and the link's own name is guarded in the folder that holds it. A folder
    // that cannot be watched leaves its name unguarded; the owner still compares the path
    // with the folder when it refreshes.
    QByteArray above = "/";
    for (const QByteArray& name : folder.split('/')) {
        if (name.isEmpty())
            continue;
        if (m_limit <= 0 || int(m_watches.size()) < m_limit) {
            const int wd = ::inotify_add_watch(m_fd, above.constData(), kGuard);
            if (wd >= 0)
                m_watches[wd].append({registration, above, TIdList(), false, false, name});
        }
        above = childPath(above, name);
    }
}

void InotifyWatches::pathLost(int registration, QList<ChangeReport>& out)
{
    Registration& reg = m_registrations.at(registration);
    if (reg.pathLost)
        return;
    reg.pathLost = true;
    out.append(report(registration, SHCNE_RMDIR, reg.item));
    // What its watches see is no longer what the path names.
    dropWatches(registration);
}

void InotifyWatches::adopt(int registration, const QByteArray& path, const TIdList& list, bool root,
                           bool rescan, QList<ChangeReport>& out)
{
    int err = 0;
    const Added a = watchFolder(registration, path, list, root, &err);
    if (a == Added::New || (a == Added::Known && rescan))
        queueWalk({registration, path, list, rescan});
    else if (a == Added::Failed && err == ENOSPC)
        hitLimit(registration, out);
}

void InotifyWatches::hitLimit(int registration, QList<ChangeReport>& out)
{
    Registration& reg = m_registrations.at(registration);
    if (reg.limitReached)
        return;
    reg.limitReached = true;
    std::erase_if(m_walk,
                  [registration](const WalkStep& s) { return s.registration == registration; });
    const QByteArray where = shell::PathFromIDList(reg.item);
    m_error = limitText(where.isEmpty() ? QByteArrayLiteral("/") : where);
    out.append(report(registration, SHCNE_UPDATEDIR, reg.item, TIdList(), true, false));
}

void InotifyWatches::unwatchBelow(int registration, const QByteArray& path)
{
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        it->second.removeIf([&](const Target& t) {
            return t.registration == registration && isAtOrBelow(t.path, path);
        });
        if (it->second.isEmpty()) {
            ::inotify_rm_watch(m_fd, it->first);
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(m_walk, [&](const WalkStep& s) {
        return s.registration == registration && isAtOrBelow(s.path, path);
    });
}

void InotifyWatches::renameBelow(int registration, const QByteArray& from, const QByteArray& to,
                                 const TIdList& toList)
{
    auto moved = [&](QByteArray& path, TIdList& list) {
        const QByteArray newPath = to + path.mid(from.size());
        list = listBelow(toList, to, newPath);
        path = newPath;
    };
    for (auto& [wd, targets] : m_watches) {
        for (Target& t : targets) {
            if (t.registration == registration && !t.root && isAtOrBelow(t.path, from))
                moved(t.path, t.list);
        }
    }
    for (WalkStep& s : m_walk) {
        if (s.registration == registration && isAtOrBelow(s.path, from))
            moved(s.path, s.list);
    }
}

void InotifyWatches::queueWalk(WalkStep step)
{
    m_walk.push_back(std::move(step));
    if (!m_walkTimer.isActive())
        m_walkTimer.start(0);
}

void InotifyWatches::walkSlice()
{
    QElapsedTimer clock;
    clock.start();
    const platform::MountTable mounts = platform::MountTable::read();
    while (!m_walk.empty() && clock.elapsed() < kSliceMs) {
        const WalkStep step = std::move(m_walk.front());
        m_walk.pop_front();
        const auto reg = m_registrations.find(step.registration);
        if (reg == m_registrations.end() || reg->second.limitReached)
            continue;
        platform::DirectorySearch search;
        if (!search.openPath(step.path.toStdString(), &mounts))
            continue; // gone or unreadable meanwhile: nothing below to watch
        QList<ChangeReport> out;
        for (std::size_t i = 0; i < search.count(); ++i) {
            if (!search.entry(i).isDirectory)
                continue;
            const QByteArray name(search.name(i).data(), qsizetype(search.name(i).size()));
            const QByteArray path = childPath(step.path, name);
            const TIdList list = shell::ChildIDList(step.list, name);
            adopt(step.registration, path, list, false, step.rescan, out);
            if (reg->second.limitReached)
                break;
        }
        if (!deliver(out))
            return;
    }
    if (!m_walk.empty())
        m_walkTimer.start(0);
}

void InotifyWatches::mountChanged(const QByteArray& mountPoint)
{
    QList<ChangeReport> out;
    QList<int> registrations;
    for (const auto& [id, reg] : m_registrations)
        registrations.append(id);
    for (int id : registrations) {
        Registration& reg = m_registrations.at(id);
        if (!reg.recursive || reg.limitReached)
            continue;
        const std::optional<shell::ShellLocation> place = shell::ResolveIDList(reg.item);
        bool root = false;
        QByteArray folder;
        TIdList list;
        if (place && place->kind == shell::ShellLocation::Computer) {
            if (!shell::DriveMountPoints().contains(mountPoint))
                continue;
            root = true;
            list = shell::ChildIDList(reg.item, mountPoint);
        } else {
            folder = shell::ChildrenDirectory(reg.item);
            if (folder.isEmpty() || !shell::IsPathBelow(mountPoint, folder))
                continue;
            list = listBelow(reg.item, folder, mountPoint);
        }
        reg.rescanned.clear();
        adopt(id, mountPoint, list, root, true, out);
    }
    deliver(out);
}

void InotifyWatches::injectOverflow()
{
    if (m_fd < 0)
        return;
    // As when the kernel's queue runs over: what waits to be handled is lost.
    m_buffer.truncate(m_pos);
    char dropped[4096];
    ssize_t n;
    do {
        n = ::read(m_fd, dropped, sizeof dropped);
    } while (n > 0 || (n < 0 && errno == EINTR));
    inotify_event event{};
    event.wd = -1;
    event.mask = IN_Q_OVERFLOW;
    m_buffer.append(reinterpret_cast<const char*>(&event), sizeof event);
    if (m_pos == 0 && !m_continueTimer.isActive())
        processBuffer(); // else it is handled after what was handled before it
}

void InotifyWatches::readEvents()
{
    if (m_fd < 0 || m_pos < m_buffer.size())
        return; // the rest of the last read is still being handled
    m_buffer.resize(kReadSize);
    m_pos = 0;
    ssize_t n;
    do {
        n = ::read(m_fd, m_buffer.data(), size_t(m_buffer.size()));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        const int err = n < 0 ? errno : EIO;
        m_buffer.resize(0);
        if (err == EAGAIN)
            return;
        // A descriptor that cannot be read would wake the loop for ever.
        m_error = QStringLiteral("Die Ordnerüberwachung ist ausgefallen: %1")
                      .arg(shell::SystemErrorText(err));
        m_notifier->setEnabled(false);
        return;
    }
    m_buffer.truncate(n);
    processBuffer();
}

void InotifyWatches::processBuffer()
{
    QElapsedTimer clock;
    clock.start();
    while (m_pos + qsizetype(sizeof(inotify_event)) <= m_buffer.size()) {
        inotify_event event;
        std::memcpy(&event, m_buffer.constData() + m_pos, sizeof event);
        const qsizetype nameAt = m_pos + qsizetype(sizeof event);
        if (nameAt + qsizetype(event.len) > m_buffer.size())
            break; // the kernel writes whole events; never read past the end
        const QByteArray name(m_buffer.constData() + nameAt,
                              qsizetype(::strnlen(m_buffer.constData() + nameAt, event.len)));
        m_pos = nameAt + event.len;
        if (!handleEvent(event.wd, event.mask, event.cookie, name))
            return; // destroyed while a report was handled
        if (m_pos < m_buffer.size() && clock.elapsed() >= kSliceMs) {
            m_notifier->setEnabled(false);
            m_continueTimer.start(0);
            return;
        }
    }
    m_buffer.resize(0); // keeps its capacity for the next read
    m_pos = 0;
    if (m_notifier)
        m_notifier->setEnabled(true);
    if (m_move)
        m_moveTimer.start();
}

bool InotifyWatches::handleEvent(int wd, std::uint32_t mask, std::uint32_t cookie,
                                 const QByteArray& name)
{
    if (m_move && !((mask & IN_MOVED_TO) && cookie == m_move->cookie)) {
        if (!flushMove())
            return false;
    }
    QList<ChangeReport> out;
    if (mask & IN_Q_OVERFLOW) {
        // Anything may have happened: every registration rereads, and recursive trees look
        // for folders whose creation was lost.
        for (auto& [id, reg] : m_registrations) {
            out.append(report(id, SHCNE_UPDATEDIR, reg.item, TIdList(), true, false));
            if (!reg.recursive || reg.limitReached)
                continue;
            reg.rescanned.clear();
            for (const auto& [watch, targets] : m_watches) {
                for (const Target& t : targets) {
                    if (t.registration == id && t.root) {
                        reg.rescanned.insert(watch);
                        queueWalk({id, t.path, t.list, true});
                    }
                }
            }
        }
        return deliver(out);
    }
    if (mask & IN_IGNORED) {
        m_watches.erase(wd); // the kernel dropped it: the folder is gone or unmounted
        return true;
    }
    const auto found = m_watches.find(wd);
    if (found == m_watches.end())
        return true;                             // a watch given up meanwhile
    const QList<Target> targets = found->second; // the table may change below
    const bool isDir = mask & IN_ISDIR;
    if (mask & IN_MOVED_FROM) {
        m_move = MoveHalf{wd, cookie, name, isDir};
        return true;
    }
    if (mask & IN_MOVED_TO) {
        std::optional<MoveHalf> from;
        if (m_move) {
            from.swap(m_move);
            m_moveTimer.stop();
        }
        reportMove(from ? &*from : nullptr, wd, name, isDir, out);
        return deliver(out);
    }
    for (const Target& t : targets) {
        if (!t.guard.isEmpty()) {
            // A folder on the path: its own end, or the name that leads on made anew.
            if ((mask & (IN_DELETE_SELF | IN_MOVE_SELF)) ||
                ((mask & (IN_CREATE | IN_DELETE)) && name == t.guard))
                pathLost(t.registration, out);
            continue;
        }
        const TIdList child = name.isEmpty() ? TIdList() : childList(t, name);
        if (!name.isEmpty() && child.isNull())
            continue;
        if (mask & IN_UNMOUNT) {
            if (t.root)
                out.append(
                    report(t.registration, SHCNE_DRIVEREMOVED, t.list, TIdList(), false, true));
        } else if (mask & IN_CREATE) {
            out.append(report(t.registration, isDir ? SHCNE_MKDIR : SHCNE_CREATE, child));
            if (isDir && m_registrations.at(t.registration).recursive)
                adopt(t.registration, childPath(t.path, name), child, false, false, out);
        } else if (mask & IN_DELETE) {
            out.append(report(t.registration, isDir ? SHCNE_RMDIR : SHCNE_DELETE, child));
        } else if (mask & (IN_MODIFY | IN_CLOSE_WRITE)) {
            if (!name.isEmpty())
                out.append(report(t.registration, SHCNE_UPDATEITEM, child));
        } else if (mask & IN_ATTRIB) {
            // A subfolder's own change is reported by its parent's watch.
            if (!name.isEmpty() || t.root)
                out.append(
                    report(t.registration, SHCNE_ATTRIBUTES, name.isEmpty() ? t.list : child));
        } else if (mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
            if (!t.root)
                continue; // reported by the parent's watch
            out.append(report(t.registration, SHCNE_RMDIR, t.list));
            // A moved folder's watch follows it to a place whose names it does not know.
            if (mask & IN_MOVE_SELF)
                unwatchBelow(t.registration, t.path);
        }
    }
    return deliver(out);
}

void InotifyWatches::reportMove(const MoveHalf* from, int toWd, const QByteArray& toName,
                                bool isDir, QList<ChangeReport>& out)
{
    QList<Target> fromTargets, toTargets;
    if (from) {
        if (const auto it = m_watches.find(from->wd); it != m_watches.end())
            fromTargets = it->second;
    }
    if (const auto it = m_watches.find(toWd); it != m_watches.end())
        toTargets = it->second;
    // A name on a watched folder's path moved away, or another moved in under it.
    const auto guarded = [&](QList<Target>& targets, const QByteArray& name) {
        for (const Target& t : targets) {
            if (!t.guard.isEmpty() && t.guard == name)
                pathLost(t.registration, out);
        }
        targets.removeIf([](const Target& t) { return !t.guard.isEmpty(); });
    };
    if (from)
        guarded(fromTargets, from->name);
    guarded(toTargets, toName);
    QList<int> renamed;
    for (const Target& f : fromTargets) {
        if (m_registrations.at(f.registration).pathLost)
            continue;
        const TIdList oldItem = childList(f, from->name);
        const QByteArray oldPath = childPath(f.path, from->name);
        const auto to = std::find_if(toTargets.cbegin(), toTargets.cend(), [&](const Target& t) {
            return t.registration == f.registration;
        });
        if (to == toTargets.cend()) {
            out.append(report(f.registration, from->isDir ? SHCNE_RMDIR : SHCNE_DELETE, oldItem));
            if (from->isDir)
                unwatchBelow(f.registration, oldPath);
            continue;
        }
        const TIdList newItem = childList(*to, toName);
        out.append(report(f.registration, isDir ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, oldItem,
                          newItem));
        if (isDir)
            renameBelow(f.registration, oldPath, childPath(to->path, toName), newItem);
        renamed.append(f.registration);
    }
    for (const Target& t : toTargets) {
        if (renamed.contains(t.registration) || m_registrations.at(t.registration).pathLost)
            continue;
        const TIdList newItem = childList(t, toName);
        out.append(report(t.registration, isDir ? SHCNE_MKDIR : SHCNE_CREATE, newItem));
        if (isDir && m_registrations.at(t.registration).recursive)
            adopt(t.registration, childPath(t.path, toName), newItem, false, false, out);
    }
}

TIdList InotifyWatches::childList(const Target& t, const QByteArray& name)
{
    if (t.trashed)
        return shell::ConcatIDLists(
            t.list, TIdList::fromItems({shell::item::Trashed + childPath(t.path, name)}));
    return shell::ChildIDList(t.list, name);
}

bool InotifyWatches::flushMove()
{
    const MoveHalf from = *m_move;
    m_move.reset();
    m_moveTimer.stop();
    QList<ChangeReport> out;
    reportMove(&from, -1, QByteArray(), from.isDir, out);
    return deliver(out);
}

bool InotifyWatches::deliver(const QList<ChangeReport>& reports)
{
    QPointer<InotifyWatches> self(this);
    for (const ChangeReport& report : reports) {
        // A receiver may remove registrations (and so empty the buffer of what was read).
        if (!m_registrations.contains(report.registration))
            continue;
        m_sink(report);
        if (!self)
            return false;
    }
    return true;
}

} // namespace threads
