// The contents list reads its folder: the full refresh with its columns and items, the
// incremental refresh, the details filled when an item is first drawn, and the
// selection kept by name.

#include "controls/ShellList.h"

#include "controls/FolderReading.h"
#include "shell/ShellFolderObject.h"
#include "shell/ShellLink.h"
#include "shell/ShellNavigator.h"
#include "shell/SystemImageList.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <cstdlib>

using namespace shell;

namespace {

// Everything a full refresh changes is put back however it ends.
class RefreshGuard
{
public:
    RefreshGuard(TShellList& list, bool& flag) : m_list(list), m_flag(flag)
    {
        m_cursor = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
        if (m_cursor)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_flag = true;
    }
    ~RefreshGuard()
    {
        m_flag = false;
        if (m_cursor)
            QGuiApplication::restoreOverrideCursor();
    }
    RefreshGuard(const RefreshGuard&) = delete;
    RefreshGuard& operator=(const RefreshGuard&) = delete;

private:
    TShellList& m_list;
    bool& m_flag;
    bool m_cursor;
};

class UpdateBracket
{
public:
    explicit UpdateBracket(TWideListView& list) : m_list(list) { m_list.BeginUpdate(); }
    ~UpdateBracket() { m_list.EndUpdate(); }
    UpdateBracket(const UpdateBracket&) = delete;
    UpdateBracket& operator=(const UpdateBracket&) = delete;

private:
    TWideListView& m_list;
};

// The entry name an item's identifier carries, when it is an entry of the folder.
QByteArrayView entryName(const TWideListItem& item)
{
    const TIdList& id = item.Data.ItemID;
    if (id.isNull() || IDListCount(id) != 1)
        return {};
    return EntryNameOf(id.itemData(0));
}

// A folder with more entries is read on by a thread.
constexpr int kEntriesReadAtOnce = 2000;
// How often the items read by the thread join the list.
constexpr qint64 kReadingStepMs = 40;

} // namespace

// ---- Full refresh ----

void TShellList::FullRefresh()
{
    if (m_loading || !isEnabled())
        return;
    // A reading of what was shown before ends here.
    m_reading.reset();
    m_readingTimer.stop();
    pauseWatching();
    // A refresh that was due is done by this one; one due for a folder shown before would
    // read this one again, a large folder at its full length.
    RefreshTimer.stop();
    // The notifier is switched on again however the refresh ends, once the folder is read.
    const auto resume = qScopeGuard([this] {
        if (!Filling())
            resumeWatching();
    });
    m_readingSelected.clear();
    const shell::TFileNames selected = SelectedNames();
    bool large = false;
    {
        RefreshGuard guard(*this, m_refreshing);
        stopThumbnails();
        if (OnBeforeFullRefresh)
            OnBeforeFullRefresh();
        {
            UpdateBracket bracket(*this);
            ClearItems();
            m_folderIDList = TIdList();
            m_thumbnailImages.clear();
            CreateColumns();
            if (m_showParentFolder)
                AddParentFolderItem();
            // The first entries are read here, enough for a page and for every small
            // folder; a larger one is read on by a thread while the window goes on.
            int read = 0;
            while (read < kEntriesReadAtOnce && m_navigator->NextObject()) {
                AddCurrentItem(m_details);
                ++read;
            }
            large = read == kEntriesReadAtOnce && m_navigator->NextObject();
            if (large)
                AddCurrentItem(m_details);
            SortItems();
            UpdateSortArrows();
        }
        if (large)
            readRestOfFolder(selected);
        // While the thread reads, the entries are marked for the notifier's watch, which
        // is set when the reading ends. (The marking holds the folder itself: not while
        // the first entries are read and sorted here.) A small folder is marked at once.
        m_watchPrimer.watch(large && m_automaticRefresh ? PathBytes() : QByteArray());
        if (!Filling())
            endFullRefresh(&selected);
    }
}

void TShellList::endFullRefresh(const shell::TFileNames* selected)
{
    if (selected)
        SetSelectedNames(*selected);
    if (OnPopulated)
        OnPopulated();
    if (OnPathChanged)
        OnPathChanged();
    armWatching();
}

