// Template processing: a data file (".kez") names a template and gives values
// for its "@" placeholders; the filled template is written as a new file.
//
// A placeholder is "@" and the characters after it up to the first of
// ' ; . blank ) ( } { , =. A placeholder that names a variable is replaced by
// its value and scanning goes on through the inserted value; one that names
// none is left as written, so e-mail addresses in a template survive. Each
// line is scanned up to its 1000th character.
#pragma once

#include "documents/linestore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kel {

inline constexpr int kMaxTemplateVariables = 500;
inline constexpr size_t kTemplateScanLimit = 1000;
// A filled line may not grow past this: a value that holds its own
// placeholder would otherwise grow the line with every pass of the scan.
inline constexpr size_t kMaxFilledLine = 64 * 1024;

// What a data file says, read up to its DOIT line or its end.
struct TemplateData
{
    std::string templateName; // trimmed, as written; the last TEMPLATE line wins
    // Upper-cased name with its "@" -> value (blanks after the "=" kept).
    std::unordered_map<std::string, std::string> variables;
    bool tooManyVariables = false; // more than kMaxTemplateVariables names
};
TemplateData parseTemplateData(std::string_view bytes);

// Fills the placeholders of one line in place. False when the line would
// grow past kMaxFilledLine (the line is then left part-filled).
bool fillPlaceholders(std::string &line, const TemplateData &data);

enum class TemplateStatus {
    Written,
    CannotReadData,
    NoTemplate,         // the data file names no template
    CannotReadTemplate, // the template named cannot be read
    TemplateIsData,     // the data file names itself as its template
    TooManyVariables,
    LineTooLong, // a filled line grows past kMaxFilledLine
    TooLarge,    // the filled template grows past the size of a document
    CannotWrite,
};

struct TemplateResult
{
    TemplateStatus status = TemplateStatus::Written;
    std::string detail; // what went wrong, for logs and batch tools

    bool ok() const { return status == TemplateStatus::Written; }
};

// The filled template in memory: each template line followed by one blank,
// CR LF line ends; at most `maxBytes` (every line may grow to
// kMaxFilledLine, so a template of short lines could otherwise grow a
// thousandfold). `where` names the template in the refusal.
TemplateResult fillTemplate(std::string_view templ, const TemplateData &data, std::string &out,
                            const std::string &where, uint64_t maxBytes = kMaxDocumentBytes);

// The filled template for the data file's bytes (`dataPath` names it, and
// its folder is where a relative template name is looked for second).
TemplateResult mergeTemplate(std::string_view dataBytes, const std::string &dataPath,
                             std::string &out);

// Writes the filled template to `outputPath`. A relative template name is
// looked for as given, then in the data file's folder; the data file and
// the template are read only when they are regular files. On any refusal
// nothing is written.
TemplateResult processTemplate(const std::string &dataPath, const std::string &outputPath);

} // namespace kel
