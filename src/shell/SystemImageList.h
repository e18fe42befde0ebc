#pragma once
// An image list whose images are the system's icons, addressed by the indexes that the
// navigator hands out (ObjectIconIndex). Sharing, it shows the process-wide table itself,
// which it neither copies nor frees, and sees icons added later; not sharing, it holds a
// copy of the table's images as they were when it was (re)built. Owned by its parent.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>

class QPainter;

namespace shell {

enum TImageListSize
{
    si_small = 0,
    si_large = 1
};

// How Draw puts an image down: blended a quarter (focus) or half (selected) with the
// highlight colour, as it is, or without its background colour.
enum TDrawingStyle
{
    dsFocus,
    dsSelected,
    dsNormal,
    dsTransparent
};

class TSystemImageList : public QObject
{
    Q_OBJECT
public:
    explicit TSystemImageList(QObject* owner = nullptr);

    bool ShareImages() const { return m_share; }
    void SetShareImages(bool share);
    TImageListSize Size() const { return m_size; }
    void SetSize(TImageListSize size);
    int Width() const { return m_size == si_small ? 16 : 32; }
    TDrawingStyle DrawingStyle() const { return m_drawingStyle; }
    void SetDrawingStyle(TDrawingStyle style);
    // The colour behind each drawn image; invalid (none) by default, so that what lies
    // below shows through the icon's transparent parts.
    QColor BkColor() const { return m_bkColor; }
    void SetBkColor(const QColor& color);
    int Height() const { return Width(); }

    int Count() const;
    QImage Image(int index) const;
    // Draws image `index` with its top-left corner at (x, y) in the drawing style, over
    // the background colour; nothing for a bad index.
    void Draw(QPainter& painter, int x, int y, int index) const;

    // The icon index of `path`: with `useAttributes` the icon of a plain file of that
    // name, whether or not it exists; otherwise of the object itself, -1 when there is
    // none. `size` picks no other index: both sizes share the indexes.
    static int GetIconIndex(const QByteArray& path, TImageListSize size, bool open,
                            bool useAttributes);
    // The small folder icon, closed or open (the icon of the temporary folder).
    static int GetFolderIconIndex(bool open);
    // A width x height picture with a silver frame and image `index` in its centre.
    static QImage IconInFrame(const TSystemImageList& images, int height, int width, int index);

signals:
    void OnChange();

private:
    void AttachSystemList();

    bool m_share = true;
    TImageListSize m_size = si_small;
    TDrawingStyle m_drawingStyle = dsNormal;
    QColor m_bkColor;
    QList<QImage> m_copy; // the images held when not sharing
};

} // namespace shell
