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

// Reads every setting from the settings extract in the loader's fixed order.
void applySettings(DocumentSettings &ds, std::string_view extract, Warnings &warnings,
                   const Messages &messages, bool &deleteAfter)
{
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
    deleteAfter = upper(get("DELETE_AFTER")) == "Y";
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
}

// True unless the document already has CR LF after every line and no
// include line, in which case the include pass would copy it unchanged.
bool needsRewrite(std::string_view document, std::string_view directive)
{
    LineSplitter splitter(document);
    std::string_view line;
    while (splitter.next(line)) {
        const size_t end = static_cast<size_t>(line.data() - document.data()) + line.size();
        if (document.substr(end, 2) != "\r\n")
            return true;
        if (startsWithNoCase(trimmed(line), directive))
            return true;
    }
    return false;
}

std::string includeName(std::string_view line)
{
    // The text after the "=" up to the next "=", without its last character
    // (the close delimiter).
    const std::string_view value = field(line, '=', 2);
    return std::string(value.substr(0, value.empty() ? 0 : value.size() - 1));
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

std::string expandIncludes(std::string document, char open, char close, const Messages &messages,
                           const std::string &baseFolder)
{
    const std::string directive = std::string(1, upperChar(open)) + "COPY=";
    if (!needsRewrite(document, directive))
        return document;
    std::string out;
    out.reserve(document.size() + document.size() / 32 + 16);
    LineSplitter splitter(document);
    std::string_view line;
    while (splitter.next(line)) {
        const std::string_view t = trimmed(line);
        if (!startsWithNoCase(t, directive)) {
            out += line;
            out += "\r\n";
            continue;
        }
        const std::string name = includeName(t);
        std::string content;
        bool ok = !name.empty() && readFile(name, content);
        if (!ok && !name.empty() && fs::path(name).is_relative() && !baseFolder.empty())
            ok = readFile((fs::path(baseFolder) / name).string(), content);
        if (!ok || content.empty()) {
            out += open;
            out += "100";
            out += close;
            out += messages.text(147);
            out += open;
            out += "\\n";
            out += close;
            out += "\r\n";
            continue;
        }
        LineSplitter inner(content);
        std::string_view included;
        while (inner.next(included)) {
            out += included;
            out += "\r\n";
        }
    }
    return out;
}

OpenResult openDocument(const std::string &requestedPath, const OpenEnvironment &env,
                        const OpenOptions &options)
{
    OpenObserver nobody;
    OpenObserver &observer = options.observer ? *options.observer : nobody;
    const Folders &folders = env.folders;

    std::string path = withReportExtension(requestedPath);
    const std::string given =
        options.givenPath.empty() ? path : withReportExtension(options.givenPath);

    // Name tests: listings and template data are converted into "$$$.$$$".
    const NameType byName = typeByName(path);
    if (byName != NameType::Report) {
        const bool isTemplate = byName == NameType::Template;
        if (!fileExists(path))
            return refuse(isTemplate ? 134 : 135, path);
        const std::string converted = folders.inTemp("$$$.$$$");
        std::error_code ec;
        fs::remove(converted, ec);
        if (isTemplate) {
            const TemplateResult merged = processTemplate(path, converted);
            if (!merged.ok())
                return refuse(kNoMessage, merged.detail);
        } else {
            const ConvertResult result = convertTextToReport(
                path, converted, listingSettings(env.settings, listingType(byName)));
            if (result == ConvertResult::EmptyListing)
                env.prompter.error(210, env.messages.qtext(210), env.messages.qtext(42));
            else if (result != ConvertResult::Converted)
                return refuse(kNoMessage, path + ": the listing could not be converted");
        }
        path = converted;
    }

    env.warnings.reset();
    std::string bytes;
    if (!readFile(path, bytes))
        return refuse(41, path);
    if (bytes.size() < 10)
        return refuse(136, path);

    observer.busy(true);
    if (isPackedReportStart(std::string_view(bytes).substr(0, 5))) {
        std::string error;
        if (!unpackPackedFile(path, folders, error) || !readFile(path, bytes)) {
            observer.busy(false);
            return refuse(289, error.empty() ? path : error, true);
        }
    }

    {
        std::string_view first;
        LineSplitter splitter(bytes);
        if (splitter.next(first) && isContainerStart(first)) {
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
            if (ec || !readFile(path, bytes)) {
                observer.busy(false);
                return refuse(289, path, true);
            }
        }
    }
    observer.busy(false);

    int64_t documentLines = 0;
    {
        LineSplitter counter(bytes);
        std::string_view line;
        while (counter.next(line))
            ++documentLines;
    }
    const std::string originalPath = path;
    const std::string baseFolder = fs::path(requestedPath).parent_path().string();
    std::string working = expandIncludes(std::move(bytes), options.openDelimiter,
                                         options.closeDelimiter, env.messages, baseFolder);

    Survey s = survey(working);
    observer.progressRange(documentLines);
    if (documentLines == 1) {
        observer.statusMessage(137);
        env.prompter.error(138, env.messages.qtext(138), env.messages.qtext(42));
    }
    observer.statusMessage(139);
    observer.captionMessage(140);

    const std::string workingPath = folders.inTemp(hmsName() + ".$$1");
    if (!s.header && !s.data)
        return refuse(141, path, true);
    if (!s.header)
        return refuse(142, path, true);
    if (!s.data)
        return refuse(143, path, true);

    if (s.conversion) {
        ConversionTable table;
        table.load(findConversionTable(folders.program, s.conversionName));
        working = applyConversion(working, table);
        s = survey(working);
    }
    if (!writeFile(workingPath, working))
        return refuse(kNoMessage, workingPath + ": the working copy cannot be written");

    // A line over 500 characters refuses the document before anything is
    // applied, so that DELETE_AFTER never deletes a report that was refused.
    if (s.firstLongLine > 0)
        return refuse(145, path + ": line " + std::to_string(s.firstLongLine), true);

    auto doc = std::make_unique<Document>();
    DocumentSettings &ds = doc->settings;
    ds.givenPath = given;
    ds.originalPath = originalPath;
    ds.workingPath = workingPath;
    ds.openedWithOpenCommand = options.openedWithOpenCommand;

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
    writeFile(workingPath + "$", extract);
    bool deleteAfter = false;
    applySettings(ds, extract, env.warnings, env.messages, deleteAfter);

    // Prologue and line store in one pass over the working copy.
    std::vector<LineStore::Span> spans;
    spans.reserve(static_cast<size_t>(s.lines));
    {
        LineSplitter splitter(working);
        std::string_view line;
        enum { BeforeHeader, InPrologue, BeforeData, InData } state = BeforeHeader;
        bool prologueDone = false;
        int64_t lineNo = 0;
        while (splitter.next(line)) {
            if (++lineNo % kProgressStep == 0)
                observer.progress(lineNo);
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
        observer.progress(lineNo);
    }
    doc->lines = LineStore(std::move(working), std::move(spans));

    if (deleteAfter && !options.openedWithOpenCommand && options.obeyDeleteAfter) {
        std::error_code ec;
        fs::remove(originalPath, ec);
    }

    OpenResult r;
    r.document = std::move(doc);
    return r;
}

} // namespace kel
