// TImageBtn: its pictures, the swap while pressed and when a release counts as a click.
#include "controls/ImageBtn.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QPixmap solid(QColor colour, QSize size = {101, 30})
{
    QPixmap p(size);
    p.fill(colour);
    return p;
}

void moveWithButton(QWidget* w, QPoint pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

QColor shownColour(TImageBtn& b)
{
    return b.grab().toImage().pixelColor(5, 5);
}

} // namespace

class TestImageBtn : public QObject
{
    Q_OBJECT
private slots:
    void storedPictures_data();
    void storedPictures();
    void badPictureFile_data();
    void badPictureFile();
    void pressAndClick();
    void dragOutAndReleaseGivesNoClick();
    void dragOutAndBackIn();
    void secondShowPressedKeepsSavedPicture();
    void emptyPressedPictureKeepsSize();
    void rightButtonShowsPressedButDoesNotClick();
};

void TestImageBtn::storedPictures_data()
{
    QTest::addColumn<QString>("file");
    for (const char* name : {"ueberbtn.gif", "ueberbtn2.gif", "endebtn.gif", "endebtn2.gif"})
        QTest::newRow(name) << QStringLiteral(":/fegmann/%1").arg(QLatin1String(name));
}

void TestImageBtn::storedPictures()
{
    QFETCH(QString, file);
    const QPixmap picture = TImageBtn::LoadPicture(file);
    QCOMPARE(picture.size(), QSize(101, 30));
}

void TestImageBtn::badPictureFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("create");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("garbage") << QByteArray("GIF89a\x01\x02garbage", 16) << true;
    QTest::newRow("empty") << QByteArray() << true;
}

void TestImageBtn::badPictureFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, create);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bad.gif"));
    if (create) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot read the picture .*bad.gif"));
    TImageBtn button;
    button.resize(40, 20);
    button.LoadPictures(file, file);
    QVERIFY(button.Picture().isNull());
    QVERIFY(button.Picture2().isNull());
    QCOMPARE(button.size(), QSize(40, 20));
}

void TestImageBtn::pressAndClick()
{
    TImageBtn button;
    button.LoadPictures(QStringLiteral(":/fegmann/ueberbtn.gif"),
                        QStringLiteral(":/fegmann/ueberbtn2.gif"));
    QCOMPARE(button.size(), QSize(101, 30));
    const QImage normal = button.grab().toImage();
    QSignalSpy clicks(&button, &TImageBtn::clicked);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(50, 15));
    QVERIFY(button.ShowingPressed());
    QVERIFY(button.MouseIsDown());
    const QImage pressed = button.grab().toImage();
    QVERIFY(pressed != normal);
    QCOMPARE(pressed, TImageBtn::LoadPicture(":/fegmann/ueberbtn2.gif").toImage().convertToFormat(pressed.format()));

    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(50, 15));
    QCOMPARE(clicks.count(), 1);
    QVERIFY(!button.ShowingPressed());
    QVERIFY(!button.MouseIsDown());
    QCOMPARE(button.grab().toImage(), normal);
}

void TestImageBtn::dragOutAndReleaseGivesNoClick()
{
    TImageBtn button;
    button.setPicture(solid(Qt::green));
    button.setPicture2(solid(Qt::red));
    QSignalSpy clicks(&button, &TImageBtn::clicked);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(shownColour(button), QColor(Qt::red));
    // The right and bottom edges lie outside: x == width is out.
    moveWithButton(&button, QPoint(101, 10));
    QVERIFY(!button.ShowingPressed());
    QCOMPARE(shownColour(button), QColor(Qt::green));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 10));
    QCOMPARE(clicks.count(), 0);
    QVERIFY(!button.MouseIsDown());
    QCOMPARE(shownColour(button), QColor(Qt::green));
    // Moving after the release changes nothing.
    moveWithButton(&button, QPoint(10, 10));
    QVERIFY(!button.ShowingPressed());
}

void TestImageBtn::dragOutAndBackIn()
{
    TImageBtn button;
    button.setPicture(solid(Qt::green));
    button.setPicture2(solid(Qt::red));
    QSignalSpy clicks(&button, &TImageBtn::clicked);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    moveWithButton(&button, QPoint(10, -1));
    QCOMPARE(shownColour(button), QColor(Qt::green));
    moveWithButton(&button, QPoint(100, 29));
    QVERIFY(button.ShowingPressed());
    QCOMPARE(shownColour(button), QColor(Qt::red));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(100, 29));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(shownColour(button), QColor(Qt::green));
}

void TestImageBtn::secondShowPressedKeepsSavedPicture()
{
    TImageBtn button;
    button.setPicture(solid(Qt::green));
    button.setPicture2(solid(Qt::red));
    button.ShowPressed();
    button.ShowPressed();
    QCOMPARE(button.SavedPicture().toImage().pixelColor(0, 0), QColor(Qt::green));
    button.ShowNormal();
    button.ShowNormal();
    QCOMPARE(button.Picture().toImage().pixelColor(0, 0), QColor(Qt::green));
    QVERIFY(!button.ShowingPressed());
}

void TestImageBtn::emptyPressedPictureKeepsSize()
{
    TImageBtn button;
    button.setPicture(solid(Qt::green));
    button.ShowPressed();
    QVERIFY(button.Picture().isNull());
    QCOMPARE(button.size(), QSize(101, 30));
    button.ShowNormal();
    QCOMPARE(button.Picture().size(), QSize(101, 30));
}

void TestImageBtn::rightButtonShowsPressedButDoesNotClick()
{
    TImageBtn button;
    button.setPicture(solid(Qt::green));
    button.setPicture2(solid(Qt::red));
    QSignalSpy clicks(&button, &TImageBtn::clicked);
    QTest::mousePress(&button, Qt::RightButton, {}, QPoint(10, 10));
    QVERIFY(button.ShowingPressed());
    QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(10, 10));
    QVERIFY(!button.ShowingPressed());
    QCOMPARE(clicks.count(), 0);
}

QTEST_MAIN(TestImageBtn)
#include "tst_imagebtn.moc"
