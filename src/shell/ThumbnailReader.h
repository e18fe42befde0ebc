#pragma once
// ThumbnailReader turns a picture file into a small image for the contents list's
// thumbnails. It opens regular files only, never follows a link, refuses pictures whose
// header claims more pixels than it will decode, and gives no image for a picture the
// decoder had to patch up (cut short or damaged), so that the icon stays instead.
// Stateless; safe on any thread.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace shell {

class ThumbnailReader
{
public:
    enum class Outcome
    {
        Done,
        Unreadable, // missing, a link, not a regular file, no permission
        NoPicture,  // no decoder knows the data
        TooLarge,   // the header claims more than MaxPixels
        Damaged,    // the decoder failed, or made up part of the picture
    };

    // The picture at `path` scaled to fit `box`, never enlarged; null with the reason
    // in `outcome` when there is none.
    static QImage Read(const QByteArray& path, QSize box, Outcome* outcome = nullptr);

    // Headers that claim more are refused before anything is decoded: a damaged or
    // hostile header can claim 65500 x 65500 pixels.
    static constexpr qint64 MaxPixels = 128LL * 1024 * 1024;
    // What one decoder may allocate at once, in MiB. JPEG decodes scaled and PNG with 8
    // bits a channel scaled row by row, far below it; a PNG with 16 bits a channel or
    // interlaced rows, and formats without scaled reading, are decoded whole first: the
    // limit fits a 24-megapixel picture of 16 bits a channel (6000 x 4000 x 8 bytes).
    static constexpr int AllocationLimitMiB = 192;
};

} // namespace shell
