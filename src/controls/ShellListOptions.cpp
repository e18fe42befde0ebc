// The contents list's view options: thumbnails made on the thumbnail pool, check boxes
// that show and change the shell link's selection list, a picture behind the items,
// and info tips.

#include "controls/ShellList.h"

#include "controls/SelectionStateImageList.h"
#include "controls/ThumbnailWorkItem.h"
#include "shell/ShellLink.h"
#include "shell/ShellNavigator.h"
#include "shell/SystemImageList.h"
#include "threads/ThreadPools.h"
#include "threads/WorkerThreadPool.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextDocument>
#include <QToolTip>

using namespace shell;
using threads::TSelectionState;

namespace {

// Larger thumbnails would cost megabytes per item.
constexpr int MaxThumbnailSize = 1024;

// The mouse pointer's size, which places an info tip below it as it would be at the
// item's corner: the desktop's setting, else the 16 pixels Qt assumes.
int cursorSize()
{
    bool ok = false;
    const int size = qEnvironmentVariableIntValue("XCURSOR_SIZE", &ok);
    return ok && size > 0 && size <= 256 ? size : 16;
}

} // namespace

// ---- Thumbnails ----

threads::TWorkerThreadPool* TShellList::ThumbnailPool() const
{
    return m_thumbnailPool ? m_thumbnailPool : threads::ThumbnailPool();
}

void TShellList::SetThumbnailPool(threads::TWorkerThreadPool* pool)
{
    if (pool == m_thumbnailPool)
        return;
    // Work left on the old pool is out of reach of the next cancel: it is cancelled now,
    // and the items are filled again on the new one.
    stopThumbnails();
    m_thumbnailPool = pool;
    if (m_thumbnails)
        resetImageIndexes();
}

void TShellList::SetThumbnails(bool on)
{
    if (on == m_thumbnails)
        return;
    stopThumbnails();
    // The base's style only: the list's own would switch thumbnails off again.
    if (on)
        TWideListView::SetViewStyle(vsIcon);
    m_thumbnails = on;
    if (!on)
        TWideListView::SetViewStyle(ViewStyle()); // the style's own icon size again
    // The icon view may be new, and is the view now that takes drops and starts drags.
    registerDropTarget();
    if (!m_loading)
        UpdateSortArrows();
    applyThumbnailSize();
    resetImageIndexes();
    FullRefresh();
}

void TShellList::SetThumbnailWidth(int width)
{
    if (width < 1 || width > MaxThumbnailSize || width == m_thumbnailSize.width())
        return;
    stopThumbnails();
    m_thumbnailSize.setWidth(width);
    applyThumbnailSize();
    resetImageIndexes();
}

void TShellList::SetThumbnailHeight(int height)
{
    if (height < 1 || height > MaxThumbnailSize || height == m_thumbnailSize.height())
        return;
    stopThumbnails();
    m_thumbnailSize.setHeight(height);
    applyThumbnailSize();
    resetImageIndexes();
}

void TShellList::applyThumbnailSize()
{
    auto* view = qobject_cast<QListView*>(CurrentView());
    if (!m_thumbnails || ViewStyle() != vsIcon || !view)
        return;
    view->setIconSize(m_thumbnailSize);
    // Room for the check box beside the picture and two lines of caption below it.
    view->setGridSize(m_thumbnailSize + QSize(2 * (TSelectionStateImageList::Width + 8),
                                              2 * fontMetrics().height() + 12));
}

void TShellList::resetImageIndexes()
{
    // Every item is filled again when next drawn, with images made anew.
    for (int i = 0; i < ItemCount(); ++i)
        Item(i).ImageIndex = -1;
    m_thumbnailImages.clear();
    ImagesChanged();
}

void TShellList::queueThumbnail(int index)
{
    TWideListItem& item = Item(index);
    // The icon in a frame stands in until the picture comes.
    const QImage framed = TSystemImageList::IconInFrame(*m_largeImages, m_thumbnailSize.height(),
                                                        m_thumbnailSize.width(), item.ImageIndex);
    m_thumbnailImages.append(framed);
    item.ImageIndex = int(m_thumbnailImages.size()) - 1;
    threads::TWorkerThreadPool* pool = ThumbnailPool();
    if (item.Data.IsParentFolder || item.Data.ItemID.isNull() || !pool)
        return;
    auto work = std::make_shared<TThumbnailWorkItem>(
        CopyIDList(m_navigator->AbsoluteObjectIDList()), framed.width(), framed.height(),
        item.ImageIndex, this, this);
    work->SetOwner(this);
    m_thumbnailWorkQueued = true;
    pool->AddWorkItem(std::move(work));
}

