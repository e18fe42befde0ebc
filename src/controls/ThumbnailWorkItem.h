#pragma once
// TThumbnailWorkItem makes one item's thumbnail on a worker of the thumbnail pool: it
// reads the picture through a navigator of its own and, on the interface thread,
// hands it to the list that asked, unless the list cancelled its work meanwhile (it
// shows another folder). Made and queued by the contents list, which is its owner for
// cancelling; shared with the pool.

#include "shell/IdList.h"
#include "threads/BasicWorkItem.h"

#include <QImage>

class IThumbnailViewer;

class TThumbnailWorkItem : public threads::TBasicWorkItem
{
public:
    // `item` is the object's absolute list; `receiver` is the viewer's object, so that
    // the picture is handed over only while the viewer exists.
    TThumbnailWorkItem(shell::TIdList item, int width, int height, int imageIndex,
                       IThumbnailViewer* viewer, QObject* receiver);

    void Execute() override;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int ImageIndex() const { return m_imageIndex; }
    // The picture, once Execute ran; null when the object has none.
    const QImage& Bitmap() const { return m_bitmap; }

private:
    void Deliver();

    const int m_width;
    const int m_height;
    const int m_imageIndex;
    shell::TIdList m_item; // dropped when the work starts
    IThumbnailViewer* const m_viewer;
    QImage m_bitmap;
};