// ---- Reading a large folder ----

void TShellList::readRestOfFolder(shell::TFileNames selected)
{
    TFolderReading::Request request;
    request.folder = FolderIDList();
    request.filter = m_navigator->Filter();
    request.fileSystemOnly = m_navigator->FileSystemOnly();
    request.options = m_options;
    request.showFolders = m_showFolders;
    request.listed.reserve(size_t(ItemCount()));
    for (int i = 0; i < ItemCount(); ++i) {
        if (!Item(i).Data.IsParentFolder)
            request.listed.push_back(Item(i).Data.ItemID);
    }
    // The order the reading gives is the namespace's; an owner that compares, or a
    // column of its own, sorts here at the end.
    if (m_sortColumn < m_columnCount && !OnCompare) {
        request.orderColumn = ColumnMap(m_sortColumn);
        request.descending = m_sortDescending;
    }
    m_reading = TFolderReading::start(this, std::move(request), m_navigator->TakeEnumeration(),
                                      [this] { takeFromReading(); });
    if (!m_reading) {
        // No thread to be had: the rest is read here, as small folders are.
        BeginUpdate();
        while (m_navigator->NextObject())
            AddCurrentItem(m_details);
        SortItems();
        EndUpdate();
        return;
    }
    m_readingSelected = std::move(selected);
    m_lastReadingStep.start();
}

void TShellList::takeFromReading()
{
    if (!m_reading)
        return;
    // Each step lays the whole view out anew, which takes longer the more it holds: a
    // large folder joins the list a few times a second rather than with every piece
    // the thread hands over, and less often as it grows.
    const qint64 step = std::max<qint64>(kReadingStepMs, ItemCount() / 4000);
    if (const qint64 since = m_lastReadingStep.elapsed(); since < step) {
        if (!m_readingTimer.isActive())
            m_readingTimer.start(int(step - since));
        return;
    }
    m_lastReadingStep.start();
    TFolderReading::Batch batch = m_reading->take();
    if (OnAddItem) {
        // The owner sees each item as it joins, with its texts when it wants them.
        BeginUpdate();
        for (std::unique_ptr<TWideListItem>& item : batch.items) {
            m_navigator->SetObjectIDList(item->Data.ItemID);
            const int index = AddItem(std::move(item));
            if (m_details)
                fillSubItems(Item(index));
            bool canAdd = true;
            OnAddItem(Item(index), canAdd);
            if (!canAdd)
                DeleteItem(index);
        }
        EndUpdate();
    } else {
        AddItems(std::move(batch.items));
    }
    if (batch.finished)
        finishReading(std::move(batch.read), std::move(batch.order));
}

void TShellList::finishReading(std::vector<TIdList> read, std::vector<int> order)
{
    m_reading.reset();
    m_readingTimer.stop();
    // The order found by the thread holds while the list is as it was read: no item
    // sorted, taken out, added or renamed since. Otherwise the list is sorted here.
    const int first = ItemCount() > 0 && Item(0).Data.IsParentFolder ? 1 : 0;
    bool asRead = !order.empty() && size_t(ItemCount() - first) == read.size();
    for (size_t i = 0; asRead && i < read.size(); ++i)
        asRead =
            Item(first + int(i)).Data.ItemID.block().constData() == read[i].block().constData();
    if (asRead) {
        std::vector<int> rows(static_cast<size_t>(ItemCount()));
        rows[0] = 0;
        for (size_t i = 0; i < order.size(); ++i)
            rows[size_t(first) + i] = first + order[i];
        ApplyOrder(rows);
    } else {
        SortItems();
    }
    UpdateSortArrows();
    {
        const QScopedValueRollback refreshing(m_refreshing, true);
        // What the user selected meanwhile stays; otherwise the selection from before.
        const TFileNames selected = std::exchange(m_readingSelected, {});
        endFullRefresh(SelCount() > 0 ? nullptr : &selected);
    }
    resumeWatching();
}

