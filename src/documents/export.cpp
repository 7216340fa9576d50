#include "documents/export.h"

#include "app/text.h"
#include "documents/markupline.h"

#include <filesystem>
#include <fstream>

namespace kel {

std::optional<std::string> exportFields(std::string_view raw, char open, char close)
{
    const std::string_view line = trimmed(raw);
    if (line.size() < 2 || upperChar(line[0]) != upperChar(open) || upperChar(line[1]) != 'E')
        return std::nullopt;

    // The text outside groups is kept; inside a group, every command that
    // begins with "T" as written (its first byte after the open delimiter,
    // a ";" or another open delimiter) gives one ";". Each line is read on
    // its own: a group left open is read to the end of its line and no
    // further.
    struct Fields : MarkupHandler
    {
        char open;
        char close;
        std::string out;
        void text(std::string_view segment) override { out += segment; }
        void group(const MarkupGroup &group) override { separators(group.onLine); }
        void groupLeftOpen(std::string_view onLine) override { separators(onLine); }
        void separators(std::string_view part)
        {
            size_t command = 0; // bytes of the command so far
            for (char c : part) {
                if (c == open || c == ';')
                    command = 0;
                else if (c != close && command++ == 0 && upperChar(c) == 'T')
                    out += ';';
            }
        }
    } fields;
    fields.open = open;
    fields.close = close;
    std::string openGroup;
    tokenizeLine(line, {open, close}, openGroup, fields);
    return std::move(fields.out);
}

std::string trimFields(std::string_view line)
{
    std::string out;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ';') {
            out += trimmed(line.substr(start, i - start));
            out += ';';
            start = i + 1;
        }
    }
    return out;
}

bool isFileUnwritable(const std::string &path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return !out;
}

bool exportReport(const std::string &workingPath, const std::string &target, char open, char close,
                  const std::string &tempFolder, const std::function<void(int64_t)> &progress,
                  std::string &error)
{
    std::string document;
    if (!readFile(workingPath, document)) {
        error = "cannot read " + workingPath;
        return false;
    }
    std::string first;
    LineSplitter splitter(document);
    std::string_view line;
    int64_t count = 0;
    while (splitter.next(line)) {
        if (++count % 1024 == 0 && progress)
            progress(count);
        if (auto fields = exportFields(line, open, close)) {
            first += *fields;
            first += "\r\n";
        }
    }
    if (progress)
        progress(count);

    // The first pass goes to a file of its own in the temporary folder; the
    // second pass reads it back and writes the chosen file.
    const std::string temp = tempFolder + "/EXP.$$$";
    if (!writeFile(temp, first)) {
        error = "cannot write " + temp;
        return false;
    }
    std::string back;
    readFile(temp, back);
    std::string second;
    second.reserve(back.size());
    LineSplitter again(back);
    while (again.next(line)) {
        second += trimFields(line);
        second += "\r\n";
    }
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    if (!writeFile(target, second)) {
        error = "cannot write " + target;
        return false;
    }
    return true;
}

} // namespace kel
