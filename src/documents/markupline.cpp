// The markup line tokenizer.
//
// Design: one pass over the bytes of the line and its end mark. Text
// segments and this line's parts of groups are handed on as views into the
// line; a group's text is copied into `openGroup` only when it is not one
// contiguous run of the line (it began on an earlier line, it holds the end
// mark, or its one delimiter byte counts as both its open and its close).
#include "documents/markupline.h"

#include "app/text.h"

#include <algorithm>

namespace kel {
namespace {

constexpr char kEndMark = ' ';

bool holds(std::string_view line, char c)
{
    return line.find(c) != std::string_view::npos;
}

} // namespace

void tokenizeLine(std::string_view line, MarkupDelimiters delimiters, std::string &openGroup,
                  MarkupHandler &handler)
{
    const char open = delimiters.open;
    const char close = delimiters.close;
    // Most lines hold no delimiter: one segment, and no group is started,
    // fed or ended.
    if (open != kEndMark && close != kEndMark && !holds(line, open) && !holds(line, close)) {
        handler.text(line);
        return;
    }

    const size_t end = line.size(); // where the end mark stands
    bool inGroup = false;
    size_t textStart = 0; // the first byte of the pending text segment
    size_t partStart = 0; // the open delimiter of the group being collected
    for (size_t i = 0; i <= end; ++i) {
        const char c = i == end ? kEndMark : line[i];
        const bool opens = c == open;
        const bool closes = c == close;
        if (!inGroup && (opens || i == end)) {
            handler.text(line.substr(textStart, i - textStart));
            textStart = i + 1;
        }
        if (opens && !inGroup) {
            inGroup = true;
            partStart = i;
        }
        if (!closes)
            continue;

        // A close delimiter ends the group: the one collected on this line,
        // or (outside a group) whatever earlier lines left open.
        std::string_view onLine;
        if (inGroup)
            onLine = line.substr(partStart, std::min(i + 1, end) - partStart);
        const bool doubled = opens; // one byte both opens and closes the group
        std::string_view text;
        if (openGroup.empty() && i < end && !doubled) {
            text = inGroup ? onLine : line.substr(i, 1);
        } else {
            if (inGroup)
                openGroup.append(line.substr(partStart, i - partStart));
            openGroup += c;
            if (doubled)
                openGroup += c;
            text = openGroup;
        }
        if (inGroup)
            textStart = i + 1;
        inGroup = false;
        handler.group({text, onLine});
        openGroup.clear();
    }

    if (inGroup) {
        const std::string_view onLine = line.substr(partStart);
        openGroup.append(onLine);
        openGroup += kEndMark;
        handler.groupLeftOpen(onLine);
    }
}

std::vector<std::string_view> splitGroup(std::string_view group, MarkupDelimiters delimiters)
{
    std::string_view rest = trimmed(group);
    if (!rest.empty() && rest.front() == delimiters.open)
        rest.remove_prefix(1);
    if (!rest.empty() && rest.back() == delimiters.close)
        rest.remove_suffix(1);
    std::vector<std::string_view> commands;
    size_t start = 0;
    while (static_cast<int>(commands.size()) < kMaxCommands) {
        const size_t semicolon = rest.find(';', start);
        if (semicolon == std::string_view::npos) {
            commands.push_back(trimmed(rest.substr(start)));
            break;
        }
        commands.push_back(trimmed(rest.substr(start, semicolon - start)));
        start = semicolon + 1;
    }
    return commands;
}

} // namespace kel
