// The drawing surface: every drawing of the engine goes through it.
//
// The markup interpreter is the one interpreter; a Surface is its output
// device (the viewer's page picture, a printer, a PDF file, a recording for
// tests). Units are twips of the surface: on the screen the interpreter has
// already multiplied page coordinates by the zoom factor, so a surface never
// knows the zoom. Font sizes are points, line widths are line units (one
// pixel of the 96-dpi screen, or one dot of the printer). Text is passed as
// Windows-1252 bytes; a surface decodes it where it draws it.
//
// Design: as a painter sits over its paint engine, the public calls are
// not virtual. They keep the drawing state (current point, font, colour,
// line width and style) and apply the one set of refusal rules below, so
// every device refuses exactly the same values; only then do they call the
// device's own protected hooks, which draw with values already checked.
#pragma once

#include <QColor>
#include <QFlags>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class QImage;

namespace kel {

enum class LineStyle { Solid, Dotted };
enum class FontFlag { Bold, Italic, Underline, StrikeOut };

// The parts of a surface's drawing state. A device learns which of them a
// change touched as these flags (stateChanged()), one change at a time.
enum class StateFlag : unsigned {
    FontName = 1u << 0,
    FontSize = 1u << 1,
    Bold = 1u << 2,
    Italic = 1u << 3,
    Underline = 1u << 4,
    StrikeOut = 1u << 5,
    ForeColor = 1u << 6,
    LineWidth = 1u << 7,
    LineStyle = 1u << 8,
};
Q_DECLARE_FLAGS(StateFlags, StateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(StateFlags)

// The parts that choose the glyphs and their advances: after a change of
// one of them a device measures text anew.
inline constexpr StateFlags kGlyphStateFlags =
    StateFlag::FontName | StateFlag::FontSize | StateFlag::Bold | StateFlag::Italic;
// The state flag of a font flag.
StateFlag stateFlagOf(FontFlag flag);

// Beyond these a surface refuses a value (the markup's failure message) or
// skips a drawing without one (text, lines): they keep painters away from
// integer overflow and sizes no paper has. 2^23 twips (about 145 m) stays
// within the painters' integer range even on a 1440-dpi device.
inline constexpr double kMaxFontSize = 2160;        // points, after zoom
inline constexpr double kMaxCoordinate = 8388608.0; // twips, either sign
inline constexpr double kMaxLineWidth = 32767;      // line units
inline constexpr size_t kMaxFontNameLength = 255;   // bytes

// True for a font size a surface accepts: above 0 and at most kMaxFontSize.
bool acceptedFontSize(double points);
// True for a finite coordinate within kMaxCoordinate.
bool acceptedCoordinate(double twips);
// True for a font name a surface accepts: not empty, not absurdly long.
// Unknown families are accepted; the font system substitutes them.
bool acceptedFontName(std::string_view name);
// A line width brought into 1..kMaxLineWidth.
double boundedLineWidth(double units);

// The font in force: a family name (bytes as written in the markup), a size
// in points and the four attributes.
struct SurfaceFont
{
    std::string name = "arial";
    double size = 8;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;

    bool flag(FontFlag f) const;
};

class Surface
{
public:
    virtual ~Surface() = default;

    // The current point: where the next text starts (its top left corner).
    double currentX() const { return m_x; }
    double currentY() const { return m_y; }
    void setCurrentX(double x) { m_x = x; }
    void setCurrentY(double y) { m_y = y; }

    // Size of the text in the current font, in twips; the height is that of
    // one line of text whatever the bytes.
    double textWidth(std::string_view text);
    double textHeight(std::string_view text);
    // Draws the text at the current point in the current font, colour and
    // attributes; current x moves to its end, current y stays. Text at a
    // point outside kMaxCoordinate is not drawn, but x still moves.
    void print(std::string_view text);
    // The same for text whose textWidth() in the current font is `width`,
    // so that a text measured before it is placed is not measured again.
    void print(std::string_view text, double width);

    // False when the value is refused; the font is then unchanged.
    bool setFontName(std::string_view name);
    bool setFontSize(double points);
    void setFontFlag(FontFlag flag, bool on);
    const SurfaceFont &font() const { return m_font; }

    QColor foreColor() const { return m_color; }
    void setForeColor(const QColor &color);
    // At least 1 and at most kMaxLineWidth; other values are brought into range.
    void setLineWidth(double units);
    double lineWidth() const { return m_lineWidth; }
    void setLineStyle(LineStyle style);
    LineStyle lineStyle() const { return m_lineStyle; }

    // A line in the fore colour, line width and style; the current point
    // moves to its end. A line with a refused coordinate is not drawn.
    void line(double x1, double y1, double x2, double y2);
    // The outline, or the rectangle filled with the fore colour, between two
    // corners given in any order. The current point is not moved. False
    // when a coordinate is refused (nothing is drawn).
    bool box(double x1, double y1, double x2, double y2);
    bool filledBox(double x1, double y1, double x2, double y2);
    // The outline of a circle in the fore colour. False when refused (a
    // refused coordinate or a negative radius).
    bool circle(double x, double y, double radius);
    // The image stretched into the rectangle (negative sizes mirror it).
    // False when refused: a null image, or a refused coordinate of either
    // corner.
    bool paintPicture(const QImage &image, double x, double y, double width, double height);
    // Empties the page (white paper) and puts the current point at 0, 0.
    void clear();

protected:
    // The device's own measuring and drawing, with values already checked.
    virtual double measureText(std::string_view text) = 0;
    virtual double lineHeight() = 0;
    // Draws at the current point (accepted coordinates) or only measures
    // (`visible` false); returns the text's advance in twips. `measured`,
    // when given, is what measureText() gave for the text in this font.
    virtual double drawText(std::string_view text, bool visible,
                            std::optional<double> measured) = 0;
    virtual void drawLine(double x1, double y1, double x2, double y2) = 0;
    // A device may still refuse what it cannot draw (false).
    virtual bool drawBox(double x1, double y1, double x2, double y2, bool filled) = 0;
    virtual bool drawCircle(double x, double y, double radius) = 0;
    virtual bool drawPicture(const QImage &image, double x, double y, double width,
                             double height) = 0;
    virtual void clearPage() = 0;
    // After a change of the drawing state: the part changed.
    virtual void stateChanged(StateFlags /*changed*/) {}

private:
    double m_x = 0;
    double m_y = 0;
    SurfaceFont m_font;
    QColor m_color = Qt::black;
    double m_lineWidth = 1;
    LineStyle m_lineStyle = LineStyle::Solid;
};

} // namespace kel
