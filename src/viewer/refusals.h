// Which refusals of the report pipeline end the viewer: what was asked for is
// no report it can show (too large, without its sections, a line too long, a
// packed report that does not unpack). Every other refusal leaves the window
// open for the next document.
#pragma once

#include <algorithm>
#include <iterator>

namespace kel {

inline bool refusalEndsViewer(int message)
{
    static constexpr int kEnding[] = {141, 142, 143, 145, 289};
    return std::ranges::find(kEnding, message) != std::end(kEnding);
}

} // namespace kel
