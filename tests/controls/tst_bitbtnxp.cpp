// TBitBtnXP: the layout arithmetic, the kinds, the dialog keys in any window, the
// glyph cache and the face on pixels.
#include "controls/BitBtnXP.h"
#include "controls/GlyphCache.h"

#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

Q_DECLARE_METATYPE(TButtonLayout)
Q_DECLARE_METATYPE(TBitBtnXPKind)

namespace {

// A 12 x 12 glyph: a black 8 x 8 square on the olive transparent colour.
QImage squareGlyph()
{
    QImage glyph(12, 12, QImage::Format_RGB32);
    glyph.fill(QColor(128, 128, 0));
    for (int y = 2; y < 10; ++y)
        for (int x = 2; x < 10; ++x)
            glyph.setPixelColor(x, y, Qt::black);
    return glyph;
}

QPalette distinctPalette()
{
    QPalette pal;
    pal.setColor(QPalette::Button, QColor(200, 200, 200));
    pal.setColor(QPalette::Light, QColor(255, 255, 255));
    pal.setColor(QPalette::Midlight, QColor(230, 230, 230));
    pal.setColor(QPalette::Dark, QColor(0, 0, 255));
    pal.setColor(QPalette::Shadow, QColor(255, 0, 0));
    pal.setColor(QPalette::WindowText, QColor(0, 128, 0));
    return pal;
}

// The bounding box of the pixels of `colour` inside the face (frames left out).
QRect boxOf(const QImage& image, QColor colour)
{
    QRect box;
    for (int y = 3; y < image.height() - 3; ++y)
        for (int x = 3; x < image.width() - 3; ++x)
            if (image.pixelColor(x, y) == colour)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class TestBitBtnXP : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void layout_data();
    void layout();
    void kinds_data();
    void kinds();
    void formCaptionSurvivesKind();
    void kindFallsBackToCustom_data();
    void kindFallsBackToCustom();
    void refusedValues();
    void dialogKeys_data();
    void dialogKeys();
    void modalResultEndsDialog();
    void dialogFocusKeepsDefault();
    void closeKindClosesWindow();
    void classicFace();
    void disabledAndPressedGlyph();
    void suppliedDisabledImageIsRecoloured();
    void focusedFrameOnlyWithoutVisualStyles();
    void glyphCacheSharedAndFreed();

private:
    std::unique_ptr<QStyle> m_classic;
    std::unique_ptr<QStyle> m_fusion;
};

void TestBitBtnXP::initTestCase()
{
    m_classic.reset(QStyleFactory::create(QStringLiteral("windows")));
    m_fusion.reset(QStyleFactory::create(QStringLiteral("fusion")));
    QVERIFY(m_classic);
    QVERIFY(m_fusion);
    QVERIFY(!TBitBtnXP::VisualStylesActive(m_classic.get()));
    QVERIFY(TBitBtnXP::VisualStylesActive(m_fusion.get()));
}

void TestBitBtnXP::layout_data()
{
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QSize>("glyph");
    QTest::addColumn<QSize>("text");
    QTest::addColumn<TButtonLayout>("layout");
    QTest::addColumn<int>("margin");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<bool>("rtl");
    QTest::addColumn<QPoint>("glyphPos");
    QTest::addColumn<QPoint>("textPos");

    const QSize c(89, 25), g(18, 18), t(40, 13);
    QTest::newRow("left, centred") << c << g << t << blGlyphLeft << -1 << 4 << false
                                   << QPoint(14, 4) << QPoint(36, 6);
    QTest::newRow("right, centred") << c << g << t << blGlyphRight << -1 << 4 << false
                                    << QPoint(57, 4) << QPoint(13, 6);
    QTest::newRow("left, right-to-left") << c << g << t << blGlyphLeft << -1 << 4 << true
                                         << QPoint(57, 4) << QPoint(13, 6);
    QTest::newRow("right, right-to-left") << c << g << t << blGlyphRight << -1 << 4 << true
                                          << QPoint(14, 4) << QPoint(36, 6);
    QTest::newRow("spread evenly") << c << g << t << blGlyphLeft << -1 << -1 << false
                                   << QPoint(10, 4) << QPoint(38, 6);
    QTest::newRow("margin set, spacing spread") << c << g << t << blGlyphLeft << 2 << -1 << false
                                                << QPoint(2, 4) << QPoint(34, 6);
    QTest::newRow("right, both set") << c << g << t << blGlyphRight << 3 << 5 << false
                                     << QPoint(68, 4) << QPoint(23, 6);
    QTest::newRow("top") << QSize(60, 60) << g << QSize(30, 13) << blGlyphTop << -1 << 4 << false
                         << QPoint(21, 13) << QPoint(15, 35);
    QTest::newRow("bottom") << QSize(60, 60) << g << QSize(30, 13) << blGlyphBottom << -1 << 4
                            << false << QPoint(21, 29) << QPoint(15, 12);
    QTest::newRow("top ignores right-to-left") << QSize(60, 60) << g << QSize(30, 13) << blGlyphTop
                                               << -1 << 4 << true << QPoint(21, 13) << QPoint(15, 35);
    QTest::newRow("no caption: no spacing") << c << g << QSize(0, 0) << blGlyphLeft << -1 << 4
                                            << false << QPoint(36, 4) << QPoint(54, 13);
    QTest::newRow("no glyph: no spacing") << c << QSize(0, 0) << t << blGlyphLeft << -1 << 4
                                          << false << QPoint(25, 13) << QPoint(25, 6);
    // Negative quotients truncate toward zero: -31 / 2 is -15, not -16.
    QTest::newRow("too narrow, truncated") << QSize(30, 25) << g << t << blGlyphLeft << -1 << 4
                                           << false << QPoint(-15, 4) << QPoint(7, 6);
    QTest::newRow("too narrow, spread") << QSize(41, 25) << g << t << blGlyphLeft << -1 << -1
                                        << false << QPoint(-5, 4) << QPoint(8, 6);
    QTest::newRow("odd height rounds up") << QSize(89, 24) << QSize(18, 17) << QSize(40, 13)
                                          << blGlyphLeft << 0 << 0 << false << QPoint(0, 4)
                                          << QPoint(18, 6);
}

void TestBitBtnXP::layout()
{
    QFETCH(QSize, client);
    QFETCH(QSize, glyph);
    QFETCH(QSize, text);
    QFETCH(TButtonLayout, layout);
    QFETCH(int, margin);
    QFETCH(int, spacing);
    QFETCH(bool, rtl);
    QFETCH(QPoint, glyphPos);
    QFETCH(QPoint, textPos);
    const TButtonLayoutResult r =
        TBitBtnXP::CalcButtonLayout(client, glyph, text, layout, margin, spacing, rtl);
    QCOMPARE(r.GlyphPos, glyphPos);
    QCOMPARE(r.TextBounds.topLeft(), textPos);
    QCOMPARE(r.TextBounds.size(), text);
}

void TestBitBtnXP::kinds_data()
{
    QTest::addColumn<TBitBtnXPKind>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("isDefault");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("glyphHeight");
    QTest::newRow("OK") << bkOK << "OK" << true << false << 1 << 18;
    QTest::newRow("Cancel") << bkCancel << "Cancel" << false << true << 2 << 18;
    QTest::newRow("Help") << bkHelp << "&Help" << false << false << 0 << 18;
    QTest::newRow("Yes") << bkYes << "&Yes" << true << false << 6 << 18;
    QTest::newRow("No") << bkNo << "&No" << false << true << 7 << 18;
    QTest::newRow("Close") << bkClose << "&Close" << false << false << 0 << 18;
    QTest::newRow("Abort") << bkAbort << "Abort" << false << false << 3 << 18;
    QTest::newRow("Retry") << bkRetry << "&Retry" << false << false << 4 << 18;
    QTest::newRow("Ignore") << bkIgnore << "&Ignore" << false << false << 5 << 18;
    QTest::newRow("All") << bkAll << "&All" << false << false << 8 << 19;
}

void TestBitBtnXP::kinds()
{
    QFETCH(TBitBtnXPKind, kind);
    QFETCH(QString, caption);
    QFETCH(bool, isDefault);
    QFETCH(bool, cancel);
    QFETCH(int, result);
    QFETCH(int, glyphHeight);
    TBitBtnXP button;
    button.setKind(kind);
    QCOMPARE(button.Kind(), kind);
    QCOMPARE(button.text(), caption);
    QCOMPARE(button.Default(), isDefault);
    QCOMPARE(button.Cancel(), cancel);
    QCOMPARE(button.ModalResult(), result);
    QCOMPARE(button.Glyph().size(), QSize(36, glyphHeight));
    QCOMPARE(button.NumGlyphs(), 2);
    // The two images differ: the second is the disabled one.
    const QImage g = button.Glyph();
    QVERIFY(g.copy(0, 0, 18, glyphHeight) != g.copy(18, 0, 18, glyphHeight));
}

void TestBitBtnXP::formCaptionSurvivesKind()
{
    QWidget window;
    auto* start = new TBitBtnXP(&window);
    start->setText(QStringLiteral("&Starten"));
    start->setKind(bkAll);
    QCOMPARE(start->text(), QStringLiteral("&Starten"));
    QCOMPARE(start->ModalResult(), int(mrAll));
    QCOMPARE(start->Glyph().size(), QSize(36, 19));
    QCOMPARE(start->Kind(), bkAll);

    // Once shown, a kind sets its caption like any other change.
    window.show();
    start->setKind(bkOK);
    QCOMPARE(start->text(), QStringLiteral("OK"));
}

void TestBitBtnXP::kindFallsBackToCustom_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("glyph assigned") << 0;
    QTest::newRow("default cleared") << 1;
    QTest::newRow("cancel set") << 2;
    QTest::newRow("modal result changed") << 3;
}

