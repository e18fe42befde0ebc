#pragma once
// TSelectionStateImageList holds the five check box pictures that the contents list
// draws left of its items while Checkboxes is on, indexed by an item's StateIndex:
// 0 unchecked, 1 unchecked and greyed (nothing to select), 2 checked, 3 unchecked,
// 4 checked and greyed (partly selected). Drawn once with the widget's style; made by
// the list when check boxes are switched on and dropped when they are switched off.

#include <QImage>
#include <array>

class QWidget;

class TSelectionStateImageList
{
public:
    explicit TSelectionStateImageList(const QWidget& widget);

    static constexpr int Width = 16;
    static constexpr int Height = 16;
    int Count() const { return int(m_images.size()); }
    // Null for an index outside the list.
    QImage Image(int index) const;

private:
    std::array<QImage, 5> m_images;
};
