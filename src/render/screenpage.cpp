#include "render/screenpage.h"

#include "documents/opening.h"
#include "render/pagewalk.h"
#include "render/paintersurface.h"

#include <QPainter>
#include <QSize>
#include <algorithm>
#include <cmath>

namespace kel {
namespace {

QImage blankPage(const DocumentSettings &s, double zoom, double ratio)
{
    const int w =
        std::clamp(static_cast<int>(std::lround(s.pageWidth * zoom * ratio / kTwipsPerPixel)), 1,
                   kMaxPagePixels);
    const int h =
        std::clamp(static_cast<int>(std::lround(s.pageLength * zoom * ratio / kTwipsPerPixel)), 1,
                   kMaxPagePixels);
    QImage image(w, h, QImage::Format_RGB32);
    image.setDotsPerMeterX(3780); // 96 dots per inch
    image.setDotsPerMeterY(3780);
    image.setDevicePixelRatio(ratio); // painting below is in unscaled pixels
    image.fill(Qt::white);
    return image;
}

PainterSurfaceOptions screenOptions(const DocumentSettings &s, double zoom)
{
    PainterSurfaceOptions options;
    options.origin = QPointF(s.leftMargin * zoom, s.topMargin * zoom);
    options.lineUnit = kTwipsPerPixel;
    return options;
}

} // namespace

QSize pagePictureSize(const DocumentSettings &s, double zoom)
{
    const double w = std::round(s.pageWidth * zoom / kTwipsPerPixel);
    const double h = std::round(s.pageLength * zoom / kTwipsPerPixel);
    if (!(w >= 1 && h >= 1 && w <= kMaxPagePixels && h <= kMaxPagePixels))
        return {};
    return QSize(static_cast<int>(w), static_cast<int>(h));
}

ScreenPage drawScreenPage(RenderEngine &engine, int page, double zoom, double devicePixelRatio)
{
    const DocumentSettings &s = engine.document().settings;
    ScreenPage out;
    out.image = blankPage(s, zoom, devicePixelRatio > 0 ? devicePixelRatio : 1);
    engine.drawing().zoomFactor = zoom;
    {
        QPainter painter(&out.image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                               QPainter::SmoothPixmapTransform);
        PainterSurface surface(painter, screenOptions(s, zoom));
        engine.drawPage(page, surface);
    }
    const QPointF origin = screenOptions(s, zoom).origin;
    for (const LinkArea &area : engine.linkAreas().areas()) {
        const QRectF r = area.rect.translated(origin);
        out.links.push_back({QRectF(r.x() / kTwipsPerPixel, r.y() / kTwipsPerPixel,
                                    r.width() / kTwipsPerPixel, r.height() / kTwipsPerPixel)
                                 .toAlignedRect(),
                             area.target});
    }
    return out;
}

void drawGuides(QImage &image, const DocumentSettings &s, double zoom)
{
    QPainter painter(&image);
    PainterSurface surface(painter, screenOptions(s, zoom));
    surface.setLineWidth(1);
    surface.setLineStyle(LineStyle::Dotted);
    surface.setForeColor(Qt::black);
    surface.line(0, 0, 0, s.pageLength * zoom);
    surface.line(0, 0, s.pageWidth * zoom, 0);
    surface.setFontName("arial");
    surface.setFontSize(8);
    for (const auto &[name, value] : s.namedPositions) {
        if (name.empty())
            continue;
        const double x = std::atof(value.c_str()) * zoom;
        surface.setLineStyle(LineStyle::Dotted);
        surface.line(x, 0, x, s.pageLength * zoom);
        surface.setCurrentX(x);
        surface.setCurrentY(100);
        surface.print(name);
        surface.setCurrentX(x);
        surface.setCurrentY(300);
        surface.print(value);
    }
}

} // namespace kel
