// The contents list's view options over real folders, offscreen: thumbnails made on a
// pool whose only worker is held at a gate (what stands in, what replaces it, what a
// folder switch drops), pictures that keep their icon, check boxes through a shell
// link, the background picture, info tips and the mouse passing over the list.

#include "controls/SelectionStateImageList.h"
#include "controls/ShellList.h"
#include "shell/ShellLink.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"
#include "shell/SystemImageList.h"
#include "shell/ThumbnailReader.h"
#include "threads/BasicWorkItem.h"
#include "threads/WorkerThreadPool.h"

#include "../shell/RawFiles.h"
#include "TestFolders.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <QtEndian>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>

using namespace shell;
using threads::TSelectionState;
using Outcome = ThumbnailReader::Outcome;

namespace {

// A load too high for a second worker: the first item's worker is the only one.
class OneWorker : public threads::TPoolEnvironment
{
public:
    std::uint32_t TickCount() override { return 100000; }
    int ProcessorCount() override { return 1; }
    double ProcessorLoad() override { return 100; }
};

class GateItem : public threads::TBasicWorkItem
{
public:
    void Execute() override
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }
    void Open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// A pool whose worker waits at the gate until the test opens it.
struct HeldPool
{
    HeldPool()
    {
        pool.AddWorkItem(gate);
        // Held once the worker has taken the gate: until then it would count as queued.
        QDeadlineTimer deadline(10000);
        while (pool.QueuedCount() > 0 && !deadline.hasExpired())
            QThread::msleep(1);
    }
    ~HeldPool()
    {
        gate->Open();
        if (again)
            again->Open();
    }
    // Holds the worker again at a second gate, once it has taken everything queued.
    void HoldAgain()
    {
        again = std::make_shared<GateItem>();
        pool.AddWorkItem(again);
        QTRY_COMPARE(pool.QueuedCount(), 0);
    }
    threads::TWorkerThreadPool pool{false, std::make_shared<OneWorker>()};
    std::shared_ptr<GateItem> gate = std::make_shared<GateItem>();
    std::shared_ptr<GateItem> again;
};

// A picture with some detail, so that its compressed data is more than a header.
QImage photo(QColor colour)
{
    QImage image(240, 160, QImage::Format_RGB32);
    image.fill(colour);
    for (int y = 0; y < image.height(); y += 8)
        for (int x = (y / 8) % 2 * 8; x < image.width(); x += 16)
            image.setPixelColor(x, y, colour.darker(130));
    return image;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return data;
}

// A JPEG whose frame header claims width x height.
QByteArray lyingJpeg(int width, int height)
{
    QByteArray data = encoded(photo(Qt::red), "JPEG");
    const qsizetype frame = data.indexOf(QByteArray("\xff\xc0", 2));
    data[frame + 5] = char(height >> 8);
    data[frame + 6] = char(height & 0xff);
    data[frame + 7] = char(width >> 8);
    data[frame + 8] = char(width & 0xff);
    return data;
}

// PNG pictures written chunk by chunk, for what Qt's writer does not make: an
// interlaced picture, and a header that claims more than any decoder may allocate.
QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    quint32 crc = 0xffffffffu;
    for (const char byte : body) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return bigEndian(quint32(data.size())) + body + bigEndian(~crc);
}

// A picture of one colour; without rows only its header and the start of its data.
QByteArray solidPng(int width, int height, int bitsPerChannel, bool interlaced, QColor colour,
                    bool rows = true)
{
    const QByteArray header = bigEndian(width) + bigEndian(height) + char(bitsPerChannel) +
                              QByteArray("\x02\x00\x00", 3) + char(interlaced ? 1 : 0);
    QByteArray pixel;
    for (const int channel : {colour.red(), colour.green(), colour.blue()})
        pixel += bitsPerChannel == 16 ? QByteArray(2, char(channel)) : QByteArray(1, char(channel));
    struct Pass
    {
        int x0, y0, dx, dy;
    };
    const QList<Pass> passes =
        interlaced ? QList<Pass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                   : QList<Pass>{{0, 0, 1, 1}};
    QByteArray raw;
    for (const Pass& pass : rows ? passes : QList<Pass>{}) {
        const int w = (width - pass.x0 + pass.dx - 1) / pass.dx;
        const int h = (height - pass.y0 + pass.dy - 1) / pass.dy;
        if (w > 0 && h > 0)
            raw += (QByteArray(1, '\0') + pixel.repeated(w)).repeated(h);
    }
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png += pngChunk("IHDR", header);
    if (!rows)
        raw = QByteArray(64, '\0');
    png += pngChunk("IDAT", qCompress(raw).mid(4)); // without Qt's length prefix
    return png + pngChunk("IEND", {});
}

