#include "render/surface.h"

#include <cmath>

namespace kel {

bool acceptedFontSize(double points)
{
    return std::isfinite(points) && points > 0 && points <= kMaxFontSize;
}

bool acceptedCoordinate(double twips)
{
    return std::isfinite(twips) && std::fabs(twips) <= kMaxCoordinate;
}

bool acceptedFontName(std::string_view name)
{
    return !name.empty() && name.size() <= kMaxFontNameLength;
}

double boundedLineWidth(double units)
{
    if (!(units >= 1)) // NaN included
        return 1;
    return units > kMaxLineWidth ? kMaxLineWidth : units;
}

} // namespace kel