void TShellList::CreateColumns()
{
    // The widths the user gave the columns of an ordinary folder carry on to the next.
    if (m_keepColumnWidths) {
        for (int k = 0; k < ListColumnCount() && k < 256; ++k) {
            m_savedColumnWidths[size_t(k)] = ColumnWidth(k);
            m_savedWidthsByCaption.insert(Column(k).Caption, ColumnWidth(k));
        }
    }
    m_keepColumnWidths = m_navigator->IsOrdinaryFolder();
    ClearColumns();
    int s = 0;
    QString caption;
    m_navigator->DetailText(0, true, caption);
    for (;;) {
        int width = 0;
        const int alignment = m_navigator->ColumnInfo(s, width);
        if (width > 0 && ListColumnCount() < 256) {
            const int index = ListColumnCount();
            // A width carries over to the column of the same caption: the drives and a
            // folder have different columns at the same places.
            const int saved = m_savedWidthsByCaption.value(caption, 0);
            if (m_keepColumnWidths && index <= 254 && saved >= 1)
                width = saved;
            else
                width = DefaultColumnWidth(caption, width);
            AddColumn(caption, alignment, width);
            m_columnMap[size_t(index)] = s;
        }
        if (!m_details)
            break;
        ++s;
        m_navigator->DetailText(s, true, caption);
        if (caption.isEmpty())
            break;
    }
    m_columnCount = ListColumnCount();
    if (OnCreateColumns)
        OnCreateColumns();
}

int TShellList::ColumnMap(int listColumn) const
{
    return listColumn >= 0 && listColumn < 256 ? m_columnMap[size_t(listColumn)] : 0;
}

int TShellList::SavedColumnWidth(int listColumn) const
{
    return listColumn >= 0 && listColumn < 256 ? m_savedColumnWidths[size_t(listColumn)] : 0;
}

bool TShellList::ItemPassesFilter()
{
    return itemPassesFilter(*m_navigator, m_options);
}

bool TShellList::itemPassesFilter(TShellNavigator& nav, unsigned short options)
{
    if (!(options & ShowHiddenBit) && nav.IsHidden())
        return false;
    if (!(options & ShowNethoodBit)) {
        const TShellFolder kind = nav.ObjectSpecialFolder();
        if (kind == SF_NETHOOD || kind == SF_NETWORK)
            return false;
    }
    if (!(options & ShowRecycleBinBit)) {
        if (nav.ObjectSpecialFolder() == SF_BITBUCKET)
            return false;
        if (nav.ObjectName().left(6).compare(u"RECYCL", Qt::CaseInsensitive) == 0 && nav.IsHidden())
            return false;
    }
    if (!(options & ShowFilesBit) && !nav.IsFolder())
        return false;
    return true;
}

std::unique_ptr<TWideListItem> TShellList::makeItem(TShellNavigator& nav, unsigned short options,
                                                    bool showFolders)
{
    if (!showFolders && nav.IsFolder())
        return nullptr;
    if (!itemPassesFilter(nav, options))
        return nullptr;
    auto item = std::make_unique<TWideListItem>();
    item->Data.ItemID = nav.GetObjectIDList();
    item->Data.Present = 1;
    // An entry shows its own name; other objects (drives, the trash) their titles.
    if (entryName(*item).isEmpty())
        item->SetCaption(nav.DisplayName());
    return item;
}

void TShellList::AddCurrentItem(bool fillDetails)
{
    std::unique_ptr<TWideListItem> item = makeItem(*m_navigator, m_options, m_showFolders);
    if (!item)
        return;
    const int index = AddItem(std::move(item));
    if (!OnAddItem)
        return;
    if (fillDetails)
        fillSubItems(Item(index));
    bool canAdd = true;
    OnAddItem(Item(index), canAdd);
    if (!canAdd)
        DeleteItem(index);
}

void TShellList::AddParentFolderItem()
{
    if (m_shellLink && !m_shellLink->AllowParentNavigation())
        return;
    if (m_navigator->SpecialFolder() == SF_DESKTOP)
        return;
    auto item = std::make_unique<TWideListItem>();
    item->SetCaption(QStringLiteral(" .. "));
    item->ImageIndex = -1;
    item->StateIndex = 1;
    item->OverlayIndex = -1;
    item->Data.Present = 1;
    item->Data.IsParentFolder = true;
    AddItem(std::move(item));
}

// ---- Details when drawn ----

