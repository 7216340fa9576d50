// Export of the lines an author marked for it ("{E}" first) as a text file
// of fields, each trimmed and followed by ";". Groups whose command starts
// with "T" separate the fields; the rest of the markup is left out.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kel {

// The first pass over one line: nothing when the line (trimmed) does not
// begin with the open delimiter and "E"; else its text with ";" for every
// command that begins with "T".
std::optional<std::string> exportFields(std::string_view line, char open, char close);

// The second pass over one line: every field before a ";" trimmed and
// followed by ";"; text after the last ";" dropped.
std::string trimFields(std::string_view line);

// True when the file cannot be opened for writing. Like the system's own
// test, it creates the file or empties it.
bool isFileUnwritable(const std::string &path);

// Exports the working copy of a report into `target`, through a temporary
// file in `tempFolder`. `progress` gets the number of lines read so far.
// False with `error` on a file that cannot be read or written.
bool exportReport(const std::string &workingPath, const std::string &target, char open, char close,
                  const std::string &tempFolder, const std::function<void(int64_t)> &progress,
                  std::string &error);

} // namespace kel
