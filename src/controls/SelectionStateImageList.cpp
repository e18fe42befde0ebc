#include "controls/SelectionStateImageList.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QWidget>

TSelectionStateImageList::TSelectionStateImageList(const QWidget& widget)
{
    struct Face
    {
        bool checked;
        bool greyed;
    };
    static constexpr std::array<Face, 5> faces{
        {{false, false}, {false, true}, {true, false}, {false, false}, {true, true}}};
    for (size_t i = 0; i < faces.size(); ++i) {
        QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QStyleOptionButton option;
        option.initFrom(&widget);
        option.rect = QRect(2, 2, 13, 13);
        option.state = (faces[i].checked ? QStyle::State_On : QStyle::State_Off);
        if (faces[i].greyed) {
            option.state &= ~QStyle::State_Enabled;
            option.palette.setCurrentColorGroup(QPalette::Disabled);
        } else
            option.state |= QStyle::State_Enabled;
        option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
        widget.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, &widget);
        painter.end();
        m_images[i] = image;
    }
}

QImage TSelectionStateImageList::Image(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return m_images[size_t(index)];
}
