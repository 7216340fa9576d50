// Printing through the desktop's print dialog and its preview: Qt's
// QPrintDialog (printers, range, copies, duplex) and QPrintPreviewDialog,
// both drawing the same print job as every other printing, on the Qt
// printer adapter of the printing layer. The system's own print dialog
// ("printsetup") stays beside them.
#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "documents/opening.h"
#include "printing/qtprinter.h"
#include "render/pagewalk.h"
#include "viewer/busycursor.h"
#include "viewer/viewerwindow.h"

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace kel {

namespace {

// The range a Qt printer names, as the print job takes it.
struct Range
{
    bool all = true;
    int from = 1;
    int to = 1;
};

Range rangeOf(const QPrinter &printer, int currentPage)
{
    switch (printer.printRange()) {
    case QPrinter::PageRange:
        return {false, printer.fromPage(), printer.toPage()};
    case QPrinter::CurrentPage:
        return {false, currentPage, currentPage};
    case QPrinter::AllPages:
    case QPrinter::Selection:
        break;
    }
    return {};
}

} // namespace

Result<PrintReport> ViewerWindow::drawOnPrinter(QPrinter &printer)
{
    // The report places everything from the paper's corner, as on every
    // printer of the system; each page brings its own size.
    printer.setFullPage(true);
    if (printer.docName().isEmpty())
        printer.setDocName(windowTitle());
    printer.setCreator(QStringLiteral("Kel Printing System"));
    const Range range = rangeOf(printer, currentPage());
    QtPrinterOutput output(printer);
    return printPages(*m_engine, output, range.all, range.from, range.to);
}

bool ViewerWindow::printOn(QPrinter &printer)
{
    if (!m_engine)
        return false;
    const Messages &m = m_context.messages;
    Result<PrintReport> printed = [&] {
        BusyCursor busy;
        setStatus(m.qtext(93));
        return drawOnPrinter(printer);
    }();
    if (printed)
        setStatus(pageStatusText(currentPage(), 168));
    else
        showPrintRefusal(printed.refusal(), rangeOf(printer, currentPage()).all);
    redrawCurrentPage();
    enableDocumentCommands();
    return printed.ok();
}

void ViewerWindow::systemPrintCommand()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    if (!allowedByDocument(ButtonNeeds::PrintAllowed))
        return;
    // The dialog's page range needs the last page: finish the count.
    {
        BusyCursor busy;
        m_navigator->countAll();
    }
    showPageStatus();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(windowTitle());
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(m.qtext(122));
    dialog.setOptions(QAbstractPrintDialog::PrintPageRange |
                      QAbstractPrintDialog::PrintCurrentPage | QAbstractPrintDialog::PrintToFile |
                      QAbstractPrintDialog::PrintCollateCopies |
                      QAbstractPrintDialog::PrintShowPageSize);
    dialog.setMinMax(1, std::max(1, m_engine->pages().lastPage()));
    printer.setFromTo(currentPage(), currentPage());
    if (dialog.exec() != QDialog::Accepted)
        return;
    printOn(printer);
}

void ViewerWindow::previewCommand()
{
    if (!m_engine)
        return;
    const Messages &m = m_context.messages;
    if (!allowedByDocument(ButtonNeeds::PrintAllowed))
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(windowTitle());
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(m.qtext(298));
    // The preview draws the job on its own printer, and again on the real
    // one when its print button is used.
    bool refused = false;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, &refused](QPrinter *p) {
        BusyCursor busy;
        const Result<PrintReport> drawn = drawOnPrinter(*p);
        if (!drawn && !refused) {
            refused = true;
            showPrintRefusal(drawn.refusal(), rangeOf(*p, currentPage()).all);
        }
    });
    preview.resize(size());
    preview.exec();
    redrawCurrentPage();
    showPageStatus();
    enableDocumentCommands();
}

} // namespace kel
