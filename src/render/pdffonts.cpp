#include "render/pdffonts.h"

#include "app/text.h"
#include "render/glyphtable.h"
#include "render/pdfwriter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <fontconfig/fontconfig.h>
#include <harfbuzz/hb-ot.h>
#include <harfbuzz/hb-subset.h>
#include <harfbuzz/hb.h>
#include <limits>

namespace kel {
namespace {

constexpr size_t kMaxUses = 48;
constexpr int kFirstCode = 32; // codes below are control bytes, never drawn

// Big-endian fields of a font table.
int16_t int16At(const QByteArray &table, int offset)
{
    if (offset + 2 > table.size())
        return 0;
    return static_cast<int16_t>((static_cast<uint8_t>(table[offset]) << 8) |
                                static_cast<uint8_t>(table[offset + 1]));
}

uint32_t uint32At(const QByteArray &table, int offset)
{
    if (offset + 4 > table.size())
        return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<uint8_t>(table[offset + i]);
    return v;
}

// The face's font file as fontconfig names it for the family and style Qt
// resolved, when its header table is the one Qt measured with.
hb_face_t *openFontFile(const QRawFont &raw)
{
    FcPattern *pattern = FcPatternCreate();
    if (!pattern)
        return nullptr;
    const QByteArray family = raw.familyName().toUtf8();
    const QByteArray style = raw.styleName().toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.constData()));
    FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8 *>(style.constData()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return nullptr;
    FcChar8 *file = nullptr;
    int index = 0;
    std::string path;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
        path = reinterpret_cast<const char *>(file);
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FcPatternDestroy(match);
    if (path.empty())
        return nullptr;

    hb_blob_t *blob = hb_blob_create_from_file_or_fail(path.c_str());
    if (!blob)
        return nullptr;
    hb_face_t *face = hb_face_create(blob, static_cast<unsigned>(index));
    hb_blob_destroy(blob);
    hb_blob_t *head = hb_face_reference_table(face, HB_TAG('h', 'e', 'a', 'd'));
    unsigned length = 0;
    const char *data = hb_blob_get_data(head, &length);
    const QByteArray measured = raw.fontTable("head");
    const bool same = length > 0 && measured == QByteArray(data, static_cast<qsizetype>(length));
    hb_blob_destroy(head);
    if (!same) {
        hb_face_destroy(face);
        return nullptr;
    }
    return face;
}

bool hasTable(hb_face_t *face, hb_tag_t tag)
{
    hb_blob_t *blob = hb_face_reference_table(face, tag);
    const bool present = hb_blob_get_length(blob) > 0;
    hb_blob_destroy(blob);
    return present;
}

// The subset of the codes used, as a TrueType font file; empty when it
// cannot be made.
std::string subsetOf(hb_face_t *face, const std::bitset<256> &used)
{
    hb_subset_input_t *input = hb_subset_input_create_or_fail();
    if (!input)
        return {};
    hb_set_t *unicodes = hb_subset_input_unicode_set(input);
    const std::array<char16_t, 256> &chars = cp1252Table();
    for (size_t b = 0; b < 256; ++b) {
        if (used.test(b))
            hb_set_add(unicodes, chars[b]);
    }
    // A simple font is drawn glyph by glyph: its layout tables serve nothing.
    hb_set_t *drop = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (hb_tag_t tag :
         {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
          HB_TAG('k', 'e', 'r', 'n'), HB_TAG('D', 'S', 'I', 'G')})
        hb_set_add(drop, tag);
    hb_face_t *subset = hb_subset_or_fail(face, input);
    hb_subset_input_destroy(input);
    if (!subset)
        return {};
    hb_blob_t *blob = hb_face_reference_blob(subset);
    unsigned length = 0;
    const char *data = hb_blob_get_data(blob, &length);
    std::string bytes(data ? data : "", data ? length : 0);
    hb_blob_destroy(blob);
    hb_face_destroy(subset);
    return bytes;
}

// Six capital letters naming the subset, from the face and its codes.
std::string subsetTag(const std::string &name, const std::bitset<256> &used)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](unsigned char c) { h = (h ^ c) * 1099511628211ull; };
    for (char c : name)
        mix(static_cast<unsigned char>(c));
    for (size_t b = 0; b < 256; ++b)
        mix(used.test(b) ? 1 : 0);
    std::string tag(6, 'A');
    for (char &c : tag) {
        c = static_cast<char>('A' + h % 26);
        h /= 26;
    }
    return tag;
}

} // namespace

struct PdfFace
{
    QRawFont raw;    // at any size: its tables and names
    QByteArray head; // the header table: which font file this is
    bool bold = false;
    bool italic = false;
    int resource = 0;
    int object = 0;
    std::array<double, 256> widths{}; // thousandths of the em
    std::bitset<256> used;
};

PdfFonts::PdfFonts(PdfWriter &writer, int dotsPerInch)
    : m_writer(writer), m_dpi(dotsPerInch), m_device(resolutionDevice(dotsPerInch)),
      m_tables(std::make_unique<GlyphTables>())
{
}

PdfFonts::~PdfFonts() = default;

