// Key lookup in KEY=value text: the first line of the input is the key, the
// rest the text. The value found is trimmed and holds no line end.
#include "app/keyvalue.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find('\n');
    const std::string_view key = input.substr(0, cut);
    const std::string_view text = cut == std::string_view::npos ? "" : input.substr(cut + 1);
    const std::string value = kel::readKeyValueIn(text, key);
    kel::fuzz::require(value.find_first_of("\r\n") == std::string::npos);
    kel::fuzz::require(value.empty() || (value.front() != ' ' && value.back() != ' '));
    return 0;
}
