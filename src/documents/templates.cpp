#include "documents/templates.h"

#include "app/atomicfile.h"
#include "app/files.h"
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

namespace {

// Fills the template line by line into `sink` (a block of lines at a time),
// up to `maxBytes` in all.
class Filler
{
public:
    Filler(const TemplateData &data, const std::string &where, uint64_t maxBytes)
        : m_data(data), m_where(where), m_maxBytes(maxBytes)
    {
    }

    // Appends the filled line to `out`; a refusal when it cannot be.
    TemplateResult add(std::string_view raw, std::string &out)
    {
        ++m_lineNo;
        m_line.assign(raw);
        m_line += ' ';
        if (!fillPlaceholders(m_line, m_data)) {
            return refuse(TemplateStatus::LineTooLong,
                          m_where + ": line " + std::to_string(m_lineNo) + " grows past " +
                              std::to_string(kMaxFilledLine) + " characters when filled");
        }
        m_total += m_line.size() + 2;
        if (m_total > m_maxBytes) {
            return refuse(TemplateStatus::TooLarge, m_where + ": the filled template grows past " +
                                                        std::to_string(m_maxBytes) + " bytes");
        }
        out += m_line;
        out += "\r\n";
        return {};
    }

private:
    const TemplateData &m_data;
    const std::string &m_where;
    uint64_t m_maxBytes;
    uint64_t m_total = 0;
    int64_t m_lineNo = 0;
    std::string m_line;
};

} // namespace

TemplateResult fillTemplate(std::string_view templ, const TemplateData &data, std::string &out,
                            const std::string &where, uint64_t maxBytes)
{
    out.clear();
    Filler filler(data, where, maxBytes);
    LineSplitter splitter(templ);
    std::string_view raw;
    while (splitter.next(raw)) {
        if (TemplateResult r = filler.add(raw, out); !r.ok()) {
            out.clear();
            return r;
        }
    }
    return {};
}

TemplateResult mergeTemplate(std::string_view dataBytes, const std::string &dataPath,
                             std::string &out)
{
    out.clear();
    const TemplateData data = parseTemplateData(dataBytes);
    if (data.tooManyVariables) {
        return refuse(TemplateStatus::TooManyVariables, dataPath + ": more than " +
                                                            std::to_string(kMaxTemplateVariables) +
                                                            " template variables");
    }
    if (data.templateName.empty())
        return refuse(TemplateStatus::NoTemplate, dataPath + ": names no template");
    const std::string templatePath = resolveTemplate(data.templateName, dataPath);
    InputFile templ(templatePath);
    if (templatePath.empty() || !templ.isOpen()) {
        return refuse(TemplateStatus::CannotReadTemplate,
                      dataPath + ": the template " + data.templateName + " cannot be read");
    }
    std::error_code ec;
    if (fs::equivalent(templatePath, dataPath, ec)) {
        return refuse(TemplateStatus::TemplateIsData,
                      dataPath + ": the template data names itself as its template");
    }
    // Every template line gains a blank and a line end when filled: a
    // template larger than a document can never be filled into one.
    if (templ.size() > kMaxDocumentBytes) {
        return refuse(TemplateStatus::TooLarge,
                      templatePath + ": " + std::to_string(templ.size()) +
                          " bytes, more than the filled template may have");
    }
    Filler filler(data, templatePath, kMaxDocumentBytes);
    LineReader reader(templ);
    std::string_view raw;
    while (reader.next(raw)) {
        if (TemplateResult r = filler.add(raw, out); !r.ok()) {
            out.clear();
            return r;
        }
    }
    if (reader.failed()) {
        out.clear();
        return refuse(TemplateStatus::CannotReadTemplate,
                      dataPath + ": the template " + data.templateName + " cannot be read");
    }
    return {};
}

TemplateResult processTemplate(const std::string &dataPath, const std::string &outputPath)
{
    std::string bytes;
    if (!readFile(dataPath, bytes))
        return refuse(TemplateStatus::CannotReadData, dataPath + ": cannot be read");
    std::string filled;
    if (TemplateResult r = mergeTemplate(bytes, dataPath, filled); !r.ok())
        return r;
    // Written whole under a working name and renamed: on a refusal an
    // existing output stays as it was.
    if (!writeFileAtomically(outputPath, filled))
        return refuse(TemplateStatus::CannotWrite, outputPath + ": cannot be written");
    return {};
}

} // namespace kel
