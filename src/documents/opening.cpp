#include "documents/opening.h"

#include "app/folders.h"
#include "app/keyvalue.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/warnings.h"
#include "documents/conversion.h"
#include "documents/loading.h"
#include "documents/packed.h"
#include "documents/templates.h"
#include "documents/textconvert.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kel {
namespace {

constexpr int kProgressStep = 4096;

Refusal refuse(int message, std::string detail = {})
{
    return Refusal{message, std::move(detail)};
}

bool isMarker(std::string_view line, std::string_view marker)
{
    return equalsNoCase(trimmed(line), marker);
}

// What one pass over the working copy learns before anything is applied.
struct Survey
{
    bool header = false;
    bool data = false;
    bool conversion = false;
    std::string conversionName;
    int64_t lines = 0;
    int64_t firstLongLine = 0; // 1-based; 0 when every line fits
};

Survey survey(std::string_view document)
{
    Survey s;
    LineSplitter splitter(document);
    std::string_view line;
    while (splitter.next(line)) {
        ++s.lines;
        if (line.size() > LineStore::kMaxRecordLength && s.firstLongLine == 0)
            s.firstLongLine = s.lines;
        if (isMarker(line, "[HEADER]")) {
            s.header = true;
        } else if (isMarker(line, "[DATA]")) {
            s.data = true;
        } else if (!s.header && !s.conversion) {
            const size_t eq = line.find('=');
            if (eq != std::string_view::npos && equalsNoCase(line.substr(0, eq), "CONVERSION")) {
                s.conversion = true;
                s.conversionName = trimmedCopy(upper(line.substr(eq + 1)));
            }
        }
    }
    return s;
}

double numberOr(const std::string &value, double fallback)
{
    return value.empty() ? fallback : leadingNumber(value);
}

std::string textOr(const std::string &value, const char *fallback)
{
    return value.empty() ? std::string(fallback) : value;
}

} // namespace

std::string withReportExtension(const std::string &path)
{
    if (path.find('.') != std::string::npos)
        return path;
    if (!fileExists(path + ".KEL") && fileExists(path + ".kel"))
        return path + ".kel";
    return path + ".KEL";
}

bool readSettings(DocumentSettings &ds, std::string_view extract, Warnings &warnings)
{
    const Messages &messages = warnings.messages();
    auto get = [&](const char *key) { return readKeyValueIn(extract, key); };

    ds.namedPositions.clear();
    LineSplitter splitter(extract);
    std::string_view raw;
    while (splitter.next(raw)) {
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() != '$')
            continue;
        if (static_cast<int>(ds.namedPositions.size()) >= kMaxNamedPositions)
            break;
        const std::string up = upper(line);
        ds.namedPositions.emplace_back(std::string(field(up, '=', 1)),
                                       std::string(field(up, '=', 2)));
    }

    const std::string open = get("OPEN");
    const std::string close = get("CLOSE");
    ds.openDelimiter = open.empty() ? '{' : open.front();
    ds.closeDelimiter = close.empty() ? '}' : close.front();
    ds.leftMargin = leadingNumber(get("LM"));
    ds.topMargin = leadingNumber(get("TM"));
    ds.title = textOr(get("REPORT_TITLE"), ds.givenPath.c_str());
    ds.orientation = textOr(get("ORIENTATION"), "1");
    ds.saveAllowed = textOr(get("SAVE_ALLOWED"), "Y");
    ds.sendAllowed = textOr(get("SEND_ALLOWED"), "Y");
    ds.printAllowed = textOr(get("PRINT_ALLOWED"), "Y");
    ds.exportAllowed = textOr(get("EXPORT_ALLOWED"), "Y");
    ds.common = get("COMMON");
    ds.barWidth = textOr(get("BARWIDTH"), "1");
    if (leadingNumber(ds.barWidth) > 3)
        ds.barWidth = "1";
    ds.spacing = numberOr(get("SPACING"), 200);
    ds.defaultSpacing = ds.spacing;
    const bool deleteAfter = upper(get("DELETE_AFTER")) == "Y";
    ds.pageLength = leadingNumber(get("PAGELENGTH"));
    ds.pageWidth = leadingNumber(get("PAGEWIDTH"));
    ds.linkTips = upper(textOr(get("LINKTIPS"), "Y"));
    const std::string paper = get("PAPERSIZE");
    if (!paper.empty()) {
        if (const PaperSize *p = findPaperSize(upper(paper))) {
            ds.pageLength = p->length;
            ds.pageWidth = p->width;
        }
        warnings.warn(144, messages.text(144) + " " + paper);
    }
    if (ds.pageLength == 0) {
        ds.pageLength = kA4Length;
        ds.pageWidth = kA4Width;
    }
    if (ds.landscape())
        std::swap(ds.pageLength, ds.pageWidth);
    ds.maxY = textOr(get("MAXY"), formatNumber(ds.pageLength - 500).c_str());
    return deleteAfter;
}

