#include "console/processing.h"

#include "app/allowedfolders.h"
#include "app/atomicfile.h"
#include "app/files.h"
#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "app/warnings.h"
#include "console/consolemessages.h"
#include "console/journal.h"
#include "console/queuefolder.h"
#include "console/reportsteps.h"
#include "console/transferhooks.h"
#include "documents/loading.h"
#include "printing/printers.h"
#include "printing/printjob.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace kel {
namespace {

void removeQuietly(const std::string &path)
{
    std::error_code ec;
    fs::remove(path, ec);
}

ProcessOutcome left(Refusal why, bool retry)
{
    ProcessOutcome o;
    o.kind = ProcessOutcome::Kind::Left;
    o.reason = std::move(why);
    o.retry = retry;
    return o;
}

ProcessOutcome gone()
{
    ProcessOutcome o;
    o.kind = ProcessOutcome::Kind::Gone;
    return o;
}

ProcessOutcome viewed(std::string file)
{
    ProcessOutcome o;
    o.kind = ProcessOutcome::Kind::Viewed;
    o.viewed = std::move(file);
    return o;
}

ProcessOutcome forwarded()
{
    ProcessOutcome o;
    o.kind = ProcessOutcome::Kind::Forwarded;
    return o;
}

// The report as the queue file's bytes make it, with its includes read
// from the allowed folders alone (relative names in the queue folder).
ReportSource queueSource(const std::string &queueFolder, const std::string &path, std::string bytes,
                         const AllowedFolders &allowed, const ConsoleContext &context)
{
    ReportSource source;
    source.path = path;
    source.givenPath = path;
    source.kind = sourceKindByName(path, &source.listingType);
    source.bytes = std::move(bytes);
    source.includes = includesFromAllowedFolders(
        queueFolder, allowed, [&context, path](const std::string &name, const std::string &where) {
            const Messages &m = context.messages;
            context.prompter.notice(kMsgOutsideFolders,
                                    m.qtext(kMsgOutsideFolders) + QStringLiteral(" ") +
                                        fromCp1252(name) + QStringLiteral(" (") +
                                        fromCp1252(where) + QStringLiteral(", in ") +
                                        fromCp1252(path) + QStringLiteral(")"),
                                    m.qtext(0));
        });
    return source;
}

} // namespace

// One released file on its way through the steps.
struct QueueProcessor::QueueJob
{
    const std::string &queueFolder;
    const std::string &name;
    std::string path;
    QueueEntry arrived; // the file as it was when the job began
    ReportLoad load;
    AllowedFolders allowed; // what the report may read

    // The unpacked pictures in the temporary folder are removed when the
    // job ends, however it ends, unless the forwarding took them over.
    ~QueueJob()
    {
        for (const std::string &f : load.scratch)
            removeQuietly(f);
    }
};

std::string QueueProcessor::choosePrinter(const std::string &reportPrinter, DocType type) const
{
    const SettingsRecord &settings = m_context.settings;
    const Printers &printers = m_context.printers;
    const auto resolve = [&](const std::string &name) -> std::string {
        const std::string wanted = trimmedCopy(name);
        if (wanted.empty())
            return {};
        if (startsWithNoCase(wanted, kPdfPrinterPrefix)) {
            // A report may not pick a folder to write into: a "pdf:"
            // printer counts only when the settings name it for a type.
            for (const TypeRow &row : settings.types) {
                if (equalsNoCase(trimmed(row.printer), wanted))
                    return trimmedCopy(row.printer);
            }
            return {};
        }
        return printers.findIgnoringCase(wanted);
    };
    if (std::string p = resolve(reportPrinter); !p.empty())
        return p;
    // The type's printer is used as the settings give it: when it is not
    // installed the job is refused (133) and the file waits for it.
    const std::string typePrinter = trimmedCopy(settings.row(type).printer);
    if (!typePrinter.empty()) {
        const std::string found = resolve(typePrinter);
        return found.empty() ? typePrinter : found;
    }
    return printers.defaultPrinter();
}

