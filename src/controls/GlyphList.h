#pragma once
// TGlyphList holds the prepared state images of one size for all button glyphs of
// that size. Glyphs add their images and delete them when they let go; a slot that
// was deleted is reused. Owned jointly by the glyphs through TGlyphCache.

#include <QImage>
#include <QSize>

#include <vector>

class TGlyphList
{
public:
    explicit TGlyphList(QSize size) : m_size(size) {}
    TGlyphList(const TGlyphList&) = delete;
    TGlyphList& operator=(const TGlyphList&) = delete;

    QSize Size() const { return m_size; }
    // Stores an image of Size() and returns its index.
    int Add(const QImage& image);
    void Delete(int index);
    // The image at `index`; an empty image for an index that holds none.
    QImage Image(int index) const;
    // Number of images held.
    int Count() const { return m_count; }

private:
    QSize m_size;
    std::vector<QImage> m_images;
    std::vector<int> m_free;
    int m_count = 0;
};