Result<std::unique_ptr<Document>> readReport(std::string working, const DocumentSettings &paths,
                                             const ReportSteps &steps, bool *deleteAfter)
{
    if (deleteAfter)
        *deleteAfter = false;
    const std::string &where = paths.originalPath;
    if (working.size() > kMaxDocumentBytes) {
        return refuse(141, where + ": " + std::to_string(working.size()) +
                               " bytes, more than a report may have");
    }
    Survey s = survey(working);
    if (s.lines > kMaxDocumentLines) {
        return refuse(141, where + ": " + std::to_string(s.lines) +
                               " lines, more than a report may have");
    }
    if (!s.header && !s.data)
        return refuse(141, where);
    if (!s.header)
        return refuse(142, where);
    if (!s.data)
        return refuse(143, where);

    if (s.conversion) {
        const ConversionTable table =
            steps.conversionTable ? steps.conversionTable(s.conversionName) : ConversionTable();
        applyConversionInPlace(working, table);
        s = survey(working);
    }

    // The settings part: every line up to and including "[HEADER]".
    size_t extractEnd = working.size();
    {
        LineSplitter splitter(working);
        std::string_view line;
        while (splitter.next(line)) {
            if (isMarker(line, "[HEADER]")) {
                extractEnd = splitter.position();
                break;
            }
        }
    }
    const std::string_view extract = std::string_view(working).substr(0, extractEnd);
    if (steps.keep) {
        if (const Status kept = steps.keep(working, extract); !kept)
            return kept.refusal();
    }

    // A line over 500 characters refuses the document before anything is
    // applied, so that DELETE_AFTER never deletes a report that was refused.
    if (s.firstLongLine > 0)
        return refuse(145, where + ": line " + std::to_string(s.firstLongLine));

    auto doc = std::make_unique<Document>();
    DocumentSettings &ds = doc->settings;
    ds.givenPath = paths.givenPath;
    ds.originalPath = paths.originalPath;
    ds.workingPath = paths.workingPath;
    ds.openedWithOpenCommand = paths.openedWithOpenCommand;
    const bool deleting = readSettings(ds, extract, steps.warnings);

    // Prologue and line store in one pass over the working copy.
    std::vector<LineStore::Span> spans;
    spans.reserve(static_cast<size_t>(s.lines));
    {
        LineSplitter splitter(working);
        std::string_view line;
        enum { BeforeHeader, InPrologue, InData } state = BeforeHeader;
        bool prologueDone = false;
        int64_t lineNo = 0;
        while (splitter.next(line)) {
            if (++lineNo % kProgressStep == 0 && steps.progress)
                steps.progress(lineNo);
            if (state == InData) {
                spans.push_back({static_cast<uint64_t>(line.data() - working.data()),
                                 static_cast<uint32_t>(line.size())});
                continue;
            }
            if (state == InPrologue && !prologueDone) {
                ds.prologueLines.emplace_back(line);
                if (isMarker(line, "[DATA]") ||
                    static_cast<int>(ds.prologueLines.size()) >= kMaxPrologueLines)
                    prologueDone = true;
            }
            if (state == BeforeHeader && isMarker(line, "[HEADER]"))
                state = InPrologue;
            if (isMarker(line, "[DATA]"))
                state = InData;
        }
    }
    doc->lines = LineStore(std::move(working), std::move(spans));
    if (deleteAfter)
        *deleteAfter = deleting;
    return doc;
}

namespace {

// Reads the document file whole: a regular file, not too large. What is no
// file is refused with `missing`.
Result<std::string> readDocumentFile(const std::string &path, int missing)
{
    std::string bytes;
    switch (readRegularFile(path, bytes, kMaxDocumentBytes)) {
    case ReadOutcome::Read:
        return bytes;
    case ReadOutcome::TooLarge:
        return refuse(141, path + ": more than the " + std::to_string(kMaxDocumentBytes) +
                               " bytes a report may have");
    case ReadOutcome::NotAFile:
        return refuse(missing, path);
    case ReadOutcome::Failed:
        break;
    }
    return refuse(missing == 41 ? 41 : kNoMessage, path + ": cannot be read");
}

} // namespace

Opened openDocument(const std::string &requestedPath, const OpenEnvironment &env,
                    const OpenOptions &options, std::vector<std::string> *scratch)
{
    const std::string path = withReportExtension(requestedPath);
    ReportSource source;
    source.path = path;
    source.givenPath = options.givenPath.empty() ? path : withReportExtension(options.givenPath);
    source.kind = sourceKindByName(path, &source.listingType);
    source.open = options.openDelimiter;
    source.close = options.closeDelimiter;
    source.openedWithOpenCommand = options.openedWithOpenCommand;
    source.includes =
        includesFromFolder(std::filesystem::path(requestedPath).parent_path().string());
    if (source.kind != SourceKind::Report) {
        // A report made from a listing or template data lives nowhere; its
        // pictures are looked for in the temporary folder, as for one that
        // was unpacked.
        source.originalPath = env.folders.inTemp("$$$-" + uniqueWorkingName() + ".$$$");
    }
    const int missing = source.kind == SourceKind::Template  ? 134
                        : source.kind == SourceKind::Listing ? 135
                                                             : 41;
    Result<std::string> bytes = readDocumentFile(path, missing);
    if (!bytes)
        return bytes.refusal();
    source.bytes = std::move(bytes.value());

    const LoadPlan plan = options.plan ? *options.plan : LoadPlan::viewer(env.messages);
    const LoadEnvironment loadEnv{env.folders,  env.messages, env.settings,
                                  env.prompter, env.warnings, options.observer};
    ReportLoad load;
    load.source = std::move(source);
    const Status done = runSteps(load, plan, loadEnv);
    if (scratch)
        *scratch = std::move(load.scratch);
    if (!done)
        return done.refusal();
    if (load.deleteAfter && !options.openedWithOpenCommand && options.obeyDeleteAfter) {
        std::error_code ec;
        fs::remove(load.originalPath, ec);
    }
    return std::move(load.document);
}

} // namespace kel
