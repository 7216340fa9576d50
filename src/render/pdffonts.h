// The fonts of a PDF document: simple TrueType fonts with the Windows-1252
// encoding ("WinAnsiEncoding"), so that the bytes of a report are the codes
// of the content stream and text stays searchable and copyable without a
// ToUnicode map.
//
// A font of the markup (family, size, bold, italic) is resolved as Qt
// resolves it (fontconfig's substitutions: "arial" is Liberation Sans where
// Arial is not installed), measured at the document's resolution by the
// glyph table, and drawn from one face per font file. The widths of the
// font dictionary are the face's design advances, the same ones the layout
// measured with, so a reader places every glyph where the layout did.
//
// Faces are embedded when the document is finished, as subsets of the codes
// used, made with HarfBuzz's subsetter from the font file fontconfig names
// for the face Qt measured (checked by its header table): TrueType outlines
// as TrueType fonts, CFF outlines as OpenType font programs. A face whose
// file cannot be found or has neither (a PostScript Type 1 file) is named
// with its widths but not embedded; a reader then substitutes a font.
#pragma once

#include "render/glyphtable.h"
#include "render/surface.h"

#include <QFont>
#include <array>
#include <bitset>
#include <memory>
#include <string>
#include <vector>

class QPaintDevice;

namespace kel {

class PdfWriter;
struct PdfFace;

// One font of the markup at one size, as the PDF surface draws it.
// Lengths are twips; `size` is the point size written with "Tf".
struct PdfFontUse
{
    SurfaceFont asked; // the markup's font (its underline and strike-out aside)
    QFont font;        // the same for Qt, for the rare text that needs shaping
    int resource;      // the font is /F<resource> in the page resources
    PdfFace *face;     // owned by PdfFonts
    double size;
    std::array<double, 256> advances{}; // NaN for the bytes in `shaped`
    std::bitset<256> shaped;            // bytes not drawn from the table (GlyphTable)
    double ascent = 0;
    double height = 0;
    double underlinePos = 0;
    double strikeOutPos = 0;
    double lineThickness = 0;
    // The face lacks the weight or slant asked for: drawn emboldened or
    // slanted, as Qt synthesises them on the screen.
    bool fakeBold = false;
    bool fakeItalic = false;

    // True when every byte of `text` is drawn from the table.
    bool simple(std::string_view text) const { return servedByTable(shaped, text); }
    // The advance of `text` from the table; NaN when it is not simple.
    double width(std::string_view text) const { return tableWidth(advances, text); }
};

class PdfFonts
{
public:
    // Measures at `dotsPerInch`, the printer resolution of the document;
    // object numbers come from `writer`, which must outlive the fonts.
    PdfFonts(PdfWriter &writer, int dotsPerInch);
    ~PdfFonts();
    PdfFonts(const PdfFonts &) = delete;
    PdfFonts &operator=(const PdfFonts &) = delete;

    // The font (name, size, bold, italic) as drawn.
    std::shared_ptr<const PdfFontUse> use(const SurfaceFont &font);
    // Codes drawn with the font's face: they go into its subset.
    void markUsed(const PdfFontUse &use, std::string_view bytes);
    // Appends `bytes` as a PDF literal string "(...)" and marks them used,
    // in one pass: "(", ")" and "\" are escaped, and so are the line-end
    // bytes, which a reader would otherwise change. False, with nothing
    // appended, when a byte is not drawn from the table (the bytes before
    // it are marked).
    bool appendShown(const PdfFontUse &use, std::string_view bytes, std::string &out);
    // Qt's shaped advance of `text` in twips, for text holding bytes the
    // table does not serve.
    double shapedWidth(const PdfFontUse &use, const QString &text) const;

    // "/F1 5 0 R..." for the resources of the pages.
    std::string resourceEntries() const;
    // Writes every face (subset font file, descriptor, font dictionary)
    // under the number reserved when it first appeared; a face never drawn
    // with gets no font file.
    void write();
    // True once a font was embedded as an OpenType font program, which
    // readers know from PDF 1.6 on.
    bool needsOpenType() const { return m_openType; }

private:
    PdfFace &faceOf(const GlyphTable &table);
    void writeFace(PdfFace &face);

    PdfWriter &m_writer;
    int m_dpi;
    std::unique_ptr<QPaintDevice> m_device;
    std::unique_ptr<GlyphTables> m_tables;
    std::vector<std::unique_ptr<PdfFace>> m_faces;
    std::vector<std::shared_ptr<const PdfFontUse>> m_uses; // newest last
    bool m_openType = false;
};

} // namespace kel
