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
    void record(std::string line);

    std::vector<std::string> m_lines;
};

} // namespace kel
