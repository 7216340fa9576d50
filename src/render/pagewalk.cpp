// The page walk.
//
// Design: walk() is the only loop over a page's lines; it takes either the
// markup interpreter (drawing, on a surface) or the scanning examiner below
// (no surface). Both follow the same delimiter rules and read commands with
// the same splitGroup(), so the scanning walk that find, go-to-page and
// page counting use breaks pages exactly where drawing does.
//
// A page walk must not depend on what was walked before it, since a page
// is walked again whenever it is shown or printed and its walk rewrites
// pageStart(p + 1). So the reset at the start of every walk also returns
// the spacing to the header's value and drops a command group left open on
// the previous page; only the font and the barcode mode carry over.
#include "render/pagewalk.h"

#include "app/text.h"
#include "app/warnings.h"
#include "documents/opening.h"
#include "render/interpreter.h"
#include "render/surface.h"

#include <cstring>
#include <optional>

namespace kel {
namespace {

// Follows only the commands that move linePos, and counts find hits.
class ScanningExaminer
{
public:
    ScanningExaminer(const DocumentSettings &settings, PageState &pages, FindState &find,
                     std::string &groupText)
        : m_open(settings.openDelimiter), m_close(settings.closeDelimiter), m_pages(pages),
          m_find(find), m_group(groupText)
    {
    }

    void examine(std::string_view line)
    {
        const std::string_view t = trimmed(line);
        if (equalsNoCase(t, "[DATA]") || equalsNoCase(t, "END_OF_FILE"))
            return;
        if (m_find.active() && m_find.matches(t))
            ++m_find.hits;
        // Nothing outside a group counts, and a line without delimiters
        // cannot start, feed or end one.
        if (!std::memchr(line.data(), m_open, line.size()) &&
            !std::memchr(line.data(), m_close, line.size()))
            return;

        bool inGroup = false;
        const size_t n = line.size() + 1; // with the renderer's end mark
        for (size_t i = 0; i < n; ++i) {
            const char c = i + 1 == n ? ' ' : line[i];
            if (inGroup && c != m_open && c != m_close)
                m_group += c;
            if (c == m_open) {
                inGroup = true;
                m_group += c;
            }
            if (c == m_close) {
                inGroup = false;
                m_group += c;
                const std::string group = std::move(m_group);
                m_group.clear();
                if (movesLines(upper(group))) {
                    for (std::string_view command : splitGroup(group, m_open, m_close))
                        apply(upper(command));
                }
            }
        }
    }

private:
    static bool movesLines(const std::string &u)
    {
        return u.find("\\N") != std::string::npos || u.find("\\P") != std::string::npos ||
               u.find("SPACING") != std::string::npos || u.find("TOP") != std::string::npos;
    }

    void apply(const std::string &u)
    {
        if (u.compare(0, 7, "SPACING") == 0) {
            m_pages.spacing = spacingValue(u);
        } else if (u == "\\NP") {
            m_pages.linePos = 1000000;
        } else if (u == "\\N" || u == "\\P") {
            m_pages.linePos += u == "\\N" ? m_pages.spacing : -m_pages.spacing;
            m_pages.spacing = m_pages.defaultSpacing;
        } else if (u == "TOP" || u == "TOPOFPAGE") {
            m_pages.linePos = 0;
        }
    }

    char m_open;
    char m_close;
    PageState &m_pages;
    FindState &m_find;
    std::string &m_group;
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
    const double top = target == Target::Printer ? settings.topMargin : 0;

    // The page reset.
    m_pages.linePos = top;
    m_pages.spacing = m_pages.defaultSpacing;
    RenderContext context{settings,
                          m_pages,
                          m_drawing,
                          m_links,
                          find(),
                          m_services.commands,
                          m_services.warnings,
                          m_services.clock,
                          m_pictureFolder,
                          p,
                          &m_pictures};
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
        examiner.emplace(settings, m_pages, find(), m_drawing.groupText);
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
        if (!m_pages.isKnown(h + 1) && !m_pages.lastPageKnown())
            return false; // the table is full
    }
    return !m_pages.isBeyondLastPage(p);
}

int RenderEngine::countPages()
{
    while (!m_pages.lastPageKnown()) {
        const int h = m_pages.highestKnownPage();
        scanPage(h);
        if (!m_pages.lastPageKnown() && !m_pages.isKnown(h + 1))
            return PageState::kMaxPages;
    }
    return m_pages.lastPage();
}

} // namespace kel
