// The one report pipeline: bytes in, a Document out, for the viewer, keltool
// and the console alike.
//
// A document goes through a fixed table of steps: a listing becomes a
// report, template data is merged with its template, a packed report or
// container is unpacked, the CONVERSION line of the settings part is
// applied, include lines are expanded, and finally the sections are checked
// and the settings, prologue and line store read. Everything happens in
// memory; only the pictures of a packed report are written, into the
// temporary folder, where the drawing finds them. Where the viewer and the
// console differ (how includes are recognised, which delimiters count, what
// an empty listing is, which message says a refusal) the difference is data
// in a LoadPlan, not a second copy of a step.
#pragma once

#include "app/result.h"
#include "app/settings.h"
#include "documents/includes.h"
#include "documents/opening.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kel {

struct Folders;
class Messages;
class Prompter;
class Warnings;

// What kind of file a document is, by its name.
enum class SourceKind { Report, Template, Listing };

// The steps, in the order they run.
enum class LoadStep { Listing, Template, Unpack, ConversionLine, Includes, Report, End };

struct LoadPlan
{
    // Which delimiters recognise include lines: those in force before the
    // document is read (the viewer), or the report's own OPEN and CLOSE
    // settings (the console).
    enum class Delimiters { Given, FromReport } delimiters = Delimiters::Given;
    IncludeRules includes;
    // The console applies a CONVERSION line before the includes, to the
    // report alone; the viewer applies it to the working copy after them.
    bool conversionBeforeIncludes = false;
    // An empty listing: the viewer says message 210 and shows the report
    // head; the console refuses it with 210 and leaves the file.
    bool emptyListingRefuses = false;
    // The viewer warns of a report of one line (138).
    bool warnOneLine = false;
    // Whether the working copy and its settings part are written into the
    // temporary folder (the viewer's edit, save, export and mail read it).
    bool keepWorkingCopy = false;
    // The console forwards a report as it was before its includes.
    bool keepReportBeforeIncludes = false;
    // Refusal messages said otherwise by this front end: (from, to).
    std::vector<std::pair<int, int>> refusalMessages;

    // The viewer's plan: includes with the given delimiters, message 147.
    static LoadPlan viewer(const Messages &messages);
    // The console's plan: includes with the report's own delimiters, relative
    // names in the queue folder, message 98, "\N" as the line end.
    static LoadPlan console(const Messages &messages);
};

// Where a document came from and what its bytes are.
struct ReportSource
{
    std::string bytes;
    std::string path;      // the file read (a listing, data file or report)
    std::string givenPath; // the path as the user or the queue named it
    SourceKind kind = SourceKind::Report;
    DocType listingType = DocType::Txt; // for a listing
    // The folder relative include names are read in; the reader may limit
    // what it reads further (the console's allowed folders).
    IncludeReader includes;
    // Where the report is taken to live (its pictures are found beside it);
    // the path read when empty. Unpacking moves it to the temporary folder.
    std::string originalPath;
    char open = '{'; // the delimiters in force before this document
    char close = '}';
    bool openedWithOpenCommand = false;
};

struct LoadEnvironment
{
    const Folders &folders;
    const Messages &messages;
    const SettingsRecord &settings;
    Prompter &prompter;
    Warnings &warnings;
    OpenObserver *observer = nullptr;
};

// A document on its way through the steps, and what the steps learned.
struct ReportLoad
{
    ReportSource source;
    // The report as the steps have made it so far: after the listing,
    // template, unpack and conversion steps the report itself; after the
    // include step its working copy.
    std::string bytes;
    // The report before the includes were expanded (kept for a console that
    // forwards it; empty when no include step changed anything).
    std::string beforeIncludes;
    LoadStep next = LoadStep::Listing;
    bool made = false;                // made from a listing or template data
    bool packed = false;              // unpacked from a packed report or container
    bool converted = false;           // a CONVERSION line was applied before includes
    bool expanded = false;            // the include step ran and found include lines
    std::string originalPath;         // where the report is taken to live (pictures)
    std::string pictureFolder;        // where its pictures are found
    std::vector<std::string> scratch; // files the unpacking wrote
    int64_t documentLines = 0;
    std::unique_ptr<Document> document; // after the Report step
    bool deleteAfter = false;
    // After a refusal: whether trying again may help while the file stays as
    // it is (a template that cannot be read yet may still arrive).
    bool retryMayHelp = false;
};

// Runs the steps from `load.next` up to (not including) `until`; with the
// default, all of them (openDocument does, for the viewer and keltool). A refusal
// stops the walk; its message is already said as the plan says.
Status runSteps(ReportLoad &load, const LoadPlan &plan, const LoadEnvironment &env,
                LoadStep until = LoadStep::End);

// The kind of a document by its name (".kez"/".kz", the listing endings).
SourceKind sourceKindByName(std::string_view path, DocType *listingType = nullptr);

} // namespace kel
