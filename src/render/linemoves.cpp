#include "render/linemoves.h"

#include "app/text.h"
#include "render/pagestate.h"
#include "render/surface.h"

#include <cmath>

namespace kel {

LineMove lineMoveOf(std::string_view u)
{
    if (u.substr(0, 7) == "SPACING")
        return LineMove::Spacing;
    if (u == "\\N")
        return LineMove::Down;
    if (u == "\\P")
        return LineMove::Up;
    if (u == "\\NP")
        return LineMove::PageEnd;
    if (u == "TOP" || u == "TOPOFPAGE")
        return LineMove::TopOfPage;
    return LineMove::None;
}

bool mayMoveLines(std::string_view u)
{
    // "\NP" holds "\N", and "TOPOFPAGE" holds "TOP".
    return u.find("\\N") != std::string_view::npos || u.find("\\P") != std::string_view::npos ||
           u.find("SPACING") != std::string_view::npos || u.find("TOP") != std::string_view::npos;
}

double spacingValue(std::string_view command)
{
    const size_t eq = command.find('=');
    if (eq == std::string_view::npos)
        return 0;
    const double v = leadingNumber(command.substr(eq + 1));
    return std::isfinite(v) ? v : 0;
}

LineMove moveLine(std::string_view upperCommand, const LineMoveTarget &where)
{
    const LineMove move = lineMoveOf(upperCommand);
    PageState &pages = where.pages;
    const bool printer = where.target == Target::Printer;
    const double top = printer ? where.topMargin : 0;
    switch (move) {
    case LineMove::None:
        break;
    case LineMove::Spacing:
        pages.spacing = spacingValue(upperCommand);
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
