// Glyph and advance tables: single-byte text measured and placed without
// shaping.
//
// Text of this system is Windows-1252 bytes, so one font needs at most 256
// glyphs. A GlyphTable holds, for one font on one device resolution, the
// glyph index and the advance of every byte, taken from Qt's font engine
// (QRawFont) at the very pixel size Qt draws that font on that device. Text
// measured and placed from the table therefore lands where QPainter's
// drawText would put it (without kerning, which a table of single glyphs
// cannot know), and the printed page, measured the same way at the
// printer's resolution, breaks and aligns as the screen does.
//
// Bytes the table cannot serve are marked `shaped`: control bytes, the
// format characters that Qt's shaping hides (the soft hyphen) and
// characters the font has no glyph for (Qt draws those from another font).
// Text holding one of them goes through Qt's shaping as before.
#pragma once

#include <QFont>
#include <QRawFont>
#include <array>
#include <bitset>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPaintDevice;

namespace kel {

// True when no byte of `text` is marked in `shaped`: the text can be
// measured and drawn from a table of single-byte glyphs.
bool servedByTable(const std::bitset<256> &shaped, std::string_view text);
// The sum of the advances of the bytes of `text`, in the unit of the table.
double tableWidth(const std::array<double, 256> &advances, std::string_view text);

// The advance of the last text that needed shaping, kept so that text
// measured before it is drawn (as every segment of a line is) is shaped
// once. Forgotten on a change of font.
class ShapedWidthMemo
{
public:
    // The width of `text`: the one kept when it is the same text, else
    // `shape(text)`, which is then kept.
    template <typename Shape> double width(std::string_view text, Shape &&shape)
    {
        if (m_width < 0 || text != m_text) {
            m_text.assign(text);
            m_width = shape(text);
        }
        return m_width;
    }
    void forget() { m_width = -1; }

private:
    std::string m_text;
    double m_width = -1;
};

struct GlyphTable
{
    // The font at the device's pixel size (rawFont.pixelSize()).
    QRawFont rawFont;
    std::array<quint32, 256> glyphs{};
    // Advances in device units, as Qt's engine gives them for drawing.
    std::array<double, 256> advances{};
    std::bitset<256> shaped;

    // Metrics in device units, as QFontMetricsF gives them on the device.
    double ascent = 0;
    double descent = 0;
    double height = 0;
    double underlinePos = 0; // below the baseline
    double strikeOutPos = 0; // above the baseline
    double lineThickness = 0;

    // True when every byte of `text` has its glyph in the table.
    bool simple(std::string_view text) const;
    // The advance of `text` in device units (simple text only).
    double width(std::string_view text) const;
};

// The tables of the fonts a surface has used, built on first use. A table
// returned stays valid until the next call of table(): the oldest tables
// are dropped when many fonts were used.
class GlyphTables
{
public:
    GlyphTables();
    ~GlyphTables();
    GlyphTables(const GlyphTables &) = delete;
    GlyphTables &operator=(const GlyphTables &) = delete;

    // The table of `font` (family, point size, bold, italic) at the logical
    // resolution of `device`, which is only read.
    const GlyphTable &table(const QFont &font, const QPaintDevice &device);

private:
    struct Entry;
    std::vector<std::unique_ptr<Entry>> m_entries;
};

// A paint device that paints nothing and only states a resolution, for
// measuring fonts as a device of that resolution would (a printer).
std::unique_ptr<QPaintDevice> resolutionDevice(int dotsPerInch);

} // namespace kel