void TShellList::stopThumbnails()
{
    // Queued work is removed and running work cancelled, so that no picture of what was
    // shown reaches an image index that is about to be reused.
    if (m_thumbnailWorkQueued) {
        m_thumbnailWorkQueued = false;
        if (threads::TWorkerThreadPool* pool = ThumbnailPool())
            pool->CancelWork(this);
    }
    if (!m_thumbnailImages.isEmpty())
        ImagesChanged();
}

void TShellList::SetThumbnailImage(const QImage& bitmap, int imageIndex)
{
    if (bitmap.isNull() || imageIndex < 0 || imageIndex >= m_thumbnailImages.size())
        return;
    const QSize size = m_thumbnailSize;
    QImage framed(size, QImage::Format_ARGB32_Premultiplied);
    framed.fill(palette().color(QPalette::Base));
    QPainter painter(&framed);
    // Cut to the frame when larger; a smaller picture sits in its middle.
    painter.drawImage((size.width() - bitmap.width()) / 2, (size.height() - bitmap.height()) / 2,
                      bitmap);
    painter.setPen(QColor(0xc0, 0xc0, 0xc0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    painter.end();
    m_thumbnailImages[imageIndex] = framed;
    ImageChanged(imageIndex);
}

QImage TShellList::OverlayImage(int overlayIndex, int size) const
{
    // A picture keeps the icon's overlay size rather than growing one with it.
    return TWideListView::OverlayImage(overlayIndex, m_thumbnails ? std::min(size, 32) : size);
}

// ---- Check boxes ----

void TShellList::SetCheckboxes(bool on)
{
    m_checkboxes = on;
    if (on && !m_shellLink && !m_loading)
        m_checkboxes = false;
    if (m_checkboxes && !m_stateImages)
        m_stateImages = std::make_unique<TSelectionStateImageList>(*this);
    if (!m_checkboxes)
        m_stateImages.reset();
    FullRefresh();
    refreshCheckStates();
    ImagesChanged();
}

void TShellList::dropCheckboxesWithoutLink()
{
    if (m_checkboxes && !m_shellLink) {
        m_checkboxes = false;
        m_stateImages.reset();
        ImagesChanged();
    }
}

QSize TShellList::StateImageSize() const
{
    if (!m_stateImages)
        return {};
    return {TSelectionStateImageList::Width, TSelectionStateImageList::Height};
}

QImage TShellList::StateImage(int stateIndex) const
{
    return m_stateImages ? m_stateImages->Image(stateIndex) : QImage();
}

void TShellList::setCheckState(int index)
{
    if (!m_checkboxes || !m_shellLink)
        return;
    TWideListItem& item = Item(index);
    if (item.Data.IsParentFolder || item.Data.ItemID.isNull())
        return;
    item.StateIndex =
        m_shellLink->SelectionList()->GetItemState(ConcatIDLists(FolderIDList(), item.Data.ItemID));
}

void TShellList::refreshCheckStates()
{
    if (!m_checkboxes || !m_shellLink)
        return;
    // Items not drawn yet get their state when they are filled.
    for (int i = 0; i < ItemCount(); ++i) {
        const int before = Item(i).StateIndex;
        if (Item(i).ImageIndex < 0)
            continue;
        setCheckState(i);
        if (Item(i).StateIndex != before)
            UpdateItem(i);
    }
}

void TShellList::ToggleCheckState(int index)
{
    if (!m_checkboxes || !m_shellLink || index < 0 || index >= ItemCount())
        return;
    TWideListItem& item = Item(index);
    if (item.Data.IsParentFolder || item.Data.ItemID.isNull())
        return;
    threads::TSelectionList& selection = *m_shellLink->SelectionList();
    const TIdList absolute = ConcatIDLists(FolderIDList(), item.Data.ItemID);
    // The state as it is now, not as it was drawn: the object may have gone since.
    const TSelectionState before = selection.GetItemState(absolute);
    if (before == threads::ssNoCheckBox) {
        if (item.StateIndex != before) {
            item.StateIndex = before;
            UpdateItem(index);
        }
        return;
    }
    const bool cursor = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (cursor)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restoreCursor = qScopeGuard([cursor] {
        if (cursor)
            QGuiApplication::restoreOverrideCursor();
    });
    TSelectionState now;
    {
        // The link makes every coupled list refresh; this one is up to date already.
        const QScopedValueRollback refreshing(m_refreshing, true);
        now = selection.ToggleItem(absolute);
    }
    item.StateIndex = now;
    UpdateItem(index);
    if (OnCheckStateChanged)
        OnCheckStateChanged(index, ItemPath(index), now);
}

QRect TShellList::CheckBoxArea(int index) const
{
    if (!m_checkboxes || !m_shellLink)
        return {};
    const QRect state = StateImageRect(index);
    if (state.isEmpty())
        return {};
    // Left of the icon, and no higher than the check box above the icon's bottom.
    const QRect item = ItemRect(index);
    return QRect(QPoint(item.left(), state.top()), QPoint(state.right() + 2, item.bottom()));
}

// ---- Background picture ----

void TShellList::SetBackgroundImage(const QImage& image)
{
    m_backgroundImage = image;
    m_backgroundPixmap = image.isNull() ? QPixmap() : QPixmap::fromImage(image);
    CurrentView()->viewport()->update();
}

void TShellList::SetBackgroundImageStyle(TBackgroundImageStyle style)
{
    m_backgroundImageStyle = style;
    CurrentView()->viewport()->update();
}

void TShellList::paintBackground(QWidget* viewport)
{
    // Drawn before the view draws its items over it; the picture stays where it is
    // while the items scroll.
    QPainter painter(viewport);
    const QRect area = viewport->rect();
    const QPixmap& picture = m_backgroundPixmap;
    switch (m_backgroundImageStyle) {
    case bisLeftTop:
        painter.drawPixmap(0, 0, picture);
        break;
    case bisRightBottom:
        painter.drawPixmap(area.width() - picture.width(), area.height() - picture.height(),
                           picture);
        break;
    case bisTiled:
        painter.drawTiledPixmap(area, picture);
        break;
    }
    QAbstractItemView* view = CurrentView();
    if (!m_backgroundViews.contains(view)) {
        // A scroll moves the drawn pixels, the picture with them: it is drawn anew.
        m_backgroundViews.append(view);
        for (QScrollBar* bar : {view->horizontalScrollBar(), view->verticalScrollBar()})
            connect(bar, &QScrollBar::valueChanged, this, &TShellList::repaintBackground);
    }
}

void TShellList::repaintBackground()
{
    if (!m_backgroundPixmap.isNull())
        CurrentView()->viewport()->update();
}

// ---- Info tips ----

QString TShellList::ItemInfoTip(int index)
{
    if (index < 0 || index >= ItemCount())
        return {};
    const TWideListItem& item = Item(index);
    if (item.Data.IsParentFolder || item.Data.ItemID.isNull())
        return {};
    m_navigator->SetObjectIDList(item.Data.ItemID);
    QString tip = m_navigator->InfoTip(true);
    if (OnInfoTip)
        OnInfoTip(index, tip);
    return tip;
}

QRect TShellList::InfoTipArea(int index) const
{
    if (index < 0 || index >= ItemCount())
        return {};
    const QRect item = ItemRect(index);
    return QRect(mapToGlobal(item.topLeft()), item.size());
}

QPoint TShellList::InfoTipPosition(int index) const
{
    return InfoTipArea(index).topLeft() + QPoint(cursorSize(), cursorSize());
}

bool TShellList::showInfoTip(QHelpEvent* event)
{
    if (!m_showHint)
        return false;
    QWidget* viewport = CurrentView()->viewport();
    const int index = ItemAt(viewport->mapTo(this, event->pos()));
    QString tip = ItemInfoTip(index);
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    // No wider than the list: long lines are cut.
    const QFontMetrics metrics(QToolTip::font());
    const int limit = std::max(1, width() - 8);
    QStringList lines = tip.split(u'\n');
    for (QString& line : lines)
        line = metrics.elidedText(line, Qt::ElideRight, limit);
    tip = lines.join(u'\n');
    if (Qt::mightBeRichText(tip))
        tip = Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap);
    const QRect area = InfoTipArea(index);
    // Qt puts a tip one pointer height below the point it is given.
    QToolTip::showText(InfoTipPosition(index) - QPoint(0, cursorSize()), tip, viewport,
                       QRect(viewport->mapFromGlobal(area.topLeft()), area.size()));
    return true;
}

// ---- Events of the views ----

bool TShellList::viewOptionsEvent(QObject* watched, QEvent* event)
{
    QAbstractItemView* view = CurrentView();
    const bool onViewport = watched == view->viewport();
    switch (event->type()) {
    case QEvent::Paint:
        if (onViewport && !m_backgroundPixmap.isNull())
            paintBackground(view->viewport());
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!onViewport || !m_checkboxes || !m_shellLink || mouse->button() != Qt::LeftButton)
            return false;
        const QPoint at = view->viewport()->mapTo(this, mouse->position().toPoint());
        const int index = ItemAt(at);
        if (index < 0 || !CheckBoxArea(index).contains(at))
            return false;
        ToggleCheckState(index);
        return true;
    }
    case QEvent::ToolTip:
        return onViewport && showInfoTip(static_cast<QHelpEvent*>(event));
    default:
        return false;
    }
}
