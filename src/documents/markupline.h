// The grammar of a markup line, in one place: the drawing walk, the
// scanning walk, the packing rewriter and the export all read lines
// through tokenizeLine(), so they cannot disagree on what is text and what
// is a command group.
//
// A line is read with one blank appended as its end mark. Outside a group,
// text collects until an open delimiter or the end mark, where it is handed
// on as one text segment (also when it is empty). An open delimiter starts a
// group; the group runs to the next close delimiter, open delimiters inside
// it included. A close delimiter outside a group is text, and it also ends
// the group collected so far (an empty one, or one left open on an earlier
// line). A group still open at the end of the line keeps its text, the end
// mark included, in `openGroup`; collecting resumes at the next open
// delimiter of a later line, and whatever stands before that delimiter is
// text. A delimiter may be any byte, also the blank of the end mark, and the
// two delimiters may be the same byte (each one then is a group of its own).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kel {

struct MarkupDelimiters
{
    char open = '{';
    char close = '}';
};

// A command group whose close delimiter was met on the line being read.
struct MarkupGroup
{
    // The group's whole text, delimiters included: what earlier lines left
    // open, then this line's part up to its close delimiter. Valid only
    // during the call.
    std::string_view text;
    // This line's part, a view into the line: from the group's open
    // delimiter to its close delimiter. Empty when the close delimiter stood
    // outside a group on this line.
    std::string_view onLine;
};

// What a line holds, in the order it is met. A handler must not read a line
// with the same `openGroup` from inside one of its calls.
class MarkupHandler
{
public:
    virtual ~MarkupHandler() = default;
    // A text segment, a view into the line; close delimiters outside a group
    // are part of it. A segment is handed on before the group that follows
    // it, and a group ended by a close delimiter inside a segment before
    // that segment.
    virtual void text(std::string_view segment) = 0;
    virtual void group(const MarkupGroup &group) = 0;
    // The line ended inside a group: `onLine` runs from the group's open
    // delimiter to the end of the line. Its text waits in `openGroup`.
    virtual void groupLeftOpen(std::string_view onLine) { (void)onLine; }
};

// Reads one line. `openGroup` is the text of a group left open by the lines
// before (empty when there is none); it is updated for the next line.
void tokenizeLine(std::string_view line, MarkupDelimiters delimiters, std::string &openGroup,
                  MarkupHandler &handler);

// More commands in one group than this are not executed: the first
// kMaxCommands run and the rest of the group is ignored.
inline constexpr int kMaxCommands = 20;

// Splits a group's text into its commands (views into `group`): the text is
// trimmed, one leading open and one trailing close delimiter are removed,
// and the rest is cut at ";" into trimmed commands, at most kMaxCommands of
// them. An empty rest gives one empty command.
std::vector<std::string_view> splitGroup(std::string_view group, MarkupDelimiters delimiters);

} // namespace kel
