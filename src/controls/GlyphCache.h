#pragma once
// TGlyphCache shares one TGlyphList per image size among all button glyphs of the
// process. Each glyph holds the cache and its list; a list goes when its last glyph
// lets go of it, the cache when the last glyph is destroyed. Interface thread only.

#include "controls/GlyphList.h"

#include <map>
#include <memory>
#include <utility>

class TGlyphCache
{
public:
    // The process's cache, made when no glyph holds one.
    static std::shared_ptr<TGlyphCache> Instance();
    // Whether a cache exists now (no glyph object alive means none).
    static bool Exists();

    // The list for images of `size`, shared with every other glyph of that size.
    std::shared_ptr<TGlyphList> GetList(QSize size);
    // Number of lists some glyph still uses.
    int ListCount() const;

private:
    std::map<std::pair<int, int>, std::weak_ptr<TGlyphList>> m_lists;
};
