#include "console/commandfile.h"

#include "app/text.h"

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

std::vector<Verb> parseCommandFile(std::string_view bytes)
{
    std::vector<Verb> verbs;
    LineSplitter splitter(bytes);
    std::string_view line;
    while (splitter.next(line)) {
        // Tabs count as blanks here: command files are often written by
        // scripts, and a tab around a verb is as invisible as a blank.
        size_t first = 0;
        size_t last = line.size();
        while (first < last && (line[first] == ' ' || line[first] == '\t'))
            ++first;
        while (last > first && (line[last - 1] == ' ' || line[last - 1] == '\t'))
            --last;
        const std::string word = upper(line.substr(first, last - first));
        for (const VerbRow &row : kVerbs) {
            if (word == row.name) {
                verbs.push_back(row.verb);
                break;
            }
        }
        if (!verbs.empty() && verbs.back() == Verb::Shutdown)
            break;
    }
    return verbs;
}

const char *verbName(Verb verb)
{
    for (const VerbRow &row : kVerbs) {
        if (row.verb == verb)
            return row.name.data();
    }
    return "";
}

} // namespace kel
