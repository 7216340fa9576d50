// The find text the scanning walk counts and the screen drawing highlights.
//
// A plain object the viewer's find command fills and reads; the engine only
// matches lines against it and counts hits. Bytes, compared as they are
// when matchCase is on, else both upper-cased.
#pragma once

#include <string>
#include <string_view>

namespace kel {

struct FindState
{
    std::string text; // empty: no find active
    bool matchCase = false;
    int hits = 0; // matching lines or segments since the caller zeroed it

    bool active() const { return !text.empty(); }
    // True when the text (already trimmed by the caller) contains the find text.
    bool matches(std::string_view trimmedText) const;
};

} // namespace kel
