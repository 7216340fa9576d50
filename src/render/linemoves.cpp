#include "render/linemoves.h"

#include "app/text.h"
#include "render/pagestate.h"
#include "render/surface.h"

#include <cmath>

namespace kel {

LineMove lineMoveOf(std::string_view c)
{
    // Most commands of a line are no move: the first byte tells.
    switch (c.empty() ? '\0' : c.front()) {
    case 'S':
    case 's':
        return startsWithKeyword(c, "SPACING") ? LineMove::Spacing : LineMove::None;
    case '\\':
        if (isKeyword(c, "\\N"))
            return LineMove::Down;
        if (isKeyword(c, "\\P"))
            return LineMove::Up;
        return isKeyword(c, "\\NP") ? LineMove::PageEnd : LineMove::None;
    case 'T':
    case 't':
        return isKeyword(c, "TOP") || isKeyword(c, "TOPOFPAGE") ? LineMove::TopOfPage
                                                                : LineMove::None;
    default:
        return LineMove::None;
    }
}

double spacingValue(std::string_view command)
{
    const size_t eq = command.find('=');
    if (eq == std::string_view::npos)
        return 0;
    const double v = leadingNumber(command.substr(eq + 1));
    return std::isfinite(v) ? v : 0;
}

LineMove moveLine(std::string_view command, const LineMoveTarget &where)
{
    const LineMove move = lineMoveOf(command);
    PageState &pages = where.pages;
    const bool printer = where.target == Target::Printer;
    const double top = printer ? where.topMargin : 0;
    switch (move) {
    case LineMove::None:
        break;
    case LineMove::Spacing:
        pages.spacing = spacingValue(command);
        break;
    case LineMove::Down:
    case LineMove::Up: {
        const double step = move == LineMove::Down ? pages.spacing : -pages.spacing;
        pages.linePos += step;
        if (Surface *s = where.surface) {
            // printer: a relative move from where the markup left it
            s->setCurrentY(printer ? s->currentY() + step : pages.linePos * where.zoomFactor);
            s->setCurrentX(kLineStartX);
        }
        pages.spacing = pages.defaultSpacing;
        break;
    }
    case LineMove::PageEnd:
        pages.linePos = kPageEndMark + top;
        break;
    case LineMove::TopOfPage:
        pages.linePos = top;
        if (where.surface)
            where.surface->setCurrentY(top);
        break;
    }
    return move;
}

} // namespace kel
