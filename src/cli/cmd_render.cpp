// keltool pages, render, pdf and trace: the rendering engine from the
// command line.
//
// The screen drawing (render, trace) is the viewer's: page picture of the
// page's size times the zoom, 1 twip = 1/15 pixel at zoom 1, white paper,
// the margins applied through the origin. A single page is drawn as the
// viewer draws it when it is reached by paging from page 1, and as it is
// printed in the whole document: with the font, size and barcode mode the
// pages before it leave behind. The printer drawing (pdf, trace
// --printer) is the print job's: unzoomed, the left margin through the
// origin and the top margin added by the engine. EXEC commands run only
// with --exec.
#include "app/text.h"
#include "cli/cli.h"
#include "documents/opening.h"
#include "printing/pageoutput.h"
#include "printing/printjob.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"
#include "render/paintersurface.h"
#include "render/recordingsurface.h"
#include "render/screenpage.h"

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <memory>

namespace kel::cli {
namespace {

// Everything a rendering command needs, built from the common options.
struct Session
{
    std::unique_ptr<Environment> env;
    std::unique_ptr<Document> document;
    std::unique_ptr<Clock> clock;
    // Markup warnings and refused values on stderr as they are met.
    std::unique_ptr<PromptingDiagnostics> diagnostics;
    ShellTargetOpener opener;
    ExternalCommands commands;
    FindState find;
    std::unique_ptr<RenderEngine> engine;
};

// Opens the document; returns the exit code on failure, 0 when ready.
int openSession(const ParsedArgs &parsed, Session &s)
{
    s.env = setUpEnvironment();
    if (!s.env)
        return 2;
    if (const std::string *now = parsed.option("now")) {
        const QDateTime at = QDateTime::fromString(QString::fromStdString(*now), Qt::ISODate);
        if (!at.isValid()) {
            fail("--now takes a date and time such as 2026-01-31T08:05:09, not \"" + *now + "\"");
            return 2;
        }
        s.clock = std::make_unique<FixedClock>(at);
    } else {
        s.clock = std::make_unique<SystemClock>();
    }
    int code = 0;
    s.document = openForCommand(parsed.positionals[0], *s.env, code);
    if (!s.document)
        return code;
    if (parsed.flag("exec")) {
        s.commands.setOpener(&s.opener);
        s.commands.setStartedByCommand(true);
    }
    s.diagnostics = std::make_unique<PromptingDiagnostics>(*s.env->warnings);
    s.engine = std::make_unique<RenderEngine>(
        *s.document, RenderServices{s.env->messages, *s.diagnostics, s.commands, s.find, *s.clock});
    return 0;
}

bool zoomOption(const ParsedArgs &parsed, double &zoom)
{
    const std::string *text = parsed.option("zoom");
    if (!text)
        return true;
    bool ok = false;
    zoom = QString::fromStdString(*text).toDouble(&ok);
    if (!ok || !(zoom > 0) || zoom > 10) {
        fail("--zoom takes a number above 0 and at most 10, not \"" + *text + "\"");
        return false;
    }
    return true;
}

bool pageOption(const ParsedArgs &parsed, int &page)
{
    if (!intOption(parsed, "page", page))
        return false;
    if (page < 1) {
        fail("--page takes a page number from 1, not " + std::to_string(page));
        return false;
    }
    return true;
}

// Makes page p ready to be drawn for `target` as the viewer draws it when it
// is reached by paging from page 1 (with the font and barcode mode of the
// pages before); false with message 153 when it lies beyond, the refusal
// `pdf` gives for a range past the end (exit 1 for both).
bool reach(Session &s, int p, Target target)
{
    if (s.engine->reachPage(p, target))
        return true;
    const PageState &pages = s.engine->pages();
    if (pages.lastPageKnown()) {
        failWithMessage(s.env->messages, 153,
                        "page " + std::to_string(p) + "; the last is " +
                            std::to_string(pages.lastPage()));
    } else {
        failWithMessage(s.env->messages, 153, "page " + std::to_string(p) + " cannot be reached");
    }
    return false;
}

int runPages(const Args &args)
{
    ParsedArgs parsed;
    if (!parseArgs(args, {}, {}, parsed) || !positionalCount(parsed, 1, "pages FILE"))
        return 2;
    Session s;
    if (const int code = openSession(parsed, s))
        return code;
    std::printf("pages=%d\n", s.engine->countPages());
    return 0;
}

int runRender(const Args &args)
{
    ParsedArgs parsed;
    const char *usage = "render FILE --page N [--zoom Z] -o OUT.png";
    if (!parseArgs(args, {"page", "zoom", "o", "now"}, {"exec"}, parsed) ||
        !positionalCount(parsed, 1, usage))
        return 2;
    int page = 1;
    double zoom = 1;
    const std::string *out = parsed.option("o");
    if (!parsed.option("page") || !out) {
        fail(std::string("usage: keltool ") + usage);
        return 2;
    }
    if (!pageOption(parsed, page) || !zoomOption(parsed, zoom))
        return 2;
    Session s;
    if (const int code = openSession(parsed, s))
        return code;
    const QSize size = pagePictureSize(s.document->settings, zoom);
    if (size.isEmpty()) {
        fail("the page picture would be below one or above " + std::to_string(kMaxPagePixels) +
             " pixels a side; choose another zoom");
        return 2;
    }
    s.engine->drawing().zoomFactor = zoom;
    if (!reach(s, page, Target::Screen))
        return 1;
    const QImage image = drawScreenPage(*s.engine, page, zoom).image;
    if (!image.save(QString::fromStdString(*out), "PNG")) {
        fail("cannot write " + *out);
        return 2;
    }
    return 0;
}

int runPdf(const Args &args)
{
    ParsedArgs parsed;
    const char *usage = "pdf FILE -o OUT.pdf [--from N --to M]";
    if (!parseArgs(args, {"o", "from", "to", "now"}, {"exec"}, parsed) ||
        !positionalCount(parsed, 1, usage))
        return 2;
    const std::string *out = parsed.option("o");
    if (!out) {
        fail(std::string("usage: keltool ") + usage);
        return 2;
    }
    int from = 1;
    int to = 0;
    if (!intOption(parsed, "from", from) || !intOption(parsed, "to", to))
        return 2;
    if (from < 1 || (parsed.option("to") && to < from)) {
        fail("--from and --to take pages 1 and up, --to not below --from");
        return 2;
    }
    Session s;
    if (const int code = openSession(parsed, s))
        return code;
    // The whole document is printed until its end as it is met, without a
    // walk beforehand to count its pages; a range is located first.
    const bool whole = from == 1 && !parsed.option("to");
    if (!whole) {
        if (!parsed.option("to"))
            to = s.engine->countPages();
        if (!s.engine->locatePage(from) || !s.engine->locatePage(to)) {
            failWithMessage(s.env->messages, 153,
                            "pages " + std::to_string(from) + " to " + std::to_string(to));
            return 1;
        }
    }
    PdfFileOutput output(*out, JobOptions{fromCp1252(s.document->settings.title).toStdString()});
    if (!printPages(*s.engine, output, whole, from, to)) {
        fail("cannot write " + *out);
        return 2;
    }
    return 0;
}

int runTrace(const Args &args)
{
    ParsedArgs parsed;
    const char *usage = "trace FILE --page N [--zoom Z] [--printer]";
    if (!parseArgs(args, {"page", "zoom", "now"}, {"exec", "printer"}, parsed) ||
        !positionalCount(parsed, 1, usage))
        return 2;
    int page = 1;
    double zoom = 1;
    if (!parsed.option("page")) {
        fail(std::string("usage: keltool ") + usage);
        return 2;
    }
    if (!pageOption(parsed, page) || !zoomOption(parsed, zoom))
        return 2;
    Session s;
    if (const int code = openSession(parsed, s))
        return code;
    const Target target = parsed.flag("printer") ? Target::Printer : Target::Screen;
    if (target == Target::Screen)
        s.engine->drawing().zoomFactor = zoom;
    if (!reach(s, page, target))
        return 1;
    RecordingSurface surface;
    if (target == Target::Printer)
        s.engine->printPage(page, surface);
    else
        s.engine->drawPage(page, surface);
    for (const std::string &line : surface.lines())
        std::printf("%s\n", line.c_str());
    for (const LinkArea &area : s.engine->linkAreas().areas()) {
        const QRectF &r = area.rect;
        const auto f = &RecordingSurface::formatValue;
        std::printf("link %d %s,%s %s,%s %s\n", area.number, f(r.x()).c_str(), f(r.y()).c_str(),
                    f(r.width()).c_str(), f(r.height()).c_str(), area.target.c_str());
    }
    return 0;
}

const CommandRegistration pagesCommand({"pages", "FILE",
                                        "walk the whole document and print pages=N", &runPages});
const CommandRegistration
    renderCommand({"render", "FILE --page N [--zoom Z] [--now DATETIME] [--exec] -o OUT.png",
                   "draw page N as the viewer does at zoom Z (default 1) into a PNG", &runRender});
const CommandRegistration pdfCommand(
    {"pdf", "FILE -o OUT.pdf [--from N] [--to M] [--now DATETIME] [--exec]",
     "print the pages through the printer drawing into a PDF of the report's page size", &runPdf});
const CommandRegistration traceCommand(
    {"trace", "FILE --page N [--zoom Z] [--printer] [--now DATETIME] [--exec]",
     "print the drawing operations of page N, one per line, then its link areas", &runTrace});

} // namespace
} // namespace kel::cli
