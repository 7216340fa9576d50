// Printers: the print system's queues (CUPS destinations), and "pdf:FOLDER",
// which writes every job as a PDF file into FOLDER (servers without a
// printer, tests). The viewer, the console and keltool all print through
// one Printers object.
#pragma once

#include "app/result.h"
#include "printing/pageoutput.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kel {

inline constexpr const char *kPdfPrinterPrefix = "pdf:";

// Opens a job on a print-system queue.
using QueueOpener = std::function<Result<std::unique_ptr<PageOutput>>(const std::string &queue,
                                                                      const JobOptions &options)>;

// A job on a CUPS queue: the pages as one PDF handed to CUPS with the
// copies, orientation and paper as job attributes (cupsjob.h).
Result<std::unique_ptr<PageOutput>> openCupsQueue(const std::string &queue,
                                                  const JobOptions &options);

class Printers
{
public:
    // Jobs on queues go to CUPS, unless another opener is given; with an
    // empty one, they are refused (133).
    explicit Printers(QueueOpener queues = openCupsQueue);

    // Names of the queues in the order the print system lists them;
    // `available` is false when the print system cannot be reached or has
    // no queue at all.
    std::vector<std::string> installed(bool *available = nullptr) const;
    // The print system's default queue, or "" when there is none.
    std::string defaultPrinter() const;
    // True for an installed queue or a "pdf:" name whose folder exists.
    bool exists(const std::string &name) const;
    // The installed queue whose name equals `name` ignoring case, or "".
    std::string findIgnoringCase(const std::string &name) const;

    // A job on the printer; refused with 133 when it does not exist.
    Result<std::unique_ptr<PageOutput>> open(const std::string &printer,
                                             const JobOptions &options) const;

    // The file a "pdf:" job on FOLDER writes: named after the title, the
    // time and the process, so no two jobs of any process share it.
    static std::string pdfJobPath(const std::string &folder, const std::string &title);

private:
    QueueOpener m_queues;
};

} // namespace kel
