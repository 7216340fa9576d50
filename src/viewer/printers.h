// Printers: the installed CUPS queues, and "pdf:FOLDER", which writes every
// job as a PDF file into FOLDER (servers without a printer, tests).
#pragma once

#include <memory>
#include <string>
#include <vector>

class QPagedPaintDevice;

namespace kel {

inline constexpr const char *kPdfPrinterPrefix = "pdf:";

// Names of the installed printers in the order the system lists them;
// `available` is false when no printer information can be had at all.
std::vector<std::string> installedPrinters(bool *available = nullptr);
// The system's default printer, or "" when there is none.
std::string defaultPrinterName();
// True for an installed printer or a "pdf:" name whose folder exists.
bool printerExists(const std::string &name);

// The paper of one job on a named printer.
class PrintDestination
{
public:
    virtual ~PrintDestination() = default;
    virtual QPagedPaintDevice &device() = 0;
    // How often the job must draw its pages itself: 1 where the printer
    // makes the copies.
    virtual int repeat() const = 0;
    // The file written, for "pdf:" printers.
    virtual std::string outputPath() const { return {}; }

    // Null when the printer does not exist (`error` says why).
    static std::unique_ptr<PrintDestination>
    open(const std::string &printer, const std::string &jobTitle, int copies, std::string &error);
};

} // namespace kel
