#include "controls/ButtonGlyph.h"

#include <QPainter>

TButtonGlyph::TButtonGlyph() : m_cache(TGlyphCache::Instance()) {}

TButtonGlyph::~TButtonGlyph()
{
    releaseImages();
}

void TButtonGlyph::setGlyph(const QImage& glyph)
{
    releaseImages();
    m_glyph = glyph;
}

void TButtonGlyph::setNumGlyphs(int count)
{
    if (count < 1)
        return;
    count = std::min(count, 4);
    if (count == m_numGlyphs)
        return;
    releaseImages();
    m_numGlyphs = count;
}

QSize TButtonGlyph::ImageSize() const
{
    if (m_glyph.isNull())
        return {0, 0};
    return {m_glyph.width() / m_numGlyphs, m_glyph.height()};
}

void TButtonGlyph::releaseImages()
{
    if (m_list) {
        for (int& index : m_indexes) {
            m_list->Delete(index);
            index = -1;
        }
    }
    m_list.reset();
}

// Image `index` of the glyph with its transparent pixels cleared.
QImage TButtonGlyph::piece(int index) const
{
    const QSize size = ImageSize();
    QImage image = m_glyph.copy(index * size.width(), 0, size.width(), size.height())
                       .convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = m_glyph.pixel(0, m_glyph.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == transparent || qAlpha(line[x]) == 0)
                line[x] = 0;
    }
    return image;
}

QImage TButtonGlyph::Emboss(const QImage& up, const TGlyphColors& colors)
{
    QImage out(up.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    const QRgb highlight = colors.Highlight.rgba();
    const QRgb shadow = colors.Shadow.rgba();
    for (int y = 0; y < up.height(); ++y)
        for (int x = 0; x < up.width(); ++x)
            if (qAlpha(up.pixel(x, y)) != 0 && x + 1 < out.width() && y + 1 < out.height())
                out.setPixel(x + 1, y + 1, highlight);
    for (int y = 0; y < up.height(); ++y)
        for (int x = 0; x < up.width(); ++x)
            if (qAlpha(up.pixel(x, y)) != 0)
                out.setPixel(x, y, shadow);
    return out;
}

QImage TButtonGlyph::Recolour(const QImage& disabled, const TGlyphColors& colors)
{
    QImage out = disabled.convertToFormat(QImage::Format_ARGB32);
    const QRgb white = qRgb(255, 255, 255);
    const QRgb grey = qRgb(128, 128, 128);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (line[x] == white)
                line[x] = colors.Highlight.rgba();
            else if (line[x] == grey)
                line[x] = colors.Shadow.rgba();
        }
    }
    return out;
}

QImage TButtonGlyph::StateImage(TButtonState state, const TGlyphColors& colors)
{
    const QSize size = ImageSize();
    if (size.isEmpty())
        return {};
    if (colors != m_colors) {
        releaseImages();
        m_colors = colors;
    }
    if (!m_list)
        m_list = m_cache->GetList(size);
    int& index = m_indexes[size_t(state)];
    if (index >= 0)
        return m_list->Image(index);

    QImage image;
    switch (state) {
    case bsUp:
        image = piece(0);
        break;
    case bsDisabled:
        image = m_numGlyphs >= 2 ? Recolour(piece(1), colors) : Emboss(piece(0), colors);
        break;
    case bsDown:
        image = piece(m_numGlyphs >= 3 ? 2 : 0);
        break;
    case bsExclusive:
        image = piece(m_numGlyphs >= 4 ? 3 : 0);
        break;
    }
    index = m_list->Add(image);
    return image;
}

void TButtonGlyph::Draw(QPainter& painter, QPoint at, TButtonState state,
                        const TGlyphColors& colors)
{
    const QImage image = StateImage(state, colors);
    if (!image.isNull())
        painter.drawImage(at, image);
}
