// The Qt printer adapter: jobs on print-system queues through QPrinter.
//
// QPrinter belongs to Qt PrintSupport, which brings Qt Widgets with it, so
// it sits in a library of its own (kel_qtprinter); the printing layer
// itself links no Widgets. The viewer also uses it for Qt's own print
// dialogs, whose QPrinter it wraps.
#pragma once

#include "printing/pageoutput.h"
#include "printing/printers.h"

class QPrinter;

namespace kel {

// A page output over a QPrinter set up elsewhere (a Qt print dialog): the
// printer makes the copies. The printer is not owned.
class QtPrinterOutput : public PageOutput
{
public:
    explicit QtPrinterOutput(QPrinter &printer);
    ~QtPrinterOutput() override;

    Surface *beginPage(const PageSetup &setup) override;
    void endPage() override;
    Status finish() override;

private:
    PainterPageOutput m_output;
};

// Opens a job on a named queue: a QPrinter of that name at high
// resolution, full page, with the title and the copies.
Result<std::unique_ptr<PageOutput>> openQtPrinterQueue(const std::string &queue,
                                                       const JobOptions &options);

} // namespace kel
