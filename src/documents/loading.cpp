#include "documents/loading.h"

#include "app/atomicfile.h"
#include "app/folders.h"
#include "app/keyvalue.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/text.h"
#include "app/warnings.h"
#include "documents/conversion.h"
#include "documents/packed.h"
#include "documents/templates.h"
#include "documents/textconvert.h"

#include <algorithm>
#include <cstring>

namespace kel {
namespace {

struct StepContext
{
    const LoadPlan &plan;
    const LoadEnvironment &env;
    OpenObserver &observer;
};

using StepFunction = Status (*)(ReportLoad &, const StepContext &);

std::string tooLarge(const std::string &where, const char *what)
{
    return where + ": " + what + " grows past " + std::to_string(kMaxDocumentBytes) + " bytes";
}

// A listing becomes a report in memory; its bytes were read whole already.
Status listingStep(ReportLoad &load, const StepContext &c)
{
    if (load.source.kind != SourceKind::Listing)
        return {};
    const bool empty = load.source.bytes.empty();
    load.bytes = listingToReport(load.source.bytes, load.source.path,
                                 listingSettings(c.env.settings, load.source.listingType));
    std::string().swap(load.source.bytes);
    load.made = true;
    if (load.bytes.size() > kMaxDocumentBytes)
        return refusal(141, tooLarge(load.source.path, "the converted listing"));
    if (empty) {
        if (c.plan.emptyListingRefuses)
            return refusal(210, load.source.path);
        c.env.prompter.error(210, c.env.messages.qtext(210), c.env.messages.qtext(42));
    }
    return {};
}

// Template data is merged with the template it names, in memory.
Status templateStep(ReportLoad &load, const StepContext &)
{
    if (load.source.kind != SourceKind::Template)
        return {};
    const TemplateResult merged = mergeTemplate(load.source.bytes, load.source.path, load.bytes);
    std::string().swap(load.source.bytes);
    load.made = true;
    if (merged.ok())
        return {};
    // A template that cannot be read yet may still arrive.
    load.retryMayHelp = merged.status == TemplateStatus::CannotReadTemplate;
    return refusal(merged.status == TemplateStatus::TooLarge ? 141 : kNoMessage, merged.detail);
}

// A packed report is expanded in memory; a container (what a packed report
// usually holds, or a bare one) has its pictures written into the
// temporary folder and its report kept in memory.
Status unpackStep(ReportLoad &load, const StepContext &c)
{
    if (load.source.kind == SourceKind::Report)
        load.bytes = std::move(load.source.bytes);
    if (load.bytes.size() < 10)
        return refusal(136, load.source.path);
    const Folders &folders = c.env.folders;
    const bool packed = isPackedReportStart(std::string_view(load.bytes).substr(0, 5));
    if (!packed && !startsAsContainer(load.bytes))
        return {};
    c.observer.busy(true);
    struct NotBusy
    {
        OpenObserver &observer;
        ~NotBusy() { observer.busy(false); }
    } notBusy{c.observer};
    if (packed) {
        std::string entry, name, error;
        if (!unpackPackedBytes(load.bytes, entry, error, &name, load.source.path))
            return refusal(289, error.empty() ? load.source.path : error);
        load.bytes = std::move(entry);
        load.originalPath = folders.inTemp(name);
    }
    if (startsAsContainer(load.bytes)) {
        std::string report, name, error;
        std::vector<std::string> written;
        if (!extractMembersFrom(load.bytes, folders.temp, report, name, written, error))
            return refusal(289, load.source.path + ": " + error);
        load.scratch.insert(load.scratch.end(), written.begin(), written.end());
        load.bytes = std::move(report);
        // The report is taken to live beside its pictures, as NAME.KEL.
        load.originalPath = folders.inTemp(name + ".KEL");
    }
    load.packed = true;
    load.pictureFolder = folders.temp;
    return {};
}

// The console applies a CONVERSION line of the settings part to the report
// before its includes; the viewer applies it in the Report step.
Status conversionLineStep(ReportLoad &load, const StepContext &c)
{
    if (!c.plan.conversionBeforeIncludes)
        return {};
    const std::string table = conversionBeforeHeader(load.bytes);
    if (table.empty())
        return {};
    ConversionTable conversion;
    conversion.load(findConversionTable(c.env.folders.shippedFolders(), table));
    load.bytes = applyConversion(load.bytes, conversion);
    load.converted = true;
    return {};
}

// Whether every line of `bytes` ends in CR LF, as the include pass leaves
// them (a last line without an end mark aside).
bool endsLinesWithCrLf(std::string_view bytes)
{
    // Every LF follows a CR and every CR comes before an LF: as many of one
    // as of the other, and no LF without its CR.
    const char *data = bytes.data();
    const size_t n = bytes.size();
    size_t lf = 0;
    for (const char *p = data;
         (p = static_cast<const char *>(std::memchr(p, '\n', n - (p - data)))); ++p) {
        if (p == data || p[-1] != '\r')
            return false;
        ++lf;
    }
    size_t cr = 0;
    for (const char *p = data;
         (p = static_cast<const char *>(std::memchr(p, '\r', n - (p - data)))); ++p)
        ++cr;
    return cr == lf;
}

Status includesStep(ReportLoad &load, const StepContext &c)
{
    IncludeRules rules = c.plan.includes;
    if (c.plan.delimiters == LoadPlan::Delimiters::FromReport) {
        const std::string open = readKeyValueIn(load.bytes, "OPEN");
        const std::string close = readKeyValueIn(load.bytes, "CLOSE");
        rules.open = open.empty() ? '{' : open.front();
        rules.close = close.empty() ? '}' : close.front();
    } else {
        rules.open = load.source.open;
        rules.close = load.source.close;
    }
    if (endsLinesWithCrLf(load.bytes) && !mayHoldIncludes(load.bytes, rules)) {
        // Nothing to expand and nothing to normalise: the report is its own
        // working copy, and no second copy of it is made.
        if (!load.bytes.empty() && load.bytes.back() != '\n')
            load.bytes += "\r\n";
        load.documentLines = std::count(load.bytes.begin(), load.bytes.end(), '\n');
        if (load.documentLines > kMaxDocumentLines)
            return refusal(141, load.source.path + ": more lines than a report may have");
    } else {
        IncludePass pass(rules, load.source.includes);
        pass.reserve(load.bytes.size() + load.bytes.size() / 32 + 16);
        pass.feed(load.bytes);
        if (!pass.finish()) {
            return refusal(141, load.source.path +
                                    ": with its included files the report grows past " +
                                    std::to_string(kMaxDocumentBytes) + " bytes or " +
                                    std::to_string(kMaxDocumentLines) + " lines");
        }
        load.documentLines = pass.documentLines();
        load.expanded = pass.includedAny();
        if (c.plan.keepReportBeforeIncludes && load.expanded)
            load.beforeIncludes = std::move(load.bytes);
        load.bytes = pass.take();
    }
    c.observer.progressRange(load.documentLines);
    if (c.plan.warnOneLine && load.documentLines == 1) {
        c.observer.statusMessage(137);
        c.env.prompter.error(138, c.env.messages.qtext(138), c.env.messages.qtext(42));
    }
    c.observer.statusMessage(139);
    c.observer.captionMessage(140);
    return {};
}

Status reportStep(ReportLoad &load, const StepContext &c)
{
    const Folders &folders = c.env.folders;
    DocumentSettings paths;
    paths.givenPath = load.source.givenPath;
    paths.originalPath = load.originalPath;
    if (c.plan.keepWorkingCopy)
        paths.workingPath = folders.inTemp(uniqueWorkingName() + ".$$1");
    paths.openedWithOpenCommand = load.source.openedWithOpenCommand;

    ReportSteps steps{c.env.warnings, nullptr, nullptr, nullptr};
    steps.conversionTable = [&](const std::string &name) {
        ConversionTable table;
        table.load(findConversionTable(folders.shippedFolders(), name));
        return table;
    };
    if (c.plan.keepWorkingCopy) {
        const std::string workingPath = paths.workingPath;
        steps.keep = [workingPath](std::string_view working, std::string_view extract) -> Status {
            if (!writeFileAtomically(workingPath, working))
                return refusal(kNoMessage, workingPath + ": the working copy cannot be written");
            (void)writeFileAtomically(workingPath + "$", extract);
            return {};
        };
    }
    steps.progress = [&](int64_t line) { c.observer.progress(line); };
    Result<std::unique_ptr<Document>> read =
        readReport(std::move(load.bytes), paths, steps, &load.deleteAfter);
    load.bytes.clear();
    if (!read)
        return read.refusal();
    load.document = std::move(read.value());
    c.observer.progress(load.documentLines);
    return {};
}

// One row per step, in the order of LoadStep.
constexpr StepFunction kSteps[] = {listingStep,        templateStep, unpackStep,
                                   conversionLineStep, includesStep, reportStep};
static_assert(std::size(kSteps) == static_cast<size_t>(LoadStep::End));

} // namespace

LoadPlan LoadPlan::viewer(const Messages &messages)
{
    LoadPlan plan;
    plan.includes.errorText = messages.text(147);
    plan.warnOneLine = true;
    plan.keepWorkingCopy = true;
    return plan;
}

LoadPlan LoadPlan::console(const Messages &messages)
{
    LoadPlan plan;
    plan.delimiters = Delimiters::FromReport;
    plan.includes.trimLine = false;
    plan.includes.nameEndsAtEquals = false;
    plan.includes.errorText = messages.text(98);
    plan.includes.lineEnd = "\\N";
    plan.includes.maxIncludedBytes = kMaxIncludeBytes;
    plan.includes.oversizedRefuses = false;
    plan.conversionBeforeIncludes = true;
    plan.emptyListingRefuses = true;
    plan.keepReportBeforeIncludes = true;
    // The viewer's texts for these announce that the program closes, which
    // the console never does.
    plan.refusalMessages = {{141, 251}, {142, 251}, {143, 251}, {145, 252}, {289, 253}};
    return plan;
}

SourceKind sourceKindByName(std::string_view path, DocType *listingType)
{
    if (endsWithNoCase(path, ".KEZ") || endsWithNoCase(path, ".KZ"))
        return SourceKind::Template;
    struct Ending
    {
        const char *full, *held;
        DocType type;
    };
    static constexpr Ending kListings[] = {{".TXT", ".TX", DocType::Txt},
                                           {".LST", ".LS", DocType::Lst},
                                           {".PRN", ".PR", DocType::Prn}};
    for (const Ending &e : kListings) {
        if (endsWithNoCase(path, e.full) || endsWithNoCase(path, e.held)) {
            if (listingType)
                *listingType = e.type;
            return SourceKind::Listing;
        }
    }
    return SourceKind::Report;
}

Status runSteps(ReportLoad &load, const LoadPlan &plan, const LoadEnvironment &env, LoadStep until)
{
    OpenObserver nobody;
    const StepContext context{plan, env, env.observer ? *env.observer : nobody};
    if (load.next == LoadStep::Listing) {
        env.warnings.reset();
        load.originalPath =
            load.source.originalPath.empty() ? load.source.path : load.source.originalPath;
    }
    while (load.next < until) {
        const Status done = kSteps[static_cast<size_t>(load.next)](load, context);
        if (!done) {
            Refusal why = done.refusal();
            for (const auto &[from, to] : plan.refusalMessages) {
                if (why.message == from) {
                    why.message = to;
                    break;
                }
            }
            return why;
        }
        load.next = static_cast<LoadStep>(static_cast<int>(load.next) + 1);
    }
    return {};
}

} // namespace kel
