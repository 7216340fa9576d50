// The PDF writer behind the Surface.
//
// Design: a report page is mostly lines of text in one or two fonts, so
// the writer is built around that. The text segments in a row share one
// text object: the first is placed with "BT x y Td (bytes) Tj", each next
// one relative to it, "dx dy Td (bytes) Tj", or, when it starts right
// below it (the next line of a listing), by the leading alone, "(bytes) '";
// the object ends ("ET") before anything else is drawn. The Windows-1252
// bytes of the report go into the string as they are, since the fonts are
// simple TrueType fonts with WinAnsiEncoding, whose codes are those bytes
// (PdfFonts). Font, size, colours, line width and dash are written only
// when they change, so a page of a listing is little more than its text.
// Segment widths come from the font's table (one lookup a byte, measured
// once: the interpreter hands the width it measured to the drawing); bytes
// the table does not serve (control bytes) are measured by Qt's shaping
// and left undrawn.
//
// The file is streamed: each page's content is collected in one reused
// buffer, deflated (PdfWriter) and written when the page ends, with its
// page object. Pictures are written the first time they are
// drawn and named by their image's cache key, so a logo drawn on every page
// (the interpreter keeps the pictures of a document) is in the file once.
// What can only be known at the end is written at the end: the fonts,
// subset to the codes drawn, one resources dictionary shared by all pages
// (inherited from the page tree, as the paper of the first page is),
// the page tree, and the cross-reference table.
#include "render/pdfsurface.h"

#include "app/text.h"
#include "render/pdffonts.h"
#include "render/pdfwriter.h"

#include <QDateTime>
#include <QImage>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace kel {
namespace {

constexpr double kTwipsPerPoint = 20;
// Four cubic curves make a circle; this puts their control points so that
// each quarter's midpoint lies on the circle.
constexpr double kCircleKappa = 0.5522847498;
// The slant of a synthesised italic and the stroke of a synthesised bold
// (a fraction of the size), near what Qt's engine draws on the screen.
constexpr double kFakeSlant = 0.2;
constexpr double kFakeBoldStroke = 1.0 / 32;

// A text of UTF-8 as a PDF text string (UTF-16 with its byte order mark).
std::string textString(const std::string &utf8)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    for (const QChar ch : QString::fromStdString(utf8)) {
        const char16_t c = ch.unicode();
        for (int shift = 12; shift >= 0; shift -= 4)
            out += hex[(c >> shift) & 0xF];
    }
    return out + ">";
}

std::string ref(int object)
{
    return std::to_string(object) + " 0 R";
}

} // namespace

struct PdfDocument::Pages
{
    int catalog = 0;
    int tree = 0;
    int resources = 0;
    std::vector<int> objects; // the page objects, in order
    std::string treeBox;      // the paper of the first page, "[0 0 w h]"
    std::string content;      // the page being drawn
    double width = 0;         // of the page being drawn, points
    double height = 0;
    bool open = false;
    std::unordered_map<qint64, int> pictureNames; // cache key -> /Im<n>
    std::vector<int> pictureObjects;              // per /Im<n> - 1
};

PdfDocument::PdfDocument(std::FILE *file, const PdfInfo &info, int dotsPerInch)
    : m_writer(std::make_unique<PdfWriter>(file)), m_pages(std::make_unique<Pages>()), m_info(info)
{
    m_fonts = std::make_unique<PdfFonts>(*m_writer, dotsPerInch);
    m_pages->catalog = m_writer->reserve();
    m_pages->tree = m_writer->reserve();
    m_pages->resources = m_writer->reserve();
}

PdfDocument::~PdfDocument() = default;

int PdfDocument::pageCount() const
{
    return static_cast<int>(m_pages->objects.size());
}

PdfSurface &PdfDocument::beginPage(double width, double length, QPointF origin, double lineUnit)
{
    if (m_pages->open)
        endPage();
    m_pages->open = true;
    m_pages->content.clear();
    m_pages->width = width / kTwipsPerPoint;
    m_pages->height = length / kTwipsPerPoint;
    m_surface = std::make_unique<PdfSurface>(*this, *m_fonts, m_pages->content, m_pages->height,
                                             origin, lineUnit);
    return *m_surface;
}