void TShellList::fillSubItems(TWideListItem& item)
{
    for (int k = 1; k < m_columnCount; ++k) {
        QString text;
        m_navigator->DetailText(m_columnMap[size_t(k)], false, text);
        item.SubItemsForWrite().append(text);
    }
}

void TShellList::FillItemDetails(int index)
{
    ++m_filledCount;
    TWideListItem& item = Item(index);
    TShellNavigator& nav = *m_navigator;
    nav.SetObjectIDList(item.Data.ItemID);
    if (m_details && !item.Data.IsParentFolder && item.SubItems().isEmpty())
        fillSubItems(item);
    item.ImageIndex = item.Data.IsParentFolder ? TSystemImageList::GetFolderIconIndex(false)
                                               : nav.ObjectIconIndex();
    if (m_thumbnails && ViewStyle() == vsIcon)
        queueThumbnail(index);
    if (item.Data.IsParentFolder)
        return;
    setCheckState(index);
    if (m_showOverlayIcons) {
        item.OverlayIndex = nav.OverlayIndex();
        if (nav.IsHidden())
            item.Cut = true;
        item.Data.Compressed = ColorCompressed() && nav.GetAttributes(SFGAO_COMPRESSED) != 0;
        item.Data.Encrypted = ColorEncrypted() && nav.GetAttributes(SFGAO_ENCRYPTED) != 0;
    }
}

void TShellList::ImageRequest(int index)
{
    if (Item(index).ImageIndex < 0)
        FillItemDetails(index);
    if (OnGetImageIndex)
        OnGetImageIndex(index);
}

QString TShellList::DefaultCaption(int index) const
{
    return QFile::decodeName(entryName(Item(index)).toByteArray());
}

QImage TShellList::ItemImage(int imageIndex, bool large) const
{
    if (large && m_thumbnails)
        return m_thumbnailImages.value(imageIndex);
    return (large ? m_largeImages : m_smallImages)->Image(imageIndex);
}

QColor TShellList::ItemTextColor(int index) const
{
    const TShellListItem& data = Item(index).Data;
    QColor colour;
    if (ColorCompressed() && data.Compressed)
        colour = QColor(0, 0, 255);
    if (ColorEncrypted() && data.Encrypted)
        colour = QColor(0, 128, 0);
    return colour;
}

// ---- Selection by name ----

void TShellList::forgetSelectedNames()
{
    if (m_restoringSelection)
        return;
    m_restoringSelection = true;
    m_selectedNames.clear();
    m_restoringSelection = false;
}

void TShellList::ItemChanged(int index, bool textOnly)
{
    Q_UNUSED(index);
    Q_UNUSED(textOnly);
    // A renamed item has another name now: a command must never get the old one, which
    // may by then belong to another file.
    forgetSelectedNames();
}

void TShellList::SelectionChanged()
{
    forgetSelectedNames();
    if (!m_shellLink || m_loading || SelCount() != 1)
        return;
    const int index = Selected();
    const TWideListItem& item = Item(index);
    if (item.Data.IsParentFolder || item.Data.ItemID.isNull())
        return;
    m_shellLink->BroadcastSelection(this, FolderIDList(), item.Data.ItemID);
}

const TFileNames& TShellList::SelectedNames()
{
    if (SelCount() == 0) {
        m_selectedNames.clear();
        return m_selectedNames;
    }
    if (!m_selectedNames.isEmpty())
        return m_selectedNames;
    // The items of a folder on a drive carry their names; other objects are asked.
    const std::shared_ptr<ShellFolderObject>& folder = m_navigator->ShellFolder();
    const bool entries = folder && folder->location().kind == ShellLocation::FileSystem;
    for (const int index : SelectedIndexes()) {
        const TWideListItem& item = Item(index);
        if (item.Data.IsParentFolder)
            continue;
        if (const QByteArrayView entry = entries ? entryName(item) : QByteArrayView();
            !entry.isEmpty()) {
            m_selectedNames.append(entry.toByteArray());
            continue;
        }
        m_navigator->SetObjectIDList(item.Data.ItemID);
        QByteArray name = m_navigator->ObjectNameBytes();
        if (name.isEmpty())
            name = QFile::encodeName(m_navigator->DisplayName());
        m_selectedNames.append(name);
    }
    return m_selectedNames;
}

