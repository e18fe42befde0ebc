#include "shell/SystemImageList.h"

#include "shell/ShellFolderObject.h"
#include "shell/ShellNamespace.h"
#include "shell/ShellPaths.h"
#include "shell/SystemIconTable.h"

#include <QFile>
#include <QPainter>
#include <QPalette>

namespace shell {

TSystemImageList::TSystemImageList(QObject* owner) : QObject(owner)
{
    SetShareImages(true);
    SetSize(si_small);
}

void TSystemImageList::SetShareImages(bool share)
{
    m_copy.clear();
    m_share = share;
    AttachSystemList();
}

void TSystemImageList::SetSize(TImageListSize size)
{
    m_size = size;
    AttachSystemList();
}

void TSystemImageList::AttachSystemList()
{
    m_copy.clear();
    if (!m_share) {
        const SystemIconTable& table = SystemIconTable::instance();
        const int n = table.count();
        m_copy.reserve(n);
        for (int i = 0; i < n; ++i)
            m_copy.append(table.image(i, Width()));
    }
    emit OnChange();
}

int TSystemImageList::Count() const
{
    return m_share ? SystemIconTable::instance().count() : int(m_copy.size());
}

QImage TSystemImageList::Image(int index) const
{
    if (m_share)
        return SystemIconTable::instance().image(index, Width());
    return index >= 0 && index < m_copy.size() ? m_copy[index] : QImage();
}

void TSystemImageList::SetDrawingStyle(TDrawingStyle style)
{
    if (style == m_drawingStyle)
        return;
    m_drawingStyle = style;
    emit OnChange();
}

void TSystemImageList::SetBkColor(const QColor& color)
{
    if (color == m_bkColor)
        return;
    m_bkColor = color;
    emit OnChange();
}

void TSystemImageList::Draw(QPainter& painter, int x, int y, int index) const
{
    QImage img = Image(index);
    if (img.isNull())
        return;
    if (m_bkColor.isValid() && m_drawingStyle != dsTransparent)
        painter.fillRect(QRect(QPoint(x, y), img.size()), m_bkColor);
    if (m_drawingStyle == dsFocus || m_drawingStyle == dsSelected) {
        // The highlight lies over the icon's own pixels only, as a tint.
        img = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter tint(&img);
        tint.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        tint.setOpacity(m_drawingStyle == dsFocus ? 0.25 : 0.5);
        tint.fillRect(img.rect(), QPalette().color(QPalette::Highlight));
    }
    painter.drawImage(x, y, img);
}

int TSystemImageList::GetIconIndex(const QByteArray& path, TImageListSize, bool open,
                                   bool useAttributes)
{
    if (useAttributes) {
        ShellLocation place;
        place.kind = ShellLocation::FileSystem;
        place.tag = item::Entry;
        place.path = path;
        place.name = path.mid(path.lastIndexOf('/') + 1);
        ObjectFacts plainFile;
        plainFile.exists = true;
        return SystemIconTable::instance().indexFor(IconNamesOf(place, plainFile, open));
    }
    const std::optional<ShellLocation> place = ResolveIDList(IDListFromPath(path));
    if (!place || path.isEmpty())
        return -1;
    const ObjectFacts facts = FactsOf(*place);
    if (!facts.exists)
        return -1;
    return SystemIconTable::instance().indexFor(IconNamesOf(*place, facts, open));
}

int TSystemImageList::GetFolderIconIndex(bool open)
{
    // The icon of an ordinary folder, whatever the temporary folder is (a mount point
    // shows a drive, a missing one none).
    ShellLocation place;
    place.kind = ShellLocation::FileSystem;
    place.tag = item::Entry;
    ObjectFacts folder;
    folder.exists = true;
    folder.isFolder = true;
    return SystemIconTable::instance().indexFor(IconNamesOf(place, folder, open));
}

QImage TSystemImageList::IconInFrame(const TSystemImageList& images, int height, int width,
                                     int index)
{
    if (width <= 0 || height <= 0)
        return {};
    QImage frame(width, height, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::white);
    QPainter p(&frame);
    p.setPen(QColor(0xc0, 0xc0, 0xc0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, width - 1, height - 1);
    const QImage icon = images.Image(index);
    if (!icon.isNull())
        p.drawImage((width - icon.width()) / 2, (height - icon.height()) / 2, icon);
    return frame;
}

} // namespace shell
