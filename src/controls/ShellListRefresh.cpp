// The contents list follows the disk: its change notifier watches the shown folder and
// the names on its path, deletions leave the list at once, a removed drive re-reads it at
// once, and every other change restarts RefreshTimer, whose tick merges the folder into
// the list or, when the folder is gone, shows the drives.

#include "controls/ShellList.h"

#include "shell/ShellFolderObject.h"
#include "shell/ShellLink.h"
#include "threads/ChangeNotifier.h"

#include <QCoreApplication>
#include <QStatusTipEvent>
#include <sys/stat.h>
#include <time.h>

using namespace shell;
using namespace threads;

namespace {

// What the list asks its notifier for.
constexpr TNotificationEvents kWatchedEvents = {
    neFileChange,   neFileCreate,    neFileDelete,   neFileRename,  neDriveAdd,
    neDriveRemove,  neShellDriveAdd, neMediaInsert,  neMediaRemove, neFolderCreate,
    neFolderDelete, neFolderRename,  neFolderUpdate, neNetShare,    neNetUnShare};

// A kernel timestamp may lag the clock by a tick; a change this close to the start of a
// reading counts as made during it.
constexpr qint64 kTimestampSlackNs = 50'000'000;

// Deletions a burst brings leave the list together, at most this often: the first at
// once, the rest at the end of the step.
constexpr qint64 kGoneStepMs = 40;

qint64 wallClockNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool sameObject(const TIdList& a, const TIdList& b)
{
    const std::optional<ShellLocation> pa = ResolveIDList(a);
    const std::optional<ShellLocation> pb = ResolveIDList(b);
    return pa && pb && pa->sameObject(*pb);
}

} // namespace

void TShellList::setUpChangeWatching()
{
    // A coarse timer may fire 5 % early: the burst's quiet time is 600 ms, not 570.
    RefreshTimer.setTimerType(Qt::PreciseTimer);
    m_goneTimer.setSingleShot(true);
    connect(&m_goneTimer, &QTimer::timeout, this, &TShellList::takeOutGone);
    m_notifier = std::make_unique<TShellChangeNotifier>();
    m_notifier->SetRecursive(false);
    m_notifier->SetFollowPath(true);
    m_notifier->SetEventFilter(kWatchedEvents);
    m_notifier->SetOnItemIdChange(
        [this](QObject* sender, TNotificationEvent event, const TIdList& item1,
               const TIdList& item2) { ShellChangeReceived(sender, event, item1, item2); });
    // On from the start, with nothing to watch until the first full refresh.
    m_notifier->SetEnabled(m_automaticRefresh);
}

void TShellList::SetAutomaticRefresh(bool on)
{
    if (on == m_automaticRefresh)
        return;
    m_automaticRefresh = on;
    if (on && !m_loading && !m_refreshing && m_refreshStartNs != 0) {
        // Watch what is shown now, not the folder of the last armed refresh, and catch
        // up with what changed while nobody watched.
        m_notifier->WatchFolder(FolderIDList());
        RestartRefreshTimer();
    }
    m_notifier->SetEnabled(on);
    tellWatching();
}

// ---- Around a full refresh ----

void TShellList::pauseWatching()
{
    // The folder is read anew: what was reported gone is not in it.
    m_goneTimer.stop();
    m_pendingGone.clear();
    m_notifier->SetEnabled(false);
    m_refreshStartNs = wallClockNs();
    m_readStamp = stampOf(PathBytes());
}

void TShellList::armWatching()
{
    m_watchLost = false;
    m_fullRefreshDue = false;
    if (m_automaticRefresh)
        m_notifier->WatchFolder(FolderIDList());
}

void TShellList::resumeWatching()
{
    m_notifier->SetEnabled(m_automaticRefresh);
    tellWatching();
    const QByteArray path = PathBytes();
    if (!m_automaticRefresh || path.isEmpty())
        return;
    // The folder was read before its watch was in place: what changed in between has
    // no event, but it moved the folder's time away from the one seen as the reading
    // began (or took the folder away). A change within a timestamp's tick of that start
    // may have left the time as it was, so a time that recent counts too. Never the
    // clock alone: a folder dated ahead would be read again at every tick.
    const FolderStamp now = stampOf(path);
    const bool recent = now.modifiedNs >= m_refreshStartNs - kTimestampSlackNs &&
                        now.modifiedNs <= wallClockNs() + kTimestampSlackNs;
    if (!now.valid || !m_readStamp.valid || now.device != m_readStamp.device ||
        now.inode != m_readStamp.inode || now.modifiedNs != m_readStamp.modifiedNs || recent)
        RestartRefreshTimer();
}

TShellList::FolderStamp TShellList::stampOf(const QByteArray& path)
{
    FolderStamp stamp;
    struct stat st
    {
    };
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0)
        return stamp;
    stamp.valid = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return stamp;
}

bool TShellList::pathLeadsElsewhere()
{
    // A parent renamed, a link on the path pointed elsewhere, a folder mounted over: the
    // path now names another folder than the one read and watched.
    if (!m_readStamp.valid)
        return false;
    const FolderStamp now = stampOf(PathBytes());
    return now.valid && (now.device != m_readStamp.device || now.inode != m_readStamp.inode);
}

