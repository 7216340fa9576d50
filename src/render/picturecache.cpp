#include "render/picturecache.h"

namespace kel {

const QImage *PictureCache::find(const std::string &path) const
{
    for (const auto &[kept, image] : m_images) {
        if (kept == path)
            return &image;
    }
    return nullptr;
}

void PictureCache::keep(const std::string &path, const QImage &image)
{
    if (image.isNull() || find(path))
        return;
    m_bytes += image.sizeInBytes();
    m_images.emplace_back(path, image);
    while (m_bytes > kMaxBytes && m_images.size() > 1) {
        m_bytes -= m_images.front().second.sizeInBytes();
        m_images.pop_front();
    }
}

} // namespace kel
