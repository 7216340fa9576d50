#include "documents/export.h"

#include "app/folders.h"
#include "app/text.h"

#include <filesystem>
#include <fstream>

namespace kel {

std::optional<std::string> exportFields(std::string_view raw, char open, char close)
{
    const std::string_view line = trimmed(raw);
    if (line.size() < 2 || upperChar(line[0]) != upperChar(open) || upperChar(line[1]) != 'E')
        return std::nullopt;
    std::string out;
    std::string command;
    bool inGroup = false;
    for (char c : line) {
        if (c == open) {
            inGroup = true;
            command.clear();
        }
        if (!inGroup)
            out += c;
        if (c == close)
            inGroup = false;
        if (c == ';')
            command.clear();
        if (inGroup && c != close && c != ';' && c != open) {
            command += c;
            if (command.size() == 1 && upperChar(command[0]) == 'T')
                out += ';';
        }
    }
    return out;
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

    // The first pass goes to a file of its own in the temporary folder (named
    // per export, as two programs may export at once); the second pass reads
    // it back and writes the chosen file.
    const std::string temp = tempFolder + "/EXP-" + uniqueWorkingName() + ".$$$";
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
