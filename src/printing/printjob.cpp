#include "printing/printjob.h"

#include "app/text.h"
#include "documents/opening.h"
#include "printing/pageoutput.h"
#include "printing/printers.h"
#include "render/pagewalk.h"

#include <algorithm>

namespace kel {
namespace {

// Prints pages from..to (to 0: until the end of the data), `repeat` times.
Result<PrintReport> run(RenderEngine &engine, PageOutput &output, int from, int to,
                        const PrintProgress &progress)
{
    PageState &pages = engine.pages();
    const PageSetup setup = printerPageSetup(engine.document().settings);
    const int last = to > 0 ? to : PageState::kMaxPages;
    PrintReport report;
    for (int copy = 0; copy < std::max(1, output.repeat()); ++copy) {
        for (int page = from; page <= last; ++page) {
            if (pages.isBeyondLastPage(page) || !pages.isKnown(page))
                break;
            Surface *surface = output.beginPage(setup);
            if (!surface)
                return refusal(154, "the printer did not take page " + std::to_string(page));
            pages.setCurrentPage(page);
            engine.printPage(page, *surface);
            output.endPage();
            ++report.pagesPrinted;
            if (progress.pageDone)
                progress.pageDone(page);
        }
    }
    if (Status done = output.finish(); !done)
        return done.refusal();
    report.file = output.outputPath();
    report.cupsJobId = output.cupsJobId();
    return report;
}

} // namespace

Result<PrintReport> printPages(RenderEngine &engine, PageOutput &output, bool allPages, int from,
                               int to, const PrintProgress &progress)
{
    PageState &pages = engine.pages();
    const int remembered = pages.currentPage();
    if (!allPages) {
        const bool located =
            from >= 1 && to >= from && engine.locatePage(from) && engine.locatePage(to);
        pages.setCurrentPage(remembered);
        if (!located)
            return refusal(153, "pages " + std::to_string(from) + " to " + std::to_string(to));
    }
    // The first page printed carries the font, size and barcode mode of the
    // pages before it, as when it is reached by paging from page 1; a whole
    // document starts from the state of a document just opened, whatever
    // page the viewer showed last.
    const int first = allPages ? 1 : from;
    engine.reachPage(first, Target::Printer);
    Result<PrintReport> result = run(engine, output, first, allPages ? 0 : to, progress);
    pages.setCurrentPage(remembered);
    return result;
}

Result<PrintReport> printDocument(RenderEngine &engine, const PrintRequest &request,
                                  const Printers &printers, const PrintProgress &progress)
{
    const JobOptions options{fromCp1252(engine.document().settings.title).toStdString(),
                             std::max(1, request.copies)};
    Result<std::unique_ptr<PageOutput>> output = printers.open(request.printer, options);
    if (!output)
        return output.refusal();
    return printPages(engine, **output, request.allPages, request.from, request.to, progress);
}

} // namespace kel
