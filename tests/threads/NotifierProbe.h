#pragma once
// What the change notifier tests share: a probe that writes each reported change as a
// line ("neFileRename w/a w/b", paths relative to the test folder), a way to change files
// from another process, and the kernel's own count of watches and descriptors.

#include "shell/ShellNamespace.h"
#include "threads/ChangeNotifier.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <sys/resource.h>
#include <unistd.h>

namespace probe {

inline const char* eventName(threads::TNotificationEvent e)
{
    static const char* const kNames[threads::kNotificationEventCount] = {
        "neAssociationChange", "neAttributesChange", "neFileChange",
        "neFileCreate",        "neFileDelete",       "neFileRename",
        "neDriveAdd",          "neDriveRemove",      "neShellDriveAdd",
        "neDriveSpaceChange",  "neMediaInsert",      "neMediaRemove",
        "neFolderCreate",      "neFolderDelete",     "neFolderRename",
        "neFolderUpdate",      "neNetShare",         "neNetUnShare",
        "neServerDisconnect",  "neImageListChange",  "neUnknown"};
    return kNames[e];
}

// Records both handlers: `now` from OnItemIdChange (paths of its lists), `later` from OnChange.
struct Probe
{
    QByteArray base;
    QList<QByteArray> now, later;
    std::function<void()> onEvent; // runs inside OnItemIdChange, after the line is recorded

    void attach(threads::TShellChangeNotifier& n)
    {
        n.SetOnItemIdChange([this](QObject*, threads::TNotificationEvent e, const shell::TIdList& a,
                                   const shell::TIdList& b) {
            now.append(line(e, shell::PathFromIDList(a), shell::PathFromIDList(b)));
            if (onEvent)
                onEvent();
        });
        n.SetOnChange([this](QObject*, threads::TNotificationEvent e, const QByteArray& a,
                             const QByteArray& b) { later.append(line(e, a, b)); });
    }
    QByteArray line(threads::TNotificationEvent e, const QByteArray& a, const QByteArray& b) const
    {
        QByteArray s = eventName(e);
        for (const QByteArray& p : {a, b}) {
            if (!p.isEmpty())
                s += ' ' + (p.startsWith(base + '/') ? p.mid(base.size() + 1) : p);
        }
        return s;
    }
    void clear()
    {
        now.clear();
        later.clear();
    }
};

// Runs a shell script in another process inside `dir`. With `pump` the event loop runs
// meanwhile, so that the notifier reads while the files change; without it every event
// waits in the kernel until the script has ended.
inline bool runElsewhere(const QByteArray& dir, const QByteArray& script, bool pump = false)
{
    QProcess p;
    p.setWorkingDirectory(QFile::decodeName(dir));
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-ec"), QString::fromLatin1(script)});
    // Waits for the script's end however long a busy machine makes it take: a wait
    // that gave up would read as the script's success while it still runs.
    if (pump) {
        QSignalSpy finished(&p, &QProcess::finished);
        while (p.state() != QProcess::NotRunning && finished.isEmpty())
            finished.wait(1000);
    } else {
        p.waitForFinished(-1);
    }
    return p.state() == QProcess::NotRunning && p.error() == QProcess::UnknownError &&
           p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Lets the notifier read what is left, including a move half waiting for its partner.
inline void settle()
{
    QTest::qWait(120);
}

inline QByteArray readLink(const QByteArray& path)
{
    char target[256];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target);
    return n > 0 ? QByteArray(target, n) : QByteArray();
}

// The inotify watches this process holds, as the kernel counts them.
inline int kernelWatches()
{
    int watches = 0;
    for (const QString& fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files)) {
        if (readLink("/proc/self/fd/" + fd.toLatin1()) != "anon_inode:inotify")
            continue;
        QFile info(QStringLiteral("/proc/self/fdinfo/") + fd);
        if (info.open(QIODevice::ReadOnly))
            watches += int(info.readAll().count("inotify wd:"));
    }
    return watches;
}

// Processor time used by the calling thread.
inline qint64 threadCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

inline int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
}

} // namespace probe
