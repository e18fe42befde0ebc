#pragma once
// The user's trash folders, as the freedesktop.org desktops keep them: the home trash
// under $XDG_DATA_HOME/Trash for objects on the home file system, and on every other file
// system $topdir/.Trash/$uid (when .Trash is a sticky folder and no link) or
// $topdir/.Trash-$uid. Each holds files/ with the trashed objects and info/ with one
// NAME.trashinfo per object (its original path, percent-encoded, and when it was
// trashed). The engine owns one store per operation; it remembers the trash folder of
// each file system it has seen.

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace platform {
class UniqueFd;
}

namespace fileops {

class TrashStore
{
public:
    struct Entry
    {
        QByteArray path;         // the object in files/
        QByteArray infoPath;     // its NAME.trashinfo ("" when there is none)
        QByteArray originalPath; // absolute; "" when unknown
        QDateTime deletionDate;  // local time; invalid when unknown
        std::int64_t size = 0;   // a file's size; a folder's total when measured, else 0
        bool isFolder = false;
    };

    enum class Outcome
    {
        Trashed, // `trashedAs` is the object's path in files/
        NoTrash, // this file system has no trash we may use: ask before deleting for good
        Failed,  // it could not be moved (no permission, gone, ...); `reason` says why
    };

    TrashStore();

    // Moves the object (a link as the link) into the trash of its file system. The info
    // file is written first and removed again when the move fails.
    Outcome trash(const QByteArray& path, QByteArray& trashedAs, QString& reason);

    // The home trash folder ($XDG_DATA_HOME/Trash), whether or not it exists yet.
    static QByteArray homeTrash();
    // The trash folders of this user that exist now: the home trash, then those of the
    // mounted file systems.
    static QList<QByteArray> trashFolders();
    // What the trash folders hold; folders are measured when `measureFolders`.
    static QList<Entry> list(bool measureFolders);
    // The entry of an object in some trash's files/ folder; nothing when `path` is not
    // directly below a files/ folder of a trash.
    static std::optional<Entry> entryOf(const QByteArray& path);
    // Whether `folder` is the files/ folder of one of this user's trash folders, judged by
    // its place alone: the home trash's, $topdir/.Trash-$uid/files or
    // $topdir/.Trash/$uid/files. A folder that merely is called "files" is none.
    static bool isFilesFolder(const QByteArray& folder);

    // The text of an info file, and the original path read back from one (relative
    // paths completed by the trash's top directory).
    static QByteArray infoText(const QByteArray& pathField, const QDateTime& when);
    static std::optional<Entry> parseInfo(const QByteArray& text, const QByteArray& topDir);

private:
    struct Place
    {
        QByteArray trashDir; // "" when this file system has none we may use
        QByteArray topDir;   // "" for the home trash, whose paths are absolute
        QString reason;      // why there is none
        // Its files/ and info/ folders, open while the store lives: a selection of
        // thousands of objects goes to the same two folders.
        std::shared_ptr<platform::UniqueFd> filesDir;
        std::shared_ptr<platform::UniqueFd> infoDir;
    };

    Place placeFor(const QByteArray& path, dev_t device);
    Place makeHomePlace();
    Place makeTopDirPlace(const QByteArray& path, dev_t device);
    // The trash folder of the top directory `top`, made when missing.
    Place makeTrashAt(const QByteArray& top);
    // The trash of the mount the object is on, whose top directory is its mount point.
    Place mountPlaceFor(const QByteArray& path);
    void openFolders(Place& place);
    // Writes the info file and moves the object; `otherMount` when rename(2) answered
    // that the trash is on another mount.
    Outcome moveInto(const Place& place, int parentFd, const QByteArray& name,
                     const QByteArray& field, QByteArray& trashedAs, QString& reason,
                     bool& otherMount);
    // Why the object cannot go into a trash because it is a part of one or lies in one.
    std::optional<QString> partOfTrash(const QByteArray& realPath);

    uid_t m_uid;
    QByteArray m_parentPath; // the folder of the last object, kept open for the next
    std::shared_ptr<platform::UniqueFd> m_parentFd;
    QByteArray m_realParent; // its path with links resolved
    std::optional<QByteArray> m_realHomeTrash;
    std::optional<dev_t> m_homeDevice;
    QHash<dev_t, Place> m_places;
    QHash<QByteArray, Place> m_mountPlaces; // by mount point
    // The last folder whose objects had to go to the trash of their mount.
    QByteArray m_mountPlaceParent;
    std::optional<Place> m_parentMountPlace;
};

} // namespace fileops
