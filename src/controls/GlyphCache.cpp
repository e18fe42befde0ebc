#include "controls/GlyphCache.h"

namespace {
std::weak_ptr<TGlyphCache>& current()
{
    static std::weak_ptr<TGlyphCache> cache;
    return cache;
}
} // namespace

std::shared_ptr<TGlyphCache> TGlyphCache::Instance()
{
    std::shared_ptr<TGlyphCache> cache = current().lock();
    if (!cache) {
        cache = std::make_shared<TGlyphCache>();
        current() = cache;
    }
    return cache;
}

bool TGlyphCache::Exists()
{
    return !current().expired();
}

std::shared_ptr<TGlyphList> TGlyphCache::GetList(QSize size)
{
    const auto key = std::make_pair(size.width(), size.height());
    std::shared_ptr<TGlyphList> list = m_lists[key].lock();
    if (!list) {
        list = std::make_shared<TGlyphList>(size);
        m_lists[key] = list;
    }
    // Forget lists nobody holds any more, so the map does not grow with every size
    // ever seen.
    std::erase_if(m_lists, [](const auto& entry) { return entry.second.expired(); });
    return list;
}

int TGlyphCache::ListCount() const
{
    int n = 0;
    for (const auto& entry : m_lists)
        n += entry.second.expired() ? 0 : 1;
    return n;
}
