#include "printing/qtprinter.h"

#include <QPrinter>

namespace kel {

QtPrinterOutput::QtPrinterOutput(QPrinter &printer) : PainterPageOutput(printer) {}

} // namespace kel
