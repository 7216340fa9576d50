// The drawing surface: every drawing of the engine goes through it.
//
// The markup interpreter is the one interpreter; a Surface is its output
// device (the viewer's page picture, a printer, a PDF file, a recording for
// tests). Units are twips of the surface: on the screen the interpreter has
// already multiplied page coordinates by the zoom factor, so a surface never
// knows the zoom. Font sizes are points, line widths are line units (one
// pixel of the 96-dpi screen, or one dot of the printer). Text is passed as
// Windows-1252 bytes; a surface decodes it where it draws it.
#pragma once

#include <QColor>
#include <cstddef>
#include <string_view>

class QImage;

namespace kel {

enum class LineStyle { Solid, Dotted };
enum class FontFlag { Bold, Italic, Underline, StrikeOut };

// Beyond these a surface refuses a value (the markup's failure message) or
// skips a drawing without one (text, lines): they keep painters away from
// integer overflow and sizes no paper has.
inline constexpr double kMaxFontSize = 2160;         // points, after zoom
inline constexpr double kMaxCoordinate = 16777216.0; // twips, either sign
inline constexpr double kMaxLineWidth = 32767;       // line units
inline constexpr size_t kMaxFontNameLength = 255;    // bytes

// True for a font size a surface accepts: above 0 and at most kMaxFontSize.
bool acceptedFontSize(double points);
// True for a finite coordinate within kMaxCoordinate.
bool acceptedCoordinate(double twips);
// True for a font name a surface accepts: not empty, not absurdly long.
// Unknown families are accepted; the font system substitutes them.
bool acceptedFontName(std::string_view name);
// A line width brought into 1..kMaxLineWidth.
double boundedLineWidth(double units);

class Surface
{
public:
    virtual ~Surface() = default;

    // The current point: where the next text starts (its top left corner).
    virtual double currentX() const = 0;
    virtual double currentY() const = 0;
    virtual void setCurrentX(double x) = 0;
    virtual void setCurrentY(double y) = 0;

    // Size of the text in the current font, in twips; the height is that of
    // one line of text whatever the bytes.
    virtual double textWidth(std::string_view text) = 0;
    virtual double textHeight(std::string_view text) = 0;
    // Draws the text at the current point in the current font, colour and
    // attributes; current x moves to its end, current y stays.
    virtual void print(std::string_view text) = 0;

    // False when the surface refuses the value; the font is then unchanged.
    virtual bool setFontName(std::string_view name) = 0;
    virtual bool setFontSize(double points) = 0;
    virtual void setFontFlag(FontFlag flag, bool on) = 0;

    virtual QColor foreColor() const = 0;
    virtual void setForeColor(const QColor &color) = 0;
    // At least 1 and at most kMaxLineWidth; other values are brought into range.
    virtual void setLineWidth(double units) = 0;
    virtual double lineWidth() const = 0;
    virtual void setLineStyle(LineStyle style) = 0;

    // A line in the fore colour, line width and style; the current point
    // moves to its end.
    virtual void line(double x1, double y1, double x2, double y2) = 0;
    // The outline, or the rectangle filled with the fore colour, between two
    // corners given in any order. The current point is not moved. False
    // when a coordinate is refused (nothing is drawn).
    virtual bool box(double x1, double y1, double x2, double y2) = 0;
    virtual bool filledBox(double x1, double y1, double x2, double y2) = 0;
    // The outline of a circle in the fore colour. False when refused.
    virtual bool circle(double x, double y, double radius) = 0;
    // The image stretched into the rectangle (negative sizes mirror it).
    // False when refused.
    virtual bool paintPicture(const QImage &image, double x, double y, double width,
                              double height) = 0;
    // Empties the page (white paper) and puts the current point at 0, 0.
    virtual void clear() = 0;
};

} // namespace kel
