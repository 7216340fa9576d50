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
//
// Only regular files are read, and their size is looked at first: a file
// larger than kMaxDocumentBytes, or a report that its includes grow past
// that (or past kMaxDocumentLines), is refused with 141 at once. Loading
// holds one copy of the document: the include pass builds the working copy
// from the file in blocks, and the conversion table rewrites it in place.
// The files of the temporary folder are named per opening
// (uniqueWorkingName), so viewers and keltool never share one.
#pragma once

#include "app/result.h"
#include "documents/conversion.h"
#include "documents/documentsettings.h"
#include "documents/includes.h"
#include "documents/linestore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

struct Folders;
class Messages;
struct LoadPlan;
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
    // The loading plan; the viewer's when not given. keltool's batch
    // commands keep no working copy.
    const LoadPlan *plan = nullptr;
};

// An open document, or the refusal that took its place: the number of its
// message and what or where, for boxes, logs and batch tools. Which refusals
// end the viewer is the viewer's to say.
using Opened = Result<std::unique_ptr<Document>>;

// Adds ".KEL" to a path without any "." (".kel" when only that file exists).
std::string withReportExtension(const std::string &path);

// The settings of a document from its settings part (the lines up to and
// including "[HEADER]"), applied in the loader's order over `ds`, whose
// givenPath is the default title. The PAPERSIZE warning goes through
// `warnings`. True when DELETE_AFTER asks for the original to be deleted.
bool readSettings(DocumentSettings &ds, std::string_view settingsPart, Warnings &warnings);

// What the loader's steps over a working copy need besides its bytes.
struct ReportSteps
{
    Warnings &warnings;
    // The table a CONVERSION setting names (trimmed and upper-cased); the
    // empty table when there is none. openDocument reads NAME.cnv of the
    // program folder; without this function no table is applied but the
    // CONVERSION lines are still removed.
    std::function<ConversionTable(const std::string &name)> conversionTable;
    // Called once the working copy is final (converted) with it and its
    // settings part, before its lines are read; openDocument writes both
    // into the temporary folder here. A refusal ends the loading.
    std::function<Status(std::string_view working, std::string_view settingsPart)> keep;
    // Told the number of the line reached, every few thousand lines, while
    // the line store is filled.
    std::function<void(int64_t line)> progress;
};

// The loader's pure steps over a working copy in memory (the report after
// the include pass, lines ending in CR LF): the section check (141, 142,
// 143), the conversion table, the line length check (145), the settings,
// the prologue and the line store, in the loader's order. `paths` carries
// the document's paths and origin into its settings. Nothing is read or
// written but through `steps`. `deleteAfter` receives the DELETE_AFTER
// decision of an accepted document.
Result<std::unique_ptr<Document>> readReport(std::string working, const DocumentSettings &paths,
                                             const ReportSteps &steps, bool *deleteAfter = nullptr);

// Reads the document file and runs it through the report pipeline with the
// plan of the options. `scratch` receives the files unpacking wrote into the
// temporary folder (a packed report's pictures), which the caller removes
// once it is done with the document.
Opened openDocument(const std::string &path, const OpenEnvironment &env, const OpenOptions &options,
                    std::vector<std::string> *scratch = nullptr);

} // namespace kel
