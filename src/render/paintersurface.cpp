#include "render/paintersurface.h"

#include "app/text.h"

#include <QGlyphRun>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace kel {
namespace {

constexpr double kTwipsPerInch = 1440;
// Device coordinates beyond this are not painted (QPainter converts to int
// in places and a page is never this large). Accepted coordinates stay
// within it; the page's margins could still carry a point beyond.
constexpr double kMaxDevice = 1.0e7;

bool inDeviceRange(const QPointF &p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::fabs(p.x()) <= kMaxDevice &&
           std::fabs(p.y()) <= kMaxDevice;
}

} // namespace

PainterSurface::PainterSurface(QPainter &painter, const PainterSurfaceOptions &options)
    : m_painter(painter), m_origin(options.origin),
      m_tables(options.glyphTables ? *options.glyphTables : m_ownTables)
{
    const QPaintDevice *device = painter.device();
    const int dpiX = device ? device->logicalDpiX() : 96;
    const int dpiY = device ? device->logicalDpiY() : 96;
    m_deviceUnitsPerTwipX = (dpiX > 0 ? dpiX : 96) / kTwipsPerInch;
    m_deviceUnitsPerTwipY = (dpiY > 0 ? dpiY : 96) / kTwipsPerInch;
    m_lineUnitInDevice = options.lineUnit > 0 ? options.lineUnit * m_deviceUnitsPerTwipX : 1.0;
    m_font.setFamily(fromCp1252(font().name));
    m_font.setPointSizeF(font().size);
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

const GlyphTable &PainterSurface::table()
{
    if (!m_table)
        m_table = &m_tables.table(m_font, *m_painter.device());
    return *m_table;
}

double PainterSurface::shapedWidth(std::string_view text)
{
    return m_shaped.width(
        text, [this](std::string_view t) { return metrics().horizontalAdvance(fromCp1252(t)); });
}

double PainterSurface::measureText(std::string_view text)
{
    const GlyphTable &t = table();
    return toTwips(t.simple(text) ? t.width(text) : shapedWidth(text));
}

double PainterSurface::lineHeight()
{
    return table().height / m_deviceUnitsPerTwipY;
}

double PainterSurface::drawText(std::string_view text, bool visible, std::optional<double> measured)
{
    if (text.empty())
        return 0;
    const GlyphTable &t = table();
    const QPointF at = toDevice(currentX(), currentY());
    visible = visible && inDeviceRange(at);
    if (!visible && measured)
        return *measured;
    if (!t.simple(text)) {
        const double width = shapedWidth(text);
        if (visible) {
            m_painter.setFont(m_font);
            m_painter.setPen(foreColor());
            m_painter.drawText(QPointF(at.x(), at.y() + t.ascent), fromCp1252(text));
        }
        return toTwips(width);
    }

    // One glyph run at the table's advances: no shaping, no decoding.
    m_runGlyphs.resize(text.size());
    m_runPositions.resize(text.size());
    double x = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        m_runGlyphs[i] = t.glyphs[b];
        m_runPositions[i] = QPointF(x, 0);
        x += t.advances[b];
    }
    if (visible) {
        QGlyphRun run;
        run.setRawFont(t.rawFont);
        run.setRawData(m_runGlyphs.data(), m_runPositions.data(),
                       static_cast<int>(m_runGlyphs.size()));
        m_painter.setPen(foreColor());
        const QPointF baseline(at.x(), at.y() + t.ascent);
        m_painter.drawGlyphRun(baseline, run);
        // The lines are drawn here, by Qt's own rule for text, from the
        // font's metrics in the painter's units: a glyph run's decorations
        // are placed in device pixels and then scaled again, so on a screen
        // of twice the density they land at twice their offset.
        if (m_font.underline() || m_font.strikeOut()) {
            const QFontMetricsF &fm = metrics();
            QPen pen(foreColor());
            pen.setWidthF(fm.lineWidth());
            pen.setCapStyle(Qt::FlatCap);
            m_painter.setPen(pen);
            const QLineF line(std::floor(baseline.x()), baseline.y(),
                              std::floor(baseline.x() + x), baseline.y());
            if (m_font.underline()) {
                double offset = std::ceil(fm.underlinePos()) + 0.5;
                if (fm.underlinePos() <= fm.descent())
                    offset = std::min(offset, fm.descent() - 0.5);
                m_painter.drawLine(line.translated(0, offset));
            }
            if (m_font.strikeOut())
                m_painter.drawLine(line.translated(0, -fm.ascent() / 3));
        }
    }
    return toTwips(x);
}

void PainterSurface::stateChanged(StateFlags changed)
{
    // The colour and the pen are taken when drawing; the font is kept.
    const SurfaceFont &f = font();
    if (changed & StateFlag::FontName)
        m_font.setFamily(fromCp1252(f.name));
    if (changed & StateFlag::FontSize)
        m_font.setPointSizeF(f.size);
    if (changed & StateFlag::Bold)
        m_font.setBold(f.bold);
    if (changed & StateFlag::Italic)
        m_font.setItalic(f.italic);
    if (changed & StateFlag::Underline)
        m_font.setUnderline(f.underline);
    if (changed & StateFlag::StrikeOut)
        m_font.setStrikeOut(f.strikeOut);
    if (!(changed & (kGlyphStateFlags | StateFlag::Underline | StateFlag::StrikeOut)))
        return;
    m_metrics.reset();
    m_table = nullptr;
    m_shaped.forget();
}

void PainterSurface::applyPen()
{
    QPen pen(foreColor());
    pen.setWidthF(lineWidth() * m_lineUnitInDevice);
    pen.setStyle(lineStyle() == LineStyle::Dotted ? Qt::DotLine : Qt::SolidLine);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
}

void PainterSurface::drawLine(double x1, double y1, double x2, double y2)
{
    const QPointF a = toDevice(x1, y1);
    const QPointF b = toDevice(x2, y2);
    if (!inDeviceRange(a) || !inDeviceRange(b))
        return;
    // Lines and boxes are drawn crisp, as a page of ruled forms expects.
    m_painter.setRenderHint(QPainter::Antialiasing, a.x() != b.x() && a.y() != b.y());
    applyPen();
    m_painter.drawLine(a, b);
}

bool PainterSurface::drawBox(double x1, double y1, double x2, double y2, bool filled)
{
    const QPointF a = toDevice(x1, y1);
    const QPointF b = toDevice(x2, y2);
    if (!inDeviceRange(a) || !inDeviceRange(b))
        return false;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    if (!filled) {
        applyPen();
        m_painter.drawRect(QRectF(a, b).normalized());
        return true;
    }
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
    m_painter.fillRect(QRectF(left, top, right - left, bottom - top), foreColor());
    return true;
}

bool PainterSurface::drawCircle(double x, double y, double radius)
{
    const QPointF c = toDevice(x, y);
    const double r = radius * m_deviceUnitsPerTwipX;
    if (!inDeviceRange(c) || r > kMaxDevice)
        return false;
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    applyPen();
    m_painter.drawEllipse(c, r, r);
    return true;
}

bool PainterSurface::drawPicture(const QImage &image, double x, double y, double width,
                                 double height)
{
    const QPointF a = toDevice(x, y);
    const QPointF b = toDevice(x + width, y + height);
    if (!inDeviceRange(a) || !inDeviceRange(b))
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

void PainterSurface::clearPage()
{
    if (const QPaintDevice *device = m_painter.device())
        m_painter.fillRect(QRect(0, 0, device->width(), device->height()), Qt::white);
}

} // namespace kel
