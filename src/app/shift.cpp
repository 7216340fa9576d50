#include "app/shift.h"

namespace kel {
namespace {

constexpr std::string_view kDefaultKey = "73";

std::string shift(std::string_view text, std::string_view key, int direction)
{
    if (key.empty())
        key = kDefaultKey;
    std::string out(text);
    size_t j = 0;
    for (char &c : out) {
        const char k = key[j];
        j = (j + 1) % key.size();
        if (c == ' ')
            continue;
        const int digit = (k >= '0' && k <= '9') ? k - '0' : 0;
        c = static_cast<char>((static_cast<unsigned char>(c) + direction * digit) & 0xFF);
    }
    return out;
}

} // namespace

std::string shiftDown(std::string_view text, std::string_view key)
{
    return shift(text, key, -1);
}

std::string shiftUp(std::string_view text, std::string_view key)
{
    return shift(text, key, +1);
}

std::string scramblingKey()
{
    // Built from single digits at run time rather than stored as one string.
    static const int pieces[] = {4, 8, 1, 5, 9, 2, 6, 3, 7, 1, 8, 4, 2, 9, 5, 3, 6, 1, 7, 2};
    std::string key;
    for (int d : pieces)
        key += static_cast<char>('0' + d);
    return key;
}

std::string rotateKey(std::string_view key)
{
    if (key.empty())
        return {};
    std::string out(key.substr(1));
    out += key.front();
    return out;
}

} // namespace kel
