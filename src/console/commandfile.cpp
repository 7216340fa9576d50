#include "console/commandfile.h"

#include "app/text.h"

#include <algorithm>
#include <array>
#include <string>

namespace kel {
namespace {

struct VerbRow
{
    std::string_view name;
    Verb verb;
};

constexpr std::array<VerbRow, 9> kVerbs = {{
    {"CLOSE_QUEUE", Verb::CloseQueue},
    {"OPEN_QUEUE", Verb::OpenQueue},
    {"HOLD_ALL", Verb::HoldAll},
    {"RELEASE_ALL", Verb::ReleaseAll},
    {"SHUTDOWN", Verb::Shutdown},
    {"EMPTY_HELD_QUEUE", Verb::EmptyHeldQueue},
    {"EMPTY_RELEASED_QUEUE", Verb::EmptyReleasedQueue},
    {"MINIMIZE_ME", Verb::MinimizeMe},
    {"RESTORE_ME", Verb::RestoreMe},
}};

} // namespace

std::vector<Verb> parseCommandFile(std::string_view bytes, std::vector<UnknownCommandLine> *unknown)
{
    std::vector<Verb> verbs;
    LineSplitter splitter(bytes);
    std::string_view line;
    int number = 0;
    while (splitter.next(line)) {
        ++number;
        // Tabs count as blanks here: command files are often written by
        // scripts, and a tab around a verb is as invisible as a blank.
        size_t first = 0;
        size_t last = line.size();
        while (first < last && (line[first] == ' ' || line[first] == '\t'))
            ++first;
        while (last > first && (line[last - 1] == ' ' || line[last - 1] == '\t'))
            --last;
        const std::string_view text = line.substr(first, last - first);
        const std::string word = upper(text);
        const auto row = std::find_if(kVerbs.begin(), kVerbs.end(),
                                      [&](const VerbRow &r) { return word == r.name; });
        if (row == kVerbs.end()) {
            // A few lines, each cut short, are enough to say what went
            // wrong; a junk file of any size is said in a few lines.
            if (unknown && !text.empty() && unknown->size() < kMaxUnknownLines)
                unknown->push_back({number, std::string(text.substr(0, kMaxUnknownText))});
            continue;
        }
        verbs.push_back(row->verb);
        if (row->verb == Verb::Shutdown)
            break;
    }
    return verbs;
}

} // namespace kel
