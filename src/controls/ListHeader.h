#pragma once
// The header of the contents list's report view: Qt's header with a small bitmap on the
// right of a section (the sort arrow), which keeps room of its own beside the caption,
// and word when the user lets go of it after a click, a drag or a resize. Owned by the
// report view.

#include <QHash>
#include <QHeaderView>
#include <QImage>
#include <QStyleOptionHeaderV2>

class TListHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit TListHeader(QWidget* parent = nullptr);

    // The bitmap drawn on the right of a section; a null image takes it off.
    void SetSectionBitmap(int logicalIndex, const QImage& bitmap);
    QImage SectionBitmap(int logicalIndex) const { return m_bitmaps.value(logicalIndex); }
    // Where a section's bitmap stands, in header coordinates; empty without one.
    QRect BitmapRect(int logicalIndex) const;
    // Where a section's caption is drawn, in header coordinates: left of its bitmap.
    QRect CaptionRect(int logicalIndex) const;
    // The section width that shows `caption` whole beside a sort arrow.
    int SectionWidthFor(const QString& caption) const;

signals:
    // The mouse was let go over the header: a click, drag or resize has ended.
    void CaptureReleased();

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect bitmapRect(const QRect& section, const QImage& bitmap) const;
    QRect captionRect(const QStyleOptionHeader& option, const QImage& bitmap) const;
    void styleOption(QStyleOptionHeaderV2& option, const QRect& section, int logicalIndex) const;

    QHash<int, QImage> m_bitmaps;
};
