// The include pass: the working copy of a report is built from the report's
// lines, each ended by CR LF, with every include line replaced by the lines
// of the file it names.
//
// The pass is fed the report in pieces and builds the working copy in one
// buffer: a line is assembled where it will stay, and only once it is
// complete is it looked at for an include directive (and then replaced). So
// loading a report holds one copy of it, never the file's bytes and the
// working copy side by side, and included files stream through in blocks.
// The working copy may not grow past kMaxDocumentBytes or kMaxDocumentLines:
// a report that includes a large file many times would otherwise make the
// loader hold any amount of memory.
#pragma once

#include "app/allowedfolders.h"
#include "documents/linestore.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kel {

class Messages;

// Hands the bytes of the file an include line names to `piece`, in order and
// in pieces; `piece` returns false to stop early. `room` is how many bytes
// the working copy can still take: a file larger than that is TooLarge
// without being read. Unreadable when the name is no regular file that can
// be read (a missing file, a folder, a device, a FIFO).
enum class IncludeOutcome { Read, Unreadable, TooLarge };
using IncludePiece = std::function<bool(std::string_view bytes)>;
using IncludeReader = std::function<IncludeOutcome(const std::string &name, uint64_t room,
                                                   const IncludePiece &piece)>;

// Reads includes from the file system: the name as given, else a relative
// name in `baseFolder` (the folder of the report as it was named). With
// `onlyInFolder` a relative name is taken in `baseFolder` alone, never in the
// working folder of the process.
IncludeReader includesFromFolder(std::string baseFolder, bool onlyInFolder = false);

// What the includes of one queued report may add in all.
inline constexpr uint64_t kMaxIncludeBytes = 256u * 1024 * 1024;

// How include lines are recognised and what stands for one that cannot be
// read. The viewer and the console differ only in these.
struct IncludeRules
{
    char open = '{';
    char close = '}';
    // The viewer looks at a line trimmed of its blanks; the console at the
    // line's first characters as they stand.
    bool trimLine = true;
    // The viewer's name ends before the next "="; the console's runs to the
    // end of the line. Either way its last character (the close delimiter)
    // is not part of it.
    bool nameEndsAtEquals = true;
    // The error line is open "100" close `errorText` open `lineEnd` close.
    std::string errorText;
    std::string lineEnd = "\\n";
    // What the includes of one report may add in all; an include that does
    // not fit refuses the whole report when `oversizedRefuses` (the viewer),
    // else it becomes the error line (the console, which prints the rest).
    uint64_t maxIncludedBytes = kMaxDocumentBytes;
    bool oversizedRefuses = true;
};

// Reads includes only from allowed folders: a relative name in `baseFolder`,
// any name resolved (links followed) and read only when it lies inside one
// of `allowed`. A name outside them reads as unreadable, and `refused` is
// told its name and where it led.
IncludeReader includesFromAllowedFolders(
    std::string baseFolder, AllowedFolders allowed,
    std::function<void(const std::string &name, const std::string &resolved)> refused);

// True when some line of `report` could be an include line under `rules`: a
// report without one needs no include pass.
bool mayHoldIncludes(std::string_view report, const IncludeRules &rules);

class IncludePass
{
public:
    // `open` and `close` are the delimiters in force when the document is
    // opened; an include that cannot be read or is empty becomes the error
    // line open "100" close `errorText` open "\n" close.
    IncludePass(char open, char close, std::string_view errorText, IncludeReader reader,
                uint64_t maxBytes = kMaxDocumentBytes, int64_t maxLines = kMaxDocumentLines);
    IncludePass(IncludeRules rules, IncludeReader reader, uint64_t maxBytes = kMaxDocumentBytes,
                int64_t maxLines = kMaxDocumentLines);

    // Room for a working copy of about this many bytes.
    void reserve(uint64_t bytes);
    // The next bytes of the report. False once the working copy has grown
    // past a limit; nothing more is kept then.
    bool feed(std::string_view bytes);
    // Ends the last line (which need not have an end mark). False when the
    // working copy is too large.
    bool finish();

    bool tooLarge() const { return m_tooLarge; }
    // The lines of the report itself, before inclusion (CountLines).
    int64_t documentLines() const { return m_documentLines; }
    // Whether any line was an include line.
    bool includedAny() const { return m_includes > 0; }
    // The working copy; the pass is spent.
    std::string take() { return std::move(m_out); }

private:
    struct LineState
    {
        bool open = false;   // bytes of an unfinished line are in m_out
        bool skipLf = false; // the last line ended with CR: an LF next belongs to it
    };
    // Appends bytes, ending every line with CR LF. Lines of the report are
    // looked at for include directives as they end; included lines are not.
    void append(std::string_view bytes, LineState &state, bool reportLines);
    void endLine(LineState &state, bool reportLine);
    void include(const std::string &name);
    bool checkLimits();

    IncludeRules m_rules;
    std::string m_directive; // open delimiter upper-cased and "COPY="
    std::string m_errorLine; // with its CR LF
    IncludeReader m_reader;
    uint64_t m_included = 0; // bytes the includes have added
    uint64_t m_maxBytes;
    int64_t m_maxLines;

    std::string m_out;
    size_t m_lineStart = 0; // where the line being assembled begins in m_out
    LineState m_report;
    int64_t m_documentLines = 0;
    int64_t m_includes = 0;
    int64_t m_lines = 0; // lines of the working copy
    bool m_tooLarge = false;
};

} // namespace kel
