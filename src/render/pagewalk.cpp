// The page walk.
//
// Design: walk() is the only loop over a page's lines; it takes either the
// markup interpreter (drawing, on a surface) or the scanning examiner below
// (no surface). Both read lines through the one markup tokenizer, split
// groups with the same splitGroup() and apply line moves through the same
// moveLine(), so the scanning walk that find, go-to-page and page counting
// use breaks pages exactly where drawing does.
//
// A page walk must not depend on what was walked before it, since a page
// is walked again whenever it is shown or printed and its walk rewrites
// pageStart(p + 1). So the reset at the start of every walk also returns
// the spacing to the header's value and drops a command group left open on
// the previous page; only the font and the barcode mode carry over.
#include "render/pagewalk.h"

#include "app/allowedfolders.h"
#include "app/text.h"
#include "documents/opening.h"
#include "render/interpreter.h"
#include "render/linemoves.h"
#include "render/surface.h"

#include <optional>

namespace kel {
namespace {

// Follows only the commands that move linePos, and counts find hits; when
// carrying, it follows instead the commands whose effect carries over to the
// next page too (see carriedCommandOf()), as the interpreter would draw them
// for the carry target.
class ScanningExaminer : private MarkupHandler
{
public:
    ScanningExaminer(const DocumentSettings &settings, PageState &pages, DrawingState &drawing,
                     FindState *find, std::optional<Target> carryFor)
        : m_delimiters{settings.openDelimiter, settings.closeDelimiter}, m_pages(pages),
          m_drawing(drawing), m_find(find), m_carryFor(carryFor)
    {
    }

    void examine(std::string_view line)
    {
        const std::string_view t = trimmed(line);
        if (equalsNoCase(t, "[DATA]") || equalsNoCase(t, "END_OF_FILE"))
            return;
        if (m_find && m_find->active() && m_find->matches(t))
            ++m_find->hits;
        tokenizeLine(line, m_delimiters, m_drawing.groupText, *this);
    }

private:
    void text(std::string_view) override {}

    void group(const MarkupGroup &group) override
    {
        if (!m_carryFor && !mayMoveLines(upper(group.text)))
            return;
        for (std::string_view command : splitGroup(group.text, m_delimiters)) {
            const std::string u = upper(command);
            if (moveLine(u, LineMoveTarget{m_pages}) == LineMove::None && m_carryFor)
                carryWithoutSurface(carriedCommandOf(command, u), m_drawing, *m_carryFor);
        }
    }

