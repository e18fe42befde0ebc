#pragma once
// TBitBtnXP is a push button with a glyph beside its caption, whose face comes from
// the application's style unless that style is the classic one, in which case it
// draws the classic frames itself. Preset kinds (OK, Cancel, ...) set caption, roles,
// modal result and glyph at once. Default and Cancel work in any top-level window
// through TDialogKeys. The parent widget owns the button; the button owns its glyph.

#include "controls/ButtonGlyph.h"

#include <QPushButton>

class QStyle;

enum TBitBtnXPKind
{
    bkCustom,
    bkOK,
    bkCancel,
    bkHelp,
    bkYes,
    bkNo,
    bkClose,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll
};
enum TButtonLayout
{
    blGlyphLeft,
    blGlyphRight,
    blGlyphTop,
    blGlyphBottom
};
enum TButtonStyle
{
    bsAutoDetect,
    bsWin31
};
// The results a button hands to its dialog; a QDialog's exec() returns them.
enum TModalResult : int
{
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8
};

// Where glyph and caption go inside the face, relative to its top-left corner.
struct TButtonLayoutResult
{
    QPoint GlyphPos;
    QRect TextBounds;
};

class TBitBtnXP : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(int Margin READ Margin WRITE setMargin)
    Q_PROPERTY(int Spacing READ Spacing WRITE setSpacing)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE setNumGlyphs)
    Q_PROPERTY(int ModalResult READ ModalResult WRITE setModalResult)
    Q_PROPERTY(bool Cancel READ Cancel WRITE setCancel)
public:
    explicit TBitBtnXP(QWidget* parent = nullptr);
    ~TBitBtnXP() override;

    // Setting a preset kind sets Default, Cancel, ModalResult, the glyph and, unless
    // the button already has a caption and has not been shown yet (a caption from a
    // form wins), the caption. A preset is reported only while those still match.
    TBitBtnXPKind Kind() const;
    void setKind(TBitBtnXPKind kind);

    const QImage& Glyph() const { return m_glyph.Glyph(); }
    // Assigning a glyph makes the button report bkCustom from then on.
    void setGlyph(const QImage& glyph);
    int NumGlyphs() const { return m_glyph.NumGlyphs(); }
    void setNumGlyphs(int count);

    TButtonLayout Layout() const { return m_layout; }
    void setLayout(TButtonLayout layout);
    int Margin() const { return m_margin; }
    // Values below -1 are refused; -1 centres glyph and caption together.
    void setMargin(int margin);
    int Spacing() const { return m_spacing; }
    // -1 spreads glyph and caption evenly.
    void setSpacing(int spacing);
    TButtonStyle Style() const { return m_style; }
    void setStyle(TButtonStyle style);
    using QWidget::setStyle;

    // Enter presses the default button of the window. Kept apart from QPushButton's
    // flag, which a QDialog clears whenever another push button takes the focus.
    bool Default() const { return m_default; }
    void setDefault(bool on);
    bool Cancel() const { return m_cancel; }
    void setCancel(bool cancel);
    int ModalResult() const { return m_modalResult; }
    void setModalResult(int result) { m_modalResult = result; }

    // The caption the kind gives, translated.
    static QString KindCaption(TBitBtnXPKind kind);
    // The kind's glyph bitmap, loaded once per process; empty for bkCustom.
    static QImage KindGlyph(TBitBtnXPKind kind);

    // Whether `style` draws themed buttons: every style except the classic "windows".
    static bool VisualStylesActive(const QStyle* style);
    // The positions of glyph and caption in a face of `client` size. All divisions
    // truncate toward zero; right-to-left swaps left and right.
    static TButtonLayoutResult CalcButtonLayout(QSize client, QSize glyph, QSize text,
                                                TButtonLayout layout, int margin, int spacing,
                                                bool rightToLeft);
    // The glyph colours of `palette`: button face, light, dark.
    static TGlyphColors GlyphColors(const QPalette& palette);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void onClicked();
    void plainClick();
    bool isActiveButton() const;
    void attachToWindow();

    TButtonGlyph m_glyph;
    mutable TBitBtnXPKind m_kind = bkCustom;
    TButtonLayout m_layout = blGlyphLeft;
    TButtonStyle m_style = bsAutoDetect;
    int m_margin = -1;
    int m_spacing = 4;
    int m_modalResult = mrNone;
    bool m_default = false;
    bool m_cancel = false;
    bool m_glyphModified = false;
    bool m_loading = true;
    QMetaObject::Connection m_focusWatch;
};
