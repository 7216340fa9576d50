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

double RecordingSurface::drawText(std::string_view text, bool visible)
{
    if (visible)
        record("text " + point(currentX(), currentY()) + " \"" + std::string(text) + "\"");
    return textWidth(text);
}

void RecordingSurface::stateChanged(Change change, FontFlag flag)
{
    switch (change) {
    case Change::FontName:
        record("font " + font().name);
        break;
    case Change::FontSize:
        record("size " + num(font().size));
        break;
    case Change::FontFlag:
        record(std::string(flagName(flag)) + (font().flag(flag) ? " on" : " off"));
        break;
    case Change::ForeColor: {
        const QColor c = foreColor();
        record("color " + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," +
               std::to_string(c.blue()));
        break;
    }
    case Change::LineWidth:
        record("width " + num(lineWidth()));
        break;
    case Change::LineStyle:
        record(lineStyle() == LineStyle::Dotted ? "style dotted" : "style solid");
        break;
    }
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
