// The contents list: its properties, its life, the folder it shows and the links it
// keeps with other shell controls.

#include "controls/ShellList.h"

#include "controls/ControlResources.h"
#include "controls/FolderReading.h"
#include "controls/SelectionStateImageList.h"
#include "shell/ShellLink.h"
#include "shell/ShellNavigator.h"
#include "shell/SystemImageList.h"
#include "threads/ChangeNotifier.h"

#include <QEnterEvent>
#include <QFile>
#include <QMenu>
#include <QStyle>
#include <QTreeView>

using namespace shell;

TShellList::TShellList(QWidget* parent)
    : TWideListView(parent), m_navigator(std::make_unique<TShellNavigator>(this))
{
    m_navigator->SetShowErrorMessages(false);
    m_navigator->SetFileSystemOnly(false);
    m_smallImages = new TSystemImageList(this);
    m_smallImages->SetSize(si_small);
    m_largeImages = new TSystemImageList(this);
    m_largeImages->SetSize(si_large);
    RefreshTimer.setInterval(600);
    connect(&RefreshTimer, &QTimer::timeout, this, &TShellList::RefreshTimerFired);
    m_arrowUp = LoadArrowBitmap(QStringLiteral("TSHELLLIST_LV_ARROWUP"));
    m_arrowDown = LoadArrowBitmap(QStringLiteral("TSHELLLIST_LV_ARROWDOWN"));
    SetMultiSelect(true);
    SetAllocBy(32);
    SetReadOnly(false);
    SetAutoArrange(true);
    TWideListView::SetViewStyle(vsReport);
    connect(Header(), &TListHeader::CaptureReleased, this, &TShellList::UpdateSortArrows);
    connect(Header(), &QHeaderView::sectionResized, this, [this] { UpdateSortArrows(); });
    setUpChangeWatching();
    m_readingTimer.setSingleShot(true);
    connect(&m_readingTimer, &QTimer::timeout, this, &TShellList::takeFromReading);
}

TShellList::~TShellList()
{
    if (m_shellLink)
        m_shellLink->UnregisterControl(this);
    m_restoringSelection = true; // change notifications are ignored from now on
    stopThumbnails();
}

// ---- Loading ----

void TShellList::BeginLoading()
{
    m_loading = true;
    m_navigator->BeginLoading();
}

void TShellList::Loaded()
{
    if (!m_loading)
        return;
    m_loading = false;
    m_navigator->EndLoading();
    dropCheckboxesWithoutLink();
    if (ItemCount() == 0 && !NoFillOnStartup()) {
        if (m_pendingPath.isEmpty()) {
            FullRefresh();
        } else {
            const QByteArray path = std::exchange(m_pendingPath, {});
            SetPathBytes(path);
        }
    }
    applySystemFont();
}

void TShellList::showEvent(QShowEvent* event)
{
    TWideListView::showEvent(event);
    if (m_windowCreated)
        return;
    // From now on the navigator's dialogs belong to this window.
    m_navigator->Loaded();
    m_windowCreated = true;
    registerDropTarget();
}

// ---- The shown folder ----

QByteArray TShellList::PathBytes() const
{
    if (m_loading)
        return m_pendingPath;
    return m_navigator->FolderPath();
}

QString TShellList::Path() const
{
    return QFile::decodeName(PathBytes());
}

void TShellList::SetPath(const QString& value)
{
    SetPathBytes(QFile::encodeName(value));
}

void TShellList::SetPathBytes(const QByteArray& value)
{
    if (m_loading) {
        m_pendingPath = value;
        ClearItems();
        return;
    }
    // Paths are compared by their bytes, as file names are; one trailing "/" aside.
    if (!SamePath(value, PathBytes()) || ItemCount() <= 1) {
        m_navigator->SetFolderPath(value); // raises for a folder that cannot be opened
        FolderChanged();
        FullRefresh();
    }
}

void TShellList::FolderChanged()
{
    ClearSelection();
    if (m_shellLink && !m_loading)
        m_shellLink->BroadcastFolder(this, m_navigator->GetFolderIDList());
}

QString TShellList::Filter() const
{
    return m_navigator->Filter();
}

void TShellList::SetFilter(const QString& value)
{
    if (value == m_navigator->Filter())
        return;
    m_navigator->SetFilter(value);
    FullRefresh();
}

bool TShellList::FileSystemOnly() const
{
    return m_navigator->FileSystemOnly();
}

void TShellList::SetFileSystemOnly(bool on)
{
    m_navigator->SetFileSystemOnly(on);
    FullRefresh();
}

TShellFolder TShellList::SpecialFolder() const
{
    const TShellFolder kind = m_navigator->SpecialFolder();
    if (kind == SF_DRIVES && !PathBytes().isEmpty())
        return SF_FILESYSTEMFOLDER;
    return kind;
}