QByteArray damaged(QByteArray data)
{
    for (qsizetype i = data.size() * 6 / 10, n = 0; n < 48; ++i, ++n)
        data[i] = char((n * 131 + 7) & 0x7f);
    return data;
}

bool closeTo(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

void paint(TShellList& list)
{
    if (!list.isVisible()) {
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
    }
    list.CurrentView()->viewport()->repaint();
}

int indexOf(TShellList& list, const QByteArray& name)
{
    for (int i = 0; i < list.ItemCount(); ++i) {
        if (list.Item(i).Data.IsParentFolder ? name == ".."
                                             : QFile::encodeName(list.CaptionText(i)) == name)
            return i;
    }
    return -1;
}

// Notes the colour of every picture handed to it once `watching` is set.
class WatchedList : public TShellList
{
public:
    void SetThumbnailImage(const QImage& bitmap, int imageIndex) override
    {
        if (watching && !bitmap.isNull())
            handedOver << bitmap.pixelColor(bitmap.width() / 2, bitmap.height() / 2);
        TShellList::SetThumbnailImage(bitmap, imageIndex);
    }
    bool watching = false;
    QList<QColor> handedOver;
};

// The middle of what the view draws for the item.
QColor drawnColour(TShellList& list, int row)
{
    const QPixmap pixmap =
        list.Model()->data(list.Model()->index(row, 0), Qt::DecorationRole).value<QPixmap>();
    return pixmap.toImage().pixelColor(pixmap.width() / 2, pixmap.height() / 2);
}

// Images of the list that show the colour in their middle.
int showing(TShellList& list, QColor colour)
{
    int n = 0;
    for (const QImage& image : list.ThumbnailImages())
        n += closeTo(image.pixelColor(image.width() / 2, image.height() / 2), colour);
    return n;
}

} // namespace

class TestViewOptions : public QObject
{
    Q_OBJECT

    TestFolders m_folders;
    const QByteArray& m_base = m_folders.base;

    QByteArray folder() { return m_folders.make(); }

private slots:
    void initTestCase() { QVERIFY(ShellStartup()); }
    void cleanupTestCase() { QVERIFY(m_folders.removeAll()); }

    void thumbnailsLiveInIconViewOnly()
    {
        const QByteArray f = folder();
        writeFile(f + "/a.png", encoded(photo(Qt::red), "PNG"));
        writeFile(f + "/b.txt");
        writeFile(f + "/c.html", "<html></html>");
        // The icon table numbers icons as they are first asked for; asked in reverse, the
        // icons' numbers differ from the thumbnails', which follow the list's order.
        TShellNavigator icons;
        icons.SetFolderPath(f);
        for (const char* name : {"c.html", "b.txt", "a.png"}) {
            icons.SetObjectNameBytes(name);
            icons.ObjectIconIndex();
        }
        HeldPool held;
        TShellList list;
        list.SetThumbnailPool(&held.pool);
        list.SetPathBytes(f);
        list.SetThumbnails(true);
        QCOMPARE(list.ViewStyle(), vsIcon);
        QCOMPARE(list.CurrentView()->iconSize(), QSize(100, 100));
        paint(list);
        QCOMPARE(list.ThumbnailImages().value(list.Item(0).ImageIndex).size(), QSize(100, 100));
        // Sizes out of range change nothing; others fill the items again at that size.
        list.SetThumbnailWidth(0);
        list.SetThumbnailHeight(5000);
        QCOMPARE(list.ThumbnailWidth(), 100);
        QCOMPARE(list.ThumbnailHeight(), 100);
        list.SetThumbnailWidth(64);
        list.SetThumbnailHeight(48);
        QCOMPARE(list.Item(0).ImageIndex, -1);
        paint(list);
        QCOMPARE(list.ThumbnailImages().value(list.Item(0).ImageIndex).size(), QSize(64, 48));
        QCOMPARE(list.CurrentView()->iconSize(), QSize(64, 48));
        // Any view style switches them off, icon view too, and the system's icons return,
        // also while the list is disabled and does not read its folder again.
        list.setEnabled(false);
        list.SetViewStyle(vsIcon);
        QVERIFY(!list.Thumbnails());
        QCOMPARE(list.CurrentView()->iconSize(), QSize(32, 32));
        list.setEnabled(true);
        paint(list);
        for (int i = 0; i < list.ItemCount(); ++i) {
            list.Navigator().SetObjectIDList(list.Item(i).Data.ItemID);
            QCOMPARE(list.Item(i).ImageIndex, list.Navigator().ObjectIconIndex());
        }
        list.SetThumbnails(true);
        list.SetViewStyle(vsReport);
        QVERIFY(!list.Thumbnails());
    }

