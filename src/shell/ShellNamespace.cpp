#include "shell/ShellNamespace.h"

#include "fileops/TrashStore.h"
#include "platform/PathAt.h"
#include "shell/MimeTypeCache.h"
#include "shell/ShellPaths.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace shell {

namespace {

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(QDir::cleanPath(path));
}

bool isValidName(QByteArrayView name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\0') && name != "." &&
           name != "..";
}

bool isValidAbsolute(QByteArrayView path)
{
    if (!path.startsWith('/') || path.contains('\0'))
        return false;
    if (path == "/")
        return true;
    if (path.endsWith('/'))
        return false;
    for (const QByteArray& part : path.sliced(1).toByteArray().split('/')) {
        if (!isValidName(part))
            return false;
    }
    return true;
}

QByteArray joined(const QByteArray& folder, QByteArrayView name)
{
    QByteArray out = folder;
    if (!out.endsWith('/'))
        out += '/';
    out += name;
    return out;
}

// One value of a user-dirs.dirs file ("$HOME/Vorlagen"), or nothing.
std::optional<QByteArray> userDir(const char* key)
{
    QFile file(QDir(QStandardPaths::writableLocation(QStandardPaths::ConfigLocation))
                   .filePath(QStringLiteral("user-dirs.dirs")));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray prefix = QByteArray(key) + "=\"";
    for (QByteArray line : file.readAll().split('\n')) {
        line = line.trimmed();
        if (!line.startsWith(prefix) || !line.endsWith('"'))
            continue;
        QByteArray value = line.mid(prefix.size(), line.size() - prefix.size() - 1);
        if (value.startsWith("$HOME"))
            value = HomeFolder() + value.mid(5);
        return value;
    }
    return std::nullopt;
}

} // namespace

QByteArrayView EntryNameOf(QByteArrayView itemData)
{
    if (itemData.size() > 1 && itemData[0] == item::Entry)
        return itemData.sliced(1);
    if (itemData.size() > 2 && itemData[0] == item::Listed)
        return itemData.sliced(2);
    return {};
}

QByteArray ListedItemData(QByteArrayView name, unsigned char dtype)
{
    QByteArray data(2 + name.size(), Qt::Uninitialized);
    data[0] = item::Listed;
    data[1] = char(dtype);
    std::memcpy(data.data() + 2, name.data(), size_t(name.size()));
    return data;
}

QByteArray HomeFolder()
{
    return encoded(QDir::homePath());
}