void TShellList::SetSpecialFolder(TShellFolder kind)
{
    if (kind != SF_FILESYSTEMFOLDER) {
        m_navigator->SetSpecialFolder(kind);
        m_pendingPath.clear();
    }
    FolderChanged();
    FullRefresh();
}

// ---- Options ----

void TShellList::setOption(unsigned short bit, bool on)
{
    const unsigned short word = on ? (m_options | bit) : (m_options & ~bit);
    if (word == m_options)
        return;
    m_options = word;
    m_navigator->SetShowErrorMessages(ShowErrorMessages());
    fullRefreshUnlessStartup();
}

void TShellList::fullRefreshUnlessStartup()
{
    if (NoFillOnStartup() && !m_windowCreated)
        return;
    FullRefresh();
}

void TShellList::SetDetails(bool on)
{
    if (on == m_details)
        return;
    m_details = on;
    FullRefresh();
}

void TShellList::SetShowFolders(bool on)
{
    if (on == m_showFolders)
        return;
    m_showFolders = on;
    FullRefresh();
}

void TShellList::SetShowOverlayIcons(bool on)
{
    if (on == m_showOverlayIcons)
        return;
    m_showOverlayIcons = on;
    FullRefresh();
}

void TShellList::SetShowParentFolder(bool on)
{
    if (on == m_showParentFolder)
        return;
    m_showParentFolder = on;
    FullRefresh();
}

void TShellList::SetBackgroundPopupMenu(QMenu* menu)
{
    if (m_backgroundPopupMenu)
        disconnect(m_backgroundPopupMenu, &QObject::destroyed, this, nullptr);
    m_backgroundPopupMenu = menu;
    if (menu) {
        connect(menu, &QObject::destroyed, this, [this] { m_backgroundPopupMenu = nullptr; });
    }
}

void TShellList::SetViewStyle(TViewStyle style)
{
    const bool hadThumbnails = m_thumbnails;
    TWideListView::SetViewStyle(style);
    registerDropTarget();
    if (!m_loading) {
        UpdateSortArrows();
        m_thumbnails = false;
    } else if (style != vsIcon) {
        m_thumbnails = false;
    }
    if (hadThumbnails && !m_thumbnails) {
        stopThumbnails();
        resetImageIndexes();
    }
    applyThumbnailSize();
    if (m_windowCreated)
        FullRefresh();
}

int TShellList::DefaultColumnWidth(const QString& caption, int namespaceWidth) const
{
    // A column without a caption has no details to fit.
    if (caption.isEmpty())
        return namespaceWidth;
    // Digits are the widest characters of the usual texts (sizes, dates), and a cell
    // keeps a margin on either side of its text.
    const QFontMetrics metrics(ReportView()->font());
    const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
    const int margin =
        style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ReportView()) + 1;
    const int content = (namespaceWidth * digit + 6) / 7 + 2 * margin;
    return std::max(content, Header()->SectionWidthFor(caption));
}

void TShellList::SetUseSystemFont(bool on)
{
    m_useSystemFont = on;
    if (on)
        applySystemFont();
}

void TShellList::applySystemFont()
{
    if (!m_useSystemFont)
        return;
    QFont f = font();
    IconTitleFont(f);
    setFont(f);
}

void TShellList::enterEvent(QEnterEvent* event)
{
    TWideListView::enterEvent(event);
    if (OnMouseEnter)
        OnMouseEnter();
}

void TShellList::leaveEvent(QEvent* event)
{
    TWideListView::leaveEvent(event);
    if (OnMouseLeave)
        OnMouseLeave();
}

bool TShellList::ViewEvent(QObject* watched, QEvent* event)
{
    return viewOptionsEvent(watched, event) || DragEvent(watched, event) ||
           CommandEvent(watched, event);
}

// ---- The shell link ----

void TShellList::SetShellLink(TShellLink* link)
{
    if (link == m_shellLink)
        return;
    if (m_shellLink)
        m_shellLink->UnregisterControl(this);
    m_shellLink = link;
    if (link)
        link->RegisterControl(this);
    else if (!m_loading)
        dropCheckboxesWithoutLink();
}

void TShellList::BrowseToIDList(const TIdList& list)
{
    if (list.isNull())
        return;
    try {
        m_navigator->SetFolderIDList(list);
        ClearSelection();
        FullRefresh();
    } catch (const EShellNavigatorError&) {
        ClearItems();
    }
}

void TShellList::BrowseAndSelect(const TIdList& folderList, const TIdList& itemList)
{
    BrowseToIDList(folderList);
    SelectItemByID(itemList);
}

void TShellList::SelectAll()
{
    std::vector<int> rows;
    rows.reserve(size_t(ItemCount()));
    for (int i = 0; i < ItemCount(); ++i) {
        if (!Item(i).Data.IsParentFolder)
            rows.push_back(i);
    }
    BeginUpdate();
    setSelectedRows(rows);
    EndUpdate();
    setFocus();
}

void TShellList::GoUp()
{
    m_navigator->SelectFolderInParent();
    FolderChanged();
    FullRefresh();
}
