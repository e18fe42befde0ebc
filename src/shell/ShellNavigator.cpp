#include "shell/ShellNavigator.h"

#include "fileops/FolderListing.h"
#include "platform/PathAt.h"
#include "platform/UniqueFd.h"
#include "shell/ContextMenuHandler.h"
#include "shell/ContextMenuPresenter.h"
#include "shell/ShellCommandHost.h"
#include "shell/ShellStartup.h"
#include "shell/SystemIconTable.h"
#include "shell/ThumbnailReader.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLocale>
#include <QPointer>
#include <QSet>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

// Shows the busy cursor while it lives, where there is a GUI to show it.
class BusyCursor
{
public:
    BusyCursor() : m_shown(qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    {
        if (m_shown)
            QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    }
    ~BusyCursor()
    {
        if (m_shown)
            QGuiApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool m_shown;
};

QByteArray lastComponent(const QByteArray& path)
{
    const QByteArray p = WithoutTrailingSlash(path);
    return p.mid(p.lastIndexOf('/') + 1);
}

} // namespace

TShellUIObject::TShellUIObject(TUIObjectKind kind, std::shared_ptr<ShellFolderObject> folder,
                               QList<TIdList> items, TFileNames paths)
    : m_kind(kind), m_folder(std::move(folder)), m_items(std::move(items)),
      m_paths(std::move(paths))
{
}

TFileNames TShellUIObject::paths() const
{
    if (m_paths.size() == m_items.size())
        return m_paths;
    TFileNames out;
    for (const TIdList& l : m_items)
        out.append(PathFromIDList(l));
    return out;
}

TShellNavigator::TShellNavigator(QObject* owner) : QObject(owner)
{
    SetFolderPath({});
}

TShellNavigator::~TShellNavigator() = default;

// ---- Folder ----

void TShellNavigator::SetFolderPath(const QByteArray& value)
{
    // File names are compared exactly: "/a" and "/A" are different folders on Linux.
    if (!value.isEmpty() && m_shellFolder && SamePath(value, m_folderPath))
        return;
    int error = 0;
    const TIdList list = IDListFromPath(value, &error);
    if (list.isNull()) {
        throw EShellNavigatorError(SystemErrorText(ENOENT) + u'\n' + QFile::decodeName(value));
    }
    // A path that names something that cannot be shown as a folder (a file, a folder
    // that cannot be read) is refused in the same words, with the reason.
    if (IDListCount(list) != 0 && !ShellFolderObject::bind(list, &error))
        throw EShellNavigatorError(SystemErrorText(error) + u'\n' + QFile::decodeName(value));
    SetFolderIDList(list);
}

void TShellNavigator::SetFolderIDList(const TIdList& list)
{
    if (&list == &m_folderList) {
        m_enumerator.reset(); // the next NextObject starts a new pass
        return;
    }
    // An absent list or a folder that cannot be had leaves the current folder as it
    // was: a navigator always has a folder once made.
    if (list.isNull())
        return;
    std::shared_ptr<ShellFolderObject> folder;
    if (IDListCount(list) == 0 && IDListSize(list) == 2) {
        folder = ShellFolderObject::desktop();
    } else {
        int error = 0;
        folder = ShellFolderObject::bind(list, &error);
        if (!folder) {
            throw EShellNavigatorError(
                QStringLiteral("ShellNavigator.SetFolderIDList: Desktop.BindToObject: Could "
                               "not get IShellFolder interface. (") +
                SystemErrorText(error) + u')');
        }
    }
    m_enumerator.reset();
    m_shellFolder = std::move(folder);
    m_folderList = CopyIDList(list);
    SetObjectIDList({});
    m_folderPath = WithTrailingSlash(PathFromIDList(m_folderList));
}

TShellFolder TShellNavigator::SpecialFolder() const
{
    return SpecialFolderOf(m_folderList);
}

void TShellNavigator::SetSpecialFolder(TShellFolder kind)
{
    if (m_loading && kind == SF_FILESYSTEMFOLDER)
        return; // the stored Folder decides
    const TIdList list = SpecialFolderIDList(kind);
    if (list.isNull())
        return;
    try {
        SetFolderIDList(list);
    } catch (const EShellNavigatorError&) {
        // A special folder that cannot be opened changes nothing.
    }
}

bool TShellNavigator::SelectFolderInParent()
{
    const TIdList folder = CopyIDList(m_folderList);
    try {
        SetAbsoluteObjectIDList(folder);
    } catch (const EShellNavigatorError&) {
        return false;
    }
    return true;
}

bool TShellNavigator::EnterObject()
{
    if (!IsFolder())
        return false;
    const TIdList target = CopyIDList(AbsoluteObjectIDList());
    try {
        SetFolderIDList(target);
    } catch (const EShellNavigatorError&) {
        return false;
    }
    return true;
}

bool TShellNavigator::IsOrdinaryFolder() const
{
    if (WithoutTrailingSlash(m_folderPath).toLower().endsWith(".zip"))
        return false;
    return SpecialFolder() != SF_DESKTOP;
}

// ---- Current object ----

void TShellNavigator::SetObjectIDList(const TIdList& list)
{
    if (&list != &m_objectList)
        m_objectList = CopyIDList(list);
    m_absoluteObjectList.reset();
    m_findData.reset();
    m_place.reset();
    m_facts.reset();
}

const TIdList& TShellNavigator::AbsoluteObjectIDList()
{
    if (!m_absoluteObjectList)
        m_absoluteObjectList = m_objectList.isNull() ? CopyIDList(m_folderList)
                                                     : ConcatIDLists(m_folderList, m_objectList);
    return *m_absoluteObjectList;
}

void TShellNavigator::SetAbsoluteObjectIDList(const TIdList& list)
{
    const int count = IDListCount(list);
    if (IDListSize(list) == 0)
        return;
    if (count == 0) {
        SetSpecialFolder(SF_DESKTOP);
        return;
    }
    const TIdList parent = IDListFirstItems(list, count - 1);
    const TIdList last = IDListItem(list, count - 1);
    SetFolderIDList(parent);
    SetObjectIDList(last);
}

const std::optional<ShellLocation>& TShellNavigator::objectPlace()
{
    if (!m_place) {
        m_place.emplace();
        if (m_shellFolder && !m_objectList.isNull())
            *m_place = m_shellFolder->locate(m_objectList);
    }
    return *m_place;
}

const ObjectFacts& TShellNavigator::objectFacts()
{
    if (!m_facts) {
        const std::optional<ShellLocation>& place = objectPlace();
        m_facts = place ? FactsOf(*place) : ObjectFacts();
    }
    return *m_facts;
}

const std::optional<FindData>& TShellNavigator::findData()
{
    if (!m_findData) {
        m_findData.emplace();
        if (m_shellFolder && !m_objectList.isNull())
            *m_findData = m_shellFolder->findData(m_objectList);
    }
    return *m_findData;
}

QByteArray TShellNavigator::ObjectNameBytes()
{
    if (m_folderList.isNull() || m_objectList.isNull())
        return {};
    // The name the folder records, as its entry gave it; the same as the file record
    // would give, without reading it.
    if (const std::optional<ShellLocation>& place = objectPlace(); place && !place->name.isEmpty())
        return place->name;
    if (const std::optional<FindData>& fd = findData(); fd && !fd->name.isEmpty())
        return fd->name;
    const TIdList& absolute = AbsoluteObjectIDList();
    if (IDListCount(absolute) > 1) {
        const QByteArray path = PathFromIDList(absolute);
        if (!path.isEmpty())
            return IsDriveRoot(path) ? path : lastComponent(path);
    }
    return {};
}

QString TShellNavigator::ObjectName()
{
    return QFile::decodeName(ObjectNameBytes());
}

void TShellNavigator::SetObjectNameBytes(const QByteArray& input)
{
    if (input.isEmpty()) {
        SetObjectIDList({});
        return;
    }
    const QByteArray value = WithoutTrailingSlash(input);
    // The trash names its objects by their paths: such a name stays in the trash.
    if (value.startsWith('/') && m_shellFolder &&
        m_shellFolder->location().kind == ShellLocation::Trash) {
        const TIdList item = m_shellFolder->parseDisplayName(value);
        if (item.isNull()) {
            throw EShellNavigatorError(
                QStringLiteral("Error! Cannot find Object \"") + QFile::decodeName(value) +
                QStringLiteral("\" in Folder \"") + Folder() + QStringLiteral("\""));
        }
        SetObjectIDList(item);
        return;
    }
    if (!value.contains('/')) {
        TIdList item = m_shellFolder ? m_shellFolder->parseDisplayName(value) : TIdList();
        if (!item.isNull()) {
            SetObjectIDList(item);
            return;
        }
        // Not a name of the folder: perhaps what the folder shows (the desktop's
        // "Computer", a drive's title). A shown name stands for an object only when
        // the text is exact on both sides: text decoded from bytes that are not valid
        // UTF-8 reads alike for different names and must never pick one of them.
        m_enumerator.reset();
        const QString shown = QFile::decodeName(value);
        const bool exactText = QByteArrayView(value).isValidUtf8();
        bool found = false;
        while (NextObject()) {
            const QByteArray raw = ObjectNameBytes();
            if (raw == value ||
                (exactText && QByteArrayView(raw).isValidUtf8() && DisplayName() == shown)) {
                found = true;
                break;
            }
        }
        m_enumerator.reset();
        if (!found) {
            throw EShellNavigatorError(QStringLiteral("Error! Cannot find Object \"") + shown +
                                       QStringLiteral("\" in Folder \"") + Folder() +
                                       QStringLiteral("\""));
        }
        return;
    }
    if (IsDriveRoot(value)) {
        SetFolderPath(value);
        SelectFolderInParent();
        return;
    }
    const qsizetype slash = value.lastIndexOf('/');
    SetFolderPath(slash == 0 ? QByteArray("/") : value.left(slash));
    SetObjectNameBytes(value.mid(slash + 1));
}

QString TShellNavigator::DisplayName()
{
    const std::optional<ShellLocation>& place = objectPlace();
    if (!place)
        return {};
    const QString name = DisplayNameOf(*place);
    return name.isEmpty() ? ObjectName() : name;
}

std::uint32_t TShellNavigator::GetAttributes(std::uint32_t mask)
{
    if (!m_shellFolder || m_objectList.isNull())
        return 0;
    return AttributesOf(objectPlace(), mask) & mask;
}

bool TShellNavigator::IsFolder()
{
    if (!m_fileSystemOnly)
        return GetAttributes(SFGAO_FOLDER) != 0;
    const std::uint32_t a = GetAttributes(SFGAO_FOLDER | SFGAO_FILESYSANCESTOR);
    return (a & SFGAO_FOLDER) && (OldShell || (a & SFGAO_FILESYSANCESTOR));
}

TShellFolder TShellNavigator::ObjectSpecialFolder()
{
    return SpecialFolderOf(AbsoluteObjectIDList());
}

QByteArray TShellNavigator::LinkTargetFolder()
{
    if (!IsLink())
        return {};
    const std::optional<ShellLocation> place = objectPlace();
    if (!place)
        return {};
    const QByteArray target = LinkTarget(place->path);
    if (target.isEmpty())
        return {};
    struct stat st;
    const platform::PathAt at(target.toStdString());
    if (::fstatat(at.dir(), at.name(), &st, 0) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return target;
}

int TShellNavigator::ObjectIconIndex()
{
    const std::optional<ShellLocation>& place = objectPlace();
    if (!place)
        return -1;
    return SystemIconTable::instance().indexFor(IconNamesOf(*place, KindOf(*place), false));
}

int TShellNavigator::OverlayIndex()
{
    if (!m_shellFolder || m_objectList.isNull())
        return -1;
    return m_shellFolder->overlayIndex(m_objectList);
}

QString TShellNavigator::InfoTip(bool)
{
    const std::optional<ShellLocation> place = objectPlace();
    if (!place)
        return {};
    const ObjectFacts facts = objectFacts();
    if (!facts.exists)
        return {};
    QStringList lines{QStringLiteral("Typ: ") + TypeNameOf(*place, facts)};
    if (place->kind == ShellLocation::FileSystem && !facts.isFolder)
        lines << QStringLiteral("Größe: ") + FileSizeText(facts.size);
    if (facts.modifiedMs != 0)
        lines << QStringLiteral("Geändert am: ") +
                     QDateTime::fromMSecsSinceEpoch(facts.modifiedMs)
                         .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    return lines.join(u'\n');
}

QDateTime TShellNavigator::ObjectModified()
{
    const std::optional<FindData>& fd = findData();
    if (!fd || fd->modifiedMs == 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(fd->modifiedMs, Qt::UTC);
}

QImage TShellNavigator::ExtractThumbnail(int width, int height)
{
    if (width <= 0 || height <= 0)
        width = height = 200;
    const std::optional<ShellLocation> place = objectPlace();
    if (!place || place->kind != ShellLocation::FileSystem)
        return {};
    return ThumbnailReader::Read(place->path, QSize(width, height));
}

bool TShellNavigator::RenameObject(QByteArray& name)
{
    BusyCursor busy;
    bool ok = false;
    m_lastError = 0;
    if (m_shellFolder && !m_objectList.isNull()) {
        const TIdList renamed = m_shellFolder->setNameOf(m_objectList, name, &m_lastError);
        if (!renamed.isNull()) {
            SetObjectIDList(renamed);
            ok = true;
        }
    } else {
        m_lastError = ENOENT;
    }
    name = ObjectNameBytes();
    return ok;
}

bool TShellNavigator::RenameObject(QString& name)
{
    QByteArray bytes = QFile::encodeName(name);
    const bool ok = RenameObject(bytes);
    name = DisplayName();
    return ok;
}

std::unique_ptr<TShellUIObject> TShellNavigator::GetUIObject(TUIObjectKind kind)
{
    // The names are used once, whatever happens.
    const TFileNames names = std::move(m_multiObjects);
    m_multiObjects = TFileNames();
    QList<TIdList> items;
    m_missingName.clear();
    auto fail = [this](int error, const QByteArray& name = {}) {
        m_lastError = error;
        m_missingName = name;
        return std::unique_ptr<TShellUIObject>();
    };
    if (!m_shellFolder)
        return fail(ENOENT);
    if (names.isEmpty()) {
        if (m_objectList.isNull())
            return fail(ENOENT);
        // The object may have gone since it became current.
        const std::optional<ShellLocation>& place = objectPlace();
        if (!place || !FactsOf(*place).exists)
            return fail(ENOENT, ObjectNameBytes());
        items.append(CopyIDList(AbsoluteObjectIDList()));
    } else if (names.size() == 1) {
        if (names[0].contains('/')) {
            try {
                SetObjectNameBytes(names[0]);
            } catch (const EShellNavigatorError&) {
                return fail(ENOENT, names[0]);
            }
            items.append(CopyIDList(AbsoluteObjectIDList()));
        } else {
            int error = 0;
            const TIdList rel = m_shellFolder->parseDisplayName(names[0], &error);
            if (rel.isNull())
                return fail(error, names[0]);
            items.append(ConcatIDLists(m_folderList, rel));
        }
    } else {
        // Looking names up may move the navigator; it is put back afterwards, also
        // when a name is not found.
        const TIdList savedFolder = CopyIDList(m_folderList);
        const TIdList savedObject = CopyIDList(m_objectList);
        bool found = true;
        QByteArray missing;
        items.reserve(names.size());
        // The entries of a folder on the disk are found in one reading of the folder: a
        // selection of thousands is named at once.
        const bool onDisk = m_shellFolder->location().kind == ShellLocation::FileSystem;
        const QByteArray folderPath = WithTrailingSlash(m_shellFolder->location().path);
        const TIdList folderList = CopyIDList(m_folderList);
        QSet<QByteArray> entries;
        if (onDisk) {
            const platform::UniqueFd dir(
                ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            QList<QByteArray> listed;
            int error = 0;
            if (dir && fileops::ListFolder(dir.get(), listed, error))
                entries = QSet<QByteArray>(listed.begin(), listed.end());
        }
        TFileNames paths;
        for (const QByteArray& name : names) {
            TIdList absolute;
            if (entries.contains(name)) {
                absolute = ConcatIDLists(folderList, TIdList::fromItems({item::Entry + name}));
                if (!absolute.isNull() && paths.size() == items.size())
                    paths.append(folderPath + name);
                items.append(absolute);
                continue;
            }
            // A name of the folder first (the trash's objects are paths), then a path.
            const TIdList rel = m_shellFolder->parseDisplayName(name);
            if (!rel.isNull())
                absolute = ConcatIDLists(m_folderList, rel);
            else if (name.startsWith('/'))
                absolute = IDListFromPath(name);
            if (absolute.isNull()) {
                try {
                    SetObjectNameBytes(name);
                    absolute = CopyIDList(AbsoluteObjectIDList());
                } catch (const EShellNavigatorError&) {
                    found = false;
                    missing = name;
                    break;
                }
            }
            items.append(absolute);
        }
        if (savedFolder.block() != m_folderList.block()) {
            try {
                SetFolderIDList(savedFolder);
            } catch (const EShellNavigatorError&) {
                // The folder went away meanwhile; the navigator stays where it is.
            }
        }
        if (savedFolder.block() == m_folderList.block())
            SetObjectIDList(savedObject);
        if (!found)
            return fail(ENOENT, missing);
        m_lastError = 0;
        return std::make_unique<TShellUIObject>(kind, m_shellFolder, std::move(items),
                                                std::move(paths));
    }
    m_lastError = 0;
    return std::make_unique<TShellUIObject>(kind, m_shellFolder, std::move(items));
}

// ---- Enumeration ----

bool TShellNavigator::NextObject()
{
    if (!m_shellFolder)
        return false;
    if (!m_enumerator) {
        m_enumerator = m_shellFolder->enumObjects();
        if (!m_enumerator)
            return false;
    }
    for (;;) {
        const TIdList item = m_enumerator->next();
        if (item.isNull()) {
            // The pass is over: the next call starts again, and no object is left
            // current that the caller might take for the last one handed out.
            m_enumerator.reset();
            SetObjectIDList({});
            return false;
        }
        SetObjectIDList(item);
        // An item that vanished since the listing was read is skipped; an entry that
        // the folder's listing has just handed out is there.
        const std::optional<ShellLocation>& place = objectPlace();
        if (!place)
            continue;
        if (place->kind == ShellLocation::FileSystem && !place->isDrive() &&
            place->tag != item::Home && place->listedType == 0 && !objectFacts().exists)
            continue;
        if (m_fileSystemOnly && GetAttributes(SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR) == 0) {
            const bool recycle = ObjectName().left(7).toUpper() == u"RECYCLE";
            const TShellFolder kind = ObjectSpecialFolder();
            if (!recycle && kind != SF_DRIVES && kind != SF_NETWORK)
                continue;
        }
        if (MatchesFilter())
            return true;
    }
}

QString TShellNavigator::Filter() const
{
    return m_filterPatterns.isEmpty() ? QStringLiteral("*") : m_filterPatterns.join(u';');
}

void TShellNavigator::SetFilter(const QString& value)
{
    m_filterPatterns.clear();
    if (value.isEmpty() || value == u"*")
        return;
    QString text = value;
    if (!text.endsWith(u';'))
        text += u';';
    m_filterPatterns = text.split(u';');
    m_filterPatterns.removeLast(); // the piece after the final ";"
}

bool TShellNavigator::MatchesFilter()
{
    if (m_filterPatterns.isEmpty() || IsFolder())
        return true;
    const QString name = ObjectName();
    for (const QString& pattern : m_filterPatterns) {
        if (MatchSpec(name, pattern))
            return true;
    }
    return false;
}

// ---- Columns ----

void TShellNavigator::DetailText(int column, bool header, QString& text)
{
    text.clear();
    if (!m_shellFolder)
        return;
    if (column == 0 && !header) {
        text = DisplayName();
        return;
    }
    if (!header && m_objectList.isNull())
        return;
    const std::optional<ColumnDetails> d =
        m_shellFolder->detailsOf(header ? nullptr : &m_objectList, column);
    if (d)
        text = d->text;
}

int TShellNavigator::ColumnInfo(int column, int& width) const
{
    width = 120;
    if (!m_shellFolder)
        return 0;
    const std::optional<ColumnDetails> d = m_shellFolder->detailsOf(nullptr, column);
    if (!d)
        return 0;
    width = d->widthChars * 7;
    const std::optional<std::uint32_t> state = m_shellFolder->defaultColumnState(column);
    if (state && (!(*state & SHCOLSTATE_ONBYDEFAULT) || (*state & SHCOLSTATE_HIDDEN)))
        width = 0;
    return d->format;
}

QObject* TShellNavigator::ParentWindow() const
{
    if (!m_showErrorMessages)
        return nullptr;
    if (m_loaded && parent() && parent()->isWidgetType())
        return parent();
    return QCoreApplication::instance();
}

// ---- Context menu and verbs ----

namespace {

// Commands of the application's items start here, far from the handler's 1 to 0x7FFF.
constexpr int kFirstApplicationCommand = 0x8000;
constexpr int kFirstShellCommand = 1;
constexpr int kLastShellCommand = 255;

bool isVerb(const QString& verb, const char* name)
{
    return verb.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// Deletions are checked afterwards by whether their object is still there.
bool isDeleteVerb(const QString& verb)
{
    return isVerb(verb, "delete") || isVerb(verb, "deleteforgood");
}

// What a read-only owner does not allow: every verb that changes the disk, except the
// rename, which the owner withholds by not editing.
bool changesDisk(const QString& verb)
{
    for (const char* name : {"delete", "cut", "paste", "deleteforgood", "undelete", "emptytrash"}) {
        if (isVerb(verb, name))
            return true;
    }
    return false;
}

// The copied application item with this command, depth-first in menu order.
const TShellMenuItem* applicationItem(const TShellMenu& menu, int command)
{
    if (command == 0)
        return nullptr;
    for (const TShellMenuItem& item : menu.Items) {
        if (item.Source && item.Command == command)
            return &item;
        if (item.SubMenu) {
            if (const TShellMenuItem* found = applicationItem(*item.SubMenu, command))
                return found;
        }
    }
    return nullptr;
}

} // namespace

QByteArray TShellNavigator::deletionTarget()
{
    if (m_multiObjects.isEmpty()) {
        const QByteArray name = ObjectNameBytes();
        return name.startsWith('/') ? name : m_folderPath + name;
    }
    const QByteArray& first = m_multiObjects.first();
    return first.startsWith('/') ? first : m_folderPath + first;
}

void TShellNavigator::reportMissing()
{
    if (!m_commandHost || m_lastError != ENOENT)
        return;
    const QByteArray name = m_missingName.isEmpty() ? ObjectNameBytes() : m_missingName;
    m_commandHost->ShowMessage(
        QStringLiteral("Objekt nicht gefunden"),
        QStringLiteral("„%1“ ist nicht mehr da: Es wurde inzwischen gelöscht, verschoben oder "
                       "umbenannt. Es wurde nichts geändert.")
            .arg(QFile::decodeName(name.mid(name.lastIndexOf('/') + 1))));
}

QString TShellNavigator::ShowContextMenu(const QPoint& point, QObject* appMenu)
{
    QString result;
    bool execute = true;
    const QByteArray target = deletionTarget();
    m_lastReport.reset();
    m_lastVerb.clear();
    std::unique_ptr<TShellUIObject> object = GetUIObject(TUIObjectKind::ContextMenu);
    if (!object) {
        reportMissing();
        return {};
    }
    TContextMenuHandler handler(std::move(object), m_commandHost);
    if (!m_presenter)
        return {};
    m_presenter->Popup(appMenu);
    TShellMenu menu;
    const QPointer<TShellNavigator> self(this);
    if (m_presenter->CopyMenu(appMenu, menu, kFirstApplicationCommand)) {
        const int position = m_showContextMenuOnTop ? 0 : int(menu.Items.size());
        const unsigned flags = CMF_EXPLORE | (OnRename ? CMF_CANRENAME : 0u);
        if (handler.QueryContextMenu(menu, position, kFirstShellCommand, kLastShellCommand,
                                     flags) >= 0) {
            m_menuHandler = &handler;
            m_menu = &menu;
            const int command = m_presenter->Track(
                menu, point, [this](const TMenuMessage& message) { ContextMenuWndProc(message); });
            m_menuHandler = nullptr;
            m_menu = nullptr;
            if (const TShellMenuItem* item = applicationItem(menu, command)) {
                m_presenter->Click(*item);
            } else if (command >= kFirstShellCommand && command <= kLastShellCommand) {
                const int offset = command - kFirstShellCommand;
                result = handler.GetCommandString(offset, GCS_VERBA);
                if (OnContextMenuSelect)
                    OnContextMenuSelect(result, execute);
                else if (m_readOnly)
                    execute = !changesDisk(result);
                if (!execute) {
                    result.clear();
                } else if (isVerb(result, "rename") && OnRename) {
                    OnRename(*this);
                } else {
                    m_lastVerb = result;
                    if (!handler.InvokeCommand(offset))
                        result.clear();
                }
                if (!self) // the owner went away while the verb ran
                    return result;
                m_lastReport = handler.LastReport();
            }
        }
    }
    if (!self)
        return {};
    if (isDeleteVerb(result) && PathExists(target))
        result.clear();
    return result;
}

bool TShellNavigator::InvokeVerb(const QString& givenVerb)
{
    bool execute = true;
    m_lastReport.reset();
    m_lastVerb.clear();
    if (OnContextMenuSelect)
        OnContextMenuSelect(givenVerb, execute);
    if (!execute || (m_objectList.isNull() && m_multiObjects.isEmpty()) || !m_shellFolder) {
        m_multiObjects.clear();
        return false;
    }
    const QString verb = givenVerb.isEmpty() ? QStringLiteral("default") : givenVerb;
    if (isVerb(verb, "delete") && m_multiObjects.isEmpty() && !GetAttributes(SFGAO_CANDELETE))
        return false;
    BusyCursor busy;
    const QByteArray target = deletionTarget();
    std::unique_ptr<TShellUIObject> object = GetUIObject(TUIObjectKind::ContextMenu);
    if (!object) {
        reportMissing();
        return false;
    }
    TContextMenuHandler handler(std::move(object), m_commandHost);
    const QPointer<TShellNavigator> self(this);
    bool done = false;
    m_lastVerb = verb;
    TShellMenu menu;
    if (!isVerb(verb, "default")) {
        if (isVerb(verb, "rename")) {
            if (OnRename)
                OnRename(*this);
            done = true;
        } else if (handler.QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_EXPLORE) >= 0) {
            done = handler.InvokeCommand(verb);
        }
    } else if (handler.QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_DEFAULTONLY) >= 0) {
        if (const int command = menu.DefaultCommand(); command > 0)
            done = handler.InvokeCommand(command - 1);
    }
    if (!self)
        return done;
    m_lastReport = handler.LastReport();
    m_lastError = done ? 0 : ECANCELED;
    if (isDeleteVerb(verb) && PathExists(target))
        done = false;
    return done;
}

void TShellNavigator::ContextMenuWndProc(const TMenuMessage& message)
{
    if (!m_menuHandler || !m_menu || QCoreApplication::closingDown() || !m_presenter)
        return;
    if (message.Message != TMenuMessage::MenuSelect)
        return;
    QString hint;
    if (message.Flags & MF_POPUP) {
        // A sub-menu of the application's items, by its position in its menu.
        if (message.Menu && message.Item >= 0 && message.Item < message.Menu->Items.size())
            hint = message.Menu->Items[message.Item].Hint;
    } else if (message.Item >= kFirstShellCommand && message.Item <= kLastShellCommand) {
        hint = m_menuHandler->GetCommandString(message.Item - kFirstShellCommand, GCS_HELPTEXTW);
    } else if (const TShellMenuItem* item = applicationItem(*m_menu, message.Item)) {
        hint = item->Hint;
    }
    m_presenter->ShowHint(hint);
}

} // namespace shell
