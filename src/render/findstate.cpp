#include "render/findstate.h"

#include "app/text.h"

namespace kel {

bool FindState::matches(std::string_view trimmedText) const
{
    if (text.empty())
        return false;
    if (matchCase)
        return trimmedText.find(text) != std::string_view::npos;
    return upper(trimmedText).find(upper(text)) != std::string::npos;
}

} // namespace kel
