// Opening a document of any type as the viewer does.
//
// openDocument decides the type (by name, then by content), turns the
// document into a working report in the temporary folder, expands include
// lines, checks the sections, applies the conversion table, reads the
// settings into DocumentSettings and fills the prologue and the line store.
// It shows no window: a refusal comes back as the number of its message, and
// the caller decides whether to show a box or end the program. The only
// prompts raised on the way are those after which loading goes on (a
// one-line document, the PAPERSIZE warning, an empty listing).
#pragma once

#include "app/result.h"
#include "documents/documentsettings.h"
#include "documents/linestore.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kel {

struct Folders;
class Messages;
struct SettingsRecord;
class Prompter;
class Warnings;

// An open report: its settings, prologue and line store.
struct Document
{
    DocumentSettings settings;
    LineStore lines;
};

// Receives the loading progress of a window (status texts and progress bar).
class OpenObserver
{
public:
    virtual ~OpenObserver() = default;
    virtual void statusMessage(int /*number*/) {}
    virtual void captionMessage(int /*number*/) {}
    virtual void progressRange(int64_t /*lines*/) {}
    virtual void progress(int64_t /*line*/) {}
    virtual void busy(bool /*on*/) {}
};

struct OpenEnvironment
{
    const Folders &folders;
    const Messages &messages;
    const SettingsRecord &settings;
    Prompter &prompter;
    Warnings &warnings;
};

struct OpenOptions
{
    // The delimiters in force before this document's own settings are read:
    // those of the previous document, "{" and "}" at start-up.
    char openDelimiter = '{';
    char closeDelimiter = '}';
    bool openedWithOpenCommand = false;
    // DELETE_AFTER is obeyed unless this is off (batch tools only read).
    bool obeyDeleteAfter = true;
    // The path as the user gave it, when it differs from the path opened
    // (the viewer's Open command converts first and opens the result).
    std::string givenPath;
    OpenObserver *observer = nullptr;
};

struct OpenResult
{
    std::unique_ptr<Document> document;
    int message = 0;          // the refusal's message number, kNoMessage for others
    bool endsProgram = false; // refusals after which the viewer ends
    std::string detail;       // what or where, for logs and batch tools

    bool ok() const { return document != nullptr; }
};

// Adds ".KEL" to a path without any "." (".kel" when only that file exists).
std::string withReportExtension(const std::string &path);

// "1" for each of "[HEADER]" and "[DATA]" found among the lines, else "0".
std::string checkSections(std::string_view document);

// The include pass over report bytes: include lines expanded, CR LF ends.
// `baseFolder` is tried for relative include names not found as given.
std::string expandIncludes(std::string document, char open, char close, const Messages &messages,
                           const std::string &baseFolder);

OpenResult openDocument(const std::string &path, const OpenEnvironment &env,
                        const OpenOptions &options);

} // namespace kel
