#include "fileops/TrashStore.h"

#include "fileops/FailureText.h"
#include "fileops/FolderListing.h"
#include "fileops/NameRules.h"
#include "platform/MountTable.h"
#include "platform/NoReplaceRename.h"
#include "platform/UniqueFd.h"
#include "shell/ShellPaths.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fileops {

namespace {

const QString kTrashAction = QStringLiteral("In den Papierkorb verschieben");
const QByteArray kInfoSuffix = QByteArrayLiteral(".trashinfo");

// A trash folder we may use: ours, a real folder and no link. Made 0700 when missing.
int useOwnFolder(const QByteArray& path, uid_t uid)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT)
            return errno;
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (::lstat(path.constData(), &st) != 0)
            return errno;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != uid)
        return EACCES;
    return 0;
}

int makeInnerFolders(const QByteArray& trashDir)
{
    for (const char* sub : {"/files", "/info"}) {
        const QByteArray p = trashDir + sub;
        if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

// The device of the path, or of its nearest existing ancestor.
std::optional<dev_t> deviceOfNearest(QByteArray path)
{
    while (!path.isEmpty()) {
        struct stat st;
        if (::stat(path.constData(), &st) == 0)
            return st.st_dev;
        const QByteArray parent = ParentOf(path);
        if (parent == path)
            break;
        path = parent;
    }
    return std::nullopt;
}

QByteArray realFolder(const QByteArray& path)
{
    char buffer[PATH_MAX];
    if (!::realpath(path.constData(), buffer))
        return {};
    return QByteArray(buffer);
}

std::int64_t treeSize(const QByteArray& path)
{
    static thread_local std::int64_t total;
    total = 0;
    ::nftw(
        path.constData(),
        [](const char*, const struct stat* st, int type, struct FTW*) {
            if (type == FTW_F || type == FTW_SL)
                total += st->st_size;
            return 0;
        },
        32, FTW_PHYS | FTW_MOUNT);
    return total;
}

QByteArray readSmallFile(const QByteArray& path)
{
    platform::UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    QByteArray text(64 * 1024, '\0');
    const ssize_t n = fd ? ::read(fd.get(), text.data(), size_t(text.size())) : -1;
    text.truncate(std::max<ssize_t>(n, 0));
    return text;
}

// The top directory a trash folder belongs to: the parent of .Trash-$uid, the
// grandparent of .Trash/$uid; "" for the home trash.
QByteArray topDirOf(const QByteArray& trashDir)
{
    const QByteArray name = NameOf(trashDir);
    const QByteArray parent = ParentOf(trashDir);
    if (name.startsWith(".Trash-"))
        return parent;
    if (NameOf(parent) == ".Trash")
        return ParentOf(parent);
    return {};
}

} // namespace

TrashStore::TrashStore() : m_uid(::geteuid()) {}

QByteArray TrashStore::homeTrash()
{
    // From the environment's bytes, as QStandardPaths would find it: a home whose name
    // is not UTF-8 would come back from a QString as another folder.
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/')) {
        QByteArray home = qgetenv("HOME");
        if (!home.startsWith('/'))
            home = QFile::encodeName(QDir::homePath());
        data = JoinPath(home, ".local/share");
    }
    return JoinPath(shell::WithoutTrailingSlash(data), "Trash");
}

QByteArray TrashStore::infoText(const QByteArray& pathField, const QDateTime& when)
{
    return "[Trash Info]\nPath=" + pathField.toPercentEncoding("/") +
           "\nDeletionDate=" + when.toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss")).toLatin1() +
           '\n';
}

std::optional<TrashStore::Entry> TrashStore::parseInfo(const QByteArray& text,
                                                       const QByteArray& topDir)
{
    bool inGroup = false;
    std::optional<Entry> entry;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Trash Info]";
            continue;
        }
        if (!inGroup)
            continue;
        if (line.startsWith("Path=")) {
            const QByteArray path = QByteArray::fromPercentEncoding(line.mid(5));
            if (path.isEmpty() || path.contains('\0'))
                return std::nullopt;
            if (!entry)
                entry = Entry();
            entry->originalPath = path.startsWith('/') ? path
                                  : topDir.isEmpty()   ? QByteArray()
                                                       : JoinPath(topDir, path);
            if (entry->originalPath.isEmpty())
                return std::nullopt;
        } else if (line.startsWith("DeletionDate=")) {
            if (!entry)
                entry = Entry();
            entry->deletionDate = QDateTime::fromString(QString::fromLatin1(line.mid(13)),
                                                        QStringLiteral("yyyy-MM-dd'T'hh:mm:ss"));
        }
    }
    if (entry && entry->originalPath.isEmpty())
        return std::nullopt;
    return entry;
}

