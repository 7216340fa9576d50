#include "documents/textconvert.h"

#include "app/atomicfile.h"
#include "app/files.h"
#include "app/text.h"
#include "documents/documentsettings.h"
#include "documents/linestore.h"

#include <array>

namespace kel {
namespace {

constexpr char kOpen = '\x01';
constexpr char kClose = '\x02';

// Whole-line directives of a listing (compared trimmed and upper-cased) and
// the command each becomes. "\033" is ESC; an octal escape ends after three
// digits, so "\0334" is ESC followed by "4".
struct Directive
{
    std::string_view line;
    std::string_view command;
};
constexpr std::array<Directive, 13> kDirectives = {{
    {".\\NP", "\\NP"},
    {"\x0c", "\\NP"},
    {".NP", "\\NP"},
    {".B=Y", "B=Y"},
    {"\033<", "B=Y"},
    {".B=N", "B=N"},
    {"\033F", "B=N"}, // ESC F
    {".I=Y", "I=Y"},
    {"\0334", "I=Y"}, // ESC 4
    {".I=N", "I=N"},
    {"\0335", "I=N"}, // ESC 5
    {".U=Y", "U=Y"},
    {".U=N", "U=N"},
}};

std::string_view directiveFor(std::string_view line)
{
    const std::string_view t = trimmed(line);
    // Every directive is at most four characters; longer lines are text.
    if (t.empty() || t.size() > 4)
        return {};
    const std::string up = upper(t);
    for (const Directive &d : kDirectives) {
        if (up == d.line)
            return d.command;
    }
    return {};
}

void command(std::string &out, std::string_view text)
{
    out += kOpen;
    out += text;
    out += kClose;
}

void line(std::string &out, std::string_view text)
{
    out += text;
    out += "\r\n";
}

} // namespace

ListingSettings listingSettings(const SettingsRecord &settings, DocType type)
{
    const TypeRow &row = settings.row(type);
    return {row.printer,     settings.conversion(type),
            row.orientation, row.length,
            row.width,       row.fontName,
            row.fontSize};
}

double listingFontSize(std::string_view setting)
{
    const double size = leadingNumber(setting);
    return size > 0 && size < 1e6 ? size : kDefaultListingFontSize;
}

namespace {

std::string reportHead(const std::string &sourcePath, const ListingSettings &settings)
{
    const bool landscape = upper(trimmed(settings.orientation)) == "LANDSCAPE";
    const double fontSize = listingFontSize(settings.fontSize);

    // MAXY is measured on the page the loader will lay out: a length that
    // reads as 0 gives the A4 page there, so it does here too (an empty
    // length would otherwise put MAXY above the top of the page).
    double length = leadingNumber(settings.length);
    double width = leadingNumber(settings.width);
    if (length == 0) {
        length = kA4Length;
        width = kA4Width;
    }
    const double maxY = (landscape ? width : length) - 50 * fontSize;

    std::string out;
    if (!settings.conversion.empty())
        line(out, "CONVERSION=" + settings.conversion);
    line(out, landscape ? "ORIENTATION=2" : "ORIENTATION=1");
    line(out, "REPORT_TITLE=" + sourcePath);
    line(out, "PAGELENGTH=" + settings.length);
    line(out, "PAGEWIDTH=" + settings.width);
    line(out, "SPACING=" + formatNumber(25 * fontSize));
    line(out, "MAXY=" + formatNumber(maxY));
    if (!settings.printer.empty())
        line(out, "PRINTER=" + settings.printer);
    line(out, std::string("OPEN=") + kOpen);
    line(out, std::string("CLOSE=") + kClose);

    line(out, "[HEADER]");
    command(out, "Trim=N");
    out += "\r\n";
    const std::string font =
        trimmed(settings.fontName).empty() ? std::string(kDefaultListingFont) : settings.fontName;
    command(out, "F=" + font + ";S=" + formatNumber(fontSize));
    out += "\r\n";
    command(out, "\\N");
    out += "\r\n";
    line(out, "[DATA]");
    return out;
}

void appendListingLine(std::string &out, std::string_view text)
{
    // A form feed that opens a line (after blanks) starts a new page and the
    // rest of the line is printed on it: report writers put the page break
    // in front of the first line of each page. A form feed later in a line
    // is text, as every control code inside a line is.
    if (const size_t first = text.find_first_not_of(' ');
        first != std::string_view::npos && text[first] == '\f') {
        command(out, "\\NP");
        out += "\r\n";
        if (const std::string_view rest = text.substr(first + 1); !trimmed(rest).empty())
            appendListingLine(out, rest);
        return;
    }
    if (const std::string_view d = directiveFor(text); !d.empty()) {
        command(out, d);
        out += "\r\n";
        return;
    }
    // A listing line longer than one report line may carry goes on in the
    // next report line; an empty listing line still feeds a line.
    size_t pos = 0;
    do {
        command(out, "50");
        out += text.substr(pos, kMaxListingPiece);
        command(out, "\\N");
        out += "\r\n";
        pos += kMaxListingPiece;
    } while (pos < text.size());
}

} // namespace

std::string listingToReport(std::string_view listing, const std::string &sourcePath,
                            const ListingSettings &settings)
{
    std::string out = reportHead(sourcePath, settings);
    out.reserve(out.size() + listing.size() + listing.size() / 4);
    LineSplitter splitter(listing);
    std::string_view text;
    while (splitter.next(text))
        appendListingLine(out, text);
    return out;
}

ConvertResult convertTextToReport(const std::string &source, const std::string &target,
                                  const ListingSettings &settings, uint64_t maxReportBytes)
{
    InputFile in(source);
    if (!in.isOpen())
        return ConvertResult::CannotRead;
    if (in.size() > maxReportBytes)
        return ConvertResult::TooLarge;
    // The listing is read and the report written in blocks, so neither is
    // ever held whole; the report stops at the size a document may have. It
    // is written through the atomic writer, so a refusal leaves an existing
    // target as it was.
    AtomicFile out(target);
    if (!out.open())
        return ConvertResult::CannotWrite;
    constexpr size_t kFlush = 1 << 20;
    std::string buffer = reportHead(source, settings);
    bool any = false;
    LineReader reader(in);
    std::string_view text;
    auto flush = [&] {
        if (out.size() + buffer.size() > maxReportBytes)
            return ConvertResult::TooLarge;
        if (!out.write(buffer))
            return ConvertResult::CannotWrite;
        buffer.clear();
        return ConvertResult::Converted;
    };
    while (reader.next(text)) {
        any = true;
        appendListingLine(buffer, text);
        if (buffer.size() >= kFlush) {
            if (const ConvertResult r = flush(); r != ConvertResult::Converted)
                return r;
        }
    }
    if (reader.failed())
        return ConvertResult::CannotRead;
    if (const ConvertResult r = flush(); r != ConvertResult::Converted)
        return r;
    if (!out.commit())
        return ConvertResult::CannotWrite;
    return any ? ConvertResult::Converted : ConvertResult::EmptyListing;
}

} // namespace kel