    void picturesAndStandIns_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("jpeg") << QByteArray("jpeg") << QByteArray("bild.jpg") << Outcome::Done;
        QTest::newRow("png") << QByteArray("png") << QByteArray("bild.png") << Outcome::Done;
        QTest::newRow("png named jpg")
            << QByteArray("png") << QByteArray("bild.jpg") << Outcome::Done;
        QTest::newRow("truncated jpeg")
            << QByteArray("truncated jpeg") << QByteArray("halb.jpg") << Outcome::Damaged;
        QTest::newRow("damaged jpeg")
            << QByteArray("damaged jpeg") << QByteArray("kaputt.jpg") << Outcome::Damaged;
        QTest::newRow("truncated png")
            << QByteArray("truncated png") << QByteArray("halb.png") << Outcome::Damaged;
        QTest::newRow("damaged png")
            << QByteArray("damaged png") << QByteArray("kaputt.png") << Outcome::Damaged;
        QTest::newRow("truncated bmp")
            << QByteArray("truncated bmp") << QByteArray("halb.bmp") << Outcome::Damaged;
        // Large pictures that the decoder reads whole before it scales them.
        QTest::newRow("16-bit png 4000 x 3000")
            << QByteArray("deep png") << QByteArray("tief.png") << Outcome::Done;
        QTest::newRow("interlaced png 6000 x 4000")
            << QByteArray("interlaced png") << QByteArray("zeilensprung.png") << Outcome::Done;
        QTest::newRow("50000 x 50000 png header")
            << QByteArray("huge png header") << QByteArray("riesig.png") << Outcome::TooLarge;
        QTest::newRow("60000 x 60000 header")
            << QByteArray("huge header") << QByteArray("riesig.jpg") << Outcome::TooLarge;
        QTest::newRow("8000 x 8000 header, no data")
            << QByteArray("lying header") << QByteArray("luege.jpg") << Outcome::Damaged;
        QTest::newRow("no picture")
            << QByteArray("text") << QByteArray("text.jpg") << Outcome::NoPicture;
        QTest::newRow("link to /dev/zero")
            << QByteArray("zero link") << QByteArray("null.png") << Outcome::Unreadable;
        QTest::newRow("link to a picture")
            << QByteArray("picture link") << QByteArray("verweis.png") << Outcome::Unreadable;
        QTest::newRow("named pipe")
            << QByteArray("fifo") << QByteArray("rohr.png") << Outcome::Unreadable;
    }
    void picturesAndStandIns()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, name);
        QFETCH(Outcome, outcome);
        const QByteArray f = folder();
        const QByteArray path = f + '/' + name;
        const QByteArray jpeg = encoded(photo(Qt::red), "JPEG");
        const QByteArray png = encoded(photo(Qt::blue), "PNG");
        if (kind == "picture link")
            writeFile(f + "/ziel.png", png);
        if (kind == "jpeg")
            writeFile(path, jpeg);
        else if (kind == "png")
            writeFile(path, png);
        else if (kind == "truncated jpeg")
            writeFile(path, jpeg.left(jpeg.size() * 2 / 3));
        else if (kind == "damaged jpeg")
            writeFile(path, damaged(jpeg));
        else if (kind == "truncated png")
            writeFile(path, png.left(png.size() * 2 / 3));
        else if (kind == "damaged png")
            writeFile(path, damaged(png));
        else if (kind == "truncated bmp")
            writeFile(path, encoded(photo(Qt::green), "BMP").chopped(700));
        else if (kind == "deep png")
            writeFile(path, solidPng(4000, 3000, 16, false, Qt::blue));
        else if (kind == "interlaced png")
            writeFile(path, solidPng(6000, 4000, 8, true, Qt::blue));
        else if (kind == "huge png header")
            writeFile(path, solidPng(50000, 50000, 8, false, Qt::blue, false));
        else if (kind == "huge header")
            writeFile(path, lyingJpeg(60000, 60000));
        else if (kind == "lying header")
            writeFile(path, lyingJpeg(8000, 8000).left(600));
        else if (kind == "text")
            writeFile(path, "Dies ist kein Bild.\n");
        else if (kind == "zero link")
            QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
        else if (kind == "picture link")
            QCOMPARE(::symlink((f + "/ziel.png").constData(), path.constData()), 0);
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(path.constData(), 0644), 0);

        Outcome found = Outcome::Done;
        const QImage read = ThumbnailReader::Read(path, QSize(100, 100), &found);
        QCOMPARE(found, outcome);
        QCOMPARE(read.isNull(), outcome != Outcome::Done);

        HeldPool held;
        TShellList list;
        list.SetThumbnailPool(&held.pool);
        list.resize(500, 400);
        list.SetPathBytes(f);
        list.SetThumbnails(true);
        paint(list);
        const int index = indexOf(list, name);
        QVERIFY(index >= 0);
        const int image = list.Item(index).ImageIndex;
        QVERIFY(image >= 0);
        // Until the picture comes, the icon stands in, in a frame.
        list.Navigator().SetObjectIDList(list.Item(index).Data.ItemID);
        const QImage standIn = TSystemImageList::IconInFrame(list.LargeImages(), 100, 100,
                                                             list.Navigator().ObjectIconIndex());
        QCOMPARE(list.ThumbnailImages().value(image), standIn);
        held.gate->Open();
        QTRY_COMPARE(held.pool.PendingCount(), 0);
        const QImage shown = list.ThumbnailImages().value(image);
        if (outcome != Outcome::Done) {
            QCOMPARE(shown, standIn);
            return;
        }
        QCOMPARE(shown.size(), QSize(100, 100));
        const QColor colour = kind == "jpeg" ? Qt::red : Qt::blue;
        QVERIFY(closeTo(shown.pixelColor(50, 50), colour));
        QVERIFY(closeTo(drawnColour(list, index), colour));
        QCOMPARE(shown.pixelColor(0, 50), QColor(0xc0, 0xc0, 0xc0)); // the frame
        QCOMPARE(shown.pixelColor(50, 5), list.palette().color(QPalette::Base));
    }

    void switchingFoldersDropsOldPictures_data()
    {
        // How far the old folder's pictures got when the folder changes.
        QTest::addColumn<QByteArray>("phase");
        QTest::newRow("queued") << QByteArray("queued");
        QTest::newRow("made, not yet handed over") << QByteArray("made");
        QTest::newRow("shown") << QByteArray("shown");
        QTest::newRow("queued on a pool given up") << QByteArray("pool replaced");
    }
    void switchingFoldersDropsOldPictures()
    {
        QFETCH(QByteArray, phase);
        // The same names in both folders, so that the images have the same indexes.
        const QByteArray red = folder();
        const QByteArray blue = folder();
        for (int i = 0; i < 6; ++i) {
            const QByteArray name = "/bild" + QByteArray::number(i) + ".png";
            writeFile(red + name, encoded(photo(Qt::red), "PNG"));
            writeFile(blue + name, encoded(photo(Qt::blue), "PNG"));
        }
        HeldPool held;
        HeldPool replacement;
        replacement.gate->Open();
        WatchedList list;
        list.SetThumbnailPool(&held.pool);
        list.resize(800, 600);
        list.SetThumbnails(true);
        list.SetPathBytes(red);
        paint(list);
        QCOMPARE(held.pool.QueuedCount(), 6);
        if (phase == "made") {
            // The worker takes the first picture, makes it and waits for the interface
            // thread, which does not look until the folder has changed.
            held.gate->Open();
            QDeadlineTimer deadline(10000);
            while (held.pool.QueuedCount() > 5 && !deadline.hasExpired())
                QThread::msleep(5);
            QCOMPARE(held.pool.QueuedCount(), 5);
            QThread::msleep(300);
        } else if (phase == "shown") {
            held.gate->Open();
            QTRY_COMPARE(showing(list, Qt::red), 6);
            paint(list);
            held.HoldAgain();
        }
        // The new folder's pictures are made on another pool, if so.
        if (phase == "pool replaced")
            list.SetThumbnailPool(&replacement.pool);
        list.watching = true;
        list.SetPathBytes(blue);
        paint(list);
        // Until their pictures come, the new items show their icons.
        for (int i = 0; i < list.ItemCount(); ++i)
            QVERIFY(!closeTo(drawnColour(list, i), Qt::red));
        held.gate->Open();
        if (held.again)
            held.again->Open();
        QTRY_COMPARE(held.pool.PendingCount() + replacement.pool.PendingCount(), 0);
        QCOMPARE(showing(list, Qt::red), 0);
        QCOMPARE(showing(list, Qt::blue), 6);
        QCOMPARE(list.handedOver.size(), 6);
        for (const QColor& c : std::as_const(list.handedOver))
            QVERIFY2(closeTo(c, Qt::blue), qPrintable(c.name()));
        for (int i = 0; i < list.ItemCount(); ++i)
            QVERIFY(closeTo(drawnColour(list, i), Qt::blue));
    }

    void checkBoxesNeedALink_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<bool>("whileLoading");
        QTest::newRow("no link") << false << false;
        QTest::newRow("no link after loading") << false << true;
        QTest::newRow("linked") << true << false;
        QTest::newRow("linked while loading") << true << true;
    }
    void checkBoxesNeedALink()
    {
        QFETCH(bool, linked);
        QFETCH(bool, whileLoading);
        const QByteArray f = folder();
        writeFile(f + "/a.txt");
        TShellLink link;
        TShellList list;
        if (whileLoading)
            list.BeginLoading();
        if (linked)
            list.SetShellLink(&link);
        list.SetPathBytes(f);
        list.SetCheckboxes(true);
        if (whileLoading)
            list.Loaded();
        paint(list);
        QCOMPARE(list.Checkboxes(), linked);
        QCOMPARE(list.StateImages() != nullptr, linked);
        QCOMPARE(list.Item(0).StateIndex, linked ? 3 : -1);
        QCOMPARE(list.StateImageRect(0).isEmpty(), !linked);
        if (!linked)
            return;
        // Five different faces of the style's check box; 0 and 3 are both unchecked.
        const TSelectionStateImageList& images = *list.StateImages();
        QCOMPARE(images.Count(), 5);
        QCOMPARE(images.Image(0), images.Image(3));
        for (auto [a, b] : {std::pair{1, 3}, {2, 3}, {4, 2}, {4, 1}})
            QVERIFY2(images.Image(a) != images.Image(b),
                     qPrintable(QString("%1 %2").arg(a).arg(b)));
        list.SetCheckboxes(false);
        QVERIFY(!list.StateImages());
        QVERIFY(list.StateImageRect(0).isEmpty());
        // Without their link they go, as they cannot show anything true.
        list.SetCheckboxes(true);
        QVERIFY(list.Checkboxes());
        list.SetShellLink(nullptr);
        QVERIFY(!list.Checkboxes());
        QVERIFY(!list.StateImages());
    }

    void toggling_data()
    {
        // `before` selects paths (relative to the folder) in the selection list first;
        // `action` is "space", "click box", "click name" or "gone" (the file is deleted
        // after it was drawn, then Space).
        QTest::addColumn<QByteArrayList>("before");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArrayList>("entries");
        QTest::newRow("space") << QByteArrayList{} << QByteArray("a.txt") << QByteArray("space")
                               << 2 << QByteArrayList{"a.txt"};
        QTest::newRow("space on a selected file") << QByteArrayList{"a.txt"} << QByteArray("a.txt")
                                                  << QByteArray("space") << 3 << QByteArrayList{};
        QTest::newRow("click in the box")
            << QByteArrayList{} << QByteArray("b.txt") << QByteArray("click box") << 2
            << QByteArrayList{"b.txt"};
        QTest::newRow("click on the name") << QByteArrayList{} << QByteArray("b.txt")
                                           << QByteArray("click name") << 3 << QByteArrayList{};
        QTest::newRow("partly selected folder")
            << QByteArrayList{"sub/x.txt"} << QByteArray("sub") << QByteArray("click box") << 2
            << QByteArrayList{"sub/*"};
        QTest::newRow("parent entry is greyed")
            << QByteArrayList{} << QByteArray("..") << QByteArray("space") << 1 << QByteArrayList{};
        QTest::newRow("vanished file is greyed") << QByteArrayList{} << QByteArray("a.txt")
                                                 << QByteArray("gone") << 1 << QByteArrayList{};
    }
    void toggling()
    {
        QFETCH(QByteArrayList, before);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, action);
        QFETCH(int, state);
        QFETCH(QByteArrayList, entries);
        const QByteArray f = folder();
        writeFile(f + "/a.txt");
        writeFile(f + "/b.txt");
        QCOMPARE(::mkdir((f + "/sub").constData(), 0755), 0);
        writeFile(f + "/sub/x.txt");
        writeFile(f + "/sub/y.txt");
        TShellLink link;
        link.SelectionList()->SetCalculateSizes(false);
        for (const QByteArray& p : before)
            link.SelectionList()->SelectPath(f + '/' + p);
        TShellList list;
        list.resize(600, 300);
        list.SetShellLink(&link);
        list.SetShowParentFolder(true);
        list.SetPathBytes(f);
        list.SetCheckboxes(true);
        paint(list);
        // A second list on the link shows the same folder and follows the changes.
        TShellList other;
        other.SetShellLink(&link);
        other.SetPathBytes(f);
        other.SetCheckboxes(true);
        paint(other);
        QList<std::tuple<int, QByteArray, TSelectionState>> events;
        list.OnCheckStateChanged = [&](int i, const QByteArray& path, TSelectionState s) {
            events.append({i, path, s});
        };
        const int index = indexOf(list, target);
        QVERIFY(index >= 0);
        const int drawn = list.Item(index).StateIndex;
        QWidget* viewport = list.CurrentView()->viewport();
        if (action == "gone")
            QCOMPARE(::unlink((f + '/' + target).constData()), 0);
        if (action == "space" || action == "gone") {
            list.ClearSelection();
            list.SetSelected(index, true);
            QTest::keyClick(list.CurrentView(), Qt::Key_Space);
        } else {
            const QRect box = list.CheckBoxArea(index);
            QVERIFY(!box.isEmpty());
            QVERIFY(box.right() < list.ItemRect(index).left() + 40);
            const QPoint at = action == "click box"
                                  ? box.center()
                                  : QPoint(box.right() + 60, list.ItemRect(index).center().y());
            QTest::mouseClick(viewport, Qt::LeftButton, {}, viewport->mapFrom(&list, at));
        }
        QCOMPARE(list.Item(index).StateIndex, state);
        // Selecting in one list makes the other read the folder again; a click does not.
        paint(other);
        if (target != ".." && action != "gone")
            QCOMPARE(other.Item(indexOf(other, target)).StateIndex, state);
        QByteArrayList expected;
        for (const QByteArray& e : entries)
            expected.append(f + '/' + e);
        QCOMPARE(static_cast<const QByteArrayList&>(link.SelectionList()->Paths()), expected);
        const bool changed = state != drawn && state != 1;
        QCOMPARE(events.size(), changed ? 1 : 0);
        if (changed) {
            const auto& [i, path, now] = events.first();
            QCOMPARE(i, index);
            QCOMPARE(path, f + '/' + target);
            QCOMPARE(int(now), state);
        }
    }

    void selectionChangedElsewhere_data()
    {
        // `initially` is selected before the folder is shown; `select` and `deselect`
        // change the link's selection list (in one update) while it is shown. `states`
        // gives a.txt, b.txt and sub afterwards.
        QTest::addColumn<bool>("checkboxes");
        QTest::addColumn<QByteArrayList>("initially");
        QTest::addColumn<QByteArrayList>("select");
        QTest::addColumn<QByteArrayList>("deselect");
        QTest::addColumn<QList<int>>("states");
        QTest::newRow("file selected") << true << QByteArrayList{} << QByteArrayList{"a.txt"}
                                       << QByteArrayList{} << QList<int>{2, 3, 3};
        QTest::newRow("file below a folder")
            << true << QByteArrayList{} << QByteArrayList{"sub/x.txt"} << QByteArrayList{}
            << QList<int>{3, 3, 4};
        QTest::newRow("the folder itself, one file left out")
            << true << QByteArrayList{} << QByteArrayList{""} << QByteArrayList{"b.txt"}
            << QList<int>{2, 3, 2};
        QTest::newRow("deselected while shown")
            << true << QByteArrayList{"a.txt", "sub"} << QByteArrayList{}
            << QByteArrayList{"a.txt", "sub/y.txt"} << QList<int>{3, 3, 4};
        QTest::newRow("check boxes off") << false << QByteArrayList{} << QByteArrayList{"a.txt"}
                                         << QByteArrayList{} << QList<int>{-1, -1, -1};
    }
    void selectionChangedElsewhere()
    {
        QFETCH(bool, checkboxes);
        QFETCH(QByteArrayList, initially);
        QFETCH(QByteArrayList, select);
        QFETCH(QByteArrayList, deselect);
        QFETCH(QList<int>, states);
        const QByteArray f = folder();
        writeFile(f + "/a.txt");
        writeFile(f + "/b.txt");
        QCOMPARE(::mkdir((f + "/sub").constData(), 0755), 0);
        writeFile(f + "/sub/x.txt");
        writeFile(f + "/sub/y.txt");
        const auto path = [&](const QByteArray& p) { return p.isEmpty() ? f : f + '/' + p; };
        TShellLink link;
        threads::TSelectionList& selection = *link.SelectionList();
        selection.SetCalculateSizes(false);
        for (const QByteArray& p : initially)
            selection.SelectPath(path(p));
        TShellList list;
        list.resize(600, 300);
        list.SetShellLink(&link);
        list.SetPathBytes(f);
        list.SetCheckboxes(checkboxes);
        paint(list);
        const QByteArrayList names{"a.txt", "b.txt", "sub"};
        for (const QByteArray& name : names) {
            const bool selected = initially.contains(name);
            QCOMPARE(list.Item(indexOf(list, name)).StateIndex,
                     checkboxes ? (selected ? 2 : 3) : -1);
        }
        // The selection list's change reaches the list through the link, as a refresh.
        const int refreshes = list.IncrementalRefreshCount();
        selection.BeginUpdate();
        for (const QByteArray& p : select)
            selection.SelectPath(path(p));
        for (const QByteArray& p : deselect)
            selection.DeselectPath(path(p));
        selection.EndUpdate();
        QCOMPARE(list.IncrementalRefreshCount(), refreshes + 1);
        QList<int> shown;
        for (const QByteArray& name : names)
            shown << list.Item(indexOf(list, name)).StateIndex;
        QCOMPARE(shown, states);
    }

    void backgroundPicture_data()
    {
        QTest::addColumn<TBackgroundImageStyle>("style");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<bool>("topLeft");
        QTest::addColumn<bool>("bottomRight");
        QTest::newRow("left top") << bisLeftTop << false << true << false;
        QTest::newRow("right bottom") << bisRightBottom << false << false << true;
        QTest::newRow("tiled") << bisTiled << false << true << true;
        QTest::newRow("empty picture removes it") << bisTiled << true << false << false;
    }
    void backgroundPicture()
    {
        QFETCH(TBackgroundImageStyle, style);
        QFETCH(bool, removed);
        QFETCH(bool, topLeft);
        QFETCH(bool, bottomRight);
        const QByteArray f = folder(); // empty: nothing is drawn over the picture
        TShellList list;
        list.resize(400, 300);
        list.SetPathBytes(f);
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor(200, 30, 160));
        list.SetBackgroundImage(picture);
        list.SetBackgroundImageStyle(style);
        if (removed)
            list.SetBackgroundImage(QImage());
        paint(list);
        QWidget* viewport = list.CurrentView()->viewport();
        const QImage shot = viewport->grab().toImage();
        const QColor base = list.CurrentView()->palette().color(QPalette::Base);
        const QColor at00 = shot.pixelColor(3, 3);
        const QColor atEnd = shot.pixelColor(shot.width() - 4, shot.height() - 4);
        QCOMPARE(at00, topLeft ? picture.pixelColor(0, 0) : base);
        QCOMPARE(atEnd, bottomRight ? picture.pixelColor(0, 0) : base);
        QCOMPARE(shot.pixelColor(shot.width() / 2, shot.height() / 2) == base,
                 style != bisTiled || removed);
    }

    void infoTips_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<bool>("showHint");
        QTest::addColumn<QString>("appended"); // by OnInfoTip
        QTest::addColumn<QStringList>("lines");
        const QString date =
            QDateTime::fromSecsSinceEpoch(1700000000).toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        QTest::newRow("file") << QByteArray("notiz.txt") << true << QString()
                              << QStringList{"Größe: 2 KB", "Geändert am: " + date};
        QTest::newRow("folder") << QByteArray("ordner") << true << QString()
                                << QStringList{"Typ: Dateiordner", "Geändert am: " + date};
        QTest::newRow("changed by the event")
            << QByteArray("notiz.txt") << true << QStringLiteral("Notiz")
            << QStringList{"Größe: 2 KB", "Notiz"};
        QTest::newRow("parent entry") << QByteArray("..") << true << QString() << QStringList{};
        QTest::newRow("hints off")
            << QByteArray("notiz.txt") << false << QString() << QStringList{};
    }
    void infoTips()
    {
        QFETCH(QByteArray, target);
        QFETCH(bool, showHint);
        QFETCH(QString, appended);
        QFETCH(QStringList, lines);
        const QByteArray f = folder();
        writeFile(f + "/notiz.txt", QByteArray(1500, 'n'));
        QCOMPARE(::mkdir((f + "/ordner").constData(), 0755), 0);
        for (const char* name : {"/notiz.txt", "/ordner"}) {
            struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, (f + name).constData(), times, 0), 0);
        }
        TShellList list;
        list.resize(600, 300);
        list.SetShowParentFolder(true);
        list.SetShowHint(showHint);
        list.SetPathBytes(f);
        if (!appended.isEmpty())
            list.OnInfoTip = [&](int, QString& tip) { tip += u'\n' + appended; };
        paint(list);
        const int index = indexOf(list, target);
        QVERIFY(index >= 0);
        const QString tip = list.ItemInfoTip(index);
        for (const QString& line : lines)
            QVERIFY2(tip.split(u'\n').contains(line), qPrintable(tip));
        QCOMPARE(tip.isEmpty(), target == "..");
        QVERIFY(tip.isEmpty() || tip.startsWith(QStringLiteral("Typ: ")));
        QCOMPARE(list.InfoTipArea(index), QRect(list.mapToGlobal(list.ItemRect(index).topLeft()),
                                                list.ItemRect(index).size()));

        // Resting on the item shows the tip, and only then.
        QToolTip::hideText();
        QWidget* viewport = list.CurrentView()->viewport();
        const QPoint at = viewport->mapFrom(&list, list.ItemRect(index).center());
        QHelpEvent rest(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QCoreApplication::sendEvent(viewport, &rest);
        const bool shown = showHint && !lines.isEmpty();
        QCOMPARE(QToolTip::isVisible(), shown);
        if (shown)
            QCOMPARE(QToolTip::text(), tip);
        QToolTip::hideText();
    }

    void mousePassingOver()
    {
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* other = new QLabel(QStringLiteral("daneben"), &window);
        auto* list = new TShellList(&window);
        layout->addWidget(other);
        layout->addWidget(list);
        window.resize(600, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<QByteArray> seen;
        list->OnMouseEnter = [&] { seen << "enter"; };
        list->OnMouseLeave = [&] { seen << "leave"; };
        QTest::mouseMove(other, other->rect().center());
        QWidget* viewport = list->CurrentView()->viewport();
        QTest::mouseMove(viewport, viewport->rect().center());
        // From the list's items to its own header is no leave.
        QHeaderView* header = static_cast<QTreeView*>(list->CurrentView())->header();
        QTest::mouseMove(header, header->rect().center());
        QTest::mouseMove(other, other->rect().center());
        QCOMPARE(seen, (QList<QByteArray>{"enter", "leave"}));
    }
};

QTEST_MAIN(TestViewOptions)
#include "tst_viewoptions.moc"
