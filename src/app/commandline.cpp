#include "app/commandline.h"

#include "app/text.h"

#include <filesystem>

namespace kel {
namespace {

bool isOptionField(std::string_view field)
{
    if (field.size() < 2 || field.front() != '/')
        return false;
    for (char c : field.substr(1)) {
        const char u = upperChar(c);
        if (u < 'A' || u > 'Z')
            return false;
    }
    std::error_code ec;
    return !std::filesystem::exists(std::string(field), ec);
}

void applyOptions(std::string_view field, ViewerOptions &o)
{
    for (char c : upper(field)) {
        switch (c) {
        case 'O':
            o.hideOpen = true;
            break;
        case 'S':
            o.hideSave = true;
            break;
        case 'X':
            o.hideExport = true;
            break;
        case 'P':
            o.hidePrint = true;
            break;
        case 'M':
            o.hideMail = true;
            break;
        case 'D':
            o.hidePaging = true;
            break;
        case 'Z':
            o.hideZoom = true;
            break;
        case 'F':
            o.hideFind = true;
            break;
        case 'E':
            o.designMode = true;
            break;
        default:
            break;
        }
    }
}

std::vector<std::string_view> blankFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

} // namespace

std::string joinArguments(const std::vector<std::string> &args)
{
    std::string line;
    for (const std::string &a : args) {
        if (!line.empty())
            line += ' ';
        line += a;
    }
    return line;
}

std::string withDefaultKelExtension(const std::string &document)
{
    return document.find('.') == std::string::npos ? document + ".kel" : document;
}

CommandLine parseCommandLine(const std::string &raw)
{
    CommandLine cl;
    const std::string_view line = trimmed(raw);
    if (line.empty())
        return cl;
    const std::vector<std::string_view> fields = blankFields(line);

    if (line.front() == '-') {
        cl.mode = CommandLine::Mode::Console;
        // Only the first ten fields count.
        for (size_t i = 0; i < fields.size() && i < 10; ++i) {
            const std::string_view f = fields[i];
            const std::string u = upper(f);
            if (u == "-I") {
                cl.console.install = true;
            } else if (u == "-S") {
                cl.console.server = true;
            } else if (u == "-V") {
                cl.console.visible = true;
            } else if (u == "-H") {
                cl.console.headless = true;
            } else if (u.rfind("-P", 0) == 0) {
                std::string folder = trimmedCopy(f.substr(2));
                const char last = folder.empty() ? '\0' : folder.back();
                cl.console.queuePathEndsInSlash = last == '/' || last == '\\';
                cl.console.queuePathEndsInBackslash = last == '\\';
                // On Linux "/" is the separator of every path: a folder
                // written with a trailing one is the same folder.
                while (folder.size() > 1 && folder.back() == '/')
                    folder.pop_back();
                cl.console.queuePath = folder;
            } else if (u.rfind("-E", 0) == 0) {
                cl.console.design = true;
                cl.options.designMode = true;
            } else if (u.rfind("-F", 0) == 0) {
                std::string name = trimmedCopy(f.substr(2));
                if (!name.empty() && name.find('.') == std::string::npos)
                    name += ".cnx";
                cl.console.connectionFile = name;
            }
        }
        return cl;
    }

    std::string_view document = line;
    if (fields.size() > 1 && isOptionField(fields.back())) {
        applyOptions(fields.back().substr(1), cl.options);
        document = trimmed(line.substr(0, static_cast<size_t>(fields.back().data() - line.data())));
    } else if (fields.size() == 1 && isOptionField(fields.front())) {
        applyOptions(fields.front().substr(1), cl.options);
        document = {};
    }
    if (!document.empty())
        cl.document = withDefaultKelExtension(std::string(document));
    return cl;
}

} // namespace kel