QByteArray DesktopFolder()
{
    return encoded(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

QByteArray TrashFilesFolder()
{
    return encoded(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                   QStringLiteral("/Trash/files"));
}

QString ComputerName()
{
    return QStringLiteral("Computer");
}

QString TrashName()
{
    return QStringLiteral("Papierkorb");
}

std::optional<ShellLocation> ResolveChild(const ShellLocation& at, QByteArrayView data)
{
    if (data.isEmpty())
        return std::nullopt;
    const char tag = data[0];
    const QByteArrayView rest = data.sliced(1);
    ShellLocation next;
    next.tag = tag;
    next.inTrash = at.inTrash;
    switch (at.kind) {
    case ShellLocation::Desktop:
        if (tag == item::Computer && rest.isEmpty()) {
            next.kind = ShellLocation::Computer;
        } else if (tag == item::Trash && rest.isEmpty()) {
            next.kind = ShellLocation::Trash;
        } else if (tag == item::Home && rest.isEmpty()) {
            next.kind = ShellLocation::FileSystem;
            next.path = HomeFolder();
            next.name = next.path.mid(next.path.lastIndexOf('/') + 1);
        } else if (tag == item::DesktopEntry && isValidName(rest)) {
            next.kind = ShellLocation::FileSystem;
            next.path = joined(DesktopFolder(), rest);
            next.name = rest.toByteArray();
        } else {
            return std::nullopt;
        }
        break;
    case ShellLocation::Computer:
        if (tag != item::Drive || !isValidAbsolute(rest))
            return std::nullopt;
        next.kind = ShellLocation::FileSystem;
        next.path = rest.toByteArray();
        break;
    case ShellLocation::Trash:
    case ShellLocation::FileSystem: {
        if (tag == item::Trashed) {
            // Only an object directly in a files/ folder of one of the user's trashes.
            if (at.kind != ShellLocation::Trash || !isValidAbsolute(rest) || rest == "/")
                return std::nullopt;
            next.kind = ShellLocation::FileSystem;
            next.path = rest.toByteArray();
            if (!fileops::TrashStore::isFilesFolder(next.path.left(next.path.lastIndexOf('/'))))
                return std::nullopt;
            next.name = next.path;
            next.inTrash = true;
            next.trashed = true;
            break;
        }
        QByteArrayView name = rest;
        if (tag == item::Listed) {
            if (rest.size() < 2)
                return std::nullopt;
            next.listedType = DTTOIF(uchar(rest[0])) & S_IFMT;
            if (next.listedType == 0)
                return std::nullopt;
            name = rest.sliced(1);
            next.tag = item::Entry;
        } else if (tag != item::Entry) {
            return std::nullopt;
        }
        if (!isValidName(name))
            return std::nullopt;
        next.kind = ShellLocation::FileSystem;
        next.path = joined(at.kind == ShellLocation::Trash ? TrashFilesFolder() : at.path, name);
        next.name = name.toByteArray();
        next.inTrash = at.inTrash || at.kind == ShellLocation::Trash;
        next.trashed = at.kind == ShellLocation::Trash;
        break;
    }
    }
    return next;
}

std::optional<ShellLocation> ResolveIDList(const TIdList& list)
{
    const int count = IDListCount(list);
    if (count == 0 && IDListSize(list) == 0)
        return std::nullopt;
    ShellLocation at;
    for (int i = 0; i < count; ++i) {
        std::optional<ShellLocation> next = ResolveChild(at, list.itemData(i));
        if (!next)
            return std::nullopt;
        at = std::move(*next);
    }
    return at;
}

TIdList IDListFromPath(const QByteArray& path, int* error)
{
    auto fail = [error](int code) {
        if (error)
            *error = code;
        return TIdList();
    };
    if (path.isEmpty())
        return TIdList::fromItems({QByteArray(1, item::Computer)});
    // A path handed to the kernel must hold no NUL, and ".." would name a place other
    // than the one the components spell once links are involved.
    if (!path.startsWith('/') || path.contains('\0'))
        return fail(EINVAL);
    QList<QByteArray> parts;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            return fail(EINVAL);
        parts.append(part);
    }
    const QByteArray clean = "/" + parts.join('/');
    struct stat st;
    const platform::PathAt at(clean.toStdString());
    if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(errno);
    const QByteArray drive = DrivePart(clean);
    const int driveParts = drive == "/" ? 0 : int(drive.count('/'));
    QList<QByteArray> items{QByteArray(1, item::Computer), item::Drive + drive};
    for (int i = driveParts; i < parts.size(); ++i)
        items.append(item::Entry + parts[i]);
    TIdList list = TIdList::fromItems(items);
    if (list.isNull())
        return fail(ENAMETOOLONG);
    return list;
}

QByteArray PathFromIDList(const TIdList& list)
{
    const std::optional<ShellLocation> place = ResolveIDList(list);
    if (!place || place->kind != ShellLocation::FileSystem)
        return {};
    return place->path;
}

TIdList ChildIDList(const TIdList& folder, const QByteArray& name)
{
    const std::optional<ShellLocation> at = ResolveIDList(folder);
    if (!at)
        return {};
    char tag = item::Entry;
    if (at->kind == ShellLocation::Desktop)
        tag = item::DesktopEntry;
    else if (at->kind == ShellLocation::Computer)
        tag = item::Drive;
    const QByteArray data = tag + name;
    if (!ResolveChild(*at, data))
        return {};
    return ConcatIDLists(folder, TIdList::fromItems({data}));
}

QByteArray ChildrenDirectory(const TIdList& folder)
{
    const std::optional<ShellLocation> at = ResolveIDList(folder);
    if (!at)
        return {};
    switch (at->kind) {
    case ShellLocation::Desktop: {
        const QByteArray desk = DesktopFolder();
        return desk == HomeFolder() ? QByteArray() : desk;
    }
    case ShellLocation::Computer:
        return {};
    case ShellLocation::Trash:
        return TrashFilesFolder();
    case ShellLocation::FileSystem:
        return at->path;
    }
    return {};
}

std::optional<QByteArray> SpecialFolderPath(TShellFolder kind)
{
    switch (kind) {
    case SF_DESKTOPDIRECTORY:
        return DesktopFolder();
    case SF_PERSONAL:
        return encoded(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    case SF_TEMPLATES:
        return userDir("XDG_TEMPLATES_DIR").value_or(HomeFolder() + "/Templates");
    case SF_STARTUP:
        return encoded(QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) +
                       QStringLiteral("/autostart"));
    case SF_PROGRAMS:
        return encoded(QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation));
    case SF_INTERNET_CACHE:
        return encoded(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
    case SF_FONTS:
        return encoded(QStandardPaths::writableLocation(QStandardPaths::FontsLocation));
    default:
        return std::nullopt;
    }
}

TIdList SpecialFolderIDList(TShellFolder kind)
{
    switch (kind) {
    case SF_DESKTOP:
        return TIdList::empty();
    case SF_FILESYSTEMFOLDER:
    case SF_DRIVES:
        return IDListFromPath({});
    case SF_BITBUCKET:
        return TIdList::fromItems({QByteArray(1, item::Trash)});
    default:
        break;
    }
    const std::optional<QByteArray> path = SpecialFolderPath(kind);
    if (!path || path->isEmpty())
        return {};
    return IDListFromPath(*path);
}

TShellFolder SpecialFolderOf(const TIdList& list)
{
    if (!ResolveIDList(list))
        return SF_FILESYSTEMFOLDER;
    for (int k = 1; k < kShellFolderCount; ++k) {
        const TIdList special = SpecialFolderIDList(TShellFolder(k));
        if (!special.isNull() && CompareIDs(0, special, list) == 0)
            return TShellFolder(k);
    }
    return SF_FILESYSTEMFOLDER;
}

ObjectFacts KindOf(const ShellLocation& place)
{
    if (place.listedType == 0)
        return FactsOf(place);
    ObjectFacts f;
    f.exists = true;
    f.mode = place.listedType;
    f.isFolder = S_ISDIR(f.mode);
    f.isLink = S_ISLNK(f.mode);
    return f;
}

ObjectFacts FactsOf(const ShellLocation& place)
{
    ObjectFacts f;
    if (place.kind != ShellLocation::FileSystem) {
        f.exists = true;
        f.isFolder = true;
        return f;
    }
    struct stat st;
    const platform::PathAt at(place.path.toStdString());
    if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return f;
    return FactsFromStat(st);
}

ObjectFacts FactsFromStat(const struct stat& st)
{
    ObjectFacts f;
    f.exists = true;
    f.isLink = S_ISLNK(st.st_mode);
    f.isFolder = S_ISDIR(st.st_mode);
    f.size = f.isFolder ? -1 : qint64(st.st_size);
    f.modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    f.mode = st.st_mode;
    f.uid = st.st_uid;
    return f;
}

QString DisplayNameOf(const ShellLocation& place)
{
    switch (place.kind) {
    case ShellLocation::Desktop:
        return QStringLiteral("Desktop");
    case ShellLocation::Computer:
        return ComputerName();
    case ShellLocation::Trash:
        return TrashName();
    case ShellLocation::FileSystem:
        break;
    }
    if (place.tag == item::Home)
        return QStringLiteral("Persönlicher Ordner");
    if (place.trashed) {
        // A trashed object shows the name it had, as its record in the trash keeps it.
        const std::optional<fileops::TrashStore::Entry> entry =
            fileops::TrashStore::entryOf(place.path);
        if (entry && !entry->originalPath.isEmpty())
            return QFile::decodeName(
                entry->originalPath.mid(entry->originalPath.lastIndexOf('/') + 1));
        return QFile::decodeName(place.path.mid(place.path.lastIndexOf('/') + 1));
    }
    if (place.isDrive()) {
        if (place.path == "/")
            return QStringLiteral("Dateisystem");
        return QFile::decodeName(place.path.mid(place.path.lastIndexOf('/') + 1)) +
               QStringLiteral(" (") + QFile::decodeName(place.path) + u')';
    }
    return QFile::decodeName(place.name);
}

QString TypeNameOf(const ShellLocation& place, const ObjectFacts& facts)
{
    if (place.kind == ShellLocation::Computer)
        return QStringLiteral("Systemordner");
    if (place.kind == ShellLocation::Trash)
        return QStringLiteral("Papierkorb");
    if (place.isDrive())
        return QStringLiteral("Laufwerk");
    if (facts.isFolder)
        return QStringLiteral("Dateiordner");
    static const QMimeDatabase db;
    if (facts.isLink)
        return db.mimeTypeForName(QStringLiteral("inode/symlink")).comment();
    return MimeTypeOfName(place.name).comment();
}

} // namespace shell