void TShellList::tellWatching()
{
    // Without its watch (the system's limit of watches or of watching instances reached)
    // the list no longer follows the disk: the window hears of it once, and every full
    // refresh tries again.
    const bool followed =
        !m_automaticRefresh || m_refreshStartNs == 0 || m_notifier->RootHandle() != 0;
    if (followed != m_toldNotFollowed)
        return;
    m_toldNotFollowed = !followed;
    QStatusTipEvent tip(followed ? QString()
                                 : QStringLiteral("Änderungen in diesem Ordner werden nicht "
                                                  "verfolgt; F5 liest ihn neu."));
    QCoreApplication::sendEvent(this, &tip); // travels up to the window's status bar
}

// ---- Events ----

void TShellList::ShellChangeReceived(QObject*, TNotificationEvent event, const TIdList& item1,
                                     const TIdList&)
{
    if (m_restoringSelection)
        return;
    switch (event) {
    case neFileDelete:
    case neFolderDelete:
        if (isShownFolder(item1)) {
            // The shown folder itself was deleted, moved or replaced, and its watch went
            // with it: the tick shows the drives, or reads the new folder and watches it.
            m_watchLost = true;
            RestartRefreshTimer();
        } else if (isShownFolder(ParentIDList(item1))) {
            // Only entries of the shown folder: an item of the same name elsewhere is
            // another object.
            m_pendingGone.append(LastIDListItem(item1));
            if (m_goneTimer.isActive())
                return;
            const qint64 since = m_lastGoneStep.isValid() ? m_lastGoneStep.elapsed() : kGoneStepMs;
            if (since >= kGoneStepMs)
                takeOutGone();
            else
                m_goneTimer.start(int(kGoneStepMs - since));
        }
        return;
    case neDriveRemove:
    case neMediaRemove:
    case neNetShare:
    case neNetUnShare:
        refreshAtOnce();
        return;
    case neDriveAdd: {
        // Mounted over the shown folder or one above it: the watch sees the covered
        // folder, not the new one.
        const QByteArray mountPoint = PathFromIDList(item1);
        const QByteArray shown = WithoutTrailingSlash(PathBytes());
        if (!mountPoint.isEmpty() && !shown.isEmpty() &&
            (mountPoint == shown || IsPathBelow(shown, mountPoint)))
            m_watchLost = true;
        // The trash shows the trashes of every file system: a new one may have come.
        if (shown.isEmpty()) {
            const std::optional<ShellLocation> at = ResolveIDList(FolderIDList());
            if (at && at->kind == ShellLocation::Trash)
                m_watchLost = true;
        }
        break;
    }
    case neFolderUpdate:
        // Of the folder itself: changes were lost (the event queue ran over), so sizes
        // and times may be wrong as well.
        if (isShownFolder(item1))
            m_fullRefreshDue = true;
        break;
    default:
        break;
    }
    RestartRefreshTimer();
}

void TShellList::takeOutGone()
{
    m_goneTimer.stop();
    if (m_pendingGone.isEmpty())
        return;
    std::vector<int> rows = findItems(m_pendingGone);
    m_pendingGone.clear();
    DeleteItems(std::move(rows)); // leaves out names no longer listed
    m_lastGoneStep.start();
}

void TShellList::refreshAtOnce()
{
    RefreshTimer.stop();
    if (!PathBytes().isEmpty() && !folderCanBeShown())
        SetSpecialFolder(SF_DRIVES); // the drive went away with the folder
    else
        FullRefresh();
}

bool TShellList::isShownFolder(const TIdList& list)
{
    return !list.isNull() && sameObject(list, FolderIDList());
}

bool TShellList::folderCanBeShown()
{
    return ShellFolderObject::bind(FolderIDList()) != nullptr;
}

// ---- The timer ----

void TShellList::RestartRefreshTimer()
{
    RefreshTimer.stop();
    RefreshTimer.start();
}

void TShellList::RefreshTimerFired()
{
    RefreshTimer.stop();
    if (m_loading)
        return; // Loaded() reads the folder
    if (pathLeadsElsewhere())
        m_watchLost = true; // as if the folder read had been deleted
    // A folder with a path of its own is checked, special folders included: a folder
    // that cannot be shown any more (gone, replaced by a file, unreadable, its disk
    // unmounted) gives way to the drives. Virtual folders are always there.
    const bool gone = !PathBytes().isEmpty() && !folderCanBeShown();
    if (IsEditing() && (gone || m_watchLost || m_fullRefreshDue || ItemCount() > 300)) {
        // Reading anew would take the name being typed away: the refresh waits until
        // the edit has ended.
        RestartRefreshTimer();
        return;
    }
    if (CommandRunning() && !gone && ItemCount() > 300) {
        // A command on thousands of items (a deletion, a paste) changes the folder for
        // seconds; reading it anew at every pause of its events would read it many times
        // over. What it deleted leaves the list as reported; the rest is read once after.
        RestartRefreshTimer();
        return;
    }
    if (gone)
        SetSpecialFolder(SF_DRIVES);
    else if (m_watchLost || m_fullRefreshDue)
        FullRefresh(); // watches the folder anew
    else
        IncrementalRefresh();
}
