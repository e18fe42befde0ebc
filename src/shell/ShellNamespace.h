#pragma once
// The namespace that identifier lists name: the desktop (the empty list) with the drives
// folder, the home folder, the trash and the entries of the desktop directory; the drives
// folder with the mounted file systems; below a drive one item per path component.
// Item data is one tag byte and raw bytes. This file turns lists into places and back,
// and maps the special folders to their XDG counterparts.

#include "shell/IdList.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct stat;

namespace shell {

// The special folders, in a fixed order: the values are stored and compared by number.
enum TShellFolder
{
    SF_FILESYSTEMFOLDER = 0,
    SF_BITBUCKET,
    SF_CONTROLS,
    SF_DESKTOP,
    SF_DESKTOPDIRECTORY,
    SF_DRIVES,
    SF_FONTS,
    SF_NETHOOD,
    SF_NETWORK,
    SF_PERSONAL,
    SF_PRINTERS,
    SF_PROGRAMS,
    SF_RECENT,
    SF_SENDTO,
    SF_STARTMENU,
    SF_STARTUP,
    SF_TEMPLATES,
    SF_FAVORITES,
    SF_COMMON_STARTMENU,
    SF_COMMON_STARTUP,
    SF_COMMON_DESKTOPDIRECTORY,
    SF_APPDATA,
    SF_PRINTHOOD,
    SF_COMMON_FAVORITES,
    SF_INTERNET_CACHE,
    SF_COOKIES,
    SF_HISTORY,
    SF_COMMON_PROGRAMS,
};
constexpr int kShellFolderCount = 28;

// The tag bytes of the items.
namespace item {
constexpr char Computer = 'C';     // the drives folder, below the desktop
constexpr char Home = 'H';         // the home folder, below the desktop
constexpr char Trash = 'T';        // the trash, below the desktop
constexpr char DesktopEntry = 'E'; // + name: an entry of the desktop directory
constexpr char Drive = 'D';        // + mount point: a drive, below the drives folder
constexpr char Entry = 'F';        // + name: a file or folder below a folder
// + one byte, the entry's type as its folder's listing gave it (a DT_ value) + name: an
// entry handed out by a listing. Its kind (folder, link, file) needs no further look at
// the disk; sizes and times are read when they are asked for.
constexpr char Listed = 'L';
// + absolute path: a trashed object, below the trash. The trash gathers the files/
// folders of every trash of the user (the home trash and those of other file systems),
// so its objects are named by their paths; two of them may share a name.
constexpr char Trashed = 'R';
} // namespace item

// What the file system says about a place, read once (lstat, links not followed).
struct ObjectFacts
{
    bool exists = false;
    bool isFolder = false; // virtual folders and drives too
    bool isLink = false;
    qint64 size = -1;      // files and links; -1 for folders
    qint64 modifiedMs = 0; // UTC milliseconds since the epoch; 0 when unknown
    unsigned mode = 0;
    unsigned uid = 0;
};

// What a list names.
struct ShellLocation
{
    enum Kind
    {
        Desktop,
        Computer,
        Trash,
        FileSystem
    };
    Kind kind = Desktop;
    QByteArray path; // FileSystem only: the object's path, no trailing "/" (but "/")
    QByteArray name; // FileSystem entries: the name as the folder records it
    char tag = 0;    // tag of the last item; 0 for the desktop (Entry for a listed one)
    bool inTrash = false;
    bool trashed = false;    // an object of the trash itself (not one inside a trashed folder)
    unsigned listedType = 0; // the S_IFMT bits the listing gave; 0 when not listed

    bool isDrive() const { return tag == item::Drive; }
    bool sameObject(const ShellLocation& other) const
    {
        return kind == other.kind && path == other.path;
    }
};

// The place an absolute list names; nothing for an absent or malformed list or an item
// that cannot stand where it is (a name with "/", "..", a drive outside the drives folder).
std::optional<ShellLocation> ResolveIDList(const TIdList& list);

// The name in the data of an entry item (plain or listed); empty for other items.
QByteArrayView EntryNameOf(QByteArrayView itemData);
// The data of a listed item for an entry named `name` of the directory type `dtype`.
QByteArray ListedItemData(QByteArrayView name, unsigned char dtype);

// The place of one item below `at`; nothing when the item cannot stand there.
std::optional<ShellLocation> ResolveChild(const ShellLocation& at, QByteArrayView data);

// The list of an absolute path: the drives folder, the drive with the longest mount
// point prefix, one item per remaining component. An empty path gives the drives
// folder. Absent, with `error` set to an errno value, for a relative path, a path with
// "..", or one that does not exist.
TIdList IDListFromPath(const QByteArray& path, int* error = nullptr);
// The file-system path of an absolute list; empty for virtual folders and bad lists.
QByteArray PathFromIDList(const TIdList& list);
// The absolute list of the child `name` of the folder `folder`, built without asking the
// disk, so that it also names an object that is gone (a deleted file). The item's tag
// follows the folder: a desktop entry on the desktop, a drive (its mount point) in the
// drives folder, a file-system name elsewhere. Absent when the name cannot stand there.
TIdList ChildIDList(const TIdList& folder, const QByteArray& name);
// The directory whose entries are the children of a folder: its own path, the trash's
// "files" directory, the desktop directory; empty for the drives folder and the desktop
// when the desktop directory is the home folder, whose entries it does not show.
QByteArray ChildrenDirectory(const TIdList& folder);

// The XDG folders behind the special folders; nothing where Linux has no counterpart.
std::optional<QByteArray> SpecialFolderPath(TShellFolder kind);
TIdList SpecialFolderIDList(TShellFolder kind);
// The first special folder (from 1 on) that names the same object; SF_FILESYSTEMFOLDER
// for none.
TShellFolder SpecialFolderOf(const TIdList& list);
// What a detail column orders by: the name (folders first); a value (a file's size or
// modification time, a drive's total or free bytes), then the name; a text (a file's
// type, a drive's kind), then the name.
enum class ColumnOrder
{
    Name,
    Size,
    Type,
    Date,
    DriveType,
    TotalSpace,
    FreeSpace,
};
// The columns of a folder of files: 0 the name, 1 the size, 2 the type, 3 the date;
// the others by name.
ColumnOrder FileColumnOrder(int column);
// Two absolute lists compared by a column of a folder of files, or by what a column
// orders by; 0 only for the same object when compared by name.
int CompareIDs(int column, const TIdList& a, const TIdList& b);
int CompareIDs(ColumnOrder order, const TIdList& a, const TIdList& b);

// Places the namespace shows that are not below a drive.
QByteArray HomeFolder();
QByteArray DesktopFolder();
// The files/ folder of the home trash, where a trashed object is looked for by its name.
QByteArray TrashFilesFolder();

// Text of the virtual objects.
QString ComputerName();
QString TrashName();

} // namespace shell

namespace shell {

ObjectFacts FactsOf(const ShellLocation& place);
// Only whether the place exists and is a folder or a link: from the listing where it
// gave the type, else from the disk.
ObjectFacts KindOf(const ShellLocation& place);
ObjectFacts FactsFromStat(const struct stat& st);
QString DisplayNameOf(const ShellLocation& place);
// The type text of the type column: the MIME type's description, "Dateiordner" for folders.
QString TypeNameOf(const ShellLocation& place, const ObjectFacts& facts);

} // namespace shell
