#include "printing/pageoutput.h"

#include "app/atomicfile.h"
#include "app/text.h"
#include "documents/documentsettings.h"
#include "render/paintersurface.h"
#include "render/pdfsurface.h"

#include <QFile>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

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

// The paper's side for a report's side: a side of 0 or below (a report that
// gives a page length but no width, or a negative one) takes A4's, and no
// side is longer than 200 inches, the largest page PDF readers and printers
// take.
double paperSide(double side, double a4Side)
{
    constexpr double kLongestSide = 200 * 1440.0; // twips
    return side > 0 ? std::min(side, kLongestSide) : a4Side;
}

} // namespace

PageSetup printerPageSetup(const DocumentSettings &s)
{
    PageSetup setup;
    setup.width = paperSide(s.pageWidth, s.landscape() ? kA4Length : kA4Width);
    setup.length = paperSide(s.pageLength, s.landscape() ? kA4Width : kA4Length);
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

PdfPageOutput::PdfPageOutput(std::FILE *file, const JobOptions &options) : m_file(file)
{
    if (m_file)
        m_document = std::make_unique<PdfDocument>(m_file, PdfInfo{options.title});
}

PdfPageOutput::~PdfPageOutput()
{
    m_document.reset();
    closeFile();
}

bool PdfPageOutput::closeFile()
{
    const bool closed = !m_file || std::fclose(m_file) == 0;
    m_file = nullptr;
    return closed;
}

Surface *PdfPageOutput::beginPage(const PageSetup &setup)
{
    if (!m_document)
        return nullptr;
    if (!m_firstPage)
        m_firstPage = setup;
    return &m_document->beginPage(setup.width, setup.length, setup.origin, setup.lineUnit);
}

void PdfPageOutput::endPage()
{
    if (m_document)
        m_document->endPage();
}

bool PdfPageOutput::completeDocument()
{
    if (!m_document)
        return false;
    const bool written = m_document->finish();
    m_document.reset();
    return written && std::fflush(m_file) == 0 && std::ferror(m_file) == 0;
}

std::string PdfFileOutput::temporaryPath(const std::string &path)
{
    return path + ".part";
}

// The working file, and the stream over a copy of its descriptor that the
// PDF writer writes through; the AtomicFile keeps its own descriptor to
// flush and rename the file when the job is done.
struct PdfFileOutput::Opened
{
    std::unique_ptr<AtomicFile> file;
    std::FILE *stream = nullptr;
    Status status;
};

PdfFileOutput::PdfFileOutput(std::string path, const JobOptions &options)
    : PdfFileOutput(
          [&path] {
              Opened o;
              o.file = std::make_unique<AtomicFile>(path, temporaryPath(path));
              o.status = o.file->open();
              if (o.status) {
                  const int fd = dup(o.file->fd());
                  o.stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
                  if (!o.stream) {
                      o.status = refusal(kNoMessage, path + ": " + std::strerror(errno));
                      if (fd >= 0)
                          ::close(fd);
                      o.file->abandon();
                  }
              }
              return o;
          }(),
          path, options)
{
}

PdfFileOutput::PdfFileOutput(Opened opened, std::string path, const JobOptions &options)
    : PdfPageOutput(opened.stream, options), m_file(std::move(opened.file)),
      m_opened(std::move(opened.status)), m_path(std::move(path)),
      m_copies(std::max(1, options.copies))
{
}

PdfFileOutput::~PdfFileOutput()
{
    // An unfinished job's stream is closed before its file is abandoned.
    closeFile();
}

Status PdfFileOutput::finish()
{
    bool done = completeDocument();
    done = closeFile() && done;
    if (!done) {
        m_file->abandon();
        const std::string why =
            m_opened ? "the PDF file cannot be written" : m_opened.refusal().detail;
        return refusal(154, m_path + ": " + why);
    }
    // `keltool pdf -o` may name a file that exists: it is replaced whole.
    if (Status committed = m_file->commit(Replace::Allowed); !committed)
        return refusal(154, committed.refusal().detail);
    return {};
}

} // namespace kel
