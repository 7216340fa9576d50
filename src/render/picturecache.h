// The pictures of the open document, each file read once.
//
// A picture in the prologue (a logo) is drawn on every page; reading and
// decoding its file for each of a thousand printed pages cost more than the
// pages. The render engine of a document keeps what the interpreter read,
// by path, so every page draws the same image, and the PDF writer, which
// knows an image by its cache key, writes it into the file once. Files
// that could not be read are not kept: a later page tries again. When the
// pictures kept grow past kMaxBytes (a report naming many large pictures),
// the oldest are dropped.
#pragma once

#include <QImage>
#include <cstdint>
#include <list>
#include <string>
#include <utility>

namespace kel {

class PictureCache
{
public:
    static constexpr int64_t kMaxBytes = int64_t(256) << 20;

    // The picture read earlier from `path`, or null.
    const QImage *find(const std::string &path) const;
    // Keeps a picture read from `path`; a null image is not kept.
    void keep(const std::string &path, const QImage &image);

private:
    std::list<std::pair<std::string, QImage>> m_images; // oldest first
    int64_t m_bytes = 0;
};

} // namespace kel