    MarkupDelimiters m_delimiters;
    PageState &m_pages;
    DrawingState &m_drawing;
    FindState *m_find;
    std::optional<Target> m_carryFor;
};

} // namespace

RenderEngine::RenderEngine(const Document &document, const RenderServices &services)
    : m_document(document), m_services(services),
      m_pictureFolder(pictureFolderOf(document.settings.originalPath))
{
    m_pages.reset(document.settings.defaultSpacing);
    m_drawing.resetForDocument();
}

bool RenderEngine::drawPage(int p, Surface &surface)
{
    if (!m_pages.isKnown(p))
        return false;
    surface.clear();
    return walk(p, Mode::Drawing, &surface, Target::Screen);
}

bool RenderEngine::printPage(int p, Surface &surface)
{
    return walk(p, Mode::Drawing, &surface, Target::Printer);
}

bool RenderEngine::scanPage(int p)
{
    return walk(p, Mode::Scanning, nullptr, Target::Screen);
}

bool RenderEngine::walk(int p, Mode mode, Surface *surface, Target target)
{
    if (!m_pages.isKnown(p))
        return false;
    const DocumentSettings &settings = m_document.settings;
    // Only the printer drawing counts lines from the top margin; the walks
    // that draw nothing break pages on the screen's terms, which are the same.
    const double top = mode == Mode::Drawing && target == Target::Printer ? settings.topMargin : 0;

    // The page reset.
    m_pages.linePos = top;
    m_pages.spacing = m_pages.defaultSpacing;
    RenderContext context{settings,
                          m_pages,
                          m_drawing,
                          m_links,
                          find(),
                          m_services.commands,
                          m_services.messages,
                          m_services.diagnostics,
                          m_services.clock,
                          m_pictureFolder,
                          p,
                          &m_pictures,
                          m_allowedPictures.get()};
    std::optional<MarkupInterpreter> interpreter;
    std::optional<ScanningExaminer> examiner;
    if (mode == Mode::Drawing) {
        interpreter.emplace(context, *surface, target);
        interpreter->resetForPage();
        if (target == Target::Printer)
            surface->setCurrentY(top);
    } else {
        m_drawing.resetForPage();
        m_links.clear();
        const bool carrying = mode == Mode::Carrying;
        examiner.emplace(settings, m_pages, m_drawing, carrying ? nullptr : &find(),
                         carrying ? std::optional<Target>(target) : std::nullopt);
    }
    auto render = [&](std::string_view line) {
        if (interpreter)
            interpreter->renderLine(line);
        else
            examiner->examine(line);
    };

    // The prologue up to its "[DATA]" line, then the COMMON line.
    for (const std::string &line : settings.prologueLines) {
        render(line);
        if (equalsNoCase(trimmed(line), "[DATA]"))
            break;
    }
    render(settings.common);

    // The page's records. The first drawing of page 1 after opening starts at
    // the blank record 1; every other walk after pageStart(p).
    int r = m_pages.pageStart(p);
    if (p == 1 && mode == Mode::Drawing && target == Target::Screen && !m_pages.firstPageDrawn)
        r = 0;
    if (mode == Mode::Drawing && target == Target::Screen && p == 1)
        m_pages.firstPageDrawn = true;
    const double pageEnd = leadingNumber(settings.maxY) + top;
    const LineStore &lines = m_document.lines;
    for (;;) {
        ++r;
        if (r > lines.count()) { // a store always ends with its end record
            m_pages.setLastPage(p);
            return true;
        }
        const std::string_view record = lines.record(r);
        render(record);
        if (record == "END_OF_FILE") {
            m_pages.setLastPage(p);
            return true;
        }
        if (m_pages.linePos > pageEnd) {
            m_pages.setPageStart(p + 1, r);
            return true;
        }
    }
}

bool RenderEngine::locatePage(int p)
{
    if (p < 1 || p > PageState::kMaxPages)
        return false;
    while (!m_pages.isKnown(p)) {
        if (m_pages.lastPageKnown())
            return false;
        const int h = m_pages.highestKnownPage();
        scanPage(h);
        if (m_pageWalked)
            m_pageWalked(h);
        if (!m_pages.isKnown(h + 1) && !m_pages.lastPageKnown())
            return false; // the index's own bound: no report has that many pages
    }
    return !m_pages.isBeyondLastPage(p);
}

int RenderEngine::countPages()
{
    while (!m_pages.lastPageKnown()) {
        const int h = m_pages.highestKnownPage();
        scanPage(h);
        if (m_pageWalked)
            m_pageWalked(h);
        if (!m_pages.lastPageKnown() && !m_pages.isKnown(h + 1))
            return h; // the index's own bound: no report has that many pages
    }
    return m_pages.lastPage();
}

bool RenderEngine::reachPage(int p, Target target)
{
    if (p < 1)
        return false;
    // From the state of the opening: font "arial" 8, no barcode mode.
    m_drawing.resetForDocument();
    for (int q = 1; q < p; ++q) {
        if (m_pages.isBeyondLastPage(q) || !walk(q, Mode::Carrying, nullptr, target))
            return false;
        if (m_pageWalked)
            m_pageWalked(q);
    }
    return m_pages.isKnown(p) && !m_pages.isBeyondLastPage(p);
}

void RenderEngine::setAllowedPictureFolders(const AllowedFolders &folders)
{
    m_allowedPictures = std::make_shared<const AllowedFolders>(folders);
}

} // namespace kel