ProcessOutcome QueueProcessor::process(const std::string &queueFolder, const std::string &name)
{
    const std::string path = queueFolder + "/" + name;
    // An older console printed from this file; it is never written now.
    removeQuietly(queueFolder + "/" + kPrintFileName);
    // What was there when the job began: only that file is deleted at its end.
    const std::optional<QueueEntry> arrived = statQueueFile(queueFolder, name);
    if (!arrived)
        return gone();
    std::string bytes;
    switch (readRegularFile(path, bytes, kMaxDocumentBytes)) {
    case ReadOutcome::Read:
        break;
    case ReadOutcome::TooLarge:
        return left(refusal(kMsgNotAReport, path + ": more than a report may have"), false);
    case ReadOutcome::NotAFile:
    case ReadOutcome::Failed:
        if (!statQueueFile(queueFolder, name))
            return gone();
        return left(refusal(41, path), true);
    }

    // Steps 1 to 4: listing, template data, unpacking, CONVERSION line.
    const LoadPlan plan = LoadPlan::console(m_context.messages);
    const LoadEnvironment env{m_context.folders, m_context.messages, m_context.settings,
                              m_context.prompter, m_context.warnings};
    QueueJob job{queueFolder, name, path, *arrived, {}, {}};
    job.allowed = AllowedFolders::forQueue(queueFolder, m_context.folders, m_context.settings);
    job.load.source = queueSource(queueFolder, path, std::move(bytes), job.allowed, m_context);
    const Status prepared = runSteps(job.load, plan, env, LoadStep::Includes);
    if (!prepared)
        return refused(job, prepared.refusal());
    // A packed report's own pictures, unpacked into the temporary folder.
    job.allowed.allowFiles(job.load.scratch);

    // Step 5: OPEN_VIEW takes the report out of the queue for the viewer.
    if (asksForViewer(job.load.bytes))
        return toViewer(job);

    // Step 6: includes, read from the queue folder.
    if (const Status expanded = runSteps(job.load, plan, env, LoadStep::Report); !expanded)
        return refused(job, expanded.refusal());

    // Steps 7 and 8: the header; SEND_TO hands the report to the transfer,
    // which deletes the files once they are sent.
    const QueueHeader header = readQueueHeader(job.load.bytes);
    if (const std::string sendTo = trimmedCopy(header.sendTo); !sendTo.empty()) {
        // A SEND_TO that names this console itself is printed here: the
        // forwarding would hand the report back to the queue it came from.
        if (!m_context.transfer.isSelf(sendTo))
            return forward(job, sendTo);
        sayOnce(kMsgSendToSelf, sendTo);
    }

    // Step 9: printed. A printer that is not there is found out before the
    // report is read, so a queue that waits for its printer costs little at
    // every tick. One list of the print system's queues for this report,
    // waited for briefly: a scheduler that does not answer leaves the report
    // queued.
    m_context.printers.refresh(Printers::kTickWait);
    const DocType type = queueDocType(name).value_or(DocType::Kel);
    const std::string printer = choosePrinter(header.printer, type);
    if (const std::string asked = trimmedCopy(header.printer);
        !asked.empty() && !printer.empty() && !equalsNoCase(asked, printer)) {
        // The report may name a printer this server lacks; it goes to the
        // type's printer then, and the log says which went where.
        sayOnce(kMsgOtherPrinter, asked + " -> " + printer);
    }
    if (printer.empty())
        return left(refusal(kMsgNoPrinter, path), true);
    if (Status usable = m_context.printers.check(printer); !usable)
        return left(usable.refusal(), true);
    if (const Status read = runSteps(job.load, plan, env); !read)
        return refused(job, read.refusal());
    return print(job, printer, header.copies);
}

void QueueProcessor::sayOnce(int message, const std::string &detail) const
{
    if (!m_said.insert(std::to_string(message) + "|" + detail).second)
        return;
    const Messages &m = m_context.messages;
    m_context.prompter.notice(message, m.qtext(message) + QStringLiteral(" ") + fromCp1252(detail),
                              m.qtext(0));
}

ProcessOutcome QueueProcessor::refused(const QueueJob &job, Refusal why) const
{
    if (!statQueueFile(job.queueFolder, job.name))
        return gone();
    return left(std::move(why), job.load.retryMayHelp);
}

ProcessOutcome QueueProcessor::toViewer(QueueJob &job) const
{
    const ReportLoad &load = job.load;
    // A packed report goes to the viewer whole, with its pictures; a report
    // made from a listing or template data is written under the viewer's
    // name, and the file that arrived is removed once it is there.
    const std::string moving = load.made ? job.path + ".kel" : job.path;
    const std::string target =
        job.queueFolder + "/" + viewerFileName(fs::path(moving).filename().string());
    removeQuietly(target);
    if (load.made) {
        if (const Status written = writeFileAtomically(target, load.bytes); !written)
            return left(written.refusal(), true);
        removeQuietly(job.path);
    } else if (const Status renamed = renameDurably(job.path, target); !renamed) {
        return left(renamed.refusal(), true);
    }
    if (m_context.startViewer)
        m_context.startViewer(target);
    else
        sayOnce(kMsgNoViewerHere, target);
    return viewed(target);
}

