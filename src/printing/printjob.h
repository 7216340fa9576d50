// The print job: the pages of the open document drawn on paper.
//
// Each printed page is the printer drawing of the page walk: unzoomed, the
// left margin through the origin, linePos starting at the top margin and
// the page ending past MAXY plus the top margin, so pages break exactly
// where they break on the screen. A new sheet is begun only for a page that
// is printed, so a job never ends with an empty sheet. One printDocument()
// serves the viewer, the console and keltool.
#pragma once

#include "app/result.h"

#include <functional>
#include <string>

namespace kel {

class PageOutput;
class Printers;
class RenderEngine;

// What to print: the printer's name, all pages or a range, and copies.
struct PrintRequest
{
    std::string printer;
    bool allPages = true;
    int from = 1;
    int to = 1;
    int copies = 1;
};

// Called after every printed page with its number. The front end may update
// its status and pump its events there; the job itself never does.
struct PrintProgress
{
    std::function<void(int page)> pageDone;
};

struct PrintReport
{
    int pagesPrinted = 0;
    std::string file; // the file written, for "pdf:" printers
    // The print system's job number, for CUPS queues: the job was taken
    // whole by the scheduler under this number.
    int cupsJobId = 0;
};

// Prints on an output already open and finishes its job. All pages run
// until the end of the data (the last page becomes known); a range is
// located first by a scanning walk and refused with 153 when either end
// lies beyond the document. The first page carries the state of the pages
// before it, as the viewer draws it when paged to from page 1. The pages
// are drawn output.repeat() times over.
// The page shown (currentPage) is kept. 154 when the device fails.
Result<PrintReport> printPages(RenderEngine &engine, PageOutput &output, bool allPages, int from,
                               int to, const PrintProgress &progress = {});

// Opens the request's printer (133 when it does not exist) with the
// report's title and the copies, and prints on it as printPages() does.
Result<PrintReport> printDocument(RenderEngine &engine, const PrintRequest &request,
                                  const Printers &printers, const PrintProgress &progress = {});

} // namespace kel