void TestBitBtnXP::kindFallsBackToCustom()
{
    QFETCH(int, change);
    TBitBtnXP button;
    button.setKind(bkOK);
    switch (change) {
    case 0:
        button.setGlyph(squareGlyph());
        break;
    case 1:
        button.setDefault(false);
        break;
    case 2:
        button.setCancel(true);
        break;
    case 3:
        button.setModalResult(mrNo);
        break;
    }
    QCOMPARE(button.Kind(), bkCustom);
    // It stays custom even when the values match again.
    if (change == 1)
        button.setDefault(true);
    QCOMPARE(button.Kind(), bkCustom);
    // And the kind can be applied anew.
    button.setKind(bkOK);
    QCOMPARE(button.Kind(), bkOK);
    QCOMPARE(button.Glyph().size(), QSize(36, 18));
}

void TestBitBtnXP::refusedValues()
{
    TBitBtnXP button;
    button.setMargin(3);
    button.setMargin(-2);
    QCOMPARE(button.Margin(), 3);
    button.setMargin(-1);
    QCOMPARE(button.Margin(), -1);
    button.setNumGlyphs(7);
    QCOMPARE(button.NumGlyphs(), 4);
    button.setNumGlyphs(0);
    QCOMPARE(button.NumGlyphs(), 4);
    button.setGlyph(squareGlyph());
    QCOMPARE(button.NumGlyphs(), 4);
    button.grab(); // paints with a 3-pixel-wide image each, no division by zero
}

