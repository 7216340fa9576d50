// Command files: small text files dropped into the queue folder that steer
// the console, one verb per line.
//
// A line is trimmed of blanks and upper-cased; it is a verb only when the
// whole line is one. Any other line, an empty one included, is ignored.
// "SHUTDOWN" ends the reading: the lines after it are never obeyed.
#pragma once

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

// The verbs of a command file's bytes, in file order, up to and including
// the first "SHUTDOWN".
std::vector<Verb> parseCommandFile(std::string_view bytes);

// The verb as written in command files ("HOLD_ALL").
const char *verbName(Verb verb);

} // namespace kel
