#include "render/surface.h"

#include <QImage>
#include <cmath>

namespace kel {

bool acceptedFontSize(double points)
{
    return std::isfinite(points) && points > 0 && points <= kMaxFontSize;
}

bool acceptedCoordinate(double twips)
{
    return std::isfinite(twips) && std::fabs(twips) <= kMaxCoordinate;
}

bool acceptedFontName(std::string_view name)
{
    return !name.empty() && name.size() <= kMaxFontNameLength;
}

double boundedLineWidth(double units)
{
    if (!(units >= 1)) // NaN included
        return 1;
    return units > kMaxLineWidth ? kMaxLineWidth : units;
}

namespace {

// The member of `font` that holds the flag (const or not, as `font` is).
template <typename Font> auto &flagField(Font &font, FontFlag f)
{
    switch (f) {
    case FontFlag::Bold:
        return font.bold;
    case FontFlag::Italic:
        return font.italic;
    case FontFlag::Underline:
        return font.underline;
    case FontFlag::StrikeOut:
        break;
    }
    return font.strikeOut;
}

bool acceptedPoints(std::initializer_list<double> values)
{
    for (double v : values) {
        if (!acceptedCoordinate(v))
            return false;
    }
    return true;
}

} // namespace

StateFlag stateFlagOf(FontFlag flag)
{
    switch (flag) {
    case FontFlag::Bold:
        return StateFlag::Bold;
    case FontFlag::Italic:
        return StateFlag::Italic;
    case FontFlag::Underline:
        return StateFlag::Underline;
    case FontFlag::StrikeOut:
        break;
    }
    return StateFlag::StrikeOut;
}

bool SurfaceFont::flag(FontFlag f) const
{
    return flagField(*this, f);
}

double Surface::textWidth(std::string_view text)
{
    return text.empty() ? 0 : measureText(text);
}

double Surface::textHeight(std::string_view)
{
    return lineHeight();
}

void Surface::print(std::string_view text)
{
    m_x += drawText(text, acceptedPoints({m_x, m_y}), std::nullopt);
}

void Surface::print(std::string_view text, double width)
{
    m_x += drawText(text, acceptedPoints({m_x, m_y}), width);
}

bool Surface::setFontName(std::string_view name)
{
    if (!acceptedFontName(name))
        return false;
    m_font.name = std::string(name);
    stateChanged(StateFlag::FontName);
    return true;
}

bool Surface::setFontSize(double points)
{
    if (!acceptedFontSize(points))
        return false;
    m_font.size = points;
    stateChanged(StateFlag::FontSize);
    return true;
}

void Surface::setFontFlag(FontFlag flag, bool on)
{
    flagField(m_font, flag) = on;
    stateChanged(stateFlagOf(flag));
}

void Surface::setForeColor(const QColor &color)
{
    m_color = color;
    stateChanged(StateFlag::ForeColor);
}

void Surface::setLineWidth(double units)
{
    m_lineWidth = boundedLineWidth(units);
    stateChanged(StateFlag::LineWidth);
}

void Surface::setLineStyle(LineStyle style)
{
    m_lineStyle = style;
    stateChanged(StateFlag::LineStyle);
}

void Surface::line(double x1, double y1, double x2, double y2)
{
    if (acceptedPoints({x1, y1, x2, y2}))
        drawLine(x1, y1, x2, y2);
    m_x = x2;
    m_y = y2;
}

bool Surface::box(double x1, double y1, double x2, double y2)
{
    return acceptedPoints({x1, y1, x2, y2}) && drawBox(x1, y1, x2, y2, false);
}

bool Surface::filledBox(double x1, double y1, double x2, double y2)
{
    return acceptedPoints({x1, y1, x2, y2}) && drawBox(x1, y1, x2, y2, true);
}

bool Surface::circle(double x, double y, double radius)
{
    return acceptedPoints({x, y, radius}) && radius >= 0 && drawCircle(x, y, radius);
}

bool Surface::paintPicture(const QImage &image, double x, double y, double width, double height)
{
    return !image.isNull() && acceptedPoints({x, y, width, height, x + width, y + height}) &&
           drawPicture(image, x, y, width, height);
}

void Surface::clear()
{
    clearPage();
    m_x = 0;
    m_y = 0;
}

} // namespace kel
