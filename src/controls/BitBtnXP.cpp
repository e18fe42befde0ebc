#include "controls/BitBtnXP.h"

#include "controls/ControlResources.h"
#include "controls/DialogKeys.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWhatsThis>

#include <array>

namespace {

struct KindPreset
{
    const char* caption;
    bool isDefault;
    bool cancel;
    int modalResult;
    const char* glyph;
};

const std::array<KindPreset, 11> presets{{
    {"", false, false, mrNone, nullptr},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "OK"), true, false, mrOk, "bbok"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "Cancel"), false, true, mrCancel, "bbcancel"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "&Help"), false, false, mrNone, "bbhelp"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "&Yes"), true, false, mrYes, "bbyes"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "&No"), false, true, mrNo, "bbno"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "&Close"), false, false, mrNone, "bbclose"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "Abort"), false, false, mrAbort, "bbabort"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "&Retry"), false, false, mrRetry, "bbretry"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "&Ignore"), false, false, mrIgnore, "bbignore"},
    {QT_TRANSLATE_NOOP("TBitBtnXP", "&All"), false, false, mrAll, "bball"},
}};

const KindPreset& preset(TBitBtnXPKind kind)
{
    return presets[size_t(kind)];
}

// The classic raised frame of a push button: light and black outside, midlight and
// dark inside. Returns the face left inside it.
QRect drawClassicFrame(QPainter& p, QRect r, const QPalette& pal)
{
    auto edge = [&p](QRect q, const QColor& topLeft, const QColor& bottomRight) {
        p.setPen(topLeft);
        p.drawLine(q.left(), q.bottom() - 1, q.left(), q.top());
        p.drawLine(q.left(), q.top(), q.right() - 1, q.top());
        p.setPen(bottomRight);
        p.drawLine(q.left(), q.bottom(), q.right(), q.bottom());
        p.drawLine(q.right(), q.top(), q.right(), q.bottom());
    };
    edge(r, pal.color(QPalette::Light), pal.color(QPalette::Shadow));
    r.adjust(1, 1, -1, -1);
    edge(r, pal.color(QPalette::Midlight), pal.color(QPalette::Dark));
    r.adjust(1, 1, -1, -1);
    p.fillRect(r, pal.color(QPalette::Button));
    return r;
}

// A dotted rectangle, every other pixel, as focus rectangles are drawn.
void drawDottedRect(QPainter& p, const QRect& r, const QColor& colour)
{
    p.setPen(colour);
    int n = 0;
    auto dot = [&](int x, int y) {
        if (n++ % 2 == 0)
            p.drawPoint(x, y);
    };
    for (int x = r.left(); x < r.right(); ++x)
        dot(x, r.top());
    for (int y = r.top(); y < r.bottom(); ++y)
        dot(r.right(), y);
    for (int x = r.right(); x > r.left(); --x)
        dot(x, r.bottom());
    for (int y = r.bottom(); y > r.top(); --y)
        dot(r.left(), y);
}

} // namespace

TBitBtnXP::TBitBtnXP(QWidget* parent) : QPushButton(parent)
{
    // Connected before anyone else, so the kind's action and the dialog's result come
    // before the slots of the button's users.
    connect(this, &QAbstractButton::clicked, this, &TBitBtnXP::onClicked);
    // Enter is handled by TDialogKeys for every window alike, not by QDialog.
    setAutoDefault(false);
    // The default button looks active only while no other push button has the focus.
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this] {
        if (m_default)
            update();
    });
    attachToWindow();
}

TBitBtnXP::~TBitBtnXP()
{
    // QWidget's destructor gives up the focus and so reports a focus change, when
    // this button's own members are already gone.
    disconnect(m_focusWatch);
}

TBitBtnXPKind TBitBtnXP::Kind() const
{
    if (m_kind != bkCustom) {
        const KindPreset& p = preset(m_kind);
        if (m_default != p.isDefault || m_cancel != p.cancel || m_modalResult != p.modalResult ||
            m_glyphModified)
            m_kind = bkCustom;
    }
    return m_kind;
}

void TBitBtnXP::setKind(TBitBtnXPKind kind)
{
    if (kind == Kind())
        return;
    if (kind == bkCustom) {
        m_kind = kind;
        update();
        return;
    }
    const KindPreset& p = preset(kind);
    setDefault(p.isDefault);
    setCancel(p.cancel);
    // A caption given before the button is first shown is the form's own and stays.
    if (!(m_loading && !text().isEmpty()))
        setText(KindCaption(kind));
    m_modalResult = p.modalResult;
    setGlyph(KindGlyph(kind));
    setNumGlyphs(2);
    m_glyphModified = false;
    m_kind = kind;
    update();
}