void PdfDocument::endPage()
{
    if (!m_pages->open)
        return;
    m_surface->finishContent();
    m_surface.reset();
    m_pages->open = false;
    const int contents = m_writer->reserve();
    m_writer->streamObject(contents, {}, m_pages->content, Compression::Deflate);
    const int page = m_writer->reserve();
    // The resources and the paper of the first page are the page tree's,
    // which every page inherits: a page names its paper only when it
    // differs.
    std::string box = "[0 0 ";
    appendPdfNumber(box, m_pages->width);
    box += ' ';
    appendPdfNumber(box, m_pages->height);
    box += ']';
    if (m_pages->objects.empty())
        m_pages->treeBox = box;
    std::string dict = "<</Type/Page/Parent " + ref(m_pages->tree);
    if (box != m_pages->treeBox)
        dict += "/MediaBox" + box;
    dict += "/Contents " + ref(contents) + ">>";
    m_writer->beginObject(page);
    m_writer->write(dict);
    m_writer->endObject();
    m_pages->objects.push_back(page);
}

int PdfDocument::picture(const QImage &image)
{
    if (image.isNull())
        return 0;
    const auto known = m_pages->pictureNames.find(image.cacheKey());
    if (known != m_pages->pictureNames.end())
        return known->second;

    // The pixels as 8-bit RGB (or grey) rows, and the alpha as a soft mask
    // when any pixel is not opaque.
    const bool grey = image.allGray() && !image.hasAlphaChannel();
    const QImage pixels = image.convertToFormat(
        grey ? QImage::Format_Grayscale8
             : (image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB888));
    const int w = pixels.width();
    const int h = pixels.height();
    std::string colour;
    std::string alpha;
    bool translucent = false;
    colour.reserve(static_cast<size_t>(w) * h * (grey ? 1 : 3));
    for (int y = 0; y < h; ++y) {
        const uchar *line = pixels.constScanLine(y);
        if (pixels.format() == QImage::Format_ARGB32) {
            const auto *px = reinterpret_cast<const QRgb *>(line);
            for (int x = 0; x < w; ++x) {
                // Unpremultiplied: the colour as it is, the alpha apart.
                colour += static_cast<char>(qRed(px[x]));
                colour += static_cast<char>(qGreen(px[x]));
                colour += static_cast<char>(qBlue(px[x]));
                alpha += static_cast<char>(qAlpha(px[x]));
                translucent = translucent || qAlpha(px[x]) != 255;
            }
        } else {
            colour.append(reinterpret_cast<const char *>(line),
                          static_cast<size_t>(w) * (grey ? 1 : 3));
        }
    }
    const std::string size =
        "/Type/XObject/Subtype/Image/Width " + std::to_string(w) + "/Height " + std::to_string(h);
    int mask = 0;
    if (translucent) {
        mask = m_writer->reserve();
        m_writer->streamObject(mask, size + "/ColorSpace/DeviceGray/BitsPerComponent 8", alpha,
                               Compression::Deflate);
    }
    const int object = m_writer->reserve();
    m_writer->streamObject(object,
                           size + (grey ? "/ColorSpace/DeviceGray" : "/ColorSpace/DeviceRGB") +
                               "/BitsPerComponent 8/Interpolate true" +
                               (mask ? "/SMask " + ref(mask) : std::string()),
                           colour, Compression::Deflate);
    m_pages->pictureObjects.push_back(object);
    const int name = static_cast<int>(m_pages->pictureObjects.size());
    m_pages->pictureNames.emplace(image.cacheKey(), name);
    return name;
}

