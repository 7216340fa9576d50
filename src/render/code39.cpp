#include "render/code39.h"

#include "app/text.h"
#include "render/surface.h"

namespace kel {
namespace {

struct Symbol
{
    char c;
    const char *pattern;
};

// The published Code 39 table, bar first, read left to right.
constexpr Symbol kSymbols[] = {
    {'0', "313241413"},
    {'1', "413231314"},
    {'2', "314231314"},
    {'3', "414231313"},
    {'4', "313241314"},
    {'5', "413241313"},
    {'6', "314241313"},
    {'7', "313231414"},
    {'8', "413231413"},
    {'9', "314231413"},
    {'A', "413132314"},
    {'B', "314132314"},
    {'C', "414132313"},
    {'D', "313142314"},
    {'E', "413142313"},
    {'F', "314142313"},
    {'G', "313132414"},
    {'H', "413132413"},
    {'I', "314132413"},
    {'J', "313142413"},
    {'K', "413131324"},
    {'L', "314131324"},
    {'M', "414131323"},
    {'N', "313141324"},
    {'O', "413141323"},
    {'P', "314141323"},
    {'Q', "313131424"},
    {'R', "413131423"},
    {'S', "314131423"},
    {'T', "313141423"},
    {'U', "423131314"},
    {'V', "324131314"},
    {'W', "424131313"},
    {'X', "323141314"},
    {'Y', "423141313"},
    {'Z', "324141313"},
    {'-', "323131414"},
    {'.', "423131413"},
    {' ', "324131413"},
    {'*', "323141413"},
    {'$', "323232313"},
    {'/', "323231323"},
    {'+', "323132323"},
    {'%', "313232323"},
    // The start/stop mark with the narrow space that closes it.
    {'#', "3231414131"},
};

constexpr double kGap = 33;
constexpr double kNarrowBar = 10;
constexpr double kWideBar = 30;
constexpr double kNarrowSpace = 16;
constexpr double kWideSpace = 36;

} // namespace

std::string_view code39Pattern(char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    for (const Symbol &s : kSymbols) {
        if (s.c == c)
            return s.pattern;
    }
    return {};
}

int code39Multiplier(std::string_view barWidth)
{
    const double w = leadingNumber(barWidth);
    if (w == 1 || w == 2 || w == 3)
        return static_cast<int>(w);
    return 1;
}

void drawCode39(Surface &surface, std::string_view text, int multiplier, double scale)
{
    if (text.empty())
        return;
    std::string wrapped = "#";
    wrapped += text;
    wrapped += '#';

    const double unit = multiplier * scale;
    const double keptWidth = surface.lineWidth();
    const double left = surface.currentX();
    const double top = surface.currentY();
    const double bottom = top + surface.textHeight(wrapped);
    surface.setLineWidth(1);

    double x = left;
    for (char c : wrapped) {
        const std::string_view pattern = code39Pattern(c);
        if (pattern.empty())
            continue; // not in the symbology: skipped, gap included
        x += kGap * unit;
        for (char element : pattern) {
            switch (element) {
            case '3':
                surface.filledBox(x, top, x + kNarrowBar * unit, bottom);
                x += kNarrowBar * unit;
                break;
            case '4':
                surface.filledBox(x, top, x + kWideBar * unit, bottom);
                x += kWideBar * unit;
                break;
            case '1':
                x += kNarrowSpace * unit;
                break;
            default:
                x += kWideSpace * unit;
                break;
            }
        }
    }

    surface.setCurrentX(left);
    surface.setCurrentY(top);
    surface.setLineWidth(keptWidth);
}

} // namespace kel
