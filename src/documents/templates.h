// Template processing: a data file (".kez") names a template and gives values
// for its "@" placeholders.
#pragma once

#include <string>

namespace kel {

// Writes the filled template to `outputPath`. True when the output was
// written; false when the data file cannot be read, names no template or
// names one that cannot be read (nothing is written then).
bool processTemplate(const std::string &dataPath, const std::string &outputPath);

} // namespace kel