bool PdfDocument::finish()
{
    endPage();
    m_fonts->write();

    std::string resources =
        "<</ProcSet[/PDF/Text/ImageB/ImageC]/Font<<" + m_fonts->resourceEntries() + ">>/XObject<<";
    for (size_t i = 0; i < m_pages->pictureObjects.size(); ++i)
        resources += "/Im" + std::to_string(i + 1) + " " + ref(m_pages->pictureObjects[i]);
    resources += ">>>>";
    m_writer->beginObject(m_pages->resources);
    m_writer->write(resources);
    m_writer->endObject();

    std::string tree = "<</Type/Pages/Count " + std::to_string(m_pages->objects.size());
    if (!m_pages->treeBox.empty())
        tree += "/MediaBox" + m_pages->treeBox;
    tree += "/Resources " + ref(m_pages->resources) + "/Kids[";
    for (size_t i = 0; i < m_pages->objects.size(); ++i)
        tree += (i ? " " : "") + ref(m_pages->objects[i]);
    tree += "]>>";
    m_writer->beginObject(m_pages->tree);
    m_writer->write(tree);
    m_writer->endObject();

    m_writer->beginObject(m_pages->catalog);
    // The header says 1.4; a font program of 1.6 raises the version here.
    m_writer->write("<</Type/Catalog" +
                    std::string(m_fonts->needsOpenType() ? "/Version/1.6" : "") + "/Pages " +
                    ref(m_pages->tree) + ">>");
    m_writer->endObject();

    const int info = m_writer->reserve();
    const QString now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
    m_writer->beginObject(info);
    m_writer->write("<</Title" + textString(m_info.title) +
                    "/Creator(Kel Printing System)/Producer(Kel Printing System)/CreationDate(D:" +
                    now.toStdString() + "Z)>>");
    m_writer->endObject();
    return m_writer->finish(m_pages->catalog, info);
}

PdfSurface::PdfSurface(PdfDocument &document, PdfFonts &fonts, std::string &content,
                       double paperHeight, QPointF origin, double lineUnit)
    : m_document(document), m_fonts(fonts), m_content(content), m_paperHeight(paperHeight),
      m_origin(origin), m_lineUnit(lineUnit), m_fill(qRgb(0, 0, 0)), m_stroke(qRgb(0, 0, 0))
{
}

PdfSurface::~PdfSurface() = default;

const PdfFontUse &PdfSurface::fontUse()
{
    if (!m_font)
        m_font = m_fonts.use(font());
    return *m_font;
}

void PdfSurface::stateChanged(StateFlags changed)
{
    if (changed & kGlyphStateFlags) {
        m_font.reset();
        m_shaped.forget();
    }
}

double PdfSurface::shapedWidth(std::string_view text)
{
    const PdfFontUse &f = fontUse();
    return m_shaped.width(
        text, [&](std::string_view t) { return m_fonts.shapedWidth(f, fromCp1252(t)); });
}

void PdfSurface::number(double v)
{
    appendPdfNumber(m_content, v);
    m_content += ' ';
}

// A point of the drawing (twips from the origin, y down) in the page's
// points (from the bottom left corner, y up).
void PdfSurface::point(double x, double y)
{
    number((x + m_origin.x()) / kTwipsPerPoint);
    number(m_paperHeight - (y + m_origin.y()) / kTwipsPerPoint);
}

// Writes the colour with `op` ("rg" fill, "RG" stroke) unless `shown`, what
// the content has set, is that colour already.
void PdfSurface::setColor(QRgb &shown, QRgb color, const char *op)
{
    if (color == shown)
        return;
    shown = color;
    number(qRed(color) / 255.0);
    number(qGreen(color) / 255.0);
    number(qBlue(color) / 255.0);
    m_content += op;
    m_content += '\n';
}

void PdfSurface::setFill(QRgb color)
{
    setColor(m_fill, color, "rg");
}

void PdfSurface::setStroke(QRgb color)
{
    setColor(m_stroke, color, "RG");
}

void PdfSurface::setStrokeWidth(double points)
{
    if (points == m_strokeWidth)
        return;
    m_strokeWidth = points;
    number(points);
    m_content += "w\n";
}

// The pen of lines and outlines, as the painter's: the line width in line
// units, square caps and mitred corners, dots of one width with gaps of
// two.
void PdfSurface::setStrokeStyle()
{
    setStroke(foreColor().rgb());
    if (!m_capSet) {
        m_content += "2 J\n";
        m_capSet = true;
    }
    const double width = lineWidth() * m_lineUnit / kTwipsPerPoint;
    setStrokeWidth(width);
    // The dots are as long as the line is wide: a new width, new dots.
    const double dash = lineStyle() == LineStyle::Dotted ? width : 0;
    if (dash != m_dash) {
        m_dash = dash;
        if (dash > 0) {
            m_content += '[';
            number(width);
            appendPdfNumber(m_content, 2 * width);
            m_content += "] 0 d\n";
        } else {
            m_content += "[] 0 d\n";
        }
    }
}

