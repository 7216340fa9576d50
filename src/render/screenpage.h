// The screen drawing of a page: the page picture at a zoom, with its link
// areas in pixels of the picture.
#pragma once

#include <QImage>
#include <QRect>
#include <string>
#include <vector>

namespace kel {

struct DocumentSettings;
class RenderEngine;

struct ScreenLink
{
    QRect pixels;
    std::string target;
};

struct ScreenPage
{
    QImage image;
    std::vector<ScreenLink> links;
};

// Pixels per twip at zoom 1: the screen shows 96 pixels per inch.
inline constexpr double kTwipsPerPixel = 15;

// The largest side of a page picture, in pixels: 300 % of the longest
// listed paper fits with room to spare, and a picture stays under 1 GB.
inline constexpr int kMaxPagePixels = 16000;

// The size of the page picture at `zoom`; empty when a side would be below 1
// or above kMaxPagePixels.
QSize pagePictureSize(const DocumentSettings &settings, double zoom);

// Draws page `page` (its start must be known) at `zoom` on white paper of
// the report's size (sides clamped to 1..kMaxPagePixels), margins applied
// through the origin. The image holds `devicePixelRatio` pixels for each
// pixel of that size (2 on a screen scaled to 200 %) and says so, so that
// it shows at the same size but sharper; link areas are in unscaled pixels.
ScreenPage drawScreenPage(RenderEngine &engine, int page, double zoom, double devicePixelRatio = 1);

// The design-mode column guides over a page picture: the page's left and top
// edges and a dotted line with name and value at every named position.
void drawGuides(QImage &image, const DocumentSettings &settings, double zoom);

} // namespace kel
