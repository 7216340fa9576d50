#include "documents/templates.h"

#include "app/text.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kel {
namespace {

constexpr std::string_view kPlaceholderEnds = "';. )(}{,=";

TemplateResult refuse(TemplateStatus status, std::string detail)
{
    return {status, std::move(detail)};
}

// The template's path: as given, else relative to the data file's folder.
std::string resolveTemplate(const std::string &name, const std::string &dataPath)
{
    if (fileExists(name))
        return name;
    const fs::path p(name);
    if (p.is_relative()) {
        const std::string beside = (fs::path(dataPath).parent_path() / p).string();
        if (fileExists(beside))
            return beside;
    }
    return {};
}

} // namespace

TemplateData parseTemplateData(std::string_view bytes)
{
    TemplateData data;
    LineSplitter splitter(bytes);
    std::string_view raw;
    while (splitter.next(raw)) {
        const std::string_view line = trimmed(raw);
        const size_t eq = line.find('=');
        const std::string_view before = line.substr(0, eq);
        if (!line.empty() && line.front() == '@') {
            std::string name = upper(trimmed(before));
            std::string value(eq == std::string_view::npos ? std::string_view()
                                                           : line.substr(eq + 1));
            if (auto it = data.variables.find(name); it != data.variables.end()) {
                it->second = std::move(value);
            } else if (static_cast<int>(data.variables.size()) < kMaxTemplateVariables) {
                data.variables.emplace(std::move(name), std::move(value));
            } else {
                data.tooManyVariables = true;
            }
            continue;
        }
        const std::string key = upper(before);
        if (key == "TEMPLATE" && eq != std::string_view::npos)
            data.templateName = trimmedCopy(line.substr(eq + 1));
        else if (key == "DOIT")
            break;
    }
    return data;
}

bool fillPlaceholders(std::string &line, const TemplateData &data)
{
    if (line.find('@') == std::string::npos)
        return true;
    // The scan runs over the changed line, so an inserted value is scanned
    // too; the scan limit bounds the passes, the length cap the growth.
    for (size_t i = 0; i < line.size() && i < kTemplateScanLimit; ++i) {
        if (line[i] != '@')
            continue;
        size_t end = line.find_first_of(kPlaceholderEnds, i + 1);
        if (end == std::string::npos)
            end = line.size();
        const auto it = data.variables.find(upper(std::string_view(line).substr(i, end - i)));
        if (it == data.variables.end())
            continue;
        if (line.size() - (end - i) + it->second.size() > kMaxFilledLine)
            return false;
        line.replace(i, end - i, it->second);
    }
    return true;
}

TemplateResult processTemplate(const std::string &dataPath, const std::string &outputPath)
{
    std::string bytes;
    if (!readFile(dataPath, bytes))
        return refuse(TemplateStatus::CannotReadData, dataPath + ": cannot be read");
    const TemplateData data = parseTemplateData(bytes);
    if (data.tooManyVariables) {
        return refuse(TemplateStatus::TooManyVariables, dataPath + ": more than " +
                                                            std::to_string(kMaxTemplateVariables) +
                                                            " template variables");
    }
    if (data.templateName.empty())
        return refuse(TemplateStatus::NoTemplate, dataPath + ": names no template");
    const std::string templatePath = resolveTemplate(data.templateName, dataPath);
    std::string templ;
    if (templatePath.empty() || !readFile(templatePath, templ)) {
        return refuse(TemplateStatus::CannotReadTemplate,
                      dataPath + ": the template " + data.templateName + " cannot be read");
    }
    std::error_code ec;
    if (fs::equivalent(templatePath, dataPath, ec)) {
        return refuse(TemplateStatus::TemplateIsData,
                      dataPath + ": the template data names itself as its template");
    }

    std::string out;
    out.reserve(templ.size() + templ.size() / 8 + 64);
    LineSplitter splitter(templ);
    std::string_view raw;
    int lineNo = 0;
    std::string line;
    while (splitter.next(raw)) {
        ++lineNo;
        line.assign(raw);
        line += ' ';
        if (!fillPlaceholders(line, data)) {
            return refuse(TemplateStatus::LineTooLong,
                          templatePath + ": line " + std::to_string(lineNo) + " grows past " +
                              std::to_string(kMaxFilledLine) + " characters when filled");
        }
        out += line;
        out += "\r\n";
    }
    if (!writeFile(outputPath, out)) {
        fs::remove(outputPath, ec);
        return refuse(TemplateStatus::CannotWrite, outputPath + ": cannot be written");
    }
    return {};
}

} // namespace kel
