// Printed pages as a PDF file, written while they are drawn.
//
// PdfDocument is the file: pages are begun and ended one after the other,
// each drawn through its PdfSurface, and the document is finished once.
// PdfSurface is one more output device of the interpreter in printer mode.
//
// Units: the surface takes what every surface takes (twips, 1/1440 inch,
// with y growing down the page; font sizes in points; line widths in line
// units of the page). The file is written in points (1/72 inch, 20 twips)
// from the paper's bottom left corner, as PDF counts. Text is measured at
// the document's resolution (kPdfResolution dots per inch), as a printer of
// that resolution would measure it on the screen's font engine.
#pragma once

#include "render/glyphtable.h"
#include "render/surface.h"

#include <QPointF>
#include <cstdio>
#include <memory>
#include <string>

namespace kel {

class PdfFonts;
struct PdfFontUse;
class PdfWriter;

inline constexpr int kPdfResolution = 1200;

struct PdfInfo
{
    std::string title; // UTF-8
};

class PdfSurface;

class PdfDocument
{
public:
    // Writes into `file` (opened for binary writing; not owned: the caller
    // closes it after finish(), and deletes it when finish() failed).
    explicit PdfDocument(std::FILE *file, const PdfInfo &info = {},
                         int dotsPerInch = kPdfResolution);
    ~PdfDocument();
    PdfDocument(const PdfDocument &) = delete;
    PdfDocument &operator=(const PdfDocument &) = delete;

    // Starts a page of paper `width` by `length` twips (a landscape page is
    // wider than long) and gives the surface to draw it on, valid until
    // endPage(). `origin` is where twip 0, 0 of the drawing lies, in twips
    // from the paper's top left corner; `lineUnit` is twips per line unit.
    // A page still open is ended first.
    PdfSurface &beginPage(double width, double length, QPointF origin, double lineUnit);
    // Deflates the page's drawing and writes it out.
    void endPage();
    // Writes the fonts (subsets of what was drawn), the resources, the page
    // tree and the cross-reference table. False when any write failed: the
    // file is then not a complete PDF.
    bool finish();

    int pageCount() const;

private:
    friend class PdfSurface;
    // The resource number of the picture (/Im<n>), written the first time
    // the image (by its QImage::cacheKey) is drawn; 0 when it has no pixels.
    int picture(const QImage &image);

    struct Pages;
    std::unique_ptr<PdfWriter> m_writer;
    std::unique_ptr<PdfFonts> m_fonts;
    std::unique_ptr<Pages> m_pages;
    std::unique_ptr<PdfSurface> m_surface;
    PdfInfo m_info;
};

// The device of one page; made by PdfDocument::beginPage().
class PdfSurface : public Surface
{
public:
    PdfSurface(PdfDocument &document, PdfFonts &fonts, std::string &content, double paperHeight,
               QPointF origin, double lineUnit);
    ~PdfSurface() override;

    // Closes what the content has open (a text object); the document calls
    // it when the page ends.
    void finishContent();

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
    const PdfFontUse &fontUse();
    double shapedWidth(std::string_view text);
    void number(double v);
    void point(double x, double y);
    void setColor(QRgb &shown, QRgb color, const char *op);
    void setFill(QRgb color);
    void setStroke(QRgb color);
    void setStrokeWidth(double points);
    void setStrokeStyle();
    bool showText(std::string_view text, double x, double baseline);
    void endText();
    void decorate(double x, double baseline, double width);

    PdfDocument &m_document;
    PdfFonts &m_fonts;
    std::string &m_content;
    double m_paperHeight;                     // points
    QPointF m_origin;                         // twips
    double m_lineUnit;                        // twips
    std::shared_ptr<const PdfFontUse> m_font; // null after a change of font
    ShapedWidthMemo m_shaped;                 // in twips, of m_font

    // What the content stream has set so far on this page, so that each
    // state is written only when it changes.
    int m_shownFont = 0;
    double m_shownSize = 0;
    QRgb m_fill;
    QRgb m_stroke;
    double m_strokeWidth = 1;
    double m_dash = 0; // the length of the dots; 0 solid
    bool m_capSet = false;
    bool m_fakeBold = false;

    // The text object: lines of text in a row share one "BT ... ET", each
    // placed relative to the one before ("Td"), or by the leading ("TL")
    // with "'" when it starts right below it. Positions are in hundredths
    // of a point, as they are written, so relative moves add up exactly.
    bool m_inText = false;
    bool m_plainMatrix = false; // the line matrix is a move to m_textX, m_textY
    long long m_textX = 0;
    long long m_textY = 0;
    long long m_leading = 0; // what "TL" has set on this page
    std::string m_shown;     // the string of the text being shown
};

} // namespace kel