ProcessOutcome QueueProcessor::forward(QueueJob &job, const std::string &sendTo) const
{
    ReportLoad &load = job.load;
    // The transfer sends text reports line by line, as they were before
    // their includes: a report that was made, unpacked or converted here is
    // written for it as NAME.kel beside the file that arrived (a converted
    // report over its own file).
    const std::string_view report =
        load.expanded ? std::string_view(load.beforeIncludes) : std::string_view(load.bytes);
    std::string sent = job.path;
    if (load.made || load.packed)
        sent = job.path + ".kel";
    if (load.made || load.packed || load.converted) {
        if (const Status written = writeFileAtomically(sent, report); !written)
            return left(written.refusal(), true);
    }
    ForwardedReport handed{job.path, sent, {}, {}};
    if (load.packed) {
        // The unpacked pictures are sent after this job ends: the transfer
        // deletes them once it is done with them.
        handed.pictureFolder = load.pictureFolder;
        handed.scratch = std::exchange(load.scratch, {});
    }
    m_context.transfer.forward(handed, sendTo);
    return forwarded();
}

uint64_t QueueProcessor::beginJob(const QueueJob &job, Refusal &why) const
{
    if (!m_journal || !m_journal->isOpen())
        return 0;
    JournalFile file = journalFileOf(job.queueFolder, job.name);
    file.entry = job.arrived;
    const uint64_t number = m_journal->begin(file);
    if (number == 0) {
        // Without its journal line a kill could print the report twice or
        // lose track of it: the job waits until the journal can be written.
        const int error = errno;
        why = refusal(kNoMessage, m_journal->path() + ": the journal cannot be written: " +
                                      std::strerror(error ? error : EIO));
    }
    return number;
}

ProcessOutcome QueueProcessor::print(QueueJob &job, const std::string &printer, int copies) const
{
    Refusal unjournalled;
    const uint64_t journalled = beginJob(job, unjournalled);
    if (m_journal && m_journal->isOpen() && journalled == 0)
        return left(std::move(unjournalled), true);
    // Reports that arrive from other machines never start programs here.
    ExternalCommands commands;
    FindState find;
    SystemClock clock;
    // Markup warnings go where the console's boxes go: a line on stderr when
    // headless, answered so that one report does not flood the log.
    PromptingDiagnostics diagnostics(m_context.warnings);
    Document &document = *job.load.document;
    RenderEngine engine(document,
                        RenderServices{m_context.messages, diagnostics, commands, find, clock});
    engine.setPictureFolder(job.load.pictureFolder.empty() ? job.queueFolder
                                                           : job.load.pictureFolder);
    engine.setAllowedPictureFolders(job.allowed);
    PrintRequest request;
    request.printer = printer;
    request.copies = copies;
    const Result<PrintReport> printed = printDocument(engine, request, m_context.printers);
    if (!printed) {
        if (journalled)
            m_journal->failed(journalled);
        return left(printed.refusal(), true);
    }
    // Where the job went, for a restart after a kill: the PDF is on disk,
    // or the print system took the whole job.
    if (journalled && !printed->file.empty())
        m_journal->pdf(journalled, printed->file);
    if (journalled && printed->cupsJobId > 0)
        m_journal->cupsJob(journalled, printed->cupsJobId, printer);

    // Step 10: the job is complete; only now is the file deleted.
    ProcessOutcome o;
    o.kind = ProcessOutcome::Kind::Printed;
    o.printer = printer;
    o.pages = printed->pagesPrinted;
    o.output = printed->file;
    // Deleted only while it is the file that was read: one written since
    // stays and is printed again whole.
    const RemoveOutcome removed = removeIfUnchanged(job.queueFolder, job.arrived);
    if (removed.result == RemoveResult::Changed) {
        o.kind = ProcessOutcome::Kind::Left;
        o.reason = refusal(kMsgChangedWhilePrinted, job.path);
        o.retry = true;
    } else if (removed.result == RemoveResult::Failed) {
        // Printed, but it would be printed again at every look: it waits,
        // said once, until someone removes or replaces it.
        o.kind = ProcessOutcome::Kind::Left;
        o.reason = refusal(kMsgPrintedNotDeleted, job.path + ": " + std::strerror(removed.error));
        o.retry = false;
    }
    if (journalled) {
        if (o.kind == ProcessOutcome::Kind::Printed)
            m_journal->deleted(journalled);
        else
            m_journal->failed(journalled);
    }
    return o;
}

} // namespace kel
