// The markup line tokenizer: what is text, what is a group, and what a line
// leaves open for the next one.
#include "documents/markupline.h"

#include <gtest/gtest.h>

using namespace kel;
using Events = std::vector<std::string>;

namespace {

// Writes each call as a line: text "…", group "…" on "…", open "…".
class Recorder : public MarkupHandler
{
public:
    Events events;
    void text(std::string_view segment) override
    {
        events.push_back("text \"" + std::string(segment) + "\"");
    }
    void group(const MarkupGroup &group) override
    {
        events.push_back("group \"" + std::string(group.text) + "\" on \"" +
                         std::string(group.onLine) + "\"");
    }
    void groupLeftOpen(std::string_view onLine) override
    {
        events.push_back("open \"" + std::string(onLine) + "\"");
    }
};

struct TokenCase
{
    const char *name;
    std::vector<std::string> lines;
    Events expected; // the calls of all lines, in order
    std::string leftOpen = {};
    MarkupDelimiters delimiters = {};
};

} // namespace

TEST(MarkupLine, TextSegmentsAndGroups)
{
    const TokenCase cases[] = {
        {"a line without delimiters is one segment", {"plain text"}, {"text \"plain text\""}},
        {"an empty line is one empty segment", {""}, {"text \"\""}},
        {"text at both ends of a group",
         {"ab{B=Y}cd"},
         {"text \"ab\"", "group \"{B=Y}\" on \"{B=Y}\"", "text \"cd\""}},
        {"an empty group", {"a{}b"}, {"text \"a\"", "group \"{}\" on \"{}\"", "text \"b\""}},
        {"a line of only delimiters gives empty segments around each group",
         {"{}{}"},
         {"text \"\"", "group \"{}\" on \"{}\"", "text \"\"", "group \"{}\" on \"{}\"",
          "text \"\""}},
        {"an open delimiter inside a group is part of it",
         {"{A{B}c"},
         {"text \"\"", "group \"{A{B}\" on \"{A{B}\"", "text \"c\""}},
        {"a close outside a group is text and ends an empty group first",
         {"a}b"},
         {"group \"}\" on \"\"", "text \"a}b\""}},
        {"an unmatched open leaves the group open with the end mark",
         {"a{B=Y"},
         {"text \"a\"", "open \"{B=Y\""},
         "{B=Y "},
        {"a group split across lines resumes at the next open delimiter",
         {"x{B=Y;", "mid{\\N}end"},
         {"text \"x\"", "open \"{B=Y;\"", "text \"mid\"", "group \"{B=Y; {\\N}\" on \"{\\N}\"",
          "text \"end\""}},
        {"a close before any open on the next line ends the group left open",
         {"{300", "abc}def"},
         {"text \"\"", "open \"{300\"", "group \"{300 }\" on \"\"", "text \"abc}def\""}},
        {"a line without delimiters leaves an open group waiting",
         {"{A", "plain", "}"},
         {"text \"\"", "open \"{A\"", "text \"plain\"", "group \"{A }\" on \"\"", "text \"}\""}},
        {"custom delimiters make the usual ones text",
         {"a<B=Y>{x}"},
         {"text \"a\"", "group \"<B=Y>\" on \"<B=Y>\"", "text \"{x}\""},
         {},
         {'<', '>'}},
        {"one byte for both delimiters is a group of its own each time",
         {"a|b|c"},
         {"text \"a\"", "group \"||\" on \"|\"", "text \"b\"", "group \"||\" on \"|\"",
          "text \"c\""},
         {},
         {'|', '|'}},
        {"a blank close delimiter: the end mark closes the group",
         {"{B=Y"},
         {"text \"\"", "group \"{B=Y \" on \"{B=Y\""},
         {},
         {'{', ' '}},
        {"a blank open delimiter: the end mark opens a group",
         {"ab", "c}"},
         {"text \"ab\"", "open \"\"", "group \" }\" on \"\"", "text \"c}\"", "open \"\""},
         " ",
         {' ', '}'}},
    };
    for (const TokenCase &c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        std::string openGroup;
        for (const std::string &line : c.lines)
            tokenizeLine(line, c.delimiters, openGroup, recorder);
        EXPECT_EQ(recorder.events, c.expected);
        EXPECT_EQ(openGroup, c.leftOpen);
    }
}

TEST(MarkupLine, SplitGroup)
{
    using Commands = std::vector<std::string_view>;
    const std::string twentyOne = [] {
        std::string s = "{";
        for (int i = 1; i <= 21; ++i)
            s += std::to_string(i) + ";";
        s.back() = '}';
        return s;
    }();
    const struct
    {
        const char *name;
        std::string group;
        Commands expected;
    } cases[] = {
        {"commands are trimmed", "{ B=Y ;  \\N }", {"B=Y", "\\N"}},
        {"an empty group is one empty command", "{}", {""}},
        {"an empty command between two", "{A;;B}", {"A", "", "B"}},
        {"only one open delimiter is removed", "{{A}}", {"{A}"}},
        {"a group without its close (left open, then ended)", "  {A;B ", {"A", "B"}},
        {"only the first 20 commands", twentyOne, {"1",  "2",  "3",  "4",  "5",  "6",  "7",
                                                   "8",  "9",  "10", "11", "12", "13", "14",
                                                   "15", "16", "17", "18", "19", "20"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(splitGroup(c.group, {}), c.expected);
    }
}
