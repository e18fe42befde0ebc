#include "shell/ShellFolderObject.h"

#include "fileops/TrashStore.h"
#include "platform/DirectorySearch.h"
#include "platform/MountTable.h"
#include "platform/NoReplaceRename.h"
#include "platform/PathAt.h"
#include "platform/VolumeSpace.h"
#include "shell/MimeTypeCache.h"
#include "shell/ShellPaths.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QMimeDatabase>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

struct ColumnDef
{
    const char16_t* caption;
    int format;
    int widthChars;
    std::uint32_t state;
};

constexpr std::array<ColumnDef, 7> kFileColumns{{
    {u"Name", 0, 30, SHCOLSTATE_TYPE_STR | SHCOLSTATE_ONBYDEFAULT},
    {u"Größe", 1, 13, SHCOLSTATE_TYPE_INT | SHCOLSTATE_ONBYDEFAULT},
    {u"Typ", 0, 20, SHCOLSTATE_TYPE_STR | SHCOLSTATE_ONBYDEFAULT},
    {u"Geändert am", 0, 18, SHCOLSTATE_TYPE_DATE | SHCOLSTATE_ONBYDEFAULT},
    {u"Erstellt am", 0, 18, SHCOLSTATE_TYPE_DATE},
    {u"Besitzer", 0, 12, SHCOLSTATE_TYPE_STR},
    {u"Berechtigungen", 0, 12, SHCOLSTATE_TYPE_STR},
}};

constexpr std::array<ColumnDef, 4> kDriveColumns{{
    {u"Name", 0, 30, SHCOLSTATE_TYPE_STR | SHCOLSTATE_ONBYDEFAULT},
    {u"Typ", 0, 30, SHCOLSTATE_TYPE_STR | SHCOLSTATE_ONBYDEFAULT},
    {u"Gesamtgröße", 1, 12, SHCOLSTATE_TYPE_INT | SHCOLSTATE_ONBYDEFAULT},
    {u"Freier Speicher", 1, 12, SHCOLSTATE_TYPE_INT | SHCOLSTATE_ONBYDEFAULT},
}};

