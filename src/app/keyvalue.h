// Key lookup in KEY=value files (the settings file, report headers).
//
// Only the first 100 lines are examined, comment lines ("#" first after
// trimming) included; the first matching line wins. Keys match without
// regard to case, but a blank between the key and "=" prevents a match.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kel {

// The trimmed value of `key` in the text, or "" when it is not found.
std::string readKeyValueIn(std::string_view text, std::string_view key);

// The same over a file. std::nullopt when the file cannot be opened: that is
// a failure of the call, which the caller decides about.
std::optional<std::string> readKeyValue(const std::string &path, std::string_view key);

} // namespace kel