TrashStore::Place TrashStore::makeHomePlace()
{
    Place place;
    place.trashDir = homeTrash();
    int error = MakeFolders(place.trashDir, 0700);
    if (error == 0)
        error = makeInnerFolders(place.trashDir);
    if (error != 0) {
        place.reason = QStringLiteral("Der Papierkorb „%1“ kann nicht angelegt werden: %2")
                           .arg(QFile::decodeName(place.trashDir), shell::SystemErrorText(error));
        place.trashDir.clear();
    }
    return place;
}

TrashStore::Place TrashStore::makeTopDirPlace(const QByteArray& path, dev_t device)
{
    // The top directory is the highest folder above the object on its file system.
    QByteArray top = realFolder(ParentOf(path));
    if (top.isEmpty()) {
        Place place;
        place.reason = FailureText(kTrashAction, errno);
        return place;
    }
    for (;;) {
        const QByteArray up = ParentOf(top);
        struct stat st;
        if (up.isEmpty() || up == top || ::stat(up.constData(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return makeTrashAt(top);
}

TrashStore::Place TrashStore::makeTrashAt(const QByteArray& top)
{
    Place place;
    place.topDir = top;
    const QByteArray uid = QByteArray::number(m_uid);
    const QByteArray shared = JoinPath(top, ".Trash");
    struct stat st;
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        useOwnFolder(shared + '/' + uid, m_uid) == 0 && makeInnerFolders(shared + '/' + uid) == 0) {
        place.trashDir = shared + '/' + uid;
        return place;
    }
    const QByteArray own = JoinPath(top, ".Trash-" + uid);
    int error = useOwnFolder(own, m_uid);
    if (error == 0)
        error = makeInnerFolders(own);
    if (error == 0) {
        place.trashDir = own;
        return place;
    }
    place.reason = QStringLiteral("Auf dem Dateisystem von „%1“ gibt es keinen Papierkorb, und "
                                  "es lässt sich keiner anlegen: %2")
                       .arg(QFile::decodeName(top), shell::SystemErrorText(error));
    return place;
}

void TrashStore::openFolders(Place& place)
{
    if (place.trashDir.isEmpty())
        return;
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
    place.filesDir = std::make_shared<platform::UniqueFd>(
        ::open((place.trashDir + "/files").constData(), kFlags));
    place.infoDir = std::make_shared<platform::UniqueFd>(
        ::open((place.trashDir + "/info").constData(), kFlags));
    if (!*place.filesDir || !*place.infoDir) {
        place.reason = QStringLiteral("Der Papierkorb „%1“ ist nicht zugänglich: %2")
                           .arg(QFile::decodeName(place.trashDir), shell::SystemErrorText(errno));
        place.trashDir.clear();
    }
}

TrashStore::Place TrashStore::mountPlaceFor(const QByteArray& path)
{
    // The mount the object is on: the deepest mount point above its real folder, the
    // last of equal ones (a later mount covers an earlier one).
    const QByteArray real = realFolder(ParentOf(path));
    QByteArray top;
    const platform::MountTable table = platform::MountTable::read();
    for (const platform::MountTable::Mount& m : table.mounts()) {
        if (m.mountPoint.size() >= top.size() && !real.isEmpty() &&
            IsSameOrBelow(real, m.mountPoint))
            top = m.mountPoint;
    }
    if (top.isEmpty()) {
        Place place;
        place.reason = FailureText(kTrashAction, real.isEmpty() ? errno : ENOENT);
        return place;
    }
    const auto found = m_mountPlaces.constFind(top);
    if (found != m_mountPlaces.constEnd())
        return *found;
    Place place = makeTrashAt(top);
    openFolders(place);
    m_mountPlaces.insert(top, place);
    return place;
}

TrashStore::Place TrashStore::placeFor(const QByteArray& path, dev_t device)
{
    if (!m_homeDevice)
        m_homeDevice = deviceOfNearest(homeTrash()).value_or(dev_t(-1));
    const auto found = m_places.constFind(device);
    if (found != m_places.constEnd())
        return *found;
    Place place = device == *m_homeDevice ? makeHomePlace() : makeTopDirPlace(path, device);
    openFolders(place);
    m_places.insert(device, place);
    return place;
}

TrashStore::Outcome TrashStore::trash(const QByteArray& givenPath, QByteArray& trashedAs,
                                      QString& reason)
{
    const QByteArray path = shell::WithoutTrailingSlash(givenPath);
    const QByteArray name = NameOf(path);
    const QByteArray parent = ParentOf(path);
    if (!path.startsWith('/') || name.isEmpty() || shell::IsDotEntry(name)) {
        reason = FailureText(kTrashAction, EINVAL);
        return Outcome::Failed;
    }
    if (parent != m_parentPath || !m_parentFd) {
        m_parentPath = parent;
        m_parentFd = std::make_shared<platform::UniqueFd>(
            ::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        m_realParent = realFolder(parent);
    }
    const platform::UniqueFd& parentFd = *m_parentFd;
    struct stat st;
    if (!parentFd || ::fstatat(parentFd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        reason = FailureText(kTrashAction, errno);
        return Outcome::Failed;
    }
    const QByteArray realParent = m_realParent;
    if (const std::optional<QString> problem =
            realParent.isEmpty() ? std::nullopt : partOfTrash(JoinPath(realParent, name))) {
        reason = *problem;
        return Outcome::Failed;
    }
    if (parent != m_mountPlaceParent) {
        m_mountPlaceParent = parent;
        m_parentMountPlace.reset();
    }
    Place place = m_parentMountPlace ? *m_parentMountPlace : placeFor(path, st.st_dev);
    for (bool onMount = bool(m_parentMountPlace);; onMount = true) {
        if (place.trashDir.isEmpty()) {
            // On a read-only file system nothing can be removed either: asking whether to
            // delete it for good instead would only lead to a second failure.
            struct statvfs fs;
            if (::fstatvfs(parentFd.get(), &fs) == 0 && (fs.f_flag & ST_RDONLY)) {
                reason = FailureText(kTrashAction, EROFS);
                return Outcome::Failed;
            }
            reason = place.reason;
            return Outcome::NoTrash;
        }
        if (IsSameOrBelow(place.trashDir, path)) {
            reason = QStringLiteral("In den Papierkorb verschieben nicht möglich: Der Papierkorb "
                                    "selbst liegt darin.");
            return Outcome::Failed;
        }
        QByteArray field = path;
        if (!place.topDir.isEmpty()) {
            const QByteArray real = JoinPath(realParent, name);
            const QByteArray prefix = shell::WithTrailingSlash(place.topDir);
            field = real.startsWith(prefix) ? real.mid(prefix.size()) : real;
        }
        bool otherMount = false;
        const Outcome outcome =
            moveInto(place, parentFd.get(), name, field, trashedAs, reason, otherMount);
        if (!otherMount)
            return outcome;
        if (onMount) {
            reason = QStringLiteral("Das Objekt liegt nicht auf demselben Dateisystem wie der "
                                    "Papierkorb „%1“.")
                         .arg(QFile::decodeName(place.trashDir));
            return Outcome::NoTrash;
        }
        // rename(2) stays within one mount, and a bind mount of a folder of this file
        // system is a mount of its own: its top directory has the trash for it.
        place = mountPlaceFor(path);
        m_parentMountPlace = place;
    }
}

TrashStore::Outcome TrashStore::moveInto(const Place& place, int parentFd, const QByteArray& name,
                                         const QByteArray& field, QByteArray& trashedAs,
                                         QString& reason, bool& otherMount)
{
    const QByteArray text = infoText(field, QDateTime::currentDateTime());
    const platform::UniqueFd& infoDir = *place.infoDir;
    const platform::UniqueFd& filesDir = *place.filesDir;
    // Room for ".NNNNN.trashinfo" behind the name.
    const QByteArray base = ShortenedName(name, kMaxNameBytes - int(kInfoSuffix.size()) - 8);
    for (int n = 1; n < 100000; ++n) {
        const QByteArray candidate = n == 1 ? base : base + '.' + QByteArray::number(n);
        const QByteArray infoName = candidate + kInfoSuffix;
        platform::UniqueFd info(::openat(infoDir.get(), infoName.constData(),
                                         O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                                         0600));
        if (!info) {
            if (errno == EEXIST)
                continue;
            reason = FailureText(kTrashAction, errno);
            return Outcome::Failed;
        }
        int error = 0;
        if (::write(info.get(), text.constData(), size_t(text.size())) != text.size())
            error = errno ? errno : EIO;
        if (const int closeError = info.close(); error == 0)
            error = closeError;
        if (error == 0)
            error = platform::renameNoReplace(parentFd, name.constData(), filesDir.get(),
                                              candidate.constData());
        if (error == 0) {
            trashedAs = place.trashDir + "/files/" + candidate;
            return Outcome::Trashed;
        }
        ::unlinkat(infoDir.get(), infoName.constData(), 0);
        if (error == EEXIST)
            continue; // a stray object in files/ without its info file
        if (error == EXDEV) {
            otherMount = true;
            return Outcome::NoTrash;
        }
        reason = FailureText(kTrashAction, error);
        return Outcome::Failed;
    }
    reason = FailureText(kTrashAction, EEXIST);
    return Outcome::Failed;
}

std::optional<QString> TrashStore::partOfTrash(const QByteArray& realPath)
{
    if (!realPath.startsWith('/'))
        return std::nullopt;
    const QByteArray uid = QByteArray::number(m_uid);
    if (!m_realHomeTrash)
        m_realHomeTrash = realFolder(homeTrash());
    const QByteArray& home = *m_realHomeTrash;
    // From the object up: the first folder that is a trash of this user decides.
    for (QByteArray at = realPath; !at.isEmpty(); at = ParentOf(at)) {
        const bool isTrash = NameOf(at) == ".Trash-" + uid ||
                             (NameOf(at) == uid && NameOf(ParentOf(at)) == ".Trash") ||
                             (!home.isEmpty() && at == home);
        if (isTrash) {
            if (realPath == at + "/files" || !IsSameOrBelow(realPath, at + "/files"))
                return QStringLiteral("In den Papierkorb verschieben nicht möglich: „%1“ gehört "
                                      "zum Papierkorb selbst.")
                    .arg(QFile::decodeName(realPath));
            return QStringLiteral("In den Papierkorb verschieben nicht möglich: „%1“ liegt "
                                  "schon im Papierkorb. Dort lässt es sich wiederherstellen oder "
                                  "endgültig löschen.")
                .arg(QFile::decodeName(realPath));
        }
        if (at == "/")
            break;
    }
    return std::nullopt;
}

QList<QByteArray> TrashStore::trashFolders()
{
    QList<QByteArray> out;
    QSet<QPair<dev_t, ino_t>> seen;
    auto add = [&](const QByteArray& dir) {
        struct stat st;
        if (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            return;
        if (seen.contains({st.st_dev, st.st_ino}))
            return;
        seen.insert({st.st_dev, st.st_ino});
        out.append(dir);
    };
    add(homeTrash());
    const QByteArray uid = QByteArray::number(::geteuid());
    const platform::MountTable table = platform::MountTable::read();
    for (const platform::MountTable::Mount& m : table.mounts()) {
        if (platform::MountTable::isPseudoFileSystem(m.fileSystem))
            continue;
        const QByteArray shared = JoinPath(m.mountPoint, ".Trash");
        struct stat st;
        if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
            add(shared + '/' + uid);
        add(JoinPath(m.mountPoint, ".Trash-" + uid));
    }
    return out;
}

bool TrashStore::isFilesFolder(const QByteArray& givenFolder)
{
    const QByteArray folder = shell::WithoutTrailingSlash(givenFolder);
    if (!folder.startsWith('/') || NameOf(folder) != "files")
        return false;
    const QByteArray trashDir = ParentOf(folder);
    const QByteArray uid = QByteArray::number(::geteuid());
    if (NameOf(trashDir) == ".Trash-" + uid)
        return true;
    if (NameOf(trashDir) == uid && NameOf(ParentOf(trashDir)) == ".Trash")
        return true;
    return trashDir == homeTrash();
}

std::optional<TrashStore::Entry> TrashStore::entryOf(const QByteArray& givenPath)
{
    const QByteArray path = shell::WithoutTrailingSlash(givenPath);
    const QByteArray files = ParentOf(path);
    const QByteArray name = NameOf(path);
    // Only a real trash has info files: a folder elsewhere that happens to be called
    // "files" must never lose a neighbour's file with it.
    if (name.isEmpty() || !isFilesFolder(files))
        return std::nullopt;
    const QByteArray trashDir = ParentOf(files);
    const QByteArray infoPath = trashDir + "/info/" + name + kInfoSuffix;
    Entry entry = parseInfo(readSmallFile(infoPath), topDirOf(trashDir)).value_or(Entry());
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return std::nullopt;
    entry.path = path;
    entry.infoPath = ::access(infoPath.constData(), F_OK) == 0 ? infoPath : QByteArray();
    entry.isFolder = S_ISDIR(st.st_mode);
    entry.size = entry.isFolder ? 0 : std::int64_t(st.st_size);
    return entry;
}

QList<TrashStore::Entry> TrashStore::list(bool measureFolders)
{
    QList<Entry> out;
    for (const QByteArray& dir : trashFolders()) {
        platform::UniqueFd files(
            ::open((dir + "/files").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        QList<QByteArray> names;
        int error = 0;
        if (!files || !ListFolder(files.get(), names, error))
            continue;
        for (const QByteArray& name : names) {
            std::optional<Entry> entry = entryOf(dir + "/files/" + name);
            if (!entry)
                continue;
            if (entry->isFolder && measureFolders)
                entry->size = treeSize(entry->path);
            out.append(*entry);
        }
    }
    return out;
}

} // namespace fileops
