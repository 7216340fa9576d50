#include "app/keyvalue.h"

#include "app/text.h"

#include <fstream>

namespace kel {
namespace {

constexpr int kMaxLines = 100;

// Scans one line; true when the key matched (the value may be empty).
bool matchLine(std::string_view rawLine, const std::string &key, std::string &value)
{
    const std::string_view line = trimmed(rawLine);
    if (!line.empty() && line.front() == '#')
        return false;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    if (!equalsNoCase(line.substr(0, eq), key))
        return false;
    size_t i = eq + 1;
    while (i < line.size() && line[i] == '=')
        ++i;
    value = trimmedCopy(line.substr(i));
    return true;
}

} // namespace

std::string readKeyValueIn(std::string_view text, std::string_view key)
{
    const std::string upperKey = upper(key);
    LineSplitter splitter(text);
    std::string_view line;
    std::string value;
    for (int count = 0; count < kMaxLines && splitter.next(line); ++count) {
        if (matchLine(line, upperKey, value))
            return value;
    }
    return {};
}

std::optional<std::string> readKeyValue(const std::string &path, std::string_view key)
{
    std::ifstream in(path, std::ios::binary);
    if (!in || !fileExists(path))
        return std::nullopt;
    // Reads just enough of the file for 100 lines. Every line end counts one
    // or two marks (CR LF), so twice the limit in marks is always enough.
    std::string head;
    std::string chunk(64 * 1024, '\0');
    int lines = 0;
    while (lines <= 2 * kMaxLines + 2 && in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0)
            break;
        for (size_t i = 0; i < got; ++i) {
            if (chunk[i] == '\n' || chunk[i] == '\r')
                ++lines;
        }
        head.append(chunk, 0, got);
    }
    return readKeyValueIn(head, key);
}

} // namespace kel
