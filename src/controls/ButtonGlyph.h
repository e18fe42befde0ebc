#pragma once
// TButtonGlyph is the picture of a glyph button: one to four images side by side
// (up, disabled, down, exclusive), from which it prepares the image for each state on
// first use and keeps it in the shared list of its size. Owned by its button.

#include "controls/GlyphCache.h"

#include <QColor>
#include <QImage>
#include <QPoint>

#include <array>
#include <memory>

class QPainter;

enum TButtonState
{
    bsUp,
    bsDisabled,
    bsDown,
    bsExclusive
};

// The palette shades a state image is made with.
struct TGlyphColors
{
    QColor Face;
    QColor Highlight;
    QColor Shadow;
    bool operator==(const TGlyphColors&) const = default;
};

class TButtonGlyph
{
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    const QImage& Glyph() const { return m_glyph; }
    void setGlyph(const QImage& glyph);
    int NumGlyphs() const { return m_numGlyphs; }
    // 1 to 4; larger values count as 4, values below 1 are refused (the glyph width
    // is divided by this number).
    void setNumGlyphs(int count);

    // The size of one image: the glyph's width divided by NumGlyphs, its height; 0 x 0
    // without a glyph.
    QSize ImageSize() const;
    // The image for `state`, transparent where the glyph has its transparent colour
    // (the colour of its bottom-left pixel) or no alpha.
    QImage StateImage(TButtonState state, const TGlyphColors& colors);
    void Draw(QPainter& painter, QPoint at, TButtonState state, const TGlyphColors& colors);

    // The disabled look made from the up image: its shape in the highlight colour one
    // pixel right and down, then in the shadow colour in place.
    static QImage Emboss(const QImage& up, const TGlyphColors& colors);
    // A supplied disabled image in the palette's shades: white becomes highlight,
    // grey (128, 128, 128) shadow.
    static QImage Recolour(const QImage& disabled, const TGlyphColors& colors);

private:
    void releaseImages();
    QImage piece(int index) const;

    QImage m_glyph;
    int m_numGlyphs = 1;
    std::shared_ptr<TGlyphCache> m_cache;
    std::shared_ptr<TGlyphList> m_list;
    std::array<int, 4> m_indexes{-1, -1, -1, -1};
    TGlyphColors m_colors;
};
