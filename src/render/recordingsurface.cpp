#include "render/recordingsurface.h"

#include "app/text.h"

#include <QImage>
#include <cmath>

namespace kel {
namespace {

std::string num(double v)
{
    return RecordingSurface::formatValue(v);
}

std::string point(double x, double y)
{
    return num(x) + "," + num(y);
}

const char *flagName(FontFlag flag)
{
    switch (flag) {
    case FontFlag::Bold:
        return "bold";
    case FontFlag::Italic:
        return "italic";
    case FontFlag::Underline:
        return "underline";
    case FontFlag::StrikeOut:
        return "strikeout";
    }
    return "?";
}

} // namespace

// Two decimals at most, so that traces stay stable across compilers.
std::string RecordingSurface::formatValue(double v)
{
    if (!std::isfinite(v))
        return v != v ? "nan" : (v > 0 ? "inf" : "-inf");
    double r = std::round(v * 100) / 100;
    if (r == 0)
        r = 0; // no "-0"
    return formatNumber(r);
}

void RecordingSurface::record(std::string line)
{
    m_lines.push_back(std::move(line));
}

double RecordingSurface::textWidth(std::string_view text)
{
    return static_cast<double>(text.size()) * m_fontSize * kWidthPerPoint;
}

double RecordingSurface::textHeight(std::string_view)
{
    return m_fontSize * kHeightPerPoint;
}

void RecordingSurface::print(std::string_view text)
{
    record("text " + point(m_x, m_y) + " \"" + std::string(text) + "\"");
    m_x += textWidth(text);
}

bool RecordingSurface::setFontName(std::string_view name)
{
    if (!acceptedFontName(name))
        return false;
    record("font " + std::string(name));
    return true;
}

bool RecordingSurface::setFontSize(double points)
{
    if (!acceptedFontSize(points))
        return false;
    m_fontSize = points;
    record("size " + num(points));
    return true;
}

void RecordingSurface::setFontFlag(FontFlag flag, bool on)
{
    record(std::string(flagName(flag)) + (on ? " on" : " off"));
}

void RecordingSurface::setForeColor(const QColor &color)
{
    m_color = color;
    record("color " + std::to_string(color.red()) + "," + std::to_string(color.green()) + "," +
           std::to_string(color.blue()));
}

void RecordingSurface::setLineWidth(double units)
{
    m_lineWidth = boundedLineWidth(units);
    record("width " + num(m_lineWidth));
}

void RecordingSurface::setLineStyle(LineStyle style)
{
    record(style == LineStyle::Dotted ? "style dotted" : "style solid");
}

void RecordingSurface::line(double x1, double y1, double x2, double y2)
{
    record("line " + point(x1, y1) + " " + point(x2, y2));
    m_x = x2;
    m_y = y2;
}

bool RecordingSurface::box(double x1, double y1, double x2, double y2)
{
    if (!acceptedCoordinate(x1) || !acceptedCoordinate(y1) || !acceptedCoordinate(x2) ||
        !acceptedCoordinate(y2))
        return false;
    record("box " + point(x1, y1) + " " + point(x2, y2));
    return true;
}

bool RecordingSurface::filledBox(double x1, double y1, double x2, double y2)
{
    if (!acceptedCoordinate(x1) || !acceptedCoordinate(y1) || !acceptedCoordinate(x2) ||
        !acceptedCoordinate(y2))
        return false;
    record("fill " + point(x1, y1) + " " + point(x2, y2));
    return true;
}

bool RecordingSurface::circle(double x, double y, double radius)
{
    if (!acceptedCoordinate(x) || !acceptedCoordinate(y) || !acceptedCoordinate(radius) ||
        radius < 0)
        return false;
    record("circle " + point(x, y) + " " + num(radius));
    return true;
}

bool RecordingSurface::paintPicture(const QImage &image, double x, double y, double width,
                                    double height)
{
    if (!acceptedCoordinate(x) || !acceptedCoordinate(y) || !acceptedCoordinate(width) ||
        !acceptedCoordinate(height))
        return false;
    record("picture " + point(x, y) + " " + point(width, height) + " " +
           std::to_string(image.width()) + "x" + std::to_string(image.height()));
    return true;
}

void RecordingSurface::clear()
{
    record("clear");
    m_x = 0;
    m_y = 0;
}

} // namespace kel
