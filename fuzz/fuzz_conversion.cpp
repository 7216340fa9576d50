// Conversion tables: the input up to its first NUL is a table, the rest a
// document. The rewrite in place must equal the rewrite into a new buffer.
#include "documents/conversion.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find('\0');
    kel::ConversionTable table;
    table.parse(input.substr(0, cut));
    kel::fuzz::require(table.entries().size() <= kel::ConversionTable::kMaxEntries);
    if (cut == std::string_view::npos)
        return 0;
    const std::string_view document = input.substr(cut + 1);
    std::string inPlace(document);
    kel::applyConversionInPlace(inPlace, table);
    kel::fuzz::require(inPlace == kel::applyConversion(document, table));
    return 0;
}
