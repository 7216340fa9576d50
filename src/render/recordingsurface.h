// A surface that draws nothing and records every operation as one line.
//
// Tests, fuzzing and `keltool trace` read the lines. Text is measured with
// fixed metrics so that paging and placement never depend on the fonts of
// the machine: a text is 10 twips wide per byte and point of font size
// (half an em per character), and every line of text is 23 twips high per
// point. Positions of the current point are not recorded by themselves:
// each drawing line carries the positions it used. Numbers are written with
// at most two decimals.
#pragma once

#include "render/surface.h"

#include <string>
#include <vector>

namespace kel {

class RecordingSurface : public Surface
{
public:
    static constexpr double kWidthPerPoint = 10;  // twips per byte and point
    static constexpr double kHeightPerPoint = 23; // twips per point

    const std::vector<std::string> &lines() const { return m_lines; }
    void clearLines() { m_lines.clear(); }
    // A number as the lines write it: at most two decimals, no "-0".
    static std::string formatValue(double v);

    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    void setCurrentX(double x) override { m_x = x; }
    void setCurrentY(double y) override { m_y = y; }

    double textWidth(std::string_view text) override;
    double textHeight(std::string_view text) override;
    void print(std::string_view text) override;

    bool setFontName(std::string_view name) override;
    bool setFontSize(double points) override;
    void setFontFlag(FontFlag flag, bool on) override;

    QColor foreColor() const override { return m_color; }
    void setForeColor(const QColor &color) override;
    void setLineWidth(double units) override;
    double lineWidth() const override { return m_lineWidth; }
    void setLineStyle(LineStyle style) override;

    void line(double x1, double y1, double x2, double y2) override;
    bool box(double x1, double y1, double x2, double y2) override;
    bool filledBox(double x1, double y1, double x2, double y2) override;
    bool circle(double x, double y, double radius) override;
    bool paintPicture(const QImage &image, double x, double y, double width,
                      double height) override;
    void clear() override;

private:
    void record(std::string line);

    std::vector<std::string> m_lines;
    double m_x = 0;
    double m_y = 0;
    double m_fontSize = 8;
    QColor m_color = Qt::black;
    double m_lineWidth = 1;
};

} // namespace kel
