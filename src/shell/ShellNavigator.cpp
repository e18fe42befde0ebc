#include "shell/ShellNavigator.h"

#include "platform/PathAt.h"
#include "shell/ShellStartup.h"
#include "shell/SystemIconTable.h"
#include "shell/ThumbnailReader.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLocale>
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
                               QList<TIdList> items)
    : m_kind(kind), m_folder(std::move(folder)), m_items(std::move(items))
{
}

TFileNames TShellUIObject::paths() const
{
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
    auto fail = [this](int error) {
        m_lastError = error;
        return std::unique_ptr<TShellUIObject>();
    };
    if (!m_shellFolder)
        return fail(ENOENT);
    if (names.isEmpty()) {
        if (m_objectList.isNull())
            return fail(ENOENT);
        items.append(CopyIDList(AbsoluteObjectIDList()));
    } else if (names.size() == 1) {
        if (names[0].contains('/')) {
            try {
                SetObjectNameBytes(names[0]);
            } catch (const EShellNavigatorError&) {
                return fail(ENOENT);
            }
            items.append(CopyIDList(AbsoluteObjectIDList()));
        } else {
            int error = 0;
            const TIdList rel = m_shellFolder->parseDisplayName(names[0], &error);
            if (rel.isNull())
                return fail(error);
            items.append(ConcatIDLists(m_folderList, rel));
        }
    } else {
        // Looking names up may move the navigator; it is put back afterwards, also
        // when a name is not found.
        const TIdList savedFolder = CopyIDList(m_folderList);
        const TIdList savedObject = CopyIDList(m_objectList);
        bool found = true;
        for (const QByteArray& name : names) {
            TIdList absolute;
            if (name.startsWith('/')) {
                absolute = IDListFromPath(name);
            } else {
                const TIdList rel = m_shellFolder->parseDisplayName(name);
                if (!rel.isNull())
                    absolute = ConcatIDLists(m_folderList, rel);
            }
            if (absolute.isNull()) {
                try {
                    SetObjectNameBytes(name);
                    absolute = CopyIDList(AbsoluteObjectIDList());
                } catch (const EShellNavigatorError&) {
                    found = false;
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
            return fail(ENOENT);
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

} // namespace shell
