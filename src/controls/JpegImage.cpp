#include "controls/JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    char warning[JMSG_LENGTH_MAX];
};

// libjpeg's own error_exit prints and calls exit(); ours jumps back to the decoder.
[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Keeps the first warning instead of printing it; trace messages are dropped.
void emitMessage(j_common_ptr cinfo, int level)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0) {
        if (err->warning[0] == '\0')
            (*cinfo->err->format_message)(cinfo, err->warning);
        cinfo->err->num_warnings++;
    }
}

// Everything that may jump back lives in this function. It keeps no local object with
// a destructor, so the jump skips nothing; `out` belongs to the caller.
bool decodeInto(jpeg_decompress_struct* cinfo, ErrorManager* err, const unsigned char* data,
                unsigned long size, QImage* out)
{
    if (setjmp(err->jump))
        return false;
    jpeg_mem_src(cinfo, data, size);
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(cinfo);
    if (qint64(cinfo->output_width) * cinfo->output_height > TJpegImage::MaxPixels) {
        std::snprintf(err->message, sizeof err->message, "picture too large (%u x %u)",
                      cinfo->output_width, cinfo->output_height);
        return false;
    }
    jpeg_start_decompress(cinfo);
    *out = QImage(int(cinfo->output_width), int(cinfo->output_height), QImage::Format_RGB888);
    if (out->isNull()) {
        std::snprintf(err->message, sizeof err->message, "out of memory");
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out->scanLine(int(cinfo->output_scanline));
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

QImage TJpegImage::Decode(const QByteArray& data, QString* error)
{
    if (error)
        error->clear();
    if (data.isEmpty()) {
        if (error)
            *error = QStringLiteral("no data");
        return {};
    }
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    jpeg_create_decompress(&cinfo);

    QImage image;
    const bool ok =
        decodeInto(&cinfo, &err, reinterpret_cast<const unsigned char*>(data.constData()),
                   static_cast<unsigned long>(data.size()), &image);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        if (error)
            *error = QString::fromLocal8Bit(err.message);
        return {};
    }
    if (error && err.warning[0] != '\0')
        *error = QString::fromLocal8Bit(err.warning);
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage TJpegImage::Load(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("JPEG picture %s: %s", qUtf8Printable(fileName),
                 qUtf8Printable(file.errorString()));
        return {};
    }
    QString error;
    QImage image = Decode(file.readAll(), &error);
    if (!error.isEmpty())
        qWarning("JPEG picture %s: %s", qUtf8Printable(fileName), qUtf8Printable(error));
    return image;
}
