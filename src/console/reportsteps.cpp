#include "console/reportsteps.h"

#include "app/files.h"
#include "app/keyvalue.h"
#include "app/text.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kel {
namespace {

bool isMarker(std::string_view line, std::string_view marker)
{
    return equalsNoCase(trimmed(line), marker);
}

} // namespace

std::string conversionBeforeHeader(std::string_view report)
{
    LineSplitter splitter(report);
    std::string_view line;
    while (splitter.next(line)) {
        if (isMarker(line, "[HEADER]"))
            return {};
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos && upper(line.substr(0, eq)) == "CONVERSION")
            return trimmedCopy(upper(line.substr(eq + 1)));
    }
    return {};
}

bool asksForViewer(std::string_view report)
{
    LineSplitter splitter(report);
    std::string_view line;
    for (int n = 0; n < 100 && splitter.next(line); ++n) {
        // Blanks around the word are forgiven: a template line always ends
        // in one, and a blank nobody can see should not decide.
        const std::string u = upper(trimmed(line));
        if (u == "OPEN_VIEW" || u == "OPEN_VIEWER")
            return true;
    }
    return false;
}

std::string viewerFileName(std::string_view name)
{
    const size_t keep = name.size() >= 3 ? name.size() - 3 : 0;
    return std::string(name.substr(0, keep)) + "l";
}

bool hasIncludeLines(std::string_view report, char open)
{
    const std::string directive = std::string(1, upperChar(open)) + "COPY=";
    LineSplitter splitter(report);
    std::string_view line;
    while (splitter.next(line)) {
        if (line.size() >= directive.size() && upper(line.substr(0, directive.size())) == directive)
            return true;
    }
    return false;
}

std::string expandQueueIncludes(std::string_view report, char open, char close,
                                std::string_view unreadableText, const std::string &folder,
                                uint64_t maxIncludedBytes)
{
    const std::string directive = std::string(1, upperChar(open)) + "COPY=";
    std::string out;
    out.reserve(report.size() + report.size() / 32 + 16);
    // What the includes of this report have added so far: a report that
    // names a large file on many lines would otherwise make the console hold
    // any amount of memory.
    uint64_t includedBytes = 0;
    LineSplitter splitter(report);
    std::string_view line;
    while (splitter.next(line)) {
        if (line.size() < directive.size() ||
            upper(line.substr(0, directive.size())) != directive) {
            out += line;
            out += "\r\n";
            continue;
        }
        const std::string_view value = line.substr(directive.size());
        std::string name(value.substr(0, value.empty() ? 0 : value.size() - 1));
        std::string content;
        bool ok = false;
        if (!name.empty()) {
            // Only a regular file is read (an include line may name anything,
            // a device or a fifo included), and only when its size, looked at
            // before a byte is read, fits in what is left.
            const fs::path p(name);
            const std::string path =
                p.is_relative() && !folder.empty() ? (fs::path(folder) / p).string() : name;
            ok = readRegularFile(path, content, maxIncludedBytes - includedBytes) ==
                 ReadOutcome::Read;
        }
        if (!ok || content.empty()) {
            out += open;
            out += "100";
            out += close;
            out += unreadableText;
            out += open;
            out += "\\N";
            out += close;
            out += "\r\n";
            continue;
        }
        includedBytes += content.size();
        LineSplitter inner(content);
        std::string_view included;
        while (inner.next(included)) {
            out += included;
            out += "\r\n";
        }
    }
    return out;
}

QueueHeader readQueueHeader(std::string_view report)
{
    QueueHeader h;
    const std::string open = readKeyValueIn(report, "OPEN");
    const std::string close = readKeyValueIn(report, "CLOSE");
    if (!open.empty())
        h.open = open.front();
    if (!close.empty())
        h.close = close.front();
    h.sendTo = readKeyValueIn(report, "SEND_TO");
    h.printer = readKeyValueIn(report, "PRINTER");
    h.orientation = readKeyValueIn(report, "ORIENTATION");
    const double copies = leadingNumber(readKeyValueIn(report, "COPIES"));
    if (copies >= 1)
        h.copies = copies > kMaxCopies ? kMaxCopies : static_cast<int>(copies);
    return h;
}

} // namespace kel
