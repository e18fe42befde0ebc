#include "controls/ListHeader.h"

#include <QMouseEvent>
#include <QPainter>

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

QRect TListHeader::bitmapRect(const QRect& section, const QImage& bitmap) const
{
    // On the right, clear of the section's edge, centred in height.
    const int margin = 6;
    return QRect(section.right() - margin - bitmap.width() + 1,
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

void TListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    // Qt's section leaves the painter clipped to nothing; the bitmap needs its own state.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    const QImage bitmap = m_bitmaps.value(logicalIndex);
    if (bitmap.isNull() || rect.width() < bitmap.width() + 8)
        return;
    painter->drawImage(bitmapRect(rect, bitmap).topLeft(), bitmap);
}

void TListHeader::mouseReleaseEvent(QMouseEvent* event)
{
    QHeaderView::mouseReleaseEvent(event);
    emit CaptureReleased();
}
