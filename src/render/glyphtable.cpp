#include "render/glyphtable.h"

#include "app/text.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>

namespace kel {
namespace {

// More fonts than this on one surface (sizes at many zooms, say) drop the
// oldest tables; a page rarely uses more than a handful.
constexpr size_t kMaxTables = 48;

bool needsShaping(char16_t c)
{
    const QChar ch(c);
    return c < 0x20 || ch.category() == QChar::Other_Control ||
           ch.category() == QChar::Other_Format;
}

} // namespace

struct GlyphTables::Entry
{
    QString family;
    double pointSize;
    bool bold;
    bool italic;
    int dpiX;
    int dpiY;
    GlyphTable table;
};

bool servedByTable(const std::bitset<256> &shaped, std::string_view text)
{
    for (char c : text) {
        if (shaped.test(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

double tableWidth(const std::array<double, 256> &advances, std::string_view text)
{
    double w = 0;
    for (char c : text)
        w += advances[static_cast<unsigned char>(c)];
    return w;
}

bool GlyphTable::simple(std::string_view text) const
{
    return servedByTable(shaped, text);
}

double GlyphTable::width(std::string_view text) const
{
    return tableWidth(advances, text);
}

GlyphTables::GlyphTables() = default;
GlyphTables::~GlyphTables() = default;

const GlyphTable &GlyphTables::table(const QFont &font, const QPaintDevice &device)
{
    const QString family = font.family();
    const double size = font.pointSizeF();
    const bool bold = font.bold();
    const bool italic = font.italic();
    const int dpiX = device.logicalDpiX();
    const int dpiY = device.logicalDpiY();
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        const Entry &e = **it;
        if (e.pointSize == size && e.bold == bold && e.italic == italic && e.dpiX == dpiX &&
            e.dpiY == dpiY && e.family == family)
            return e.table;
    }
    if (m_entries.size() >= kMaxTables)
        m_entries.erase(m_entries.begin());

    auto entry = std::make_unique<Entry>(Entry{family, size, bold, italic, dpiX, dpiY, {}});
    GlyphTable &t = entry->table;
    // The font as Qt resolves it for this device: the same engine, at the
    // same whole pixel size, that QPainter draws it with there.
    QFont plain(font);
    plain.setUnderline(false);
    plain.setStrikeOut(false);
    const QFont onDevice(plain, &device);
    t.rawFont = QRawFont::fromFont(onDevice);

    const std::array<char16_t, 256> &chars = cp1252Table();
    QString all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = QChar(chars[static_cast<size_t>(b)]);
    const QList<quint32> glyphs = t.rawFont.glyphIndexesForString(all);
    const QList<QPointF> advances = t.rawFont.advancesForGlyphIndexes(glyphs);
    for (int b = 0; b < 256; ++b) {
        const bool known = b < glyphs.size() && b < advances.size() && glyphs[b] != 0;
        t.glyphs[static_cast<size_t>(b)] = known ? glyphs[b] : 0;
        t.advances[static_cast<size_t>(b)] = known ? advances[b].x() : 0;
        t.shaped.set(static_cast<size_t>(b),
                     !known || !t.rawFont.isValid() || needsShaping(chars[static_cast<size_t>(b)]));
    }

    const QFontMetricsF fm(plain, &device);
    t.ascent = fm.ascent();
    t.descent = fm.descent();
    t.height = fm.height();
    t.underlinePos = fm.underlinePos();
    t.strikeOutPos = fm.strikeOutPos();
    t.lineThickness = fm.lineWidth();
    m_entries.push_back(std::move(entry));
    return m_entries.back()->table;
}

std::unique_ptr<QPaintDevice> resolutionDevice(int dotsPerInch)
{
    auto image = std::make_unique<QImage>(1, 1, QImage::Format_Mono);
    const int perMetre = qRound(dotsPerInch / 0.0254);
    image->setDotsPerMeterX(perMetre);
    image->setDotsPerMeterY(perMetre);
    return image;
}

} // namespace kel
