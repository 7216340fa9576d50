// Printers: the print system's queues (CUPS destinations), and "pdf:FOLDER",
// which writes every job as a PDF file into FOLDER (servers without a
// printer, tests). The viewer, the console and keltool all print through
// one Printers object.
#pragma once

#include "app/result.h"
#include "printing/pageoutput.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kel {

inline constexpr const char *kPdfPrinterPrefix = "pdf:";

// A "pdf:" printer whose folder cannot be written (the detail: the folder
// and why).
inline constexpr int kMsgPdfFolder = 410;

// How long the print system has to answer any one request before the job
// or the list fails as if the printer were not there.
inline constexpr std::chrono::milliseconds kPrintSystemLimit{30000};

// Opens a job on a print-system queue.
using QueueOpener = std::function<Result<std::unique_ptr<PageOutput>>(const std::string &queue,
                                                                      const JobOptions &options)>;

// A job on a CUPS queue: the pages as one PDF handed to CUPS with the
// copies, orientation and paper as job attributes (cupsjob.h).
Result<std::unique_ptr<PageOutput>> openCupsQueue(const std::string &queue,
                                                  const JobOptions &options);

// The print system's queues as one answer gave them.
struct PrinterList
{
    // Queue names in the order the print system lists them (instances,
    // "queue/instance", are not separate printers).
    std::vector<std::string> names;
    std::string defaultName; // "" when there is none
    // False when the print system could not be reached or did not answer in
    // time; `why` then says which.
    bool answered = false;
    std::string why;
};

// Asks the print system for its queues, on a connection of our own that
// gives up after `limit` or as soon as `cancel` becomes true.
using PrinterListSource =
    std::function<PrinterList(std::chrono::milliseconds limit, const std::atomic<bool> &cancel)>;
PrinterList queryCupsQueues(std::chrono::milliseconds limit, const std::atomic<bool> &cancel);

// Every question about printers is answered from one list of the print
// system's queues, taken by refresh(): the console takes one per tick, the
// print dialog one when it opens, keltool one per run (the first question
// takes it when nobody asked for one before).
//
// The list is asked for on a worker thread, which gives the print system
// kPrintSystemLimit to answer; refresh() waits only `wait` for it. When no
// answer came in that time, the list of this refresh has no queues (jobs on
// queues are refused with 133, as for a missing printer, and "pdf:" printers
// go on printing), and the question stays with the worker: the refreshes
// that follow do not wait for it again nor ask a second time while it is
// open, so a stopped scheduler costs one wait and then nothing; an answer
// that comes late serves the next refresh.
class Printers
{
public:
    // How long the console's tick waits for the list.
    static constexpr std::chrono::milliseconds kTickWait{2000};
    // How long the print dialog waits for it (someone is watching).
    static constexpr std::chrono::milliseconds kDialogWait{5000};

    // Jobs on queues go to CUPS, unless another opener is given; with an
    // empty one, they are refused (133).
    explicit Printers(QueueOpener queues = openCupsQueue,
                      PrinterListSource source = queryCupsQueues);
    ~Printers();
    Printers(const Printers &) = delete;
    Printers &operator=(const Printers &) = delete;

    // Takes a new list of the print system's queues for the questions that
    // follow, waiting at most `wait` for it (see above). Const: the list is
    // what the print system holds, not a state of this object.
    void refresh(std::chrono::milliseconds wait = kPrintSystemLimit) const;
    // The list the questions are answered from.
    const PrinterList &list() const;

    // Names of the queues in the order the print system lists them;
    // `available` is false when the print system cannot be reached, did not
    // answer or has no queue at all.
    std::vector<std::string> installed(bool *available = nullptr) const;
    // The print system's default queue, or "" when there is none.
    std::string defaultPrinter() const;
    // True for an installed queue or a "pdf:" name whose folder can be
    // written.
    bool exists(const std::string &name) const { return check(name).ok(); }
    // Why a job on `name` cannot be opened: 133 for a queue that is not
    // installed (the detail says when the print system did not answer), 410
    // for a "pdf:" folder that cannot be written (its path and the reason).
    Status check(const std::string &name) const;
    // The installed queue whose name equals `name` ignoring case, or "".
    std::string findIgnoringCase(const std::string &name) const;

    // A job on the printer; refused as check() says.
    Result<std::unique_ptr<PageOutput>> open(const std::string &printer,
                                             const JobOptions &options) const;

    // The file a "pdf:" job on FOLDER writes: named after the title, the
    // time and the process, so no two jobs of any process share it.
    static std::string pdfJobPath(const std::string &folder, const std::string &title);

private:
    struct Query;

    QueueOpener m_queues;
    PrinterListSource m_source;
    std::shared_ptr<Query> m_query; // shared with the worker asking it
    mutable std::optional<PrinterList> m_list;
};

} // namespace kel