PdfFace &PdfFonts::faceOf(const GlyphTable &table)
{
    // Qt reports the weight and slant it was asked for, even where it
    // synthesises them; the font file is told by its names and header.
    const QRawFont &raw = table.rawFont;
    const QByteArray head = raw.fontTable("head");
    for (const auto &face : m_faces) {
        if (face->head == head && face->raw.familyName() == raw.familyName() &&
            face->raw.styleName() == raw.styleName())
            return *face;
    }
    auto face = std::make_unique<PdfFace>();
    face->raw = raw;
    face->head = head;
    // The face's own weight and slant: OS/2's weight class and selection
    // flags (italic, oblique), else the header's style bits.
    const QByteArray os2 = raw.fontTable("OS/2");
    const auto macStyle = static_cast<uint16_t>(int16At(head, 44));
    if (os2.size() >= 64) {
        face->bold = static_cast<uint16_t>(int16At(os2, 4)) >= 600;
        face->italic = (static_cast<uint16_t>(int16At(os2, 62)) & 0x201) != 0;
    } else {
        face->bold = (macStyle & 1) != 0;
        face->italic = (macStyle & 2) != 0;
    }
    face->resource = static_cast<int>(m_faces.size()) + 1;
    face->object = m_writer.reserve();
    // The design advances, in font units at a pixel size of one em.
    QRawFont design = raw;
    const double em = raw.unitsPerEm() > 0 ? raw.unitsPerEm() : 1000;
    design.setPixelSize(em);
    const QList<quint32> glyphs(table.glyphs.begin(), table.glyphs.end());
    const QList<QPointF> advances =
        design.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
    for (size_t b = 0; b < 256 && b < static_cast<size_t>(advances.size()); ++b)
        face->widths[b] = table.shaped.test(b) ? 0 : advances[static_cast<int>(b)].x() * 1000 / em;
    m_faces.push_back(std::move(face));
    return *m_faces.back();
}

std::shared_ptr<const PdfFontUse> PdfFonts::use(const SurfaceFont &font)
{
    // A report switches fonts on every line (bold on, bold off): the uses
    // are found by the markup's own values, without making a QFont.
    for (auto it = m_uses.rbegin(); it != m_uses.rend(); ++it) {
        const SurfaceFont &f = (*it)->asked;
        if (f.size == font.size && f.bold == font.bold && f.italic == font.italic &&
            f.name == font.name)
            return *it;
    }
    if (m_uses.size() >= kMaxUses)
        m_uses.erase(m_uses.begin());

    auto use = std::make_shared<PdfFontUse>();
    use->asked = font;
    use->asked.underline = false;
    use->asked.strikeOut = false;
    use->font.setFamily(fromCp1252(font.name));
    use->font.setPointSizeF(font.size);
    use->font.setBold(font.bold);
    use->font.setItalic(font.italic);
    const GlyphTable &table = m_tables->table(use->font, *m_device);
    PdfFace &face = faceOf(table);
    use->resource = face.resource;
    use->face = &face;
    // Qt draws the font at a whole pixel size of the device; the PDF says
    // that size in points, so paper and layout agree.
    use->size = table.rawFont.pixelSize() * 72.0 / m_dpi;
    const double twipsPerUnit = 1440.0 / m_dpi;
    // A shaped byte has no advance in the table: any text holding one then
    // measures NaN, so one pass both measures a text and tells it simple.
    for (size_t b = 0; b < 256; ++b) {
        use->advances[b] = table.shaped.test(b) ? std::numeric_limits<double>::quiet_NaN()
                                                : face.widths[b] / 1000 * use->size * 20;
    }
    use->shaped = table.shaped;
    use->ascent = table.ascent * twipsPerUnit;
    use->height = table.height * twipsPerUnit;
    use->underlinePos = table.underlinePos * twipsPerUnit;
    use->strikeOutPos = table.strikeOutPos * twipsPerUnit;
    use->lineThickness = table.lineThickness * twipsPerUnit;
    use->fakeBold = font.bold && !face.bold;
    use->fakeItalic = font.italic && !face.italic;
    m_uses.push_back(use);
    return use;
}

void PdfFonts::markUsed(const PdfFontUse &use, std::string_view bytes)
{
    for (char c : bytes)
        use.face->used.set(static_cast<unsigned char>(c));
}

bool PdfFonts::appendShown(const PdfFontUse &use, std::string_view bytes, std::string &out)
{
    // Written through a pointer into room for the worst case (every byte
    // escaped), trimmed at the end.
    const size_t kept = out.size();
    out.resize(kept + 2 * bytes.size() + 2);
    char *p = out.data() + kept;
    std::bitset<256> &used = use.face->used;
    *p++ = '(';
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (use.shaped.test(b)) {
            out.resize(kept);
            return false;
        }
        used.set(b);
        switch (c) {
        case '(':
        case ')':
        case '\\':
            *p++ = '\\';
            *p++ = c;
            break;
        case '\r':
            *p++ = '\\';
            *p++ = 'r';
            break;
        case '\n':
            *p++ = '\\';
            *p++ = 'n';
            break;
        default:
            *p++ = c;
        }
    }
    *p++ = ')';
    out.resize(static_cast<size_t>(p - out.data()));
    return true;
}