double PdfSurface::measureText(std::string_view text)
{
    const double width = fontUse().width(text);
    return std::isnan(width) ? shapedWidth(text) : width;
}

double PdfSurface::lineHeight()
{
    return fontUse().height;
}

double PdfSurface::drawText(std::string_view text, bool visible, std::optional<double> measured)
{
    if (text.empty())
        return 0;
    if (!visible)
        return measured ? *measured : measureText(text);
    const PdfFontUse &f = fontUse();
    const double baseline = currentY() + f.ascent;
    // Text the table serves is drawn in one pass over its bytes: a width
    // measured before is the table's width when showText() takes the text.
    const double width = measured ? *measured : f.width(text);
    if (!std::isnan(width) && showText(text, currentX(), baseline)) {
        decorate(currentX(), baseline, width);
        return width;
    }

    // Bytes the table does not serve: Qt's shaping gives the whole advance,
    // as measured; they are not drawn, and each run between them starts
    // where the shaped text before it ends. That text is shaped a piece at
    // a time (each run with the byte that ends it), so a long line full of
    // such bytes costs one shaping of each byte, not one of each prefix.
    const double shaped = shapedWidth(text);
    double offset = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && !f.shaped.test(static_cast<unsigned char>(text[end])))
            ++end;
        if (end > i)
            showText(text.substr(i, end - i), currentX() + offset, baseline);
        if (end < text.size())
            offset += m_fonts.shapedWidth(f, fromCp1252(text.substr(i, end + 1 - i)));
        i = end + 1;
    }
    decorate(currentX(), baseline, shaped);
    return shaped;
}

// Shows text whose bytes the table serves all; false, with nothing
// written, when one of them is not.
bool PdfSurface::showText(std::string_view text, double x, double baseline)
{
    const PdfFontUse &f = fontUse();
    m_shown.clear();
    if (!m_fonts.appendShown(f, text, m_shown))
        return false;
    setFill(foreColor().rgb());
    if (f.resource != m_shownFont || f.size != m_shownSize) {
        m_shownFont = f.resource;
        m_shownSize = f.size;
        m_content += "/F" + std::to_string(f.resource) + ' ';
        number(f.size);
        m_content += "Tf\n";
    }
    if (f.fakeBold != m_fakeBold) {
        m_fakeBold = f.fakeBold;
        m_content += f.fakeBold ? "2 Tr\n" : "0 Tr\n";
    }
    if (f.fakeBold) {
        // The outline stroked in the text's colour thickens every stem.
        setStroke(foreColor().rgb());
        setStrokeWidth(f.size * kFakeBoldStroke);
    }

    const long long px = pdfHundredths((x + m_origin.x()) / kTwipsPerPoint);
    const long long py = pdfHundredths(m_paperHeight - (baseline + m_origin.y()) / kTwipsPerPoint);
    if (!m_inText) {
        // A new text object starts from the identity: a first move is a
        // move from the page's corner.
        m_content += "BT ";
        m_inText = true;
        m_plainMatrix = true;
        m_textX = 0;
        m_textY = 0;
    }
    const char *show = "Tj\n";
    if (f.fakeItalic) {
        m_content += "1 0 ";
        number(kFakeSlant);
        m_content += "1 ";
        appendPdfHundredths(m_content, px);
        m_content += ' ';
        appendPdfHundredths(m_content, py);
        m_content += " Tm ";
        m_plainMatrix = false;
    } else if (!m_plainMatrix) {
        // After a slanted text: the line matrix is set whole again.
        m_content += "1 0 0 1 ";
        appendPdfHundredths(m_content, px);
        m_content += ' ';
        appendPdfHundredths(m_content, py);
        m_content += " Tm ";
        m_plainMatrix = true;
    } else {
        const long long dx = px - m_textX;
        const long long dy = py - m_textY;
        if (dx == 0 && dy < 0) {
            if (-dy != m_leading) {
                m_leading = -dy;
                appendPdfHundredths(m_content, m_leading);
                m_content += " TL ";
            }
            show = "'\n";
        } else {
            appendPdfHundredths(m_content, dx);
            m_content += ' ';
            appendPdfHundredths(m_content, dy);
            m_content += " Td ";
        }
    }
    m_textX = px;
    m_textY = py;
    m_content += m_shown;
    m_content += show;
    return true;
}

