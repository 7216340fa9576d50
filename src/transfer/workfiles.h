// Working files of the transfer in a queue folder: a file being received,
// fetched or converted is written as "~kel-KIND-PID-N.part" (a name outside
// every queue filter, unique to this process) and takes its own name when
// complete.
#pragma once

#include <string>
#include <string_view>

namespace kel {

// Whether a name that came from another machine (a sender's announced
// file, an FTP listing) can be written in a queue folder as it stands: not
// empty, not starting with "." (".", "..", hidden files), without "/" or
// "\" and without a control character.
bool isPlainFileName(std::string_view name);

// A fresh working file name for `kind` ("receiving", "fetching",
// "converting").
std::string workingFileName(std::string_view kind);

// Removes the working files a process left in `folder` when it ended
// mid-file; errors are ignored.
void removeWorkingFiles(const std::string &folder);

} // namespace kel