void TestBitBtnXP::dialogKeys_data()
{
    QTest::addColumn<bool>("dialog");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("okClicks");
    QTest::addColumn<int>("cancelClicks");
    for (bool dialog : {false, true}) {
        const char* w = dialog ? "dialog" : "window";
        const int esc = Qt::Key_Escape, ret = Qt::Key_Return, enter = Qt::Key_Enter;
        QTest::addRow("%s: Esc", w) << dialog << esc << 0 << true << true << 0 << 1;
        QTest::addRow("%s: Enter", w) << dialog << ret << 0 << true << true << 1 << 0;
        QTest::addRow("%s: keypad Enter", w)
            << dialog << enter << int(Qt::KeypadModifier) << true << true << 1 << 0;
        QTest::addRow("%s: Shift+Esc", w) << dialog << esc << int(Qt::ShiftModifier) << true << true
                                          << 0 << 0;
        QTest::addRow("%s: Esc, disabled", w) << dialog << esc << 0 << false << true << 0 << 0;
        QTest::addRow("%s: Enter, disabled", w) << dialog << ret << 0 << false << true << 0 << 0;
        QTest::addRow("%s: Esc, hidden", w) << dialog << esc << 0 << true << false << 0 << 0;
        QTest::addRow("%s: Enter, hidden", w) << dialog << ret << 0 << true << false << 0 << 0;
    }
}

