#include "controls/GlyphList.h"

int TGlyphList::Add(const QImage& image)
{
    ++m_count;
    if (!m_free.empty()) {
        const int index = m_free.back();
        m_free.pop_back();
        m_images[size_t(index)] = image;
        return index;
    }
    m_images.push_back(image);
    return int(m_images.size()) - 1;
}

void TGlyphList::Delete(int index)
{
    if (index < 0 || size_t(index) >= m_images.size() || m_images[size_t(index)].isNull())
        return;
    m_images[size_t(index)] = QImage();
    m_free.push_back(index);
    --m_count;
}

QImage TGlyphList::Image(int index) const
{
    if (index < 0 || size_t(index) >= m_images.size())
        return {};
    return m_images[size_t(index)];
}
