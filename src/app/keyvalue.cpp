#include "app/keyvalue.h"

#include "app/files.h"
#include "app/text.h"

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
    InputFile file(path);
    if (!file.isOpen())
        return std::nullopt;
    // Reads the first 100 lines only, in blocks; a line longer than the
    // system reads whole is a file that cannot be read.
    LineReader reader(file, 64 * 1024);
    const std::string upperKey = upper(key);
    std::string_view line;
    std::string value;
    for (int count = 0; count < kMaxLines && reader.next(line); ++count) {
        if (matchLine(line, upperKey, value))
            return value;
    }
    if (reader.failed())
        return std::nullopt;
    return std::string();
}

} // namespace kel