void TShellList::SetSelectedNames(const TFileNames& names)
{
    m_selectedNames = names;
    RestoreSelection();
}

void TShellList::RestoreSelection()
{
    if (m_restoringSelection)
        return;
    m_restoringSelection = true;
    ClearSelection();
    QList<TIdList> ids;
    const std::shared_ptr<ShellFolderObject>& folder = m_navigator->ShellFolder();
    const bool entries = folder && folder->location().kind == ShellLocation::FileSystem;
    for (const QByteArray& given : std::as_const(m_selectedNames)) {
        if (entries) {
            // The items of a folder on a drive are its entries, just read: a name is one
            // of them or gone, and neither the disk nor a second reading of the folder
            // (thousands of entries) is asked.
            const QByteArray name = WithoutTrailingSlash(given);
            if (!name.isEmpty() && !name.contains('/'))
                ids.append(TIdList::fromItems({item::Entry + name}));
            continue;
        }
        // Other folders (the drives, the desktop, the trash) find objects by what they
        // show as well.
        try {
            m_navigator->SetObjectNameBytes(given);
        } catch (const EShellNavigatorError&) {
            continue; // gone since
        }
        ids.append(m_navigator->GetObjectIDList());
    }
    std::vector<int> rows = findItems(ids);
    std::erase(rows, -1);
    setSelectedRows(rows);
    if (!rows.empty()) {
        SetItemFocused(rows.back());
        MakeVisible(rows.back());
    }
    // The names are made anew from what is selected now: a name that was not found
    // again must never reach a command.
    m_selectedNames.clear();
    m_restoringSelection = false;
}

std::vector<int> TShellList::findItems(const QList<TIdList>& ids) const
{
    std::vector<int> rows;
    rows.reserve(size_t(ids.size()));
    // Many names at once: the names sought go into one index, and one pass over the
    // list finds them (the first item of a name, as FindItemByID does). A few names
    // sought in a large folder cost no index of the whole folder.
    if (ids.size() > 8) {
        QHash<QByteArrayView, int> byName;
        byName.reserve(ids.size());
        for (const TIdList& id : ids) {
            if (IDListCount(id) == 1)
                if (const QByteArrayView name = EntryNameOf(id.itemData(0)); !name.isEmpty())
                    byName.insert(name, -1);
        }
        qsizetype left = byName.size(); // names not found yet
        for (int i = 0; i < ItemCount() && left > 0; ++i) {
            if (Item(i).Data.IsParentFolder)
                continue;
            const QByteArrayView name = entryName(Item(i));
            if (name.isEmpty())
                continue;
            const auto it = byName.find(name);
            if (it != byName.end() && *it < 0) {
                *it = i;
                --left;
            }
        }
        for (const TIdList& id : ids) {
            const QByteArrayView name =
                IDListCount(id) == 1 ? EntryNameOf(id.itemData(0)) : QByteArrayView();
            rows.push_back(name.isEmpty() ? FindItemByID(id) : byName.value(name, -1));
        }
        return rows;
    }
    for (const TIdList& id : ids)
        rows.push_back(FindItemByID(id));
    return rows;
}

int TShellList::FindItemByID(const TIdList& id) const
{
    if (id.isNull())
        return -1;
    // An entry of the folder is the same object as the item with that name.
    const QByteArrayView name =
        IDListCount(id) == 1 ? EntryNameOf(id.itemData(0)) : QByteArrayView();
    const std::shared_ptr<ShellFolderObject>& folder = m_navigator->ShellFolder();
    for (int i = 0; i < ItemCount(); ++i) {
        const TWideListItem& item = Item(i);
        if (item.Data.IsParentFolder)
            continue;
        if (!name.isEmpty()) {
            const QByteArrayView other = entryName(item);
            if (!other.isEmpty()) {
                if (other == name)
                    return i;
                continue;
            }
        }
        if (folder && folder->compareIDs(0, item.Data.ItemID, id) == 0)
            return i;
    }
    return -1;
}