void PdfSurface::endText()
{
    if (!m_inText)
        return;
    m_content += "ET\n";
    m_inText = false;
}

void PdfSurface::finishContent()
{
    endText();
}

// Underline and strike-out as the painter draws them: bars of the font's
// line thickness below the baseline and a third of the ascent above it.
void PdfSurface::decorate(double x, double baseline, double width)
{
    const SurfaceFont &sf = font();
    if ((!sf.underline && !sf.strikeOut) || width <= 0)
        return;
    const PdfFontUse &f = fontUse();
    const double thickness = f.lineThickness;
    endText();
    for (int i = 0; i < 2; ++i) {
        if (!(i == 0 ? sf.underline : sf.strikeOut))
            continue;
        const double centre = i == 0 ? baseline + f.underlinePos : baseline - f.strikeOutPos;
        point(x, centre + thickness / 2);
        number(width / kTwipsPerPoint);
        number(thickness / kTwipsPerPoint);
        m_content += "re f\n";
    }
}

void PdfSurface::drawLine(double x1, double y1, double x2, double y2)
{
    endText();
    setStrokeStyle();
    point(x1, y1);
    m_content += "m ";
    point(x2, y2);
    m_content += "l S\n";
}

bool PdfSurface::drawBox(double x1, double y1, double x2, double y2, bool filled)
{
    const double left = std::min(x1, x2);
    const double bottom = std::max(y1, y2);
    const double w = std::fabs(x2 - x1) / kTwipsPerPoint;
    const double h = std::fabs(y2 - y1) / kTwipsPerPoint;
    if (filled) {
        if (w == 0 || h == 0)
            return true; // nothing to fill, as on the painter
        endText();
        setFill(foreColor().rgb());
    } else {
        endText();
        setStrokeStyle();
    }
    point(left, bottom);
    number(w);
    number(h);
    m_content += filled ? "re f\n" : "re S\n";
    return true;
}

bool PdfSurface::drawCircle(double x, double y, double radius)
{
    endText();
    setStrokeStyle();
    const double k = radius * kCircleKappa;
    // In twips with y down; each curve ends where the next begins.
    point(x + radius, y);
    m_content += "m\n";
    const double curves[4][6] = {
        {x + radius, y + k, x + k, y + radius, x, y + radius},
        {x - k, y + radius, x - radius, y + k, x - radius, y},
        {x - radius, y - k, x - k, y - radius, x, y - radius},
        {x + k, y - radius, x + radius, y - k, x + radius, y},
    };
    for (const auto &c : curves) {
        point(c[0], c[1]);
        point(c[2], c[3]);
        point(c[4], c[5]);
        m_content += "c\n";
    }
    m_content += "h S\n";
    return true;
}

bool PdfSurface::drawPicture(const QImage &image, double x, double y, double width, double height)
{
    if (width == 0 || height == 0)
        return true;
    const int name = m_document.picture(image);
    if (name == 0)
        return false;
    endText();
    // The image's unit square onto the rectangle: its left edge at x, its
    // top at y; a negative size runs backwards and mirrors it.
    m_content += "q ";
    number(width / kTwipsPerPoint);
    m_content += "0 0 ";
    number(height / kTwipsPerPoint);
    point(x, y + height);
    m_content += "cm /Im" + std::to_string(name) + " Do Q\n";
    return true;
}

void PdfSurface::clearPage()
{
    // White paper: what was drawn is dropped, and with it what the content
    // had set.
    m_content.clear();
    m_shownFont = 0;
    m_shownSize = 0;
    m_fill = qRgb(0, 0, 0);
    m_stroke = qRgb(0, 0, 0);
    m_strokeWidth = 1;
    m_dash = 0;
    m_capSet = false;
    m_fakeBold = false;
    m_inText = false;
    m_leading = 0;
}

} // namespace kel
