#include "printing/pageoutput.h"

#include "app/text.h"
#include "documents/documentsettings.h"
#include "render/paintersurface.h"

#include <QFile>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cstdio>

namespace kel {
namespace {

// The device's page: the size given upright, turned for a landscape page,
// no margins (the drawing places itself through the origin).
QPageLayout layoutOf(const PageSetup &setup)
{
    const double shortSide = std::min(setup.width, setup.length) / 1440.0;
    const double longSide = std::max(setup.width, setup.length) / 1440.0;
    const QPageSize size(QSizeF(std::max(shortSide, 0.1), std::max(longSide, 0.1)), QPageSize::Inch,
                         QString(), QPageSize::FuzzyMatch);
    return QPageLayout(size, setup.landscape() ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
}

} // namespace

PageSetup printerPageSetup(const DocumentSettings &s)
{
    PageSetup setup;
    setup.width = s.pageWidth;
    setup.length = s.pageLength;
    setup.origin = QPointF(s.leftMargin, 0);
    setup.lineUnit = kPrinterLineUnit;
    return setup;
}

PainterPageOutput::PainterPageOutput(QPagedPaintDevice &device) : m_device(device) {}

PainterPageOutput::~PainterPageOutput()
{
    m_surface.reset();
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

Surface *PainterPageOutput::beginPage(const PageSetup &setup)
{
    m_surface.reset();
    // A device takes a new layout for the pages that follow; most jobs keep
    // one layout throughout and set it once.
    if (m_layout != setup) {
        if (!m_device.setPageLayout(layoutOf(setup)) && m_pages == 0)
            return nullptr;
        m_layout = setup;
    }
    if (m_pages == 0) {
        m_painter = std::make_unique<QPainter>();
        if (!m_painter->begin(&m_device))
            return nullptr;
    } else if (!m_device.newPage()) {
        return nullptr;
    }
    ++m_pages;
    m_surface = std::make_unique<PainterSurface>(
        *m_painter, PainterSurfaceOptions{setup.origin, setup.lineUnit});
    return m_surface.get();
}

void PainterPageOutput::endPage()
{
    m_surface.reset();
}

Status PainterPageOutput::finish()
{
    m_surface.reset();
    if (m_painter && m_painter->isActive() && !m_painter->end())
        return refusal(154, "the printer did not take the job");
    return {};
}

struct PdfFileOutput::Writer
{
    explicit Writer(const QString &path) : pdf(path), output(pdf) {}
    QPdfWriter pdf;
    PainterPageOutput output;
};

std::string PdfFileOutput::temporaryPath(const std::string &path)
{
    return path + ".part";
}

PdfFileOutput::PdfFileOutput(std::string path, const JobOptions &options)
    : m_path(std::move(path)), m_copies(std::max(1, options.copies))
{
    m_writer = std::make_unique<Writer>(QString::fromStdString(temporaryPath(m_path)));
    m_writer->pdf.setResolution(1200);
    m_writer->pdf.setCreator(QStringLiteral("Kel Printing System"));
    m_writer->pdf.setTitle(QString::fromStdString(options.title));
}

PdfFileOutput::~PdfFileOutput()
{
    m_writer.reset();
    if (!m_finished)
        std::remove(temporaryPath(m_path).c_str());
}

Surface *PdfFileOutput::beginPage(const PageSetup &setup)
{
    return m_writer->output.beginPage(setup);
}

void PdfFileOutput::endPage()
{
    m_writer->output.endPage();
}

Status PdfFileOutput::finish()
{
    Status done = m_writer->output.finish();
    m_writer.reset(); // closes the file
    const std::string temporary = temporaryPath(m_path);
    if (done && std::rename(temporary.c_str(), m_path.c_str()) != 0)
        done = refusal(154, m_path + ": the PDF file cannot be written");
    if (!done) {
        std::remove(temporary.c_str());
        return done;
    }
    m_finished = true;
    return {};
}

} // namespace kel
