#pragma once
// IThumbnailViewer is what a thumbnail job hands its picture to: the contents list,
// which replaces the stand-in icon of an item with it. Called on the interface thread
// only, from the job's completion.

#include <QImage>

class IThumbnailViewer
{
public:
    virtual ~IThumbnailViewer() = default;
    // Replaces image `imageIndex` of the thumbnails with `bitmap`; a null bitmap or an
    // index outside the images changes nothing.
    virtual void SetThumbnailImage(const QImage& bitmap, int imageIndex) = 0;
};
