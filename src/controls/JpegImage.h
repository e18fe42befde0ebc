#pragma once
// TJpegImage decodes JPEG data with libjpeg. Its error manager returns to the caller
// instead of ending the process, so a damaged picture becomes an empty image and a
// message. Stateless; the images it returns are owned by the caller.

#include <QByteArray>
#include <QImage>
#include <QString>

class TJpegImage
{
public:
    // Decodes `data`; on failure returns a null image and, when given, puts libjpeg's
    // message into `error`. Warnings of the library (for example a truncated file whose
    // rest is filled in) keep the image and are put into `error` as well.
    static QImage Decode(const QByteArray& data, QString* error = nullptr);
    // Reads and decodes a file or resource; failures give a null image and a warning
    // on standard error.
    static QImage Load(const QString& fileName);

    // Pictures larger than this many pixels are refused rather than allocated: a
    // damaged header can claim up to 65500 x 65500.
    static constexpr qint64 MaxPixels = 64LL * 1024 * 1024;
};
