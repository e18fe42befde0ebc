#pragma once
// TShellChangeNotifier watches folders for changes and turns each one into a typed event
// with the identifier lists (and paths) of the items concerned. Its owner, the folder
// contents list for one, points it at a folder with WatchFolder, or at paths through
// Directories, and switches it with Enabled; everything runs on the interface thread.
// Folders are watched with inotify, mounts through the kernel's mount table.

#include "shell/BaseComponent.h"
#include "shell/IdList.h"
#include "threads/MountMonitor.h"
#include "threads/NotificationEvent.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace threads {

class InotifyWatches;
struct ChangeReport;

class TShellChangeNotifier : public shell::TBaseComponent
{
    Q_OBJECT
public:
    // Paths are raw bytes, as the kernel names the objects: a name that is not valid
    // UTF-8 is never mistaken for another.
    using TShellNotifierEvent =
        std::function<void(QObject* sender, TNotificationEvent event, const QByteArray& path1,
                           const QByteArray& path2)>;
    using TItemIdChangeEvent =
        std::function<void(QObject* sender, TNotificationEvent event, const shell::TIdList& item1,
                           const shell::TIdList& item2)>;

    static constexpr TNotificationEvents kDefaultEventFilter =
        TNotificationEvents::fromMask(0xFFFFF);
    // Reports that repeat the last one within this many milliseconds are dropped.
    static constexpr std::uint32_t kRepeatMs = 2500;

    explicit TShellChangeNotifier(QObject* owner = nullptr);
    ~TShellChangeNotifier() override;

    // Off at first; switching on starts watching, switching off removes every watch.
    void SetEnabled(bool on) override;

    // The watched paths, sorted by their bytes, each once. The empty path stands for the
    // computer's root: every drive, and mounts anywhere.
    QList<QByteArray> Directories() const;
    void SetDirectories(const QList<QByteArray>& paths);
    // False, and nothing changes, when the path is listed already.
    bool AddDirectory(const QByteArray& path);
    bool RemoveDirectory(const QByteArray& path);
    // The registration of the entry at `index`; 0 when it is not watched.
    int DirectoryHandle(int index) const;

    bool Recursive() const { return m_recursive; }
    void SetRecursive(bool on);
    // Also watches the names on the path of each watched folder (off at first): when a
    // parent is renamed or a link on the way points elsewhere, the path names another
    // folder or none, and the watched folder is reported deleted (neFolderDelete).
    bool FollowPath() const { return m_followPath; }
    void SetFollowPath(bool on);
    TNotificationEvents EventFilter() const { return m_eventFilter; }
    void SetEventFilter(TNotificationEvents events);

    // Called later, from the event loop, never inside the handling of a change.
    const TShellNotifierEvent& OnChange() const { return m_onChange; }
    void SetOnChange(TShellNotifierEvent handler) { m_onChange = std::move(handler); }
    // Called at once for each change, with the absolute lists of the items: item1 the
    // changed item (the old one of a rename), item2 the new one of a rename.
    const TItemIdChangeEvent& OnItemIdChange() const { return m_onItemIdChange; }
    void SetOnItemIdChange(TItemIdChangeEvent handler) { m_onItemIdChange = std::move(handler); }

    // Watches `item` (recursively with Recursive) from now on, beside Directories.
    void WatchFolder(const shell::TIdList& item);
    const shell::TIdList& RootItem() const { return m_rootItem; }
    int RootHandle() const { return m_rootHandle; }
    bool Active() const { return m_active; }

    // One change report as the system hands it over: `code` may carry the interrupt
    // marker; a code of no known kind is reported as neUnknown.
    void HandleNotifyMessage(std::uint32_t code, const shell::TIdList& item1,
                             const shell::TIdList& item2);

    // The last failure to watch, in German (a folder that cannot be watched, the system's
    // limit of watched folders); empty when watching started without one.
    QString LastError() const;
    // The kernel watches held now.
    int WatchCount() const;

    // Seams: the millisecond clock of the repeat filter (a monotonic clock by default),
    // a lower limit of watches than the kernel's (0: the kernel's), and an event queue that
    // runs over (the events waiting in it are lost, a folder update for every folder follows).
    void SetTickSource(std::function<std::uint32_t()> tick);
    void SetWatchLimit(int limit);
    void InjectQueueOverflow();

protected:
    // Hands a change to OnChange through the event loop.
    virtual void DispatchChange(QObject* sender, TNotificationEvent event, const QByteArray& path1,
                                const QByteArray& path2);

private:
    struct Directory
    {
        QByteArray path;
        int handle = 0;
    };
    struct Registration
    {
        shell::TIdList item;
        bool recursive = false;
        std::uint32_t codes = 0;
        QByteArray folder;       // the directory of its children; empty for virtual folders
        bool everywhere = false; // mounts anywhere concern it
    };

    void StartWatching();
    void StopWatching();
    void RestartWatching();
    void DirectoriesChanged();
    // `path` names the folder in a message when `item` is absent.
    int RegisterWatch(const shell::TIdList& item, bool recursive, const QByteArray& path = {});
    void Deregister(int handle);
    void handleReport(const ChangeReport& report);
    void mountsChanged(const QList<MountMonitor::Change>& changes);
    bool concernsMount(const QByteArray& mountPoint, std::uint32_t code) const;

    std::vector<Directory> m_directories; // sorted, each path once
    bool m_recursive = true;
    bool m_followPath = false;
    TNotificationEvents m_eventFilter = kDefaultEventFilter;
    TShellNotifierEvent m_onChange;
    TItemIdChangeEvent m_onItemIdChange;
    shell::TIdList m_rootItem;
    int m_rootHandle = 0;
    bool m_active = false;
    std::uint64_t m_starts = 0; // counts starts and stops, to notice them from a handler

    std::map<int, Registration> m_registrations;
    int m_nextHandle = 1;
    InotifyWatches* m_watches;
    MountMonitor* m_mounts;
    QString m_error;

    std::uint32_t m_lastEventCode = 0;
    shell::TIdList m_lastEventItem;
    std::uint32_t m_lastEventTick = 0;
    std::function<std::uint32_t()> m_tick;
};

} // namespace threads
