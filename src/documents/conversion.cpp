#include "documents/conversion.h"

#include "app/text.h"

#include <cmath>
#include <filesystem>

namespace kel {
namespace {

bool codeOf(std::string_view text, int &code)
{
    const double v = std::nearbyint(leadingNumber(text));
    if (v < 0 || v > 255)
        return false;
    code = static_cast<int>(v);
    return true;
}

} // namespace

void ConversionTable::parse(std::string_view text)
{
    m_entries.clear();
    LineSplitter splitter(text);
    std::string_view raw;
    while (static_cast<int>(m_entries.size()) < kMaxEntries && splitter.next(raw)) {
        const std::string_view line = trimmed(raw);
        if (!line.empty() && line.front() == '#')
            continue;
        m_entries.emplace_back(std::string(field(line, '=', 1)), std::string(field(line, '=', 2)));
    }
    for (int c = 0; c < 256; ++c)
        m_map[static_cast<size_t>(c)] = static_cast<unsigned char>(c);
    for (const auto &[source, target] : m_entries) {
        int from = 0;
        int to = 0;
        if (!codeOf(source, from) || from == 0 || !codeOf(target, to))
            continue;
        for (unsigned char &m : m_map) {
            if (m == from)
                m = static_cast<unsigned char>(to);
        }
    }
}

bool ConversionTable::load(const std::string &path)
{
    std::string text;
    const bool ok = readFile(path, text);
    parse(ok ? text : std::string_view());
    return ok;
}

void ConversionTable::apply(std::string &line) const
{
    for (char &c : line)
        c = static_cast<char>(m_map[static_cast<unsigned char>(c)]);
}

std::string applyConversion(std::string_view document, const ConversionTable &table)
{
    std::string out;
    out.reserve(document.size() + document.size() / 16);
    LineSplitter splitter(document);
    std::string_view line;
    std::string buffer;
    while (splitter.next(line)) {
        if (startsWithNoCase(line, "CONVERSION"))
            continue;
        buffer.assign(line);
        table.apply(buffer);
        out += buffer;
        out += "\r\n";
    }
    return out;
}

void applyConversionInPlace(std::string &document, const ConversionTable &table)
{
    // Each line keeps its length and its CR LF, or goes, so the write
    // position never passes the read position.
    size_t write = 0;
    LineSplitter splitter(document);
    std::string_view line;
    while (splitter.next(line)) {
        const size_t begin = static_cast<size_t>(line.data() - document.data());
        const size_t end = begin + line.size();
        if (document.compare(end, 2, "\r\n") != 0) {
            // Not what the include pass leaves: the rest is rewritten into
            // a new buffer after the lines already converted.
            std::string rest = applyConversion(std::string_view(document).substr(begin), table);
            document.resize(write);
            document += rest;
            return;
        }
        if (startsWithNoCase(line, "CONVERSION"))
            continue;
        for (size_t i = begin; i < end; ++i)
            document[write++] =
                static_cast<char>(table.map(static_cast<unsigned char>(document[i])));
        document[write++] = '\r';
        document[write++] = '\n';
    }
    document.resize(write);
}

std::string conversionBeforeHeader(std::string_view report)
{
    LineSplitter splitter(report);
    std::string_view line;
    while (splitter.next(line)) {
        if (equalsNoCase(trimmed(line), "[HEADER]"))
            return {};
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos && upper(line.substr(0, eq)) == "CONVERSION")
            return trimmedCopy(upper(line.substr(eq + 1)));
    }
    return {};
}

std::string findConversionTable(const std::string &programFolder, std::string_view name)
{
    namespace fs = std::filesystem;
    const std::string plain = trimmedCopy(name);
    if (plain.empty() || plain.find('/') != std::string::npos)
        return {};
    std::error_code ec;
    for (const std::string &candidate : {upper(plain) + ".cnv", plain + ".cnv"}) {
        const fs::path p = fs::path(programFolder) / candidate;
        if (fs::is_regular_file(p, ec))
            return p.string();
    }
    const std::string wanted = plain + ".cnv";
    for (fs::directory_iterator it(programFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (equalsNoCase(it->path().filename().string(), wanted))
            return it->path().string();
    }
    return {};
}

} // namespace kel
