#include "printing/qtprinter.h"

#include <QPrinter>

namespace kel {
namespace {

// A QPrinter owned by its job.
class QueueOutput : public PageOutput
{
public:
    QueueOutput(const std::string &queue, const JobOptions &options)
        : m_printer(QPrinter::HighResolution), m_output(m_printer)
    {
        m_printer.setPrinterName(QString::fromStdString(queue));
        m_printer.setDocName(QString::fromStdString(options.title));
        m_printer.setCreator(QStringLiteral("Kel Printing System"));
        m_printer.setFullPage(true);
        m_printer.setCopyCount(options.copies);
    }
    Surface *beginPage(const PageSetup &setup) override { return m_output.beginPage(setup); }
    void endPage() override { m_output.endPage(); }
    Status finish() override { return m_output.finish(); }

private:
    QPrinter m_printer;
    PainterPageOutput m_output;
};

} // namespace

QtPrinterOutput::QtPrinterOutput(QPrinter &printer) : m_output(printer) {}

QtPrinterOutput::~QtPrinterOutput() = default;

Surface *QtPrinterOutput::beginPage(const PageSetup &setup)
{
    return m_output.beginPage(setup);
}

void QtPrinterOutput::endPage()
{
    m_output.endPage();
}

Status QtPrinterOutput::finish()
{
    return m_output.finish();
}

Result<std::unique_ptr<PageOutput>> openQtPrinterQueue(const std::string &queue,
                                                       const JobOptions &options)
{
    std::unique_ptr<PageOutput> output = std::make_unique<QueueOutput>(queue, options);
    return output;
}

} // namespace kel
