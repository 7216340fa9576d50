#include "printing/qtprinter.h"

#include <QPrinter>

namespace kel {

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

} // namespace kel
