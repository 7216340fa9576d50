// The print job: the pages of the open document drawn on paper.
//
// Paper is any QPagedPaintDevice: a QPrinter on a CUPS queue, or a
// QPdfWriter (keltool pdf and "pdf:" printers). Each printed page is the
// printer drawing of the page walk: unzoomed, the left margin through the
// origin, linePos starting at the top margin and the page ending past MAXY
// plus the top margin, so pages break exactly where they break on the screen.
// The device advances to a new sheet only between two pages, so a job never
// ends with an empty sheet.
#pragma once

#include <QString>
#include <algorithm>
#include <functional>

class QPagedPaintDevice;

namespace kel {

class RenderEngine;
struct DocumentSettings;

// Twips per printer line unit: line widths count as on a 384-dpi printer,
// so a printed line of width W (four units per unit of W) is as wide as the
// same line on the screen at 100 %.
inline constexpr double kPrinterLineUnit = 1440.0 / 384.0;

// Sets the device's page to the report's size and orientation, margins 0.
void setUpPrinterPage(QPagedPaintDevice &device, const DocumentSettings &settings);

struct PrintOutcome
{
    int message = 0; // 0 printed; 153 pages beyond the document; 154 device failure
    int pagesPrinted = 0;
};

class PrintJob
{
public:
    // Called after every printed page with its number; may pump events so
    // that the window repaints during a long job.
    using PageDone = std::function<void(int page)>;

    PrintJob(RenderEngine &engine, QPagedPaintDevice &device) : m_engine(engine), m_device(device)
    {
    }
    void onPageDone(PageDone callback) { m_pageDone = std::move(callback); }

    // Every page from the first until the end of the data; the last page
    // becomes known. The page shown (currentPage) is kept.
    PrintOutcome printWholeDocument();
    // Pages from..to, located first by a scanning walk; 153 when either end
    // lies beyond the document. The page shown is kept.
    PrintOutcome printPageRange(int from, int to);

    // Prints the pages this many times over in one job (collated copies on
    // paper that cannot count copies itself, such as a PDF file).
    void setRepeat(int times) { m_repeat = std::max(1, times); }

private:
    // Prints pages from..to (to 0: until the end of the data), m_repeat times.
    PrintOutcome run(int from, int to);

    RenderEngine &m_engine;
    QPagedPaintDevice &m_device;
    PageDone m_pageDone;
    int m_repeat = 1;
};

} // namespace kel
