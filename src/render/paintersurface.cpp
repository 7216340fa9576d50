#include "render/paintersurface.h"

#include "app/text.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <cmath>

namespace kel {
namespace {

constexpr double kTwipsPerInch = 1440;
// Device coordinates beyond this are not painted (QPainter converts to int
// in places and a page is never this large).
constexpr double kMaxDevice = 1.0e7;

bool inDeviceRange(const QPointF &p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::fabs(p.x()) <= kMaxDevice &&
           std::fabs(p.y()) <= kMaxDevice;
}

} // namespace

PainterSurface::PainterSurface(QPainter &painter, const PainterSurfaceOptions &options)
    : m_painter(painter), m_origin(options.origin)
{
    const QPaintDevice *device = painter.device();
    const int dpiX = device ? device->logicalDpiX() : 96;
    const int dpiY = device ? device->logicalDpiY() : 96;
    m_deviceUnitsPerTwipX = (dpiX > 0 ? dpiX : 96) / kTwipsPerInch;
    m_deviceUnitsPerTwipY = (dpiY > 0 ? dpiY : 96) / kTwipsPerInch;
    m_lineUnitInDevice = options.lineUnit > 0 ? options.lineUnit * m_deviceUnitsPerTwipX : 1.0;
    m_font.setFamily(QStringLiteral("arial"));
    m_font.setPointSizeF(8);
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
}

QPointF PainterSurface::toDevice(double x, double y) const
{
    return {(x + m_origin.x()) * m_deviceUnitsPerTwipX, (y + m_origin.y()) * m_deviceUnitsPerTwipY};
}

double PainterSurface::toTwips(double deviceLength) const
{
    return deviceLength / m_deviceUnitsPerTwipX;
}

const QFontMetricsF &PainterSurface::metrics()
{
    if (!m_metrics)
        m_metrics.emplace(m_font, m_painter.device());
    return *m_metrics;
}

double PainterSurface::textWidth(std::string_view text)
{
    if (text.empty())
        return 0;
    return toTwips(metrics().horizontalAdvance(fromCp1252(text)));
}

double PainterSurface::textHeight(std::string_view)
{
    return metrics().height() / m_deviceUnitsPerTwipY;
}

void PainterSurface::print(std::string_view text)
{
    if (text.empty())
        return;
    const QString s = fromCp1252(text);
    const QFontMetricsF &fm = metrics();
    const double width = fm.horizontalAdvance(s);
    const QPointF at = toDevice(m_x, m_y);
    if (inDeviceRange(at)) {
        m_painter.setFont(m_font);
        m_painter.setPen(m_color);
        m_painter.drawText(QPointF(at.x(), at.y() + fm.ascent()), s);
    }
    m_x += toTwips(width);
}

bool PainterSurface::setFontName(std::string_view name)
{
    if (!acceptedFontName(name))
        return false;
    m_font.setFamily(fromCp1252(name));
    m_metrics.reset();
    return true;
}

bool PainterSurface::setFontSize(double points)
{
    if (!acceptedFontSize(points))
        return false;
    m_font.setPointSizeF(points);
    m_metrics.reset();
    return true;
}

void PainterSurface::setFontFlag(FontFlag flag, bool on)
{
    switch (flag) {
    case FontFlag::Bold:
        m_font.setBold(on);
        break;
    case FontFlag::Italic:
        m_font.setItalic(on);
        break;
    case FontFlag::Underline:
        m_font.setUnderline(on);
        break;
    case FontFlag::StrikeOut:
        m_font.setStrikeOut(on);
        break;
    }
    m_metrics.reset();
}

void PainterSurface::setLineWidth(double units)
{
    m_lineWidth = boundedLineWidth(units);
}

void PainterSurface::applyPen()
{
    QPen pen(m_color);
    pen.setWidthF(m_lineWidth * m_lineUnitInDevice);
    pen.setStyle(m_lineStyle == LineStyle::Dotted ? Qt::DotLine : Qt::SolidLine);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
}

void PainterSurface::line(double x1, double y1, double x2, double y2)
{
    const QPointF a = toDevice(x1, y1);
    const QPointF b = toDevice(x2, y2);
    if (inDeviceRange(a) && inDeviceRange(b)) {
        // Lines and boxes are drawn crisp, as a page of ruled forms expects.
        m_painter.setRenderHint(QPainter::Antialiasing, a.x() != b.x() && a.y() != b.y());
        applyPen();
        m_painter.drawLine(a, b);
    }
    m_x = x2;
    m_y = y2;
}

bool PainterSurface::box(double x1, double y1, double x2, double y2)
{
    const QPointF a = toDevice(x1, y1);
    const QPointF b = toDevice(x2, y2);
    if (!acceptedCoordinate(x1) || !acceptedCoordinate(y1) || !acceptedCoordinate(x2) ||
        !acceptedCoordinate(y2) || !inDeviceRange(a) || !inDeviceRange(b))
        return false;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    applyPen();
    m_painter.drawRect(QRectF(a, b).normalized());
    return true;
}

bool PainterSurface::filledBox(double x1, double y1, double x2, double y2)
{
    const QPointF a = toDevice(x1, y1);
    const QPointF b = toDevice(x2, y2);
    if (!acceptedCoordinate(x1) || !acceptedCoordinate(y1) || !acceptedCoordinate(x2) ||
        !acceptedCoordinate(y2) || !inDeviceRange(a) || !inDeviceRange(b))
        return false;
    // Edges snap to whole device units, and a box with any width or height
    // keeps at least one unit of it, so that thin bars never vanish.
    double left = std::round(std::min(a.x(), b.x()));
    double right = std::round(std::max(a.x(), b.x()));
    double top = std::round(std::min(a.y(), b.y()));
    double bottom = std::round(std::max(a.y(), b.y()));
    if (right == left && a.x() != b.x())
        right = left + 1;
    if (bottom == top && a.y() != b.y())
        bottom = top + 1;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.fillRect(QRectF(left, top, right - left, bottom - top), m_color);
    return true;
}

bool PainterSurface::circle(double x, double y, double radius)
{
    const QPointF c = toDevice(x, y);
    const double r = radius * m_deviceUnitsPerTwipX;
    if (!acceptedCoordinate(x) || !acceptedCoordinate(y) || !acceptedCoordinate(radius) ||
        radius < 0 || !inDeviceRange(c) || r > kMaxDevice)
        return false;
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    applyPen();
    m_painter.drawEllipse(c, r, r);
    return true;
}

bool PainterSurface::paintPicture(const QImage &image, double x, double y, double width,
                                  double height)
{
    const QPointF a = toDevice(x, y);
    const QPointF b = toDevice(x + width, y + height);
    if (!acceptedCoordinate(x) || !acceptedCoordinate(y) || !acceptedCoordinate(width) ||
        !acceptedCoordinate(height) || !inDeviceRange(a) || !inDeviceRange(b))
        return false;
    if (image.isNull())
        return false;
    if (width == 0 || height == 0)
        return true;
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    // A negative size mirrors the picture, as the rectangle runs backwards.
    const QRectF target = QRectF(a, b);
    QImage shown = image;
    if (target.width() < 0 || target.height() < 0)
        shown = image.mirrored(target.width() < 0, target.height() < 0);
    m_painter.drawImage(target.normalized(), shown);
    return true;
}

void PainterSurface::clear()
{
    if (const QPaintDevice *device = m_painter.device())
        m_painter.fillRect(QRect(0, 0, device->width(), device->height()), Qt::white);
    m_x = 0;
    m_y = 0;
}

} // namespace kel
