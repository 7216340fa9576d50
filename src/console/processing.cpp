#include "console/processing.h"

#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "app/warnings.h"
#include "console/consolemessages.h"
#include "console/queuefolder.h"
#include "console/reportsteps.h"
#include "console/transferhooks.h"
#include "documents/conversion.h"
#include "documents/opening.h"
#include "documents/packed.h"
#include "documents/templates.h"
#include "documents/textconvert.h"
#include "printing/printers.h"
#include "printing/printjob.h"
#include "render/clock.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/pagewalk.h"

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

// Writes `bytes` under a name outside the queue filters and renames it over
// `path`, so a console that dies while writing leaves the old file whole.
bool replaceFile(const std::string &path, std::string_view bytes)
{
    const std::string part = path + "$";
    if (!writeFile(part, bytes)) {
        removeQuietly(part);
        return false;
    }
    std::error_code ec;
    fs::rename(part, path, ec);
    if (ec)
        removeQuietly(part);
    return !ec;
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

// The loader's refusals, said as the console says them: the viewer's texts
// announce that the program closes, which the console never does.
Refusal consoleRefusal(const OpenResult &opened)
{
    switch (opened.message) {
    case 141:
    case 142:
    case 143:
        return refusal(kMsgNotAReport, opened.detail);
    case 145:
        return refusal(kMsgLineTooLong, opened.detail);
    case 289:
        return refusal(kMsgNotUnpacked, opened.detail);
    default:
        return refusal(opened.message, opened.detail);
    }
}

// Files of one job that are not the queue's: the unpacked copies in the
// temporary folder. Removed when the job ends, however it ends.
struct Scratch
{
    std::vector<std::string> files;
    ~Scratch()
    {
        for (const std::string &f : files)
            removeQuietly(f);
    }
};

// Unpacks a packed report into the temporary folder, and a container (what
// a packed report usually holds, or a bare one) into its members there;
// `report` then names the report, `bytes` holds it.
bool unpackInto(std::string &report, std::string &bytes, const Folders &folders, Scratch &scratch,
                std::string &error)
{
    if (isPackedReportStart(std::string_view(bytes).substr(0, 5))) {
        if (!unpackPackedFile(report, folders, error))
            return false;
        scratch.files.push_back(report);
        if (!readFile(report, bytes))
            return false;
    }
    if (!startsAsContainer(bytes))
        return true;
    std::vector<std::string> members;
    if (!extractMembers(report, folders.temp, error, &members) || members.empty()) {
        if (error.empty())
            error = report + ": the container holds no report";
        return false;
    }
    for (const std::string &m : members)
        scratch.files.push_back(folders.inTemp(m));
    report = folders.inTemp(members.front());
    return readFile(report, bytes);
}

} // namespace

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
    const Folders &folders = m_context.folders;
    const Messages &messages = m_context.messages;
    const std::string path = queueFolder + "/" + name;
    const std::string printFile = queueFolder + "/" + kPrintFileName;
    const DocType type = queueDocType(name).value_or(DocType::Kel);
    removeQuietly(printFile);
    const std::optional<QueueEntry> arrived = statQueueFile(queueFolder, name);
    if (!arrived)
        return gone();

    // Steps 1 and 2: listings and template data become NAME.kel. The file
    // that arrived stays until the report made from it has been printed;
    // the made report is removed again whenever the job does not finish,
    // since the next look makes it anew.
    std::string report = path;
    std::string made;
    if (type == DocType::Txt || type == DocType::Lst || type == DocType::Prn) {
        made = path + ".kel";
        const ConvertResult converted =
            convertTextToReport(path, made, listingSettings(m_context.settings, type));
        if (converted != ConvertResult::Converted) {
            removeQuietly(made);
            if (converted == ConvertResult::EmptyListing)
                return left(refusal(210, path), false);
            if (!statQueueFile(queueFolder, name))
                return gone();
            return left(
                refusal(kNoMessage, path + ": the listing could not be converted into " + made),
                true);
        }
        report = made;
    } else if (type == DocType::Kez) {
        made = path + ".kel";
        removeQuietly(made);
        const TemplateResult merged = processTemplate(path, made);
        if (!merged.ok()) {
            removeQuietly(made);
            if (!statQueueFile(queueFolder, name))
                return gone();
            // A template that cannot be read yet may still arrive.
            return left(refusal(kNoMessage, merged.detail),
                        merged.status == TemplateStatus::CannotReadTemplate);
        }
        report = made;
    }
    auto failed = [&](Refusal why, bool retry) {
        if (!made.empty())
            removeQuietly(made);
        removeQuietly(printFile);
        return left(std::move(why), retry);
    };

    // Step 3: a packed report (or a bare container) is unpacked into the
    // temporary folder; its pictures are found there.
    std::string bytes;
    if (!readFile(report, bytes)) {
        if (!statQueueFile(queueFolder, name))
            return gone();
        return failed(refusal(41, report), true);
    }
    Scratch scratch;
    std::string pictureFolder = queueFolder;
    bool packed = false;
    if (isPackedReportStart(std::string_view(bytes).substr(0, 5)) || startsAsContainer(bytes)) {
        std::string error;
        std::string inside = report;
        if (!unpackInto(inside, bytes, folders, scratch, error))
            return failed(refusal(kMsgNotUnpacked, error.empty() ? report : error), false);
        packed = true;
        pictureFolder = folders.temp;
    }

    // Step 4: the table of a CONVERSION line before "[HEADER]".
    bool convertedBytes = false;
    if (const std::string table = conversionBeforeHeader(bytes); !table.empty()) {
        ConversionTable conversion;
        conversion.load(findConversionTable(folders.program, table));
        bytes = applyConversion(bytes, conversion);
        convertedBytes = true;
    }

    // Step 5: OPEN_VIEW takes the report out of the queue for the viewer.
    if (asksForViewer(bytes)) {
        // A packed report goes to the viewer whole, with its pictures.
        const std::string moving = packed ? path : report;
        const std::string viewed =
            queueFolder + "/" + viewerFileName(fs::path(moving).filename().string());
        removeQuietly(viewed);
        std::error_code ec;
        fs::rename(moving, viewed, ec);
        if (ec)
            return failed(refusal(kNoMessage, moving + ": cannot be renamed to " + viewed), true);
        if (moving != path)
            removeQuietly(path);
        if (m_context.startViewer)
            m_context.startViewer(viewed);
        ProcessOutcome o;
        o.kind = ProcessOutcome::Kind::Viewed;
        o.viewed = viewed;
        return o;
    }

    // Step 6: includes into the print file. A report without includes
    // whose bytes were not converted is read where it is: the print file
    // would be the same bytes again.
    const QueueHeader delimiters = readQueueHeader(bytes);
    std::string loaded = report;
    std::string expandedBytes;
    if (convertedBytes || hasIncludeLines(bytes, delimiters.open)) {
        expandedBytes = expandQueueIncludes(bytes, delimiters.open, delimiters.close,
                                            messages.text(98), queueFolder);
        if (!writeFile(printFile, expandedBytes))
            return failed(refusal(kNoMessage, printFile + ": cannot be written"), true);
        loaded = printFile;
    }
    const std::string_view expanded =
        loaded == printFile ? std::string_view(expandedBytes) : std::string_view(bytes);

    // Steps 7 and 8: the header; SEND_TO hands the report to the transfer,
    // which deletes the files once they are sent.
    const QueueHeader header = readQueueHeader(expanded);
    if (!trimmed(header.sendTo).empty()) {
        std::string forwarded = report;
        if (packed) {
            // The transfer sends text reports line by line: it gets the
            // report unpacked, as NAME.kel beside the file that arrived.
            forwarded = path + ".kel";
            if (!replaceFile(forwarded, bytes))
                return failed(refusal(kNoMessage, forwarded + ": cannot be written"), true);
        } else if (convertedBytes && !replaceFile(report, bytes)) {
            return failed(refusal(kNoMessage, report + ": cannot be written"), true);
        }
        removeQuietly(printFile);
        ForwardedReport handed{path, forwarded, {}, {}};
        if (packed) {
            // The unpacked pictures are sent after this job ends: the
            // transfer deletes them once it is done with them.
            handed.pictureFolder = pictureFolder;
            handed.scratch = std::exchange(scratch.files, {});
        }
        m_context.transfer.forward(handed, trimmedCopy(header.sendTo));
        ProcessOutcome o;
        o.kind = ProcessOutcome::Kind::Forwarded;
        return o;
    }

    // Step 9: the report is loaded from the print file and printed. A
    // printer that is not there is found out before the report is loaded,
    // so a queue that waits for its printer costs little at every tick.
    const std::string printer = choosePrinter(header.printer, type);
    if (printer.empty())
        return failed(refusal(kMsgNoPrinter, path), true);
    if (!m_context.printers.exists(printer))
        return failed(refusal(133, printer), true);
    OpenOptions options;
    options.openDelimiter = delimiters.open;
    options.closeDelimiter = delimiters.close;
    options.obeyDeleteAfter = false; // the console deletes what it printed
    options.givenPath = path;
    const OpenEnvironment env{folders, messages, m_context.settings, m_context.prompter,
                              m_context.warnings};
    OpenResult opened = openDocument(loaded, env, options);
    if (!opened.ok())
        return failed(consoleRefusal(opened), false);

    // Reports that arrive from other machines never start programs here.
    ExternalCommands commands;
    FindState find;
    SystemClock clock;
    // Markup warnings go where the console's boxes go: a line on stderr when
    // headless, answered so that one report does not flood the log.
    PromptingDiagnostics diagnostics(m_context.warnings);
    RenderEngine engine(*opened.document,
                        RenderServices{m_context.messages, diagnostics, commands, find, clock});
    engine.setPictureFolder(pictureFolder);
    PrintRequest request;
    request.printer = printer;
    request.copies = header.copies;
    const Result<PrintReport> printed = printDocument(engine, request, m_context.printers);
    removeQuietly(opened.document->settings.workingPath);
    removeQuietly(opened.document->settings.workingPath + "$");
    if (!printed)
        return failed(printed.refusal(), true);

    // Step 10: the job is complete; only now is the file deleted.
    removeQuietly(printFile);
    ProcessOutcome o;
    o.kind = ProcessOutcome::Kind::Printed;
    o.printer = printer;
    o.pages = printed->pagesPrinted;
    o.output = printed->file;
    if (!made.empty())
        removeQuietly(made);
    // Deleted only while it is the file that was read: one written since
    // stays and is printed again whole.
    const RemoveOutcome removed = removeIfUnchanged(queueFolder, *arrived);
    if (removed.result == RemoveResult::Changed) {
        o.kind = ProcessOutcome::Kind::Left;
        o.reason = refusal(kMsgChangedWhilePrinted, path);
        o.retry = true;
    } else if (removed.result == RemoveResult::Failed) {
        // Printed, but it would be printed again at every look: it waits,
        // said once, until someone removes or replaces it.
        o.kind = ProcessOutcome::Kind::Left;
        o.reason = refusal(kMsgPrintedNotDeleted, path + ": " + std::strerror(removed.error));
        o.retry = false;
    }
    return o;
}

} // namespace kel