QString TBitBtnXP::KindCaption(TBitBtnXPKind kind)
{
    return QCoreApplication::translate("TBitBtnXP", preset(kind).caption);
}

QImage TBitBtnXP::KindGlyph(TBitBtnXPKind kind)
{
    static std::array<QImage, presets.size()> loaded;
    static std::array<bool, presets.size()> tried{};
    const KindPreset& p = preset(kind);
    if (!p.glyph)
        return {};
    if (!tried[size_t(kind)]) {
        tried[size_t(kind)] = true;
        TControlResources::EnsureLoaded();
        const QString file = QStringLiteral(":/fegmann/glyphs/%1.bmp").arg(QLatin1String(p.glyph));
        loaded[size_t(kind)] = QImage(file);
        if (loaded[size_t(kind)].isNull())
            qWarning("TBitBtnXP: cannot read the glyph %s", qUtf8Printable(file));
    }
    return loaded[size_t(kind)];
}

void TBitBtnXP::setGlyph(const QImage& glyph)
{
    m_glyph.setGlyph(glyph);
    m_glyphModified = true;
    updateGeometry();
    update();
}

void TBitBtnXP::setNumGlyphs(int count)
{
    m_glyph.setNumGlyphs(count);
    updateGeometry();
    update();
}

void TBitBtnXP::setLayout(TButtonLayout layout)
{
    m_layout = layout;
    update();
}

void TBitBtnXP::setMargin(int margin)
{
    if (margin < -1)
        return;
    m_margin = margin;
    update();
}

void TBitBtnXP::setSpacing(int spacing)
{
    m_spacing = spacing;
    update();
}

void TBitBtnXP::setStyle(TButtonStyle style)
{
    m_style = style;
    update();
}

void TBitBtnXP::setDefault(bool on)
{
    m_default = on;
    QPushButton::setDefault(on);
    update();
}

void TBitBtnXP::setCancel(bool cancel)
{
    m_cancel = cancel;
}

bool TBitBtnXP::VisualStylesActive(const QStyle* style)
{
    return style && style->name().compare(QLatin1String("windows"), Qt::CaseInsensitive) != 0;
}

TGlyphColors TBitBtnXP::GlyphColors(const QPalette& palette)
{
    return {palette.color(QPalette::Button), palette.color(QPalette::Light),
            palette.color(QPalette::Dark)};
}

TButtonLayoutResult TBitBtnXP::CalcButtonLayout(QSize client, QSize glyph, QSize text,
                                                TButtonLayout layout, int margin, int spacing,
                                                bool rightToLeft)
{
    if (rightToLeft) {
        if (layout == blGlyphLeft)
            layout = blGlyphRight;
        else if (layout == blGlyphRight)
            layout = blGlyphLeft;
    }
    const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    QPoint glyphPos;
    QPoint textPos;
    if (horizontal) {
        glyphPos.setY((client.height() - glyph.height() + 1) / 2);
        textPos.setY((client.height() - text.height() + 1) / 2);
    } else {
        glyphPos.setX((client.width() - glyph.width() + 1) / 2);
        textPos.setX((client.width() - text.width() + 1) / 2);
    }
    if (text.width() == 0 || glyph.width() == 0)
        spacing = 0;

    const int c = horizontal ? client.width() : client.height();
    const int g = horizontal ? glyph.width() : glyph.height();
    const int t = horizontal ? text.width() : text.height();
    if (margin == -1) {
        if (spacing == -1) {
            margin = (c - (g + t)) / 3;
            spacing = margin;
        } else {
            margin = (c - (g + spacing + t) + 1) / 2;
        }
    } else if (spacing == -1) {
        spacing = ((c - (margin + g)) - t) / 2;
    }

    int glyphAt = 0;
    int textAt = 0;
    if (layout == blGlyphLeft || layout == blGlyphTop) {
        glyphAt = margin;
        textAt = glyphAt + g + spacing;
    } else {
        glyphAt = c - margin - g;
        textAt = glyphAt - spacing - t;
    }
    if (horizontal) {
        glyphPos.setX(glyphAt);
        textPos.setX(textAt);
    } else {
        glyphPos.setY(glyphAt);
        textPos.setY(textAt);
    }
    return {glyphPos, QRect(textPos, text)};
}

bool TBitBtnXP::isActiveButton() const
{
    if (hasFocus())
        return true;
    if (!m_default)
        return false;
    // The default button stands in for the active one unless another push button of
    // the window has the focus.
    const auto* focused = qobject_cast<const QPushButton*>(QApplication::focusWidget());
    return !(focused && focused->window() == window());
}