double PdfFonts::shapedWidth(const PdfFontUse &use, const QString &text) const
{
    return QFontMetricsF(use.font, m_device.get()).horizontalAdvance(text) * 1440.0 / m_dpi;
}

std::string PdfFonts::resourceEntries() const
{
    std::string out;
    for (const auto &face : m_faces)
        out += "/F" + std::to_string(face->resource) + " " + std::to_string(face->object) + " 0 R";
    return out;
}

void PdfFonts::write()
{
    for (const auto &face : m_faces)
        writeFace(*face);
}

void PdfFonts::writeFace(PdfFace &face)
{
    const QRawFont &raw = face.raw;
    const double em = raw.unitsPerEm() > 0 ? raw.unitsPerEm() : 1000;
    auto units = [em](double v) { return v * 1000 / em; };

    // The face's file (for the codes drawn only) and its PostScript name,
    // else the family and style Qt gives.
    hb_face_t *file = face.used.any() ? openFontFile(raw) : nullptr;
    QString postscript = raw.familyName() + raw.styleName();
    char buffer[128];
    unsigned length = sizeof buffer;
    if (file && hb_ot_name_get_utf8(file, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID,
                                    &length, buffer) > 0)
        postscript = QString::fromUtf8(buffer, static_cast<qsizetype>(length));
    std::string name = pdfNameOf(postscript.toStdString());

    // The font file, as a subset of the codes drawn: TrueType outlines as
    // a TrueType font, CFF outlines as an OpenType font program, which a
    // simple font names as Type 1 (its glyphs found by their names).
    int fileObject = 0;
    const bool trueType = file && hasTable(file, HB_TAG('g', 'l', 'y', 'f'));
    const bool cff = file && !trueType && hasTable(file, HB_TAG('C', 'F', 'F', ' '));
    if (trueType || cff) {
        const std::string subset = subsetOf(file, face.used);
        if (!subset.empty()) {
            name = subsetTag(name, face.used) + "+" + name;
            fileObject = m_writer.reserve();
            m_writer.streamObject(fileObject,
                                  trueType ? "/Length1 " + std::to_string(subset.size())
                                           : std::string("/Subtype/OpenType"),
                                  subset, Compression::Deflate);
            m_openType = m_openType || cff;
        }
    }
    if (file)
        hb_face_destroy(file);

    // The descriptor: the header's box, the slant and pitch of "post", the
    // vertical metrics Qt measured with.
    const QByteArray head = raw.fontTable("head");
    const QByteArray post = raw.fontTable("post");
    const double italicAngle = static_cast<int32_t>(uint32At(post, 4)) / 65536.0;
    const bool fixedPitch = uint32At(post, 12) != 0;
    int flags = 32; // nonsymbolic: the codes are WinAnsiEncoding
    if (fixedPitch)
        flags |= 1;
    if (italicAngle != 0 || face.italic)
        flags |= 64;
    QRawFont design = raw;
    design.setPixelSize(em);
    std::string d = "<</Type/FontDescriptor/FontName/" + name + "/Flags " + std::to_string(flags) +
                    "/FontBBox[";
    for (int i = 0; i < 4; ++i) {
        appendPdfNumber(d, units(int16At(head, 36 + 2 * i)));
        d += i < 3 ? " " : "]";
    }
    d += "/ItalicAngle ";
    appendPdfNumber(d, italicAngle);
    d += "/Ascent ";
    appendPdfNumber(d, units(design.ascent()));
    d += "/Descent ";
    appendPdfNumber(d, -units(design.descent()));
    d += "/CapHeight ";
    appendPdfNumber(d, units(design.capHeight() > 0 ? design.capHeight() : design.ascent()));
    d += face.bold ? "/StemV 140" : "/StemV 80";
    if (fileObject)
        d += (trueType ? "/FontFile2 " : "/FontFile3 ") + std::to_string(fileObject) + " 0 R";
    d += ">>";
    const int descriptor = m_writer.reserve();
    m_writer.beginObject(descriptor);
    m_writer.write(d);
    m_writer.endObject();

    // The font: the codes used and their widths.
    size_t first = 255;
    size_t last = kFirstCode;
    for (size_t b = kFirstCode; b < 256; ++b) {
        if (face.used.test(b)) {
            first = std::min(first, b);
            last = b;
        }
    }
    if (first > last)
        first = last = kFirstCode;
    std::string f = std::string("<</Type/Font/Subtype") + (cff ? "/Type1" : "/TrueType") +
                    "/BaseFont/" + name + "/FirstChar " + std::to_string(first) + "/LastChar " +
                    std::to_string(last) + "/Widths[";
    for (size_t b = first; b <= last; ++b) {
        appendPdfNumber(f, face.widths[b]);
        f += b < last ? " " : "";
    }
    f += "]/Encoding/WinAnsiEncoding/FontDescriptor " + std::to_string(descriptor) + " 0 R>>";
    m_writer.beginObject(face.object);
    m_writer.write(f);
    m_writer.endObject();
}

} // namespace kel
