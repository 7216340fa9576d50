// The console's own looks at a released report's bytes, beside the report
// pipeline: the OPEN_VIEW request and the header keys the console acts on. Pure functions over
// bytes, so that tests and fuzzers need no files.
#pragma once

#include <string>
#include <string_view>

namespace kel {

// The file an older console printed from, with the includes expanded; the
// console reads its reports in memory and only removes a file left so.
inline constexpr const char *kPrintFileName = "00000000.$$$";

// True when one of the first 100 lines, trimmed and upper-cased, is
// "OPEN_VIEW" or "OPEN_VIEWER": the report goes to the viewer.
bool asksForViewer(std::string_view report);

// The name a report taken out for the viewer gets: its last three
// characters replaced by "l" (a.kel -> a.l, a.txt.kel -> a.txt.l).
std::string viewerFileName(std::string_view name);

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
