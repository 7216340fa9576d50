#include "documents/templates.h"

namespace kel {

bool processTemplate(const std::string &, const std::string &)
{
    return false;
}

} // namespace kel