void TBitBtnXP::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    const bool themed = VisualStylesActive(style());
    const QRect client = rect();
    QRect r = client;

    if (themed)
        p.fillRect(r, pal.color(QPalette::Button));
    const bool isDown = this->isDown();
    const bool isFocusedItem = hasFocus();
    const bool focused = isActiveButton();
    const TButtonState state = !isEnabled() ? bsDisabled : isDown ? bsDown : bsUp;

    if ((focused || isFocusedItem) && !themed) {
        p.setPen(pal.color(QPalette::Shadow));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }

    QStyleOptionButton opt;
    if (themed) {
        initStyleOption(&opt);
        opt.text.clear();
        opt.icon = QIcon();
        opt.rect = r;
        opt.state &= ~(QStyle::State_HasFocus | QStyle::State_Sunken | QStyle::State_On |
                       QStyle::State_Raised);
        opt.features &= ~QStyleOptionButton::DefaultButton;
    }
    if (isDown) {
        if (themed) {
            opt.state |= QStyle::State_Sunken;
            style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
        } else {
            p.setPen(pal.color(QPalette::Dark));
            p.setBrush(pal.color(QPalette::Button));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
        r.adjust(1, 1, -1, -1);
    } else {
        if (!themed) {
            r = drawClassicFrame(p, r, pal);
        } else {
            opt.state |= QStyle::State_Raised;
            if (state == bsDisabled)
                opt.state &= ~QStyle::State_Enabled;
            else if (focused || isFocusedItem)
                opt.features |= QStyleOptionButton::DefaultButton;
            style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
        }
    }
    if (focused)
        r = client.adjusted(1, 1, -1, -1);
    p.setFont(font());
    if (isDown)
        r.translate(1, 1);

    // Glyph and caption.
    const QString caption = text();
    QSize textSize(0, 0);
    if (!caption.isEmpty()) {
        const QRect measured =
            p.fontMetrics().boundingRect(QRect(0, 0, r.width(), 0), Qt::TextShowMnemonic, caption);
        textSize = QSize(std::min(measured.width(), r.width()), measured.height());
    }
    const TButtonLayoutResult at =
        CalcButtonLayout(r.size(), m_glyph.ImageSize(), textSize, m_layout, m_margin, m_spacing,
                         layoutDirection() == Qt::RightToLeft);
    const TGlyphColors colors = GlyphColors(pal);
    m_glyph.Draw(p, r.topLeft() + at.GlyphPos, state, colors);
    if (!caption.isEmpty()) {
        const QRect textRect = at.TextBounds.translated(r.topLeft());
        const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
        if (state == bsDisabled) {
            p.setPen(colors.Highlight);
            p.drawText(textRect.translated(1, 1), flags, caption);
            p.setPen(colors.Shadow);
        } else {
            p.setPen(pal.color(QPalette::ButtonText));
        }
        p.drawText(textRect, flags, caption);
    }

    if (focused && isFocusedItem)
        drawDottedRect(p, client.adjusted(4, 4, -4, -4), pal.color(QPalette::WindowText));
}

QSize TBitBtnXP::sizeHint() const
{
    QSize size = QPushButton::sizeHint();
    const QSize glyph = m_glyph.ImageSize();
    if (m_layout == blGlyphLeft || m_layout == blGlyphRight)
        size += QSize(glyph.width() + std::max(m_spacing, 0), 0);
    else
        size += QSize(0, glyph.height() + std::max(m_spacing, 0));
    return size.expandedTo(QSize(glyph.width() + 8, glyph.height() + 8));
}

bool TBitBtnXP::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
        m_loading = false;
        attachToWindow();
        // Prepare the image of the state the button shows first.
        m_glyph.StateImage(isEnabled() ? bsUp : bsDisabled, GlyphColors(palette()));
        break;
    case QEvent::ParentChange:
        attachToWindow();
        break;
    default:
        break;
    }
    return QPushButton::event(event);
}

void TBitBtnXP::attachToWindow()
{
    if (QWidget* w = window(); w != this)
        TDialogKeys::Ensure(w);
}

void TBitBtnXP::onClicked()
{
    if (Kind() == bkHelp) {
        for (QWidget* w = this; w; w = w->parentWidget()) {
            if (!w->whatsThis().isEmpty()) {
                QWhatsThis::showText(w->mapToGlobal(w->rect().center()), w->whatsThis(), w);
                return;
            }
        }
    } else if (Kind() == bkClose) {
        if (QWidget* w = window(); w != this) {
            w->close();
            return;
        }
    }
    plainClick();
}

void TBitBtnXP::plainClick()
{
    auto* dialog = qobject_cast<QDialog*>(window());
    if (!dialog)
        return;
    dialog->setResult(m_modalResult);
    if (m_modalResult != mrNone)
        dialog->done(m_modalResult);
}
