#include "controls/ListHeader.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>

TListHeader::TListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setSectionsMovable(false);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setStretchLastSection(false);
}

void TListHeader::SetSectionBitmap(int logicalIndex, const QImage& bitmap)
{
    if (bitmap.isNull()) {
        if (m_bitmaps.remove(logicalIndex) == 0)
            return;
    } else {
        m_bitmaps.insert(logicalIndex, bitmap);
    }
    updateSection(logicalIndex);
}

namespace {

// Clear of the section's right edge, and between caption and bitmap.
constexpr int BitmapMargin = 6;
constexpr int CaptionGap = 4;
// The width of the list's arrows.
constexpr int ArrowWidth = 8;

} // namespace

QRect TListHeader::bitmapRect(const QRect& section, const QImage& bitmap) const
{
    // On the right, clear of the section's edge, centred in height.
    return QRect(section.right() - BitmapMargin - bitmap.width() + 1,
                 section.top() + (section.height() - bitmap.height()) / 2, bitmap.width(),
                 bitmap.height());
}

QRect TListHeader::BitmapRect(int logicalIndex) const
{
    const QImage bitmap = m_bitmaps.value(logicalIndex);
    if (bitmap.isNull() || isSectionHidden(logicalIndex))
        return {};
    const QRect section(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex),
                        height());
    return bitmapRect(section, bitmap);
}

void TListHeader::styleOption(QStyleOptionHeaderV2& option, const QRect& section,
                              int logicalIndex) const
{
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = section;
}

QRect TListHeader::captionRect(const QStyleOptionHeader& option, const QImage& bitmap) const
{
    QRect caption = style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
    // A caption aligned right would otherwise run under the bitmap.
    if (!bitmap.isNull())
        caption.setRight(
            std::min(caption.right(), bitmapRect(option.rect, bitmap).left() - CaptionGap - 1));
    return caption;
}

QRect TListHeader::CaptionRect(int logicalIndex) const
{
    if (isSectionHidden(logicalIndex))
        return {};
    QStyleOptionHeaderV2 option;
    styleOption(
        option,
        QRect(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex), height()),
        logicalIndex);
    return captionRect(option, m_bitmaps.value(logicalIndex));
}

int TListHeader::SectionWidthFor(const QString& caption) const
{
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    return margin + fontMetrics().horizontalAdvance(caption) + CaptionGap + ArrowWidth +
           BitmapMargin + 1;
}

void TListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    // Drawn as Qt's header draws a section, but with the caption in a rectangle of its
    // own, so that the bitmap never covers it.
    QStyleOptionHeaderV2 option;
    styleOption(option, rect, logicalIndex);
    const QImage bitmap = m_bitmaps.value(logicalIndex);
    const bool withBitmap = !bitmap.isNull() && rect.width() >= bitmap.width() + 8;
    painter->save();
    painter->setClipRect(rect);
    style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    QStyleOptionHeaderV2 label = option;
    label.rect = captionRect(option, withBitmap ? bitmap : QImage());
    if (label.rect.isValid())
        style()->drawControl(QStyle::CE_HeaderLabel, &label, painter, this);
    painter->restore();
    if (withBitmap)
        painter->drawImage(bitmapRect(rect, bitmap).topLeft(), bitmap);
}

void TListHeader::mouseReleaseEvent(QMouseEvent* event)
{
    QHeaderView::mouseReleaseEvent(event);
    emit CaptureReleased();
}
