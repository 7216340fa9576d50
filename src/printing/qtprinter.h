// The Qt printer adapter: pages painted on a QPrinter.
//
// Printers send their jobs to CUPS as PDFs of our own writer
// (openCupsQueue); this adapter remains for a QPrinter that one of Qt's own
// print dialogs set up. QPrinter belongs to Qt PrintSupport, which brings
// Qt Widgets with it, so it sits in a library of its own (kel_qtprinter)
// that only the viewer links; the printing layer itself links no Widgets.
#pragma once

#include "printing/pageoutput.h"

class QPrinter;

namespace kel {

// A page output over a QPrinter set up elsewhere (a Qt print dialog): the
// printer makes the copies. The printer is not owned and must outlive the
// output.
class QtPrinterOutput : public PainterPageOutput
{
public:
    explicit QtPrinterOutput(QPrinter &printer);
};

} // namespace kel
