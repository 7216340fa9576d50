#include "render/printjob.h"

#include "documents/opening.h"
#include "render/pagewalk.h"
#include "render/paintersurface.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <memory>

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

namespace {

// The painter and surface of one job, made when the first page starts.
struct Paper
{
    QPainter painter;
    std::unique_ptr<PainterSurface> surface;
};

} // namespace

PrintOutcome PrintJob::printWholeDocument()
{
    PageState &pages = m_engine.pages();
    const int remembered = pages.currentPage();
    const DocumentSettings &s = m_engine.document().settings;
    setUpPrinterPage(m_device, s);
    Paper paper;
    PrintOutcome outcome;
    if (!paper.painter.begin(&m_device)) {
        outcome.message = 154;
        return outcome;
    }
    paper.surface = std::make_unique<PainterSurface>(
        paper.painter, PainterSurfaceOptions{QPointF(s.leftMargin, 0), kPrinterLineUnit});
    for (int copy = 0; copy < m_repeat && outcome.message == 0; ++copy) {
        for (int page = 1; page <= PageState::kMaxPages; ++page) {
            if (pages.isBeyondLastPage(page) || !pages.isKnown(page))
                break;
            if (outcome.pagesPrinted > 0 && !m_device.newPage()) {
                outcome.message = 154;
                break;
            }
            pages.setCurrentPage(page);
            m_engine.printPage(page, *paper.surface);
            ++outcome.pagesPrinted;
            if (m_pageDone)
                m_pageDone(page);
            if (pages.lastPageKnown() && page >= pages.lastPage())
                break;
        }
    }
    if (!paper.painter.end() && outcome.message == 0)
        outcome.message = 154;
    pages.setCurrentPage(remembered);
    return outcome;
}

PrintOutcome PrintJob::printPageRange(int from, int to)
{
    PageState &pages = m_engine.pages();
    const int remembered = pages.currentPage();
    PrintOutcome outcome;
    if (from < 1 || to < from || !m_engine.locatePage(from) || !m_engine.locatePage(to)) {
        pages.setCurrentPage(remembered);
        outcome.message = 153;
        return outcome;
    }
    pages.setCurrentPage(remembered);
    const DocumentSettings &s = m_engine.document().settings;
    setUpPrinterPage(m_device, s);
    Paper paper;
    if (!paper.painter.begin(&m_device)) {
        outcome.message = 154;
        return outcome;
    }
    paper.surface = std::make_unique<PainterSurface>(
        paper.painter, PainterSurfaceOptions{QPointF(s.leftMargin, 0), kPrinterLineUnit});
    for (int copy = 0; copy < m_repeat && outcome.message == 0; ++copy) {
        for (int page = from; page <= to; ++page) {
            if (outcome.pagesPrinted > 0 && !m_device.newPage()) {
                outcome.message = 154;
                break;
            }
            pages.setCurrentPage(page);
            m_engine.printPage(page, *paper.surface);
            ++outcome.pagesPrinted;
            if (m_pageDone)
                m_pageDone(page);
        }
    }
    if (!paper.painter.end() && outcome.message == 0)
        outcome.message = 154;
    pages.setCurrentPage(remembered);
    return outcome;
}

} // namespace kel
