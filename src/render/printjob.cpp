#include "render/printjob.h"

#include "documents/opening.h"
#include "render/pagewalk.h"
#include "render/paintersurface.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

namespace kel {

void setUpPrinterPage(QPagedPaintDevice &device, const DocumentSettings &s)
{
    // The page size is given upright; a landscape report (width above
    // length after the orientation exchange) turns the sheet.
    const double shortSide = std::min(s.pageWidth, s.pageLength) / 1440.0;
    const double longSide = std::max(s.pageWidth, s.pageLength) / 1440.0;
    const QPageSize size(QSizeF(std::max(shortSide, 0.1), std::max(longSide, 0.1)), QPageSize::Inch,
                         QString(), QPageSize::FuzzyMatch);
    const auto orientation =
        s.pageWidth > s.pageLength ? QPageLayout::Landscape : QPageLayout::Portrait;
    device.setPageLayout(QPageLayout(size, orientation, QMarginsF(0, 0, 0, 0)));
}

PrintOutcome PrintJob::printWholeDocument()
{
    return run(1, 0);
}

PrintOutcome PrintJob::printPageRange(int from, int to)
{
    PageState &pages = m_engine.pages();
    const int remembered = pages.currentPage();
    const bool located =
        from >= 1 && to >= from && m_engine.locatePage(from) && m_engine.locatePage(to);
    pages.setCurrentPage(remembered);
    if (!located)
        return {153, 0};
    return run(from, to);
}

PrintOutcome PrintJob::run(int from, int to)
{
    PageState &pages = m_engine.pages();
    const int remembered = pages.currentPage();
    const DocumentSettings &s = m_engine.document().settings;
    setUpPrinterPage(m_device, s);
    PrintOutcome outcome;
    QPainter painter;
    if (!painter.begin(&m_device))
        return {154, 0};
    PainterSurface surface(painter,
                           PainterSurfaceOptions{QPointF(s.leftMargin, 0), kPrinterLineUnit});
    // `to` 0: until the end of the data, which the walk itself finds.
    const int last = to > 0 ? to : PageState::kMaxPages;
    for (int copy = 0; copy < m_repeat && outcome.message == 0; ++copy) {
        for (int page = from; page <= last; ++page) {
            if (pages.isBeyondLastPage(page) || !pages.isKnown(page))
                break;
            if (outcome.pagesPrinted > 0 && !m_device.newPage()) {
                outcome.message = 154;
                break;
            }
            pages.setCurrentPage(page);
            m_engine.printPage(page, surface);
            ++outcome.pagesPrinted;
            if (m_pageDone)
                m_pageDone(page);
        }
    }
    if (!painter.end() && outcome.message == 0)
        outcome.message = 154;
    pages.setCurrentPage(remembered);
    return outcome;
}

} // namespace kel
