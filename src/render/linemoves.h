// The commands that move the line position, for both page walks.
//
// Where a page ends depends only on these commands ("\N", "\P", "\NP",
// "TOP"/"TOPOFPAGE" and "SPACING"), so the drawing walk and the scanning
// walk both apply them through moveLine() and break pages alike. The
// printer is a target mode of the same routine: its line position starts
// at the top margin, and "\N" and "\P" move its current y relatively, from
// wherever the markup left it.
#pragma once

#include "render/drawingstate.h"

#include <string_view>

namespace kel {

class PageState;
class Surface;

// Page units: "\NP" sets the line position past any MAXY (plus the top
// margin on the printer), so the page ends after the line.
inline constexpr double kPageEndMark = 1000000;
// Surface twips: where "\N" and "\P" leave the current x (not zoomed).
inline constexpr double kLineStartX = 99;

enum class LineMove {
    None,     // any other command
    Spacing,  // "SPACING...": the spacing of the next "\N" or "\P"
    Down,     // "\N"
    Up,       // "\P"
    PageEnd,  // "\NP"
    TopOfPage // "TOP", "TOPOFPAGE"
};

// True when `text` is `keyword` (ASCII upper case) in any case, as the
// markup compares upper-cased commands: only ASCII letters upper-case to
// ASCII letters, so the letters of a keyword match either case and every
// other byte matches itself.
constexpr bool isKeyword(std::string_view text, std::string_view keyword)
{
    if (text.size() != keyword.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char k = keyword[i];
        const char c = text[i];
        if (c != k && !(k >= 'A' && k <= 'Z' && c == k + ('a' - 'A')))
            return false;
    }
    return true;
}

// True when `text` starts with `keyword` in any case (isKeyword()).
constexpr bool startsWithKeyword(std::string_view text, std::string_view keyword)
{
    return text.size() >= keyword.size() && isKeyword(text.substr(0, keyword.size()), keyword);
}

// The line move a whole command names; `command` is trimmed, in any case
// (compared in place, as upper-cased). "SPACING" is recognised by its
// first seven letters alone, so "SPACING=300" and "SPACINGS" both set the
// spacing.
LineMove lineMoveOf(std::string_view command);

// The value of a spacing command: the number after its first "=", 0 when
// there is none.
double spacingValue(std::string_view command);

// Where a line move acts. The scanning walk passes no surface.
struct LineMoveTarget
{
    PageState &pages;
    Target target = Target::Screen;
    double topMargin = 0;       // page units; used on the printer only
    Surface *surface = nullptr; // null while scanning
    double zoomFactor = 1;      // the screen's
};

// Applies `command` (trimmed, in any case) when it is a line move and says
// which it was (None: nothing done). On the surface, "\N" and "\P" set the current y (on
// the screen to the line position times the zoom, on the printer by the
// spacing from where it stands) and the current x to kLineStartX; "TOP"
// sets the current y to the top of the page.
LineMove moveLine(std::string_view command, const LineMoveTarget &where);

} // namespace kel