int TShellList::SelectItemByID(const TIdList& id)
{
    const int index = FindItemByID(id);
    if (index < 0)
        return -1;
    SetSelected(index, true);
    SetItemFocused(index);
    MakeVisible(index);
    return index;
}

void TShellList::setSelectedRows(const std::vector<int>& rows)
{
    QItemSelection selection;
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        selection.select(Model()->index(rows[i], 0),
                         Model()->index(rows[j], Model()->columnCount() - 1));
        i = j + 1;
    }
    SelectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// ---- Paths ----

const TIdList& TShellList::FolderIDList()
{
    if (m_folderIDList.isNull())
        m_folderIDList = m_navigator->GetFolderIDList();
    return m_folderIDList;
}

QByteArray TShellList::ItemPath(int index)
{
    if (index < 0 || index >= ItemCount())
        return {};
    TShellListItem& data = Item(index).Data;
    if (data.FullPath.isEmpty() && !data.ItemID.isNull())
        data.FullPath = PathFromIDList(ConcatIDLists(FolderIDList(), data.ItemID));
    return data.FullPath;
}

// ---- Incremental refresh ----

bool TShellList::ChangedRecently(const QDateTime& modified, const QDateTime& now)
{
    // 0.0002 days either way: a clock a little ahead counts too.
    return modified.isValid() && std::abs(modified.msecsTo(now)) < 17280;
}

void TShellList::IncrementalRefresh()
{
    // A folder still being read is merged when its reading has ended (which looks for
    // changes made meanwhile).
    if (m_loading || !isEnabled() || m_refreshing || Filling())
        return;
    // What was reported gone leaves before the folder is read: a name made again since
    // is then found anew rather than taken out after the reading.
    takeOutGone();
    if (ItemCount() > 300) {
        if (!IsEditing())
            FullRefresh();
        return;
    }
    if (!PathBytes().isEmpty() && !folderCanBeShown()) {
        // Merged with a folder that is gone, every item would count as vanished: the
        // next tick shows the drives instead.
        RestartRefreshTimer();
        return;
    }
    ++m_incrementalRefreshes;
    // Entries are found by name through one index, so that a folder that grew by
    // thousands costs one pass, not one walk of the list per entry.
    QHash<QByteArrayView, int> byName;
    byName.reserve(ItemCount());
    for (int i = 0; i < ItemCount(); ++i) {
        TWideListItem& item = Item(i);
        if (item.Data.IsParentFolder)
            continue;
        item.Data.Present = 0;
        if (const QByteArrayView name = entryName(item); !name.isEmpty())
            byName.insert(name, i);
    }
    const QDateTime now = QDateTime::currentDateTimeUtc(); // the base of ObjectModified
    TShellNavigator& nav = *m_navigator;
    nav.RestartEnumeration();
    while (nav.NextObject()) {
        if (!ItemPassesFilter())
            continue;
        const TIdList id = nav.GetObjectIDList();
        const QByteArrayView name =
            IDListCount(id) == 1 ? EntryNameOf(id.itemData(0)) : QByteArrayView();
        const int found = name.isEmpty() ? FindItemByID(id) : byName.value(name, -1);
        if (found >= 0) {
            Item(found).Data.Present = 1;
            // A picture that was just written gets its thumbnail made anew.
            if (m_thumbnails && ChangedRecently(nav.ObjectModified(), now))
                FillItemDetails(found);
            continue;
        }
        const int before = ItemCount();
        AddCurrentItem(m_details);
        // A folder read while names move may yield one twice: it is listed once.
        if (ItemCount() > before && !name.isEmpty())
            byName.insert(entryName(Item(before)), before);
    }
    TFileNames vanished;
    std::vector<int> gone;
    for (int i = 0; i < ItemCount(); ++i) {
        const TWideListItem& item = Item(i);
        if (item.Data.IsParentFolder || item.Data.Present != 0)
            continue;
        if (IsSelected(i))
            vanished.append(ItemPath(i)); // raw bytes: a name need not be valid UTF-8
        gone.push_back(i);
    }
    DeleteItems(gone);
    refreshCheckStates();
    if (!vanished.isEmpty())
        ReportOperation(soVanished | soRemoved, vanished, {});
}