bool isValidName(const QByteArray& name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\0') && !IsDotEntry(name);
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

int systemRename(const QByteArray& fromPath, const QByteArray& toPath)
{
    const platform::PathAt from(fromPath.toStdString());
    const platform::PathAt to(toPath.toStdString());
    return platform::renameNoReplace(from.dir(), from.name(), to.dir(), to.name());
}

ShellFolderObject::RenameCall& renameCall()
{
    static ShellFolderObject::RenameCall call = systemRename;
    return call;
}

QString dateText(qint64 ms)
{
    if (ms == 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

QString birthText(const QByteArray& path)
{
    struct statx sx;
    const platform::PathAt at(path.toStdString());
    if (::statx(at.dir(), at.name(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0 ||
        !(sx.stx_mask & STATX_BTIME))
        return {};
    return dateText(qint64(sx.stx_btime.tv_sec) * 1000 + sx.stx_btime.tv_nsec / 1000000);
}

QString ownerText(unsigned uid)
{
    struct passwd pw;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &pw, buffer, sizeof buffer, &found) == 0 && found)
        return QFile::decodeName(found->pw_name);
    return QString::number(uid);
}

QString permissionText(unsigned mode)
{
    QString s;
    const char* const letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        s += (mode & (0400u >> i)) ? QLatin1Char(letters[i]) : QLatin1Char('-');
    return s;
}

} // namespace

QString DriveTypeText(const QByteArray& mountPoint)
{
    const platform::MountTable table = platform::MountTable::read();
    for (const auto& m : table.mounts()) {
        if (m.mountPoint != mountPoint)
            continue;
        const bool network = m.fileSystem.startsWith("nfs") || m.fileSystem == "cifs" ||
                             m.fileSystem == "smb3" || m.fileSystem == "fuse.sshfs";
        return (network ? QStringLiteral("Netzlaufwerk (")
                        : QStringLiteral("Lokaler Datenträger (")) +
               QString::fromLatin1(m.fileSystem) + u')';
    }
    return QStringLiteral("Lokaler Datenträger");
}

// An open folder read entry by entry, with links never followed.
class FolderReader
{
public:
    // Null when the folder cannot be listed (no access, vanished, not a folder).
    static std::unique_ptr<FolderReader> open(const QByteArray& path)
    {
        const platform::PathAt at(path.toStdString());
        if (!platform::FolderOpenAllowed(at.dir(), at.name()))
            return nullptr;
        const int fd = ::openat(at.dir(), at.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        struct stat st;
        DIR* dir = ::fstat(fd, &st) == 0 ? ::fdopendir(fd) : nullptr;
        if (!dir) {
            ::close(fd);
            return nullptr;
        }
        // A pseudo file system holds no data on any disk: it is listed, but empty.
        const bool pseudo = platform::MountTable::read().isPseudoDevice(st.st_dev);
        return std::unique_ptr<FolderReader>(new FolderReader(dir, pseudo));
    }
    ~FolderReader() { ::closedir(m_dir); }

    // The next entry as listed item data; empty at the end.
    QByteArray next()
    {
        while (!m_pseudo) {
            errno = 0;
            const dirent* d = ::readdir(m_dir);
            if (!d)
                return {};
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            unsigned char type = d->d_type;
            if (type == DT_UNKNOWN) { // a file system that does not say: ask the entry
                struct stat st;
                if (::fstatat(::dirfd(m_dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue; // gone since the listing was read
                type = IFTODT(st.st_mode);
            }
            return ListedItemData(QByteArrayView(name), type);
        }
        return {};
    }

private:
    FolderReader(DIR* dir, bool pseudo) : m_dir(dir), m_pseudo(pseudo) {}
    DIR* m_dir;
    bool m_pseudo;
};

EnumIDList::EnumIDList(QList<QByteArray> items) : m_items(std::move(items)) {}

EnumIDList::EnumIDList(std::unique_ptr<FolderReader> reader) : m_reader(std::move(reader)) {}

EnumIDList::~EnumIDList() = default;

TIdList EnumIDList::next()
{
    if (m_reader) {
        const QByteArray data = m_reader->next();
        return data.isEmpty() ? TIdList() : TIdList::fromItems({data});
    }
    if (m_pos >= m_items.size())
        return {};
    return TIdList::fromItems({m_items[m_pos++]});
}

ShellFolderObject::ShellFolderObject(TIdList list, ShellLocation place)
    : m_list(std::move(list)), m_place(std::move(place))
{
}

std::shared_ptr<ShellFolderObject> ShellFolderObject::desktop()
{
    static const std::shared_ptr<ShellFolderObject> desk(
        new ShellFolderObject(TIdList::empty(), ShellLocation()));
    return desk;
}

std::shared_ptr<ShellFolderObject> ShellFolderObject::bind(const TIdList& absolute, int* error)
{
    auto fail = [error](int code) {
        if (error)
            *error = code;
        return std::shared_ptr<ShellFolderObject>();
    };
    const std::optional<ShellLocation> place = ResolveIDList(absolute);
    if (!place)
        return fail(EINVAL);
    if (place->kind == ShellLocation::Desktop)
        return desktop();
    if (place->kind == ShellLocation::FileSystem) {
        struct stat st;
        const platform::PathAt at(place->path.toStdString());
        if (::fstatat(at.dir(), at.name(), &st, 0) != 0)
            return fail(errno);
        if (!S_ISDIR(st.st_mode))
            return fail(ENOTDIR);
        // A folder that cannot be read cannot be shown: say so now, not with an empty list.
        if (!platform::FolderOpenAllowed(at.dir(), at.name()))
            return fail(EACCES);
        const int fd = ::openat(at.dir(), at.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return fail(errno);
        ::close(fd);
        // The empty folder an unmounted drive leaves behind is not that drive.
        if (place->isDrive() && !DriveMountPoints().contains(place->path))
            return fail(ENODEV);
    }
    return std::shared_ptr<ShellFolderObject>(new ShellFolderObject(CopyIDList(absolute), *place));
}

std::unique_ptr<EnumIDList> ShellFolderObject::enumObjects() const
{
    QList<QByteArray> items;
    auto listFolder = [&items](const QByteArray& path) {
        const platform::MountTable mounts = platform::MountTable::read();
        platform::DirectorySearch search;
        if (!search.openPath(path.toStdString(), &mounts))
            return false;
        items.reserve(qsizetype(search.count()));
        for (std::size_t i = 0; i < search.count(); ++i) {
            const std::string_view name = search.name(i);
            QByteArray data(qsizetype(name.size() + 1), Qt::Uninitialized);
            data[0] = item::Entry;
            std::memcpy(data.data() + 1, name.data(), name.size());
            items.append(std::move(data));
        }
        return true;
    };
    switch (m_place.kind) {
    case ShellLocation::Desktop: {
        items = {QByteArray(1, item::Computer), QByteArray(1, item::Home),
                 QByteArray(1, item::Trash)};
        const QByteArray desk = DesktopFolder();
        if (desk != HomeFolder()) {
            QList<QByteArray> entries;
            std::swap(items, entries);
            if (listFolder(desk)) {
                for (QByteArray& data : items)
                    data[0] = item::DesktopEntry;
            }
            entries.append(items);
            items = std::move(entries);
        }
        break;
    }
    case ShellLocation::Computer:
        for (const QByteArray& mp : DriveMountPoints())
            items.append(item::Drive + mp);
        break;
    case ShellLocation::Trash:
        // Every trash of the user, the home trash first; none yet is an empty trash.
        for (const QByteArray& trash : fileops::TrashStore::trashFolders()) {
            const QByteArray files = trash + "/files";
            if (auto reader = FolderReader::open(files)) {
                for (QByteArray data = reader->next(); !data.isEmpty(); data = reader->next())
                    items.append(item::Trashed + files + '/' + EntryNameOf(data).toByteArray());
            }
        }
        break;
    case ShellLocation::FileSystem:
        if (auto reader = FolderReader::open(m_place.path))
            return std::make_unique<EnumIDList>(std::move(reader));
        return nullptr;
    }
    return std::make_unique<EnumIDList>(std::move(items));
}

TIdList ShellFolderObject::parseDisplayName(const QByteArray& name, int* error) const
{
    auto fail = [error](int code) {
        if (error)
            *error = code;
        return TIdList();
    };
    switch (m_place.kind) {
    case ShellLocation::Desktop:
        return IDListFromPath(name, error);
    case ShellLocation::Computer: {
        const QByteArray mp = WithoutTrailingSlash(name);
        if (!DriveMountPoints().contains(mp))
            return fail(ENOENT);
        return TIdList::fromItems({item::Drive + mp});
    }
    case ShellLocation::Trash: {
        // A trashed object by its path, or by its name in the home trash.
        const QByteArray path = name.startsWith('/') ? name
                                : isValidName(name)  ? joined(TrashFilesFolder(), name)
                                                     : QByteArray();
        const QByteArray data = item::Trashed + path;
        if (path.isEmpty() || !ResolveChild(m_place, data))
            return fail(EINVAL);
        struct stat st;
        const platform::PathAt at(path.toStdString());
        if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(errno);
        return TIdList::fromItems({data});
    }
    case ShellLocation::FileSystem: {
        if (!isValidName(name))
            return fail(EINVAL);
        struct stat st;
        const platform::PathAt at(joined(m_place.path, name).toStdString());
        if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(errno);
        return TIdList::fromItems({item::Entry + name});
    }
    }
    return fail(EINVAL);
}

std::optional<ShellLocation> ShellFolderObject::locate(const TIdList& relative) const
{
    const int count = IDListCount(relative);
    if (count == 0)
        return std::nullopt;
    std::optional<ShellLocation> at = m_place;
    for (int i = 0; i < count && at; ++i)
        at = ResolveChild(*at, relative.itemData(i));
    return at;
}

std::uint32_t ShellFolderObject::attributesOf(const TIdList& relative, std::uint32_t mask) const
{
    const std::optional<ShellLocation> place = locate(relative);
    return place ? AttributesOf(*place, mask) : 0;
}

std::uint32_t AttributesOf(const std::optional<ShellLocation>& place, std::uint32_t mask)
{
    if (!place)
        return 0;
    std::uint32_t a = 0;
    switch (place->kind) {
    case ShellLocation::Desktop:
    case ShellLocation::Computer:
        a = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER;
        break;
    case ShellLocation::Trash:
        a = SFGAO_FOLDER;
        break;
    case ShellLocation::FileSystem: {
        const ObjectFacts f = KindOf(*place);
        if (!f.exists)
            return 0;
        a = SFGAO_FILESYSTEM;
        if (f.isFolder)
            a |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
        if (f.isLink)
            a |= SFGAO_LINK;
        if (place->name.startsWith('.'))
            a |= SFGAO_HIDDEN;
        // Drives and the home folder stay where they are; a trashed object is renamed
        // only by restoring it, as its record in the trash names it.
        if (!place->isDrive() && place->tag != item::Home) {
            a |= SFGAO_CANCOPY;
            if (!place->inTrash)
                a |= SFGAO_CANRENAME | SFGAO_CANMOVE | SFGAO_CANDELETE;
            else if (place->trashed)
                a |= SFGAO_CANDELETE; // for good, with its record in the trash
        }
        break;
    }
    }
    return a & mask;
}

QString ShellFolderObject::displayNameOf(const TIdList& relative) const
{
    const std::optional<ShellLocation> place = locate(relative);
    return place ? DisplayNameOf(*place) : QString();
}

std::optional<FindData> ShellFolderObject::findData(const TIdList& relative) const
{
    const std::optional<ShellLocation> place = locate(relative);
    if (!place || place->kind != ShellLocation::FileSystem || place->name.isEmpty())
        return std::nullopt;
    const ObjectFacts f = FactsOf(*place);
    if (!f.exists)
        return std::nullopt;
    return FindData{place->name, f.isFolder ? 0 : f.size, f.modifiedMs, f.isFolder};
}

void ShellFolderObject::setRenameCall(RenameCall call)
{
    renameCall() = call ? std::move(call) : RenameCall(systemRename);
}

TIdList ShellFolderObject::setNameOf(const TIdList& relative, const QByteArray& newName,
                                     int* error) const
{
    auto fail = [error](int code) {
        if (error)
            *error = code;
        return TIdList();
    };
    const std::optional<ShellLocation> place = locate(relative);
    if (!place)
        return fail(ENOENT);
    if (!(attributesOf(relative, SFGAO_CANRENAME) & SFGAO_CANRENAME))
        return fail(EPERM);
    if (!isValidName(newName))
        return fail(EINVAL);
    if (newName == place->name)
        return CopyIDList(relative);
    const QByteArray folder = place->path.left(place->path.lastIndexOf('/') + 1);
    const int result = renameCall()(place->path, folder + newName);
    if (result != 0)
        return fail(result);
    const QByteArray data = place->tag + newName;
    return ConcatIDLists(ParentIDList(relative), TIdList::fromItems({data}));
}

int ShellFolderObject::compareIDs(int column, const TIdList& a, const TIdList& b) const
{
    return CompareIDs(columnOrder(column), ConcatIDLists(m_list, a), ConcatIDLists(m_list, b));
}

ColumnOrder ShellFolderObject::columnOrder(int column) const
{
    if (m_place.kind != ShellLocation::Computer)
        return FileColumnOrder(column);
    static constexpr std::array kDriveOrder{ColumnOrder::Name, ColumnOrder::DriveType,
                                            ColumnOrder::TotalSpace, ColumnOrder::FreeSpace};
    return column >= 0 && column < int(kDriveOrder.size()) ? kDriveOrder[size_t(column)]
                                                           : ColumnOrder::Name;
}

int ShellFolderObject::columnCount() const
{
    return m_place.kind == ShellLocation::Computer ? int(kDriveColumns.size())
                                                   : int(kFileColumns.size());
}

std::optional<std::uint32_t> ShellFolderObject::defaultColumnState(int column) const
{
    if (column < 0 || column >= columnCount())
        return std::nullopt;
    return m_place.kind == ShellLocation::Computer ? kDriveColumns[column].state
                                                   : kFileColumns[column].state;
}

std::optional<ColumnDetails> ShellFolderObject::detailsOf(const TIdList* relative, int column) const
{
    if (column < 0 || column >= columnCount())
        return std::nullopt;
    const bool drives = m_place.kind == ShellLocation::Computer;
    const ColumnDef& def = drives ? kDriveColumns[column] : kFileColumns[column];
    ColumnDetails d{QString(), def.format, def.widthChars};
    if (!relative) {
        d.text = QString::fromUtf16(def.caption);
        return d;
    }
    const std::optional<ShellLocation> place = locate(*relative);
    if (!place)
        return std::nullopt;
    if (column == 0) {
        d.text = DisplayNameOf(*place);
        return d;
    }
    // The type needs only the kind, which a listed item knows; the other columns read
    // the disk.
    const ObjectFacts f = column == 2 ? KindOf(*place) : FactsOf(*place);
    if (drives) {
        if (column == 1) {
            d.text = DriveTypeText(place->path);
        } else {
            const std::optional<platform::VolumeSize> size = platform::volumeSize(place->path);
            if (!size)
                return d;
            d.text = ByteSizeText(column == 2 ? size->total : size->free);
        }
        return d;
    }
    if (!f.exists)
        return d;
    switch (column) {
    case 1:
        if (!f.isFolder && place->kind == ShellLocation::FileSystem)
            d.text = FileSizeText(f.size);
        break;
    case 2:
        d.text = TypeNameOf(*place, f);
        break;
    case 3:
        d.text = dateText(f.modifiedMs);
        break;
    case 4:
        if (place->kind == ShellLocation::FileSystem)
            d.text = birthText(place->path);
        break;
    case 5:
        if (place->kind == ShellLocation::FileSystem)
            d.text = ownerText(f.uid);
        break;
    case 6:
        if (place->kind == ShellLocation::FileSystem)
            d.text = permissionText(f.mode);
        break;
    }
    return d;
}

int ShellFolderObject::overlayIndex(const TIdList& relative) const
{
    return attributesOf(relative, SFGAO_LINK) ? 1 : -1;
}

QStringList ShellFolderObject::iconNames(const TIdList& relative, bool open) const
{
    const std::optional<ShellLocation> place = locate(relative);
    if (!place)
        return {};
    return IconNamesOf(*place, KindOf(*place), open);
}

QStringList IconNamesOf(const ShellLocation& place, const ObjectFacts& facts, bool open)
{
    switch (place.kind) {
    case ShellLocation::Desktop:
        return {QStringLiteral("user-desktop"), QStringLiteral("folder")};
    case ShellLocation::Computer:
        return {QStringLiteral("computer")};
    case ShellLocation::Trash:
        return {QStringLiteral("user-trash")};
    case ShellLocation::FileSystem:
        break;
    }
    if (place.isDrive())
        return {QStringLiteral("drive-harddisk")};
    if (place.tag == item::Home)
        return {QStringLiteral("user-home"), QStringLiteral("folder")};
    if (facts.isFolder) {
        if (open)
            return {QStringLiteral("folder-open"), QStringLiteral("folder")};
        return {QStringLiteral("folder")};
    }
    const QMimeType mime = MimeTypeOfName(place.name);
    return {mime.iconName(), mime.genericIconName(), QStringLiteral("text-x-generic")};
}

QString FileSizeText(qint64 bytes)
{
    if (bytes < 0)
        return {};
    const qint64 kb = (bytes + 1023) / 1024;
    QLocale german(QLocale::German, QLocale::Germany);
    return german.toString(kb) + QStringLiteral(" KB");
}

QString ByteSizeText(quint64 bytes)
{
    static const char* const units[] = {"Bytes", "KB", "MB", "GB", "TB", "PB"};
    QLocale german(QLocale::German, QLocale::Germany);
    german.setNumberOptions(QLocale::OmitGroupSeparator);
    if (bytes < 1024)
        return german.toString(qulonglong(bytes)) + u' ' + QLatin1String(units[0]);
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    // Three significant digits, as the drive list shows them.
    const int decimals = value < 10 ? 2 : (value < 100 ? 1 : 0);
    const double factor = std::pow(10.0, decimals);
    value = std::floor(value * factor) / factor;
    return german.toString(value, 'f', decimals) + u' ' + QLatin1String(units[unit]);
}

} // namespace shell
