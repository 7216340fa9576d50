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

double RecordingSurface::measureText(std::string_view text)
{
    return static_cast<double>(text.size()) * font().size * kWidthPerPoint;
}

double RecordingSurface::lineHeight()
{
    return font().size * kHeightPerPoint;
}

double RecordingSurface::drawText(std::string_view text, bool visible,
                                  std::optional<double> measured)
{
    if (visible)
        record("text " + point(currentX(), currentY()) + " \"" + std::string(text) + "\"");
    return measured ? *measured : textWidth(text);
}

void RecordingSurface::stateChanged(StateFlags changed)
{
    // One line per part changed, in the order of the flags.
    if (changed & StateFlag::FontName)
        record("font " + font().name);
    if (changed & StateFlag::FontSize)
        record("size " + num(font().size));
    for (FontFlag flag :
         {FontFlag::Bold, FontFlag::Italic, FontFlag::Underline, FontFlag::StrikeOut}) {
        if (changed & stateFlagOf(flag))
            record(std::string(flagName(flag)) + (font().flag(flag) ? " on" : " off"));
    }
    if (changed & StateFlag::ForeColor) {
        const QColor c = foreColor();
        record("color " + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," +
               std::to_string(c.blue()));
    }
    if (changed & StateFlag::LineWidth)
        record("width " + num(lineWidth()));
    if (changed & StateFlag::LineStyle)
        record(lineStyle() == LineStyle::Dotted ? "style dotted" : "style solid");
}

void RecordingSurface::drawLine(double x1, double y1, double x2, double y2)
{
    record("line " + point(x1, y1) + " " + point(x2, y2));
}

bool RecordingSurface::drawBox(double x1, double y1, double x2, double y2, bool filled)
{
    record((filled ? "fill " : "box ") + point(x1, y1) + " " + point(x2, y2));
    return true;
}

bool RecordingSurface::drawCircle(double x, double y, double radius)
{
    record("circle " + point(x, y) + " " + num(radius));
    return true;
}

bool RecordingSurface::drawPicture(const QImage &image, double x, double y, double width,
                                   double height)
{
    record("picture " + point(x, y) + " " + point(width, height) + " " +
           std::to_string(image.width()) + "x" + std::to_string(image.height()));
    return true;
}

void RecordingSurface::clearPage()
{
    record("clear");
}

} // namespace kel
