#include "console/reportsteps.h"

#include "app/keyvalue.h"
#include "app/text.h"

namespace kel {

bool asksForViewer(std::string_view report)
{
    LineSplitter splitter(report);
    std::string_view line;
    for (int n = 0; n < 100 && splitter.next(line); ++n) {
        // Blanks around the word are forgiven: a template line always ends
        // in one, and a blank nobody can see should not decide.
        const std::string u = upper(trimmed(line));
        if (u == "OPEN_VIEW" || u == "OPEN_VIEWER")
            return true;
    }
    return false;
}

std::string viewerFileName(std::string_view name)
{
    const size_t keep = name.size() >= 3 ? name.size() - 3 : 0;
    return std::string(name.substr(0, keep)) + "l";
}

QueueHeader readQueueHeader(std::string_view report)
{
    QueueHeader h;
    const std::string open = readKeyValueIn(report, "OPEN");
    const std::string close = readKeyValueIn(report, "CLOSE");
    if (!open.empty())
        h.open = open.front();
    if (!close.empty())
        h.close = close.front();
    h.sendTo = readKeyValueIn(report, "SEND_TO");
    h.printer = readKeyValueIn(report, "PRINTER");
    h.orientation = readKeyValueIn(report, "ORIENTATION");
    const double copies = leadingNumber(readKeyValueIn(report, "COPIES"));
    if (copies >= 1)
        h.copies = copies > kMaxCopies ? kMaxCopies : static_cast<int>(copies);
    return h;
}

} // namespace kel
