// Page outputs: the paper of one print job.
//
// A print job begins a page, draws it through the page's Surface, ends it,
// and after the last page finishes the job. Each page brings its own size
// and orientation. Every printed page is a page of our own PDF writer: a
// PDF file, or a PDF handed to the print system (printers.h). An output over
// a Qt paint device remains for a QPrinter that a Qt dialog set up.
#pragma once

#include "app/result.h"

#include <QPointF>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

class QPagedPaintDevice;
class QPainter;

namespace kel {

class AtomicFile;
struct DocumentSettings;
class PainterSurface;
class PdfDocument;
class Surface;

// Twips per printer line unit: line widths count as on a 384-dpi printer,
// so a printed line of width W (four units per unit of W) is as wide as the
// same line on the screen at 100 %.
inline constexpr double kPrinterLineUnit = 1440.0 / 384.0;

// One page of paper and where the drawing sits on it.
struct PageSetup
{
    // The page as the report lays it out, in twips; a landscape page is
    // wider than long.
    double width = 11907;
    double length = 16840;
    // Where twip 0, 0 of the drawing lies, in twips from the paper's top
    // left corner: the report's left margin (the engine adds the top one).
    QPointF origin;
    // Twips per line unit of the drawing.
    double lineUnit = kPrinterLineUnit;

    bool landscape() const { return width > length; }
    bool operator==(const PageSetup &) const = default;
};

// The printed page of a report: its page size, its left margin.
PageSetup printerPageSetup(const DocumentSettings &settings);

class PageOutput
{
public:
    // An output destroyed before finish() abandons its job: nothing is left
    // behind that looks complete.
    virtual ~PageOutput() = default;

    // Starts a new sheet and gives the surface to draw it on, valid until
    // endPage(). Null when the device failed.
    virtual Surface *beginPage(const PageSetup &setup) = 0;
    virtual void endPage() = 0;
    // Completes the job: the file written, the job handed to the printer.
    // Refused with 154 when the device failed.
    virtual Status finish() = 0;

    // How often the job draws its pages itself to make its copies: 1 where
    // the printer counts the copies.
    virtual int repeat() const { return 1; }
    // The file the job writes, for outputs that write one.
    virtual std::string outputPath() const { return {}; }
    // The print system's number of the finished job, for outputs that hand
    // their jobs to CUPS; 0 otherwise.
    virtual int cupsJobId() const { return 0; }
};

// A page output over a Qt paged paint device (a QPdfWriter, a QPrinter),
// which is not owned and must outlive the output.
class PainterPageOutput : public PageOutput
{
public:
    explicit PainterPageOutput(QPagedPaintDevice &device);
    ~PainterPageOutput() override;

    Surface *beginPage(const PageSetup &setup) override;
    void endPage() override;
    Status finish() override;

private:
    QPagedPaintDevice &m_device;
    std::unique_ptr<QPainter> m_painter;
    std::unique_ptr<PainterSurface> m_surface;
    std::optional<PageSetup> m_layout; // the layout the device has now
    int m_pages = 0;
};

// Options of one job on a printer.
struct JobOptions
{
    std::string title; // UTF-8
    int copies = 1;
};

// The pages drawn into one PDF document (PdfDocument) written to a file
// that the output owns and closes. The base of the PDF file and of the
// print system's jobs.
class PdfPageOutput : public PageOutput
{
public:
    // Takes `file` (opened for binary writing, closed by the output); a
    // null file fails at the first page.
    PdfPageOutput(std::FILE *file, const JobOptions &options);
    ~PdfPageOutput() override;

    Surface *beginPage(const PageSetup &setup) override;
    void endPage() override;

    // The setup of the first page (the job's paper), when there was one.
    const std::optional<PageSetup> &firstPage() const { return m_firstPage; }

protected:
    // Completes the PDF and flushes the file, which stays open for the
    // caller; false when anything could not be written.
    bool completeDocument();
    std::FILE *file() const { return m_file; }
    // False when closing reported a failure (the data did not all land).
    bool closeFile();

private:
    std::FILE *m_file;
    std::unique_ptr<PdfDocument> m_document;
    std::optional<PageSetup> m_firstPage;
};

// A PDF file: written under a temporary name beside `path` (`path` and
// ".part", which no queue filter takes and a restart recognises) and, when
// the job finishes, flushed to disk, renamed to `path` and its folder
// flushed (AtomicFile), so a job cut short never leaves a half PDF that
// looks finished and a finished one survives a power cut. Copies are drawn
// `copies` times over.
class PdfFileOutput : public PdfPageOutput
{
public:
    PdfFileOutput(std::string path, const JobOptions &options);
    ~PdfFileOutput() override;

    // Whether the temporary file could be created; refused with the file
    // and why (the job then fails at its first page).
    const Status &opened() const { return m_opened; }

    Status finish() override;
    int repeat() const override { return m_copies; }
    std::string outputPath() const override { return m_path; }

    // The name a job is written under until it finishes.
    static std::string temporaryPath(const std::string &path);

private:
    struct Opened;
    PdfFileOutput(Opened opened, std::string path, const JobOptions &options);

    std::unique_ptr<AtomicFile> m_file;
    Status m_opened;
    std::string m_path;
    int m_copies;
};

} // namespace kel
