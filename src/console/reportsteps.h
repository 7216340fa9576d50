// The console's own steps over a released report's bytes, before the report
// is loaded and printed: the CONVERSION line of the settings part, the
// OPEN_VIEW request, the include pass into the print file and the header
// keys the console acts on. Pure functions over bytes, so that tests and
// fuzzers need no files.
#pragma once

#include <string>
#include <string_view>

namespace kel {

// The report with its includes expanded, as the console prints it.
inline constexpr const char *kPrintFileName = "00000000.$$$";

// The table named by a "CONVERSION=" line before "[HEADER]": the value
// trimmed and upper-cased; "" when there is none. The key is compared in
// capitals; a CONVERSION line after "[HEADER]" is not looked at.
std::string conversionBeforeHeader(std::string_view report);

// True when one of the first 100 lines, trimmed and upper-cased, is
// "OPEN_VIEW" or "OPEN_VIEWER": the report goes to the viewer.
bool asksForViewer(std::string_view report);

// The name a report taken out for the viewer gets: its last three
// characters replaced by "l" (a.kel -> a.l, a.txt.kel -> a.txt.l).
std::string viewerFileName(std::string_view name);

// The include pass: a line whose first six characters are, in capitals,
// the command-open character and "COPY=" is replaced by every line of the
// file it names (the text after the "=" without its last character, the
// closing one; a relative name is taken in `folder`). An include that
// cannot be read, is not a regular file, is empty, or would take the bytes
// included into this report past `maxIncludedBytes` becomes one line: open
// "100" close, `unreadableText`, open "\N" close. Included lines are not
// searched for includes again. CR LF ends.
inline constexpr uint64_t kMaxIncludeBytes = 256u * 1024 * 1024;
std::string expandQueueIncludes(std::string_view report, char open, char close,
                                std::string_view unreadableText, const std::string &folder,
                                uint64_t maxIncludedBytes = kMaxIncludeBytes);
// True when a line is an include line of the pass above.
bool hasIncludeLines(std::string_view report, char open);

// The header keys the console acts on, read as KEY=value lines within the
// first 100 lines (the key lookup of the settings file).
struct QueueHeader
{
    char open = '{';  // OPEN, "{" when empty
    char close = '}'; // CLOSE, "}" when empty
    std::string sendTo;
    std::string printer;
    std::string orientation;
    int copies = 1; // COPIES when a number above 0, at most kMaxCopies
};
inline constexpr int kMaxCopies = 9999;
QueueHeader readQueueHeader(std::string_view report);

} // namespace kel
