#include "documents/opening.h"

#include "app/folders.h"
#include "app/keyvalue.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/warnings.h"
#include "documents/conversion.h"
#include "documents/packed.h"
#include "documents/templates.h"
#include "documents/textconvert.h"

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace kel {
namespace {

constexpr int kProgressStep = 4096;

OpenResult refuse(int message, std::string detail = {}, bool endsProgram = false)
{
    OpenResult r;
    r.message = message;
    r.detail = std::move(detail);
    r.endsProgram = endsProgram;
    return r;
}

bool isMarker(std::string_view line, std::string_view marker)
{
    return equalsNoCase(trimmed(line), marker);
}

enum class NameType { Report, Template, Txt, Lst, Prn };

NameType typeByName(std::string_view path)
{
    if (endsWithNoCase(path, ".KEZ") || endsWithNoCase(path, ".KZ"))
        return NameType::Template;
    if (endsWithNoCase(path, ".TXT") || endsWithNoCase(path, ".TX"))
        return NameType::Txt;
    if (endsWithNoCase(path, ".LST") || endsWithNoCase(path, ".LS"))
        return NameType::Lst;
    if (endsWithNoCase(path, ".PRN") || endsWithNoCase(path, ".PR"))
        return NameType::Prn;
    return NameType::Report;
}

DocType listingType(NameType t)
{
    return t == NameType::Txt ? DocType::Txt : t == NameType::Lst ? DocType::Lst : DocType::Prn;
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

std::string checkSections(std::string_view document)
{
    const Survey s = survey(document);
    return std::string(1, s.header ? '1' : '0') + (s.data ? '1' : '0');
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

OpenResult readReport(std::string working, const DocumentSettings &paths, const ReportSteps &steps,
                      bool *deleteAfter)
{
    if (deleteAfter)
        *deleteAfter = false;
    const std::string &where = paths.originalPath;
    if (working.size() > kMaxDocumentBytes) {
        return refuse(141,
                      where + ": " + std::to_string(working.size()) +
                          " bytes, more than a report may have",
                      true);
    }
    Survey s = survey(working);
    if (s.lines > kMaxDocumentLines) {
        return refuse(
            141, where + ": " + std::to_string(s.lines) + " lines, more than a report may have",
            true);
    }
    if (!s.header && !s.data)
        return refuse(141, where, true);
    if (!s.header)
        return refuse(142, where, true);
    if (!s.data)
        return refuse(143, where, true);

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
            return refuse(kept.message(), kept.refusal().detail);
    }

    // A line over 500 characters refuses the document before anything is
    // applied, so that DELETE_AFTER never deletes a report that was refused.
    if (s.firstLongLine > 0)
        return refuse(145, where + ": line " + std::to_string(s.firstLongLine), true);

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

    OpenResult r;
    r.document = std::move(doc);
    return r;
}

namespace {

// The first bytes of a file, enough for the packed-report and container tests.
constexpr size_t kPrefixLength = 4096;

std::string tooLargeDetail(const std::string &path, uint64_t size)
{
    return path + ": " + std::to_string(size) + " bytes, more than the " +
           std::to_string(kMaxDocumentBytes) + " a report may have";
}

// Opens the document file for the content tests and the include pass: a
// regular file, not too large. The refusal is 41 for what is no file.
OpenResult openReportFile(const std::string &path, InputFile &file, std::string &prefix)
{
    file = InputFile(path);
    if (!file.isOpen())
        return refuse(41, path);
    if (file.size() > kMaxDocumentBytes)
        return refuse(141, tooLargeDetail(path, file.size()), true);
    prefix.resize(static_cast<size_t>(std::min<uint64_t>(file.size(), kPrefixLength)));
    if (!file.readAt(0, prefix.data(), prefix.size()))
        return refuse(41, path);
    return {};
}

} // namespace

OpenResult openDocument(const std::string &requestedPath, const OpenEnvironment &env,
                        const OpenOptions &options)
{
    OpenObserver nobody;
    OpenObserver &observer = options.observer ? *options.observer : nobody;
    const Folders &folders = env.folders;

    std::string path = withReportExtension(requestedPath);
    const std::string given =
        options.givenPath.empty() ? path : withReportExtension(options.givenPath);

    // Name tests: listings and template data are converted into a report of
    // the temporary folder.
    const NameType byName = typeByName(path);
    if (byName != NameType::Report) {
        const bool isTemplate = byName == NameType::Template;
        if (!fileExists(path))
            return refuse(isTemplate ? 134 : 135, path);
        const std::string converted = folders.inTemp("$$$-" + uniqueWorkingName() + ".$$$");
        if (isTemplate) {
            const TemplateResult merged = processTemplate(path, converted);
            if (merged.status == TemplateStatus::TooLarge)
                return refuse(141, merged.detail, true);
            if (!merged.ok())
                return refuse(kNoMessage, merged.detail);
        } else {
            const ConvertResult result = convertTextToReport(
                path, converted, listingSettings(env.settings, listingType(byName)));
            if (result == ConvertResult::TooLarge)
                return refuse(141,
                              path + ": the converted listing grows past " +
                                  std::to_string(kMaxDocumentBytes) + " bytes",
                              true);
            if (result == ConvertResult::EmptyListing)
                env.prompter.error(210, env.messages.qtext(210), env.messages.qtext(42));
            else if (result != ConvertResult::Converted)
                return refuse(kNoMessage, path + ": the listing could not be converted");
        }
        path = converted;
    }

    env.warnings.reset();
    InputFile file;
    std::string prefix;
    if (OpenResult r = openReportFile(path, file, prefix); r.message != 0)
        return r;
    if (file.size() < 10)
        return refuse(136, path);

    observer.busy(true);
    if (isPackedReportStart(std::string_view(prefix).substr(0, 5))) {
        std::string error;
        if (!unpackPackedFile(path, folders, error)) {
            observer.busy(false);
            return refuse(289, error.empty() ? path : error, true);
        }
        if (OpenResult r = openReportFile(path, file, prefix); r.message != 0) {
            observer.busy(false);
            r.message = r.message == 41 ? 289 : r.message;
            r.endsProgram = true;
            return r;
        }
    }

    if (startsAsContainer(prefix)) {
        // The members go into TEMP; the first, the report, then takes the
        // name TEMP/NAME.KEL.
        std::string error;
        std::vector<std::string> written;
        if (!extractMembers(path, folders.temp, error, &written)) {
            observer.busy(false);
            return refuse(289, error, true);
        }
        const std::string extracted = folders.inTemp(written.front());
        const std::string target = extracted + ".KEL";
        std::error_code ec;
        fs::remove(target, ec);
        fs::rename(extracted, target, ec);
        path = target;
        if (ec || openReportFile(path, file, prefix).message != 0) {
            observer.busy(false);
            return refuse(289, path, true);
        }
    }
    observer.busy(false);

    // The include pass, from the file in blocks into the working copy.
    const std::string originalPath = path;
    const std::string baseFolder = fs::path(requestedPath).parent_path().string();
    IncludePass pass(options.openDelimiter, options.closeDelimiter, env.messages.text(147),
                     includesFromFolder(baseFolder));
    pass.reserve(file.size() + file.size() / 32 + 16);
    {
        std::string block(std::min<uint64_t>(std::max<uint64_t>(file.size(), 1), 1 << 20), '\0');
        int64_t n = 0;
        while ((n = file.read(block.data(), block.size())) > 0) {
            if (!pass.feed(std::string_view(block.data(), static_cast<size_t>(n))))
                break;
        }
        if (n < 0)
            return refuse(41, path);
    }
    file = InputFile();
    if (!pass.finish()) {
        return refuse(141,
                      path + ": with its included files the report grows past " +
                          std::to_string(kMaxDocumentBytes) + " bytes or " +
                          std::to_string(kMaxDocumentLines) + " lines",
                      true);
    }
    const int64_t documentLines = pass.documentLines();

    observer.progressRange(documentLines);
    if (documentLines == 1) {
        observer.statusMessage(137);
        env.prompter.error(138, env.messages.qtext(138), env.messages.qtext(42));
    }
    observer.statusMessage(139);
    observer.captionMessage(140);

    DocumentSettings paths;
    paths.givenPath = given;
    paths.originalPath = originalPath;
    paths.workingPath = folders.inTemp(uniqueWorkingName() + ".$$1");
    paths.openedWithOpenCommand = options.openedWithOpenCommand;
    const std::string &workingPath = paths.workingPath;

    ReportSteps steps{env.warnings, nullptr, nullptr, nullptr};
    steps.conversionTable = [&](const std::string &name) {
        ConversionTable table;
        table.load(findConversionTable(folders.program, name));
        return table;
    };
    steps.keep = [&](std::string_view working, std::string_view extract) -> Status {
        // A copy that could not be written whole (a full disk) is not left.
        if (!writeFile(workingPath, working)) {
            std::remove(workingPath.c_str());
            return refusal(kNoMessage, workingPath + ": the working copy cannot be written");
        }
        if (!writeFile(workingPath + "$", extract))
            std::remove((workingPath + "$").c_str());
        return {};
    };
    steps.progress = [&](int64_t line) { observer.progress(line); };
    bool deleteAfter = false;
    OpenResult r = readReport(pass.take(), paths, steps, &deleteAfter);
    if (!r.ok())
        return r;
    observer.progress(documentLines);

    if (deleteAfter && !options.openedWithOpenCommand && options.obeyDeleteAfter) {
        std::error_code ec;
        fs::remove(originalPath, ec);
    }
    return r;
}

} // namespace kel