void TestBitBtnXP::dialogKeys()
{
    QFETCH(bool, dialog);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, enabled);
    QFETCH(bool, visible);
    QFETCH(int, okClicks);
    QFETCH(int, cancelClicks);

    std::unique_ptr<QWidget> window = dialog ? std::make_unique<QDialog>() : std::make_unique<QWidget>();
    auto* box = new QVBoxLayout(window.get());
    auto* field = new QLineEdit(window.get());
    auto* ok = new TBitBtnXP(window.get());
    auto* cancel = new TBitBtnXP(window.get());
    box->addWidget(field);
    box->addWidget(ok);
    box->addWidget(cancel);
    ok->setKind(bkOK);
    cancel->setKind(bkCancel);
    // Keep the dialog open so that the count is all that is measured.
    ok->setModalResult(mrNone);
    cancel->setModalResult(mrNone);
    for (TBitBtnXP* b : {ok, cancel}) {
        b->setEnabled(enabled);
        b->setVisible(visible);
    }
    window->show();
    QSignalSpy okSpy(ok, &QAbstractButton::clicked);
    QSignalSpy cancelSpy(cancel, &QAbstractButton::clicked);
    QTest::keyClick(field, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(okSpy.count(), okClicks);
    QCOMPARE(cancelSpy.count(), cancelClicks);
}

void TestBitBtnXP::modalResultEndsDialog()
{
    QDialog dialog;
    auto* yes = new TBitBtnXP(&dialog);
    yes->setKind(bkYes);
    auto* custom = new TBitBtnXP(&dialog);
    custom->setText(QStringLiteral("Nichts"));
    QStringList order;
    connect(yes, &QAbstractButton::clicked, &dialog,
            [&] { order << QStringLiteral("click, result %1").arg(dialog.result()); });
    dialog.show();

    custom->click();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);

    yes->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(mrYes));
    QCOMPARE(order, QStringList{QStringLiteral("click, result 6")});

    // Enter in an open dialog ends it with the default button's result.
    dialog.setResult(0);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(mrYes));
}

void TestBitBtnXP::dialogFocusKeepsDefault()
{
    QDialog dialog;
    auto* box = new QVBoxLayout(&dialog);
    auto* other = new QPushButton(QStringLiteral("Andere"), &dialog);
    auto* ok = new TBitBtnXP(&dialog);
    box->addWidget(other);
    box->addWidget(ok);
    ok->setKind(bkOK);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    other->setFocus();
    QVERIFY(other->hasFocus());
    QCOMPARE(ok->Kind(), bkOK);
    // Enter presses the focused push button, not the default one.
    QSignalSpy otherClicks(other, &QAbstractButton::clicked);
    QTest::keyClick(other, Qt::Key_Return);
    QCOMPARE(otherClicks.count(), 1);
    QVERIFY(dialog.isVisible());
}

void TestBitBtnXP::closeKindClosesWindow()
{
    QWidget window;
    auto* close = new TBitBtnXP(&window);
    close->setKind(bkClose);
    window.show();
    QSignalSpy clicks(close, &QAbstractButton::clicked);
    close->click();
    QVERIFY(!window.isVisible());
    QCOMPARE(clicks.count(), 1);
}

void TestBitBtnXP::classicFace()
{
    TBitBtnXP button;
    button.setStyle(m_classic.get());
    button.setPalette(distinctPalette());
    button.resize(60, 30);
    const QImage face = button.grab().toImage();
    // Raised frame: light outside at the top-left, shadow at the bottom-right,
    // dark inside, face colour within.
    QCOMPARE(face.pixelColor(0, 0), QColor(255, 255, 255));
    QCOMPARE(face.pixelColor(59, 29), QColor(255, 0, 0));
    QCOMPARE(face.pixelColor(58, 28), QColor(0, 0, 255));
    QCOMPARE(face.pixelColor(30, 3), QColor(200, 200, 200));

    button.setDown(true);
    const QImage down = button.grab().toImage();
    QCOMPARE(down.pixelColor(0, 0), QColor(0, 0, 255));
    QCOMPARE(down.pixelColor(59, 29), QColor(0, 0, 255));
    QCOMPARE(down.pixelColor(1, 1), QColor(200, 200, 200));
}

