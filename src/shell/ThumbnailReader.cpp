#include "shell/ThumbnailReader.h"

#include "platform/PathAt.h"

#include <QIODevice>
#include <QImageReader>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

// Hands the decoder the bytes of an open file and notes when it asked for more than
// the file holds. Unbuffered, so that every request of the decoder arrives as made.
class FileDevice : public QIODevice
{
public:
    FileDevice(int fd, qint64 size) : m_fd(fd), m_size(size) {}
    ~FileDevice() override { ::close(m_fd); }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    bool seek(qint64 pos) override
    {
        return QIODevice::seek(pos) && ::lseek(m_fd, pos, SEEK_SET) == pos;
    }
    bool ShortRead() const { return m_shortRead; }
    void ForgetShortReads() { m_shortRead = false; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        qint64 done = 0;
        while (done < maxSize) {
            const ssize_t n = ::read(m_fd, data + done, size_t(maxSize - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return done > 0 ? done : -1;
            if (n == 0)
                break;
            done += n;
        }
        if (done < maxSize)
            m_shortRead = true;
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const int m_fd;
    const qint64 m_size;
    bool m_shortRead = false;
};

// Qt's JPEG decoder fills in what is missing or broken and only says so in a log
// message. While a picture is decoded on a thread, the messages of that thread are
// taken as findings instead of being printed; everything else passes on.
thread_local int* t_jpegWarnings = nullptr;
std::atomic<QtMessageHandler> previousHandler{nullptr};

void collectDecoderMessages(QtMsgType type, const QMessageLogContext& context,
                            const QString& message)
{
    if (int* warnings = t_jpegWarnings; warnings && type != QtFatalMsg) {
        if (context.category && std::strcmp(context.category, "qt.gui.imageio.jpeg") == 0)
            ++*warnings;
        return;
    }
    if (const QtMessageHandler previous = previousHandler.load())
        previous(type, context, message);
    else // a message of another thread while the handler is being installed
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

class DecoderMessages
{
public:
    explicit DecoderMessages(int& jpegWarnings)
    {
        static std::once_flag installed;
        std::call_once(installed, [] {
            previousHandler.store(qInstallMessageHandler(collectDecoderMessages));
        });
        t_jpegWarnings = &jpegWarnings;
    }
    ~DecoderMessages() { t_jpegWarnings = nullptr; }
    DecoderMessages(const DecoderMessages&) = delete;
    DecoderMessages& operator=(const DecoderMessages&) = delete;
};

// Pictures that a decoder may read whole at full size take turns: a folder of them
// then needs one such allocation at a time, not one per worker.
std::mutex& wholePictureTurn()
{
    static std::mutex turn;
    return turn;
}

} // namespace

QImage ThumbnailReader::Read(const QByteArray& path, QSize box, Outcome* outcome)
{
    Outcome ignored;
    Outcome& result = outcome ? *outcome : ignored;
    result = Outcome::Unreadable;
    if (box.width() <= 0 || box.height() <= 0 || path.isEmpty())
        return {};
    // Opened without blocking (a named pipe or a device would wait for a writer for
    // ever) and without following a link; the type is checked on what was opened, and
    // only a regular file is read, in blocking mode again.
    const platform::PathAt at(path.toStdString());
    const int fd =
        ::openat(at.dir(), at.name(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return {};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return {};
    }
    FileDevice file(fd, st.st_size);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};

    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(AllocationLimitMiB);
    reader.setAutoTransform(true);
    result = Outcome::NoPicture;
    if (!reader.canRead())
        return {};
    const QByteArray format = reader.format();
    const QSize size = reader.size();
    if (size.isValid()) {
        if (qint64(size.width()) * size.height() > MaxPixels) {
            result = Outcome::TooLarge;
            return {};
        }
        if (size.width() > box.width() || size.height() > box.height())
            reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }

    file.ForgetShortReads();
    // Up to 8 bytes a pixel (16 bits for each of four channels); JPEG always decodes scaled.
    constexpr qint64 largeBytes = 64LL * 1024 * 1024;
    std::unique_lock turn(wholePictureTurn(), std::defer_lock);
    if (format != "jpeg" &&
        (!size.isValid() || qint64(size.width()) * size.height() * 8 > largeBytes))
        turn.lock();
    int jpegWarnings = 0;
    QImage image;
    {
        const DecoderMessages collect(jpegWarnings);
        image = reader.read();
    }
    result = Outcome::Damaged;
    if (image.isNull())
        return {};
    // The JPEG decoder pads a cut-off or damaged stream with grey; the BMP decoder
    // keeps whatever rows it got.
    if (format == "jpeg" && jpegWarnings > 0)
        return {};
    if (format == "bmp" && file.ShortRead())
        return {};
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    result = Outcome::Done;
    return image;
}

} // namespace shell
