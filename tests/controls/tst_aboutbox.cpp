// TAboutBox: the year in the rights line, the controls where they belong, the
// buttons, and the JPEG decoder's answer to damaged pictures.
#include "app/AboutBox.h"
#include "controls/BitBtnXP.h"
#include "controls/JpegImage.h"

#include <QBuffer>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray storedJpeg()
{
    QFile f(QStringLiteral(":/fegmann/about.jpg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestAboutBox : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void insertYear_data();
    void insertYear();
    void rightsLineHasThisYear();
    void controlsInPlace_data();
    void controlsInPlace();
    void picture();
    void buttons();
    void enterClosesWithOk();
    void damagedJpeg_data();
    void damagedJpeg();
    void truncatedJpegKeepsWhatWasRead();
    void missingJpegFile();
    void centredOnTheScreen();

private:
    QList<QUrl> m_opened;
};

void TestAboutBox::init()
{
    m_opened.clear();
    TAboutBox::setUrlOpener([this](const QUrl& url) {
        m_opened << url;
        return true;
    });
}

void TestAboutBox::cleanup()
{
    TAboutBox::setUrlOpener({});
}

void TestAboutBox::insertYear_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("expected");
    QTest::newRow("placeholder") << "© XXXX Quornel" << QDate(2024, 2, 29) << "© 2024 Quornel";
    QTest::newRow("only the first") << "XXXX-XXXX" << QDate(2031, 1, 1) << "2031-XXXX";
    QTest::newRow("five X") << "XXXXX" << QDate(2025, 12, 31) << "2025X";
    QTest::newRow("at the end") << "bis XXXX" << QDate(1999, 12, 31) << "bis 1999";
    QTest::newRow("none") << "Alle Rechte" << QDate(2024, 1, 1) << "Alle Rechte";
    QTest::newRow("lower case is no placeholder") << "xxxx" << QDate(2024, 1, 1) << "xxxx";
}

void TestAboutBox::insertYear()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QFETCH(QString, expected);
    QCOMPARE(TAboutBox::InsertYear(text, date), expected);
}

void TestAboutBox::rightsLineHasThisYear()
{
    TAboutBox box;
    auto* line = box.findChild<QLabel*>(QStringLiteral("Copyright"));
    QVERIFY(line);
    QVERIFY(line->text().contains(QString::number(QDate::currentDate().year())));
    QVERIFY(!line->text().contains(QLatin1String("XXXX")));
    QCOMPARE(box.windowTitle(), QStringLiteral("Info"));
    QCOMPARE(box.size(), QSize(664, 453));
    QCOMPARE(box.minimumSize(), box.maximumSize());
}

void TestAboutBox::controlsInPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Panel1") << "Panel1" << QRect(8, 8, 649, 385);
    QTest::newRow("ProgramIcon") << "ProgramIcon" << QRect(16, 40, 306, 322);
    QTest::newRow("ProductName") << "ProductName" << QRect(8, 8, 0, 0);
    QTest::newRow("Copyright") << "Copyright" << QRect(336, 40, 0, 0);
    QTest::newRow("Comments") << "Comments" << QRect(336, 56, 257, 33);
    QTest::newRow("Label1") << "Label1" << QRect(336, 96, 0, 0);
    QTest::newRow("Label2") << "Label2" << QRect(336, 112, 0, 0);
    QTest::newRow("Label3") << "Label3" << QRect(336, 128, 238, 121);
    QTest::newRow("BitBtnXP1") << "BitBtnXP1" << QRect(336, 240, 169, 25);
    QTest::newRow("BitBtn1") << "BitBtn1" << QRect(241, 404, 181, 37);
}

void TestAboutBox::controlsInPlace()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    TAboutBox box;
    auto* w = box.findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(w->pos(), geometry.topLeft());
    if (!geometry.size().isEmpty())
        QCOMPARE(w->size(), geometry.size());
    // Everything but the OK button sits on the panel.
    QCOMPARE(w->parentWidget()->objectName(),
             name == QLatin1String("BitBtn1") || name == QLatin1String("Panel1")
                 ? QStringLiteral("TAboutBox")
                 : QStringLiteral("Panel1"));
}