void TestBitBtnXP::disabledAndPressedGlyph()
{
    TBitBtnXP button;
    button.setStyle(m_classic.get());
    button.setPalette(distinctPalette());
    button.resize(60, 30);
    button.setGlyph(squareGlyph());

    const QRect up = boxOf(button.grab().toImage(), Qt::black);
    QCOMPARE(up.size(), QSize(8, 8));

    button.setDown(true);
    QCOMPARE(boxOf(button.grab().toImage(), Qt::black), up.translated(1, 1));
    button.setDown(false);

    // One image only: the disabled look is the shape embossed, dark in place and
    // light one pixel right and down; the olive background stays transparent.
    button.setEnabled(false);
    const QImage disabled = button.grab().toImage();
    QVERIFY(boxOf(disabled, Qt::black).isNull());
    QCOMPARE(boxOf(disabled, QColor(0, 0, 255)), up);
    QCOMPARE(disabled.pixelColor(up.bottomRight() + QPoint(1, 1)), QColor(255, 255, 255));
    QCOMPARE(disabled.pixelColor(up.topLeft() - QPoint(1, 1)), QColor(200, 200, 200));
    QVERIFY(boxOf(disabled, QColor(128, 128, 0)).isNull());
}

void TestBitBtnXP::suppliedDisabledImageIsRecoloured()
{
    QImage glyph(24, 12, QImage::Format_RGB32);
    glyph.fill(QColor(128, 128, 0));
    for (int x = 14; x < 20; ++x) {
        glyph.setPixelColor(x, 4, Qt::white);
        glyph.setPixelColor(x, 6, QColor(128, 128, 128));
    }
    const TGlyphColors colours{QColor(200, 200, 200), QColor(255, 255, 255), QColor(0, 0, 255)};
    TButtonGlyph g;
    g.setGlyph(glyph);
    g.setNumGlyphs(2);
    const QImage disabled = g.StateImage(bsDisabled, colours);
    QCOMPARE(disabled.size(), QSize(12, 12));
    QCOMPARE(disabled.pixelColor(3, 4), QColor(255, 255, 255));
    QCOMPARE(disabled.pixelColor(3, 6), QColor(0, 0, 255));
    QCOMPARE(disabled.pixelColor(0, 0).alpha(), 0);
    // Down falls back to the up image with two images only.
    QCOMPARE(g.StateImage(bsDown, colours), g.StateImage(bsUp, colours));
}

void TestBitBtnXP::focusedFrameOnlyWithoutVisualStyles()
{
    QWidget window;
    auto* button = new TBitBtnXP(&window);
    button->setPalette(distinctPalette());
    button->setGeometry(0, 0, 80, 30);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    button->setFocus();
    QVERIFY(button->hasFocus());

    button->setStyle(m_classic.get());
    const QImage classic = button->grab().toImage();
    QCOMPARE(classic.pixelColor(0, 0), QColor(255, 0, 0));   // the dark frame
    QCOMPARE(classic.pixelColor(79, 29), QColor(255, 0, 0));
    QCOMPARE(classic.pixelColor(4, 4), QColor(0, 128, 0));   // dotted focus rectangle
    QCOMPARE(classic.pixelColor(6, 4), QColor(0, 128, 0));
    QVERIFY(classic.pixelColor(5, 4) != QColor(0, 128, 0));

    button->setStyle(m_fusion.get());
    const QImage themed = button->grab().toImage();
    QVERIFY(themed.pixelColor(0, 0) != QColor(255, 0, 0));
    QVERIFY(themed.pixelColor(40, 0) != QColor(255, 0, 0));
    QCOMPARE(themed.pixelColor(4, 4), QColor(0, 128, 0));

    // Without focus there is neither frame nor focus rectangle.
    button->setStyle(m_classic.get());
    button->clearFocus();
    const QImage unfocused = button->grab().toImage();
    QCOMPARE(unfocused.pixelColor(0, 0), QColor(255, 255, 255));
    QVERIFY(unfocused.pixelColor(4, 4) != QColor(0, 128, 0));
}

void TestBitBtnXP::glyphCacheSharedAndFreed()
{
    QVERIFY(!TGlyphCache::Exists());
    {
        TBitBtnXP a, b, c;
        a.setKind(bkOK);
        b.setKind(bkCancel);
        c.setKind(bkAll);
        for (TBitBtnXP* button : {&a, &b, &c}) {
            button->resize(80, 25);
            button->grab();
        }
        QVERIFY(TGlyphCache::Exists());
        // 18 x 18 images share one list, 18 x 19 have their own.
        QCOMPARE(TGlyphCache::Instance()->ListCount(), 2);
        c.setKind(bkOK);
        c.grab();
        QCOMPARE(TGlyphCache::Instance()->ListCount(), 1);
    }
    QVERIFY(!TGlyphCache::Exists());
}

QTEST_MAIN(TestBitBtnXP)
#include "tst_bitbtnxp.moc"
