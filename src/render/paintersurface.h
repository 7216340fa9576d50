// A surface over a QPainter: a QImage for the screen, a QPrinter for paper.
//
// The painter keeps its default coordinates (device units); the surface maps
// twips to device units itself with the device's logical resolution. Fonts
// are set in points and QFont converts points at that same resolution, so a
// size is never scaled twice (8-point text is 8 points on a 96-dpi image and
// on a 1200-dpi printer alike). The painter and its device are not owned and
// must outlive the surface; the painter must be active.
//
// Text is measured and drawn from the glyph table of the font on the
// device (glyph runs at the table's advances); text with a byte the table
// cannot serve is shaped by Qt, measured once and drawn as measured.
#pragma once

#include "render/glyphtable.h"
#include "render/surface.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPointF>
#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace kel {

struct PainterSurfaceOptions
{
    // Where twip 0, 0 lies on the device, in twips from the device's top left
    // corner: the margins of the page.
    QPointF origin;
    // Twips per line unit. 15 is one pixel of the 96-dpi screen; 0 takes one
    // device unit (a printer dot).
    double lineUnit = 0;
    // Glyph tables shared with other surfaces on devices of the same
    // resolution (not owned; it must outlive the surface). Null: the
    // surface keeps its own.
    GlyphTables *glyphTables = nullptr;
};

class PainterSurface : public Surface
{
public:
    PainterSurface(QPainter &painter, const PainterSurfaceOptions &options);

protected:
    double measureText(std::string_view text) override;
    double lineHeight() override;
    double drawText(std::string_view text, bool visible, std::optional<double> measured) override;
    void drawLine(double x1, double y1, double x2, double y2) override;
    bool drawBox(double x1, double y1, double x2, double y2, bool filled) override;
    bool drawCircle(double x, double y, double radius) override;
    bool drawPicture(const QImage &image, double x, double y, double width, double height) override;
    void clearPage() override;
    void stateChanged(StateFlags changed) override;

private:
    QPointF toDevice(double x, double y) const;
    double toTwips(double deviceLength) const;
    const QFontMetricsF &metrics();
    const GlyphTable &table();
    double shapedWidth(std::string_view text);
    void applyPen();

    QPainter &m_painter;
    double m_deviceUnitsPerTwipX;
    double m_deviceUnitsPerTwipY;
    double m_lineUnitInDevice;
    QPointF m_origin;
    QFont m_font;
    std::optional<QFontMetricsF> m_metrics;
    GlyphTables m_ownTables;
    GlyphTables &m_tables;
    const GlyphTable *m_table = nullptr; // of m_font; null after a change
    ShapedWidthMemo m_shaped;            // in device units
    std::vector<quint32> m_runGlyphs;
    std::vector<QPointF> m_runPositions;
};

} // namespace kel
