#pragma once
// The kernel side of folder watching: one inotify instance, read on the interface thread,
// with the watches of every registration of one change notifier, which owns this object.
// It turns inotify events into change reports with absolute identifier lists: a rename
// from the two halves that share a cookie, an unpaired half as delete or create, the
// watched folder itself deleted or moved as folder delete, a lost queue as folder update.
// A recursive registration holds one watch per folder of its tree, added in time slices
// and as folders appear, and stops adding at the kernel's watch limit.

#include "shell/IdList.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace threads {

// One change for one registration.
struct ChangeReport
{
    int registration = 0;
    std::uint32_t code = 0;
    shell::TIdList item1;
    shell::TIdList item2;
    // Changes may have been lost (queue overflow, watch limit): never dropped as a repeat.
    bool lost = false;
    // The file system under a watched folder went away; its mount point is not known here.
    bool unmounted = false;
};

class InotifyWatches : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(const ChangeReport&)>;

    explicit InotifyWatches(Sink sink, QObject* parent = nullptr);
    ~InotifyWatches() override;

    // Watches the children of `folder`, and with `recursive` every folder below it (the
    // drives folder: every drive; the trash: the files/ folder of each of the user's
    // trashes). `codes` are the event codes asked for; they decide whether writes and
    // attribute changes are read at all. With `followPath` the folders that lead to
    // `folder` are watched too: when a name on its path is renamed, deleted or made anew
    // (a parent moved, a link pointed elsewhere), the path no longer leads to the watched
    // folder, which is then reported deleted and let go. False with `error` set (an errno
    // value) when the folder itself cannot be watched.
    bool add(int registration, const shell::TIdList& folder, bool recursive, std::uint32_t codes,
             bool followPath, int* error);
    void remove(int registration);

    // A file system was mounted or unmounted at `mountPoint`: recursive registrations whose
    // tree holds it watch the folders that are now there.
    void mountChanged(const QByteArray& mountPoint);

    int watchCount() const { return int(m_watches.size()); }
    bool isOpen() const { return m_fd >= 0; }
    bool limitReached(int registration) const;
    // The last failure in German; empty when there was none since the last add.
    QString lastError() const { return m_error; }
    void clearError() { m_error.clear(); }

    // Seams for tests: at most `limit` watches (0: only the kernel's limit), and an event
    // queue that runs over: the events waiting in it are lost and the overflow is reported.
    void setWatchLimit(int limit) { m_limit = limit; }
    void injectOverflow();

private:
    struct Target
    {
        int registration = 0;
        QByteArray path;
        shell::TIdList list;
        bool root = false;
        bool trashed = false; // a trash's files/: its children are named by their paths
        QByteArray guard;     // a folder on a registration's path: the name that leads on
    };
    struct Registration
    {
        shell::TIdList item;
        bool recursive = false;
        bool limitReached = false;
        bool pathLost = false; // its path no longer leads to its folder: its watches are gone
        std::uint32_t mask = 0;
        std::unordered_set<int> rescanned; // watches seen by the current rescan
    };
    struct WalkStep
    {
        int registration = 0;
        QByteArray path;
        shell::TIdList list;
        bool rescan = false; // also enter folders that are watched already
    };
    struct MoveHalf
    {
        int wd = 0;
        std::uint32_t cookie = 0;
        QByteArray name;
        bool isDir = false;
    };
    enum class Added
    {
        New,   // a new watch
        Known, // watched already, not yet entered by the current rescan
        Seen,  // watched and entered already
        Failed
    };

    bool open(int* error);
    void close();
    Added watchFolder(int registration, const QByteArray& path, const shell::TIdList& list,
                      bool root, int* error, bool trashed = false);
    void guardPath(int registration, const QByteArray& folder);
    void pathLost(int registration, QList<ChangeReport>& out);
    void dropWatches(int registration);
    static shell::TIdList childList(const Target& target, const QByteArray& name);
    // Watches a folder of a recursive tree (a rescan also enters one watched already) and
    // queues the walk below it; at the limit, reports it.
    void adopt(int registration, const QByteArray& path, const shell::TIdList& list, bool root,
               bool rescan, QList<ChangeReport>& out);
    void hitLimit(int registration, QList<ChangeReport>& out);
    void unwatchBelow(int registration, const QByteArray& path);
    void renameBelow(int registration, const QByteArray& from, const QByteArray& to,
                     const shell::TIdList& toList);
    void queueWalk(WalkStep step);

    void readEvents();
    void processBuffer();
    bool handleEvent(int wd, std::uint32_t mask, std::uint32_t cookie, const QByteArray& name);
    void reportMove(const MoveHalf* from, int toWd, const QByteArray& toName, bool isDir,
                    QList<ChangeReport>& out);
    bool flushMove();
    void walkSlice();
    bool deliver(const QList<ChangeReport>& reports);

    Sink m_sink;
    int m_fd = -1;
    QPointer<QSocketNotifier> m_notifier;
    std::unordered_map<int, QList<Target>> m_watches; // by watch descriptor
    std::map<int, Registration> m_registrations;
    std::deque<WalkStep> m_walk;
    QTimer m_walkTimer;
    QByteArray m_buffer; // read, not yet handled
    qsizetype m_pos = 0;
    QTimer m_continueTimer;
    std::optional<MoveHalf> m_move; // a move's first half waiting for its second
    QTimer m_moveTimer;
    int m_limit = 0;
    QString m_error;
};

} // namespace threads
