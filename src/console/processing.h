// Processing one released file of the queue: the console's steps from the
// file that arrived to the pages handed to a printer.
//
// Listings are converted and template data merged into NAME.kel beside the
// file, packed reports unpacked into the temporary folder; the report's
// CONVERSION table is applied, a report that asks for the viewer is renamed
// out of the queue and shown, includes are expanded into "00000000.$$$",
// and that file is loaded and printed through the shared print job (or
// handed to the transfer when its header says SEND_TO).
//
// Nothing is lost: the file that arrived, and the report made from it, are
// deleted only after the print job was finished (its PDF closed, or the job
// handed to the print system) or the transfer took them over. A job that
// fails, or a console that dies in the middle of one, leaves the file where
// it was, and the next look prints it whole.
#pragma once

#include "app/result.h"
#include "app/settings.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace kel {

struct Folders;
class Journal;
class Messages;
class Printers;
class Prompter;
class TransferHooks;
class Warnings;

// Starts the viewer program on a file, as a separate process.
using ViewerLauncher = std::function<void(const std::string &path)>;

// What the console's work needs, all owned elsewhere and living for the run.
struct ConsoleContext
{
    const Folders &folders;
    const Messages &messages;
    SettingsRecord &settings;
    Prompter &prompter; // the console's own errors and notices
    Warnings &warnings; // markup warnings while a report loads and prints
    const Printers &printers;
    TransferHooks &transfer;
    ViewerLauncher startViewer; // may be empty: nothing is started
};

struct ProcessOutcome
{
    enum class Kind {
        Printed,   // the job is finished, the files are deleted
        Viewed,    // renamed out of the queue and handed to the viewer
        Forwarded, // the transfer took the files over
        Left,      // the file stays in the queue; `reason` says why
        Gone,      // the file disappeared before it could be read
    };
    Kind kind = Kind::Left;
    Refusal reason;
    // Left: whether trying again can help while the file stays as it is (a
    // printer that is down may come back; a file that is not a report
    // stays one until it is replaced).
    bool retry = false;
    std::string printer; // Printed: the printer used
    int pages = 0;       // Printed: sheets drawn
    std::string output;  // Printed on a "pdf:" printer: the file written
    std::string viewed;  // Viewed: the file the viewer was started on
};

class QueueProcessor
{
public:
    explicit QueueProcessor(const ConsoleContext &context) : m_context(context) {}

    // The journal the jobs are recorded in, so that a console killed in the
    // middle of one neither loses the report nor prints it twice; none when
    // null (tests of single steps).
    void setJournal(Journal *journal) { m_journal = journal; }

    // Processes the released file `name` of `queueFolder`. Never throws and
    // never asks: what went wrong comes back in the outcome.
    ProcessOutcome process(const std::string &queueFolder, const std::string &name);

    // The printer a report goes to: PRINTER when it names an installed
    // queue (ignoring case) or one of the "pdf:" printers of the settings,
    // else the type's printer of the settings, else the system's default
    // printer; "" when there is none at all.
    std::string choosePrinter(const std::string &reportPrinter, DocType type) const;

private:
    struct QueueJob;
    ProcessOutcome refused(const QueueJob &job, Refusal why) const;
    ProcessOutcome toViewer(QueueJob &job) const;
    ProcessOutcome forward(QueueJob &job, const std::string &sendTo) const;
    ProcessOutcome print(QueueJob &job, const std::string &printer, int copies) const;
    // Records the job's beginning in the journal: its number, 0 when there
    // is no journal or it could not be written (`why` then says so).
    uint64_t beginJob(const QueueJob &job, Refusal &why) const;

    // Says a notice once per message and detail for the whole run.
    void sayOnce(int message, const std::string &detail) const;

    const ConsoleContext &m_context;
    Journal *m_journal = nullptr;
    mutable std::set<std::string> m_said;
};

} // namespace kel
