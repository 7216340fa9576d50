// Command files: small text files dropped into the queue folder that steer
// the console, one verb per line.
//
// A line is trimmed of blanks and upper-cased; it is a verb only when the
// whole line is one. Any other line, an empty one included, is ignored.
// "SHUTDOWN" ends the reading: the lines after it are never obeyed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kel {

enum class Verb {
    CloseQueue,
    OpenQueue,
    HoldAll,
    ReleaseAll,
    Shutdown,
    EmptyHeldQueue,
    EmptyReleasedQueue,
    MinimizeMe,
    RestoreMe,
};

// A line of a command file that is not empty and not a verb: what the
// program that wrote it meant is lost, so the console says so.
struct UnknownCommandLine
{
    int number = 0;   // from 1
    std::string text; // trimmed, as written
};

// The verbs of a command file's bytes, in file order, up to and including
// the first "SHUTDOWN". `unknown`, when given, receives the first
// kMaxUnknownLines lines up to there that are neither blank nor a verb, each
// cut to kMaxUnknownText characters.
inline constexpr size_t kMaxUnknownLines = 10;
inline constexpr size_t kMaxUnknownText = 80;
std::vector<Verb> parseCommandFile(std::string_view bytes,
                                   std::vector<UnknownCommandLine> *unknown = nullptr);

} // namespace kel
