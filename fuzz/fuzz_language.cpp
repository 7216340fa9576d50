// The language file: KEL.LNG bytes are loaded and decoded; the same bytes
// as a plain source are encoded, and whatever the encoder accepts must load
// back to exactly the messages of the source.
#include "app/messages.h"
#include "app/text.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <map>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    kel::Messages messages;
    messages.loadFrom(input);
    std::string plain;
    std::string error;
    kel::decodeLanguageFile(input, plain, error);

    std::string lng;
    if (!kel::encodeLanguageFile(input, lng, error))
        return 0;
    // The messages the source gives, the last line of a number winning.
    std::map<int, std::string> expected;
    for (std::string_view raw : kel::splitLines(input)) {
        const std::string_view line = kel::trimmed(raw);
        if (line.empty() || line.front() == '#')
            continue;
        const int number = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        expected[number] = std::string(line.size() > 4 ? line.substr(4) : std::string_view());
    }
    kel::Messages loaded;
    kel::fuzz::require(loaded.loadFrom(lng));
    for (const auto &[number, text] : expected)
        kel::fuzz::require(loaded.text(number) == text);
    return 0;
}
