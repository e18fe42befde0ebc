#pragma once
// One folder of the namespace as the navigator and the lists address it: it lists its
// items, parses a child's name, answers attributes, names, detail columns and icons of
// its children (relative lists), renames them without ever replacing another object,
// and compares two of them. Folder objects are shared; they hold no descriptor and stay
// usable (reporting failures) when the folder vanishes.

#include "shell/IdList.h"
#include "shell/ShellNamespace.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace shell {

// The attribute bits of namespace objects.
enum : std::uint32_t
{
    SFGAO_CANCOPY = 0x1,
    SFGAO_CANMOVE = 0x2,
    SFGAO_CANRENAME = 0x10,
    SFGAO_CANDELETE = 0x20,
    SFGAO_ENCRYPTED = 0x2000,
    SFGAO_LINK = 0x10000,
    SFGAO_SHARE = 0x20000,
    SFGAO_READONLY = 0x40000,
    SFGAO_HIDDEN = 0x80000,
    SFGAO_COMPRESSED = 0x4000000,
    SFGAO_FILESYSANCESTOR = 0x10000000,
    SFGAO_FOLDER = 0x20000000,
    SFGAO_FILESYSTEM = 0x40000000,
    SFGAO_HASSUBFOLDER = 0x80000000,
};

// Column states: the value's kind, shown by default, hidden.
enum : std::uint32_t
{
    SHCOLSTATE_TYPE_STR = 0x1,
    SHCOLSTATE_TYPE_INT = 0x2,
    SHCOLSTATE_TYPE_DATE = 0x3,
    SHCOLSTATE_ONBYDEFAULT = 0x10,
    SHCOLSTATE_HIDDEN = 0x100,
};

// Alignment of a column: 0 left, 1 right, 2 centre.
struct ColumnDetails
{
    QString text;
    int format = 0;
    int widthChars = 0;
};

// The file record of an object: its name as recorded, size and last write time (UTC).
struct FindData
{
    QByteArray name;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    bool isFolder = false;
};

class FolderReader;

// Hands out the items of one folder, one per call: a list made beforehand (the virtual
// folders), or entries read from an open folder as they are asked for, each with what
// lstat says of it at that moment (an entry gone by then is passed over).
class EnumIDList
{
public:
    explicit EnumIDList(QList<QByteArray> items);
    explicit EnumIDList(std::unique_ptr<FolderReader> reader);
    ~EnumIDList();
    EnumIDList(const EnumIDList&) = delete;
    EnumIDList& operator=(const EnumIDList&) = delete;
    // The next item as a one-item list; absent at the end.
    TIdList next();

private:
    QList<QByteArray> m_items; // item data, tag byte first
    qsizetype m_pos = 0;
    std::unique_ptr<FolderReader> m_reader;
};

class ShellFolderObject
{
public:
    // The desktop, shared by the whole process.
    static std::shared_ptr<ShellFolderObject> desktop();
    // The folder an absolute list names; null (with an errno value in `error`) when the
    // list names no folder that can be listed: a file, a vanished folder, a drive that
    // is no longer mounted.
    static std::shared_ptr<ShellFolderObject> bind(const TIdList& absolute, int* error = nullptr);

    const TIdList& idList() const { return m_list; }
    const ShellLocation& location() const { return m_place; }

    // All items: folders, files and hidden ones. Null when the folder cannot be read.
    std::unique_ptr<EnumIDList> enumObjects() const;
    // A child by its name (raw bytes); for the drives folder a mount point, for the
    // desktop an absolute path (giving an absolute list).
    TIdList parseDisplayName(const QByteArray& name, int* error = nullptr) const;
    std::optional<ShellLocation> locate(const TIdList& relative) const;
    std::uint32_t attributesOf(const TIdList& relative, std::uint32_t mask) const;
    QString displayNameOf(const TIdList& relative) const;
    std::optional<FindData> findData(const TIdList& relative) const;
    // Renames a child; never replaces an existing object. The child's new relative list,
    // or absent with an errno value in `error`.
    TIdList setNameOf(const TIdList& relative, const QByteArray& newName, int* error) const;
    int compareIDs(int column, const TIdList& a, const TIdList& b) const;
    // What the folder's own column orders by: the drives' columns are not a file's.
    ColumnOrder columnOrder(int column) const;
    // The caption (no `relative`) or a cell of a column; nothing past the last column.
    std::optional<ColumnDetails> detailsOf(const TIdList* relative, int column) const;
    std::optional<std::uint32_t> defaultColumnState(int column) const;
    int columnCount() const;
    // 1 for a link, -1 for none (nothing is shared on Linux).
    int overlayIndex(const TIdList& relative) const;
    // The theme icon names of a child, most specific first.
    QStringList iconNames(const TIdList& relative, bool open) const;

    // A seam for tests: replaces the system call that renames (returns 0 or an errno).
    using RenameCall = std::function<int(const QByteArray& from, const QByteArray& to)>;
    static void setRenameCall(RenameCall call);

private:
    ShellFolderObject(TIdList list, ShellLocation place);

    TIdList m_list;
    ShellLocation m_place;
};

// The attribute bits of a place, as far as `mask` asks for them.
std::uint32_t AttributesOf(const std::optional<ShellLocation>& place, std::uint32_t mask);

// Icon names of a place, most specific first.
QStringList IconNamesOf(const ShellLocation& place, const ObjectFacts& facts, bool open);

// The kind of the drive mounted at `mountPoint`, as its type column shows it.
QString DriveTypeText(const QByteArray& mountPoint);

// Sizes as the list shows them: "1.234 KB", rounded up; "12,3 GB" for drive sizes.
QString FileSizeText(qint64 bytes);
QString ByteSizeText(quint64 bytes);

} // namespace shell