void TestAboutBox::picture()
{
    TAboutBox box;
    auto* icon = box.findChild<QLabel*>(QStringLiteral("ProgramIcon"));
    const QPixmap pixmap = icon->pixmap();
    QCOMPARE(pixmap.size(), QSize(306, 322));
    // The same picture as Qt's own reader makes of the file, give or take the
    // rounding of the colour conversion.
    const QImage reference =
        QImage::fromData(storedJpeg(), "JPEG").convertToFormat(QImage::Format_RGB32);
    const QImage ours = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    for (QPoint p : {QPoint(10, 10), QPoint(153, 161), QPoint(60, 240), QPoint(300, 300)}) {
        QVERIFY2(qAbs(qRed(ours.pixel(p)) - qRed(reference.pixel(p))) <= 2,
                 qPrintable(QString::number(p.x())));
        QVERIFY(qAbs(qGreen(ours.pixel(p)) - qGreen(reference.pixel(p))) <= 2);
        QVERIFY(qAbs(qBlue(ours.pixel(p)) - qBlue(reference.pixel(p))) <= 2);
    }
    // The panel shows its warm colour around the picture.
    const QImage shown = box.grab().toImage();
    QCOMPARE(shown.pixelColor(8 + 12, 8 + 370), QColor(240, 202, 166));
}

void TestAboutBox::buttons()
{
    TAboutBox box;
    auto* web = box.findChild<TBitBtnXP*>(QStringLiteral("BitBtnXP1"));
    auto* ok = box.findChild<TBitBtnXP*>(QStringLiteral("BitBtn1"));
    QVERIFY(web && ok);
    QCOMPARE(ok->Kind(), bkOK);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->Default());
    QCOMPARE(web->text(), QStringLiteral("www.quornel.example"));
    QCOMPARE(web->NumGlyphs(), 2);
    QCOMPARE(web->Glyph().size(), QSize(36, 18));

    box.show();
    web->click();
    QCOMPARE(m_opened, QList<QUrl>{QUrl(QStringLiteral("https://www.quornel.example/"))});
    QVERIFY(box.isVisible());
    ok->click();
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(mrOk));
}

void TestAboutBox::enterClosesWithOk()
{
    TAboutBox box;
    box.show();
    QTest::keyClick(&box, Qt::Key_Return);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(mrOk));
    QVERIFY(m_opened.isEmpty());
}

void TestAboutBox::damagedJpeg_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray good = storedJpeg();
    QVERIFY(good.size() > 1000);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a JPEG") << QByteArray("GIF89a, not a JPEG at all");
    QTest::newRow("start of image only") << good.left(2);
    QTest::newRow("header cut short") << good.left(100);
    // The frame header's sample precision (the byte after the SOF0 marker's length)
    // set to one that no decoder supports.
    QByteArray badPrecision = good;
    const qsizetype sof = good.indexOf(QByteArray("\xff\xc0", 2));
    QVERIFY(sof > 0);
    badPrecision[sof + 4] = char(7);
    QTest::newRow("unsupported precision") << badPrecision;
    // A header that claims 50 000 x 50 000 pixels: a count past 32 bits, refused before
    // anything is allocated for it.
    QByteArray huge = good;
    for (int at : {5, 7}) {
        huge[sof + at] = char(50000 >> 8);
        huge[sof + at + 1] = char(50000 & 0xff);
    }
    QTest::newRow("claims 50000 x 50000") << huge;
}

void TestAboutBox::damagedJpeg()
{
    QFETCH(QByteArray, data);
    QString error;
    const QImage image = TJpegImage::Decode(data, &error);
    QVERIFY(image.isNull());
    QVERIFY(!error.isEmpty());
    // The decoder is still usable afterwards.
    QCOMPARE(TJpegImage::Decode(storedJpeg()).size(), QSize(306, 322));
}

void TestAboutBox::truncatedJpegKeepsWhatWasRead()
{
    const QByteArray good = storedJpeg();
    QString error;
    const QImage image = TJpegImage::Decode(good.left(good.size() / 2), &error);
    QCOMPARE(image.size(), QSize(306, 322));
    QVERIFY(!error.isEmpty());
    const QImage whole = TJpegImage::Decode(good);
    QCOMPARE(image.pixel(10, 10), whole.pixel(10, 10));
}

void TestAboutBox::missingJpegFile()
{
    QTemporaryDir dir;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("JPEG picture .*nosuch.jpg"));
    QVERIFY(TJpegImage::Load(dir.filePath(QStringLiteral("nosuch.jpg"))).isNull());
    const QString bad = dir.filePath(QStringLiteral("bad.jpg"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(storedJpeg().left(100));
    f.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("JPEG picture .*bad.jpg"));
    QVERIFY(TJpegImage::Load(bad).isNull());
}

void TestAboutBox::centredOnTheScreen()
{
    // Centred on the screen, wherever the window that opens it stands.
    QWidget owner;
    owner.setGeometry(0, 0, 300, 200);
    owner.show();
    TAboutBox box(&owner);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QPoint centre = box.screen()->availableGeometry().center();
    // Within the few pixels of a frame that the window manager adds.
    const QPoint at = box.frameGeometry().center();
    QVERIFY2((at - centre).manhattanLength() <= 4,
             qPrintable(QStringLiteral("%1,%2").arg(at.x()).arg(at.y())));
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
