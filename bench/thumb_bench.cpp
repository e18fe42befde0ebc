// A contents list with thumbnails in icon view on a folder of pictures, offscreen in an
// 800 x 600 window, timed until every visible item shows its picture, with the
// interface thread's longest stall and the most thumbnail workers seen. Then a damaged
// and a cut-off copy of a picture are shown, and must keep their icons.
//
//   thumb_bench DIR
//   thumb_bench --generate N OUTDIR    (N photograph-like pictures, JPEG and PNG in turn)
//
// Last line: thumbs: visible=V done=N seconds=S max_ui_gap_ms=G workers=W

#include "GapMeter.h"
#include "controls/ShellList.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"
#include "threads/ThreadPools.h"
#include "threads/WorkerThreadPool.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>

namespace {

// Notes which images got a picture; the indexes start again at each full refresh.
class BenchList : public TShellList
{
public:
    BenchList()
    {
        OnBeforeFullRefresh = [this] { delivered.clear(); };
    }
    void SetThumbnailImage(const QImage& bitmap, int imageIndex) override
    {
        if (!bitmap.isNull())
            delivered.insert(imageIndex);
        TShellList::SetThumbnailImage(bitmap, imageIndex);
    }
    // The rows the window shows, wholly or in part.
    QList<int> visibleRows() const
    {
        QList<int> rows;
        const QAbstractItemView* view = CurrentView();
        const QRect area = view->viewport()->rect();
        for (int i = 0; i < ItemCount(); ++i) {
            if (view->visualRect(Model()->index(i, 0)).intersects(area))
                rows.append(i);
        }
        return rows;
    }
    QSet<int> delivered;
};

// A landscape: a sky from deep to pale blue, a sun, hills and a field with fine grain,
// in colours and shapes that differ from picture to picture.
QImage landscape(QRandomGenerator& random)
{
    const int w = 2000, h = 1500;
    QImage image(w, h, QImage::Format_RGB32);
    const double hue = random.bounded(60) - 30;
    const double sunX = random.bounded(w), sunY = random.bounded(h / 3);
    const double phase = random.bounded(6.28), waves = 2 + random.bounded(4);
    const int horizon = h / 2 + random.bounded(h / 5);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double hill = horizon - 120 * std::sin(phase + waves * x / double(w) * 3.14);
            double r, g, b;
            if (y < hill) {
                const double t = y / hill;
                r = 60 + 140 * t + hue;
                g = 110 + 110 * t;
                b = 200 + 40 * t - hue;
                const double d = std::hypot(x - sunX, y - sunY);
                if (d < 90) {
                    const double glow = 1 - d / 90;
                    r += 120 * glow, g += 100 * glow, b -= 40 * glow;
                }
            } else {
                const double t = (y - hill) / double(h - hill + 1);
                r = 70 + 60 * t + hue + 10 * std::sin(x / 37.0 + y / 23.0);
                g = 120 - 40 * t + 12 * std::sin(x / 11.0);
                b = 40 + 20 * t;
            }
            const int grain = int(random.bounded(9)) - 4;
            line[x] = qRgb(std::clamp(int(r) + grain, 0, 255), std::clamp(int(g) + grain, 0, 255),
                           std::clamp(int(b) + grain, 0, 255));
        }
    }
    return image;
}

int generate(int count, const QString& outDir)
{
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "Der Ordner %s kann nicht angelegt werden.\n", qPrintable(outDir));
        return 1;
    }
    QRandomGenerator random(42);
    for (int i = 0; i < count; ++i) {
        const bool jpeg = i % 2 == 0;
        const QString name = QStringLiteral("%1/bild_%2.%3")
                                 .arg(outDir)
                                 .arg(i, 4, 10, QLatin1Char('0'))
                                 .arg(jpeg ? "jpg" : "png");
        QImageWriter writer(name, jpeg ? "jpeg" : "png");
        writer.setQuality(jpeg ? 88 : 90); // for PNG a fast compression
        if (!writer.write(landscape(random))) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(writer.errorString()));
            return 1;
        }
    }
    std::printf("generate: pictures=%d dir=%s\n", count, qPrintable(outDir));
    return 0;
}

// Runs the event loop until `done` holds or `ms` pass; true when it held.
template <typename Done> bool waitFor(Done done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Shows a damaged and a cut-off copy of the first JPEG and PNG of `dir`; each must
// keep its icon.
QString brokenPictures(BenchList& list, const QString& dir)
{
    QTemporaryDir temp;
    QStringList names;
    for (const char* suffix : {"*.jpg", "*.png"}) {
        const QStringList found = QDir(dir).entryList({QString::fromLatin1(suffix)}, QDir::Files);
        if (found.isEmpty())
            continue;
        QFile file(dir + u'/' + found.first());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = file.readAll();
        QByteArray broken = data;
        for (qsizetype i = data.size() / 2, n = 0; n < 64; ++i, ++n)
            broken[i] = char((n * 131 + 7) & 0x7f);
        const QString ext = QString::fromLatin1(suffix + 1);
        const QList<std::pair<QString, QByteArray>> copies{
            {QStringLiteral("damaged") + ext, broken},
            {QStringLiteral("truncated") + ext, data.left(data.size() * 6 / 10)}};
        for (const auto& [name, bytes] : copies) {
            QFile out(temp.filePath(name));
            if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size())
                names << name;
        }
    }
    if (names.isEmpty())
        return QStringLiteral("none");
    list.SetPath(temp.path());
    list.CurrentView()->viewport()->repaint();
    threads::TWorkerThreadPool* pool = threads::ThumbnailPool();
    waitFor([&] { return pool->PendingCount() == 0; }, 60000);
    QStringList out;
    for (int i = 0; i < list.ItemCount(); ++i) {
        const bool icon = !list.delivered.contains(list.Item(i).ImageIndex);
        out << QStringLiteral("%1=%2").arg(list.CaptionText(i).replace(u'.', u'_'),
                                           icon ? QStringLiteral("icon")
                                                : QStringLiteral("picture"));
    }
    return out.join(u' ');
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == u"--generate")
        return generate(args[2].toInt(), args[3]);
    if (args.size() != 2) {
        std::fprintf(stderr, "Aufruf: thumb_bench ORDNER | thumb_bench --generate N ORDNER\n");
        return 2;
    }
    if (!shell::ShellStartup())
        return 1;
    threads::TThreadPools pools;
    BenchList list;
    list.resize(800, 600);
    list.SetThumbnails(true);
    try {
        list.SetPath(args[1]);
    } catch (const shell::EShellNavigatorError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }

    GapMeter meter;
    QElapsedTimer clock;
    meter.start();
    clock.start();
    list.show();
    int visible = 0, done = 0, workers = 0;
    double seconds = -1;
    threads::TWorkerThreadPool* pool = threads::ThumbnailPool();
    waitFor(
        [&] {
            workers = std::max(workers, pool->Count());
            const QList<int> rows = list.visibleRows();
            visible = int(rows.size());
            done = 0;
            for (const int row : rows)
                done += list.delivered.contains(list.Item(row).ImageIndex);
            return visible > 0 && done == visible;
        },
        120000);
    if (visible > 0 && done == visible)
        seconds = clock.nsecsElapsed() / 1e9;
    meter.stop();

    std::printf("broken: %s\n", qPrintable(brokenPictures(list, args[1])));
    std::printf("thumbs: visible=%d done=%d seconds=%.3f max_ui_gap_ms=%lld workers=%d\n", visible,
                done, seconds, meter.maxGapMs(), workers);
    return 0;
}
