// Listing conversion: the first line of the input holds the per-type
// settings ("printer|table|orientation|length|width|font|size", each cut
// short), the rest is the listing. The report made from any listing has
// its sections and no line too long for the loader.
#include "app/text.h"
#include "documents/textconvert.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find('\n');
    const std::string_view first = input.substr(0, cut);
    const std::string_view listing = cut == std::string_view::npos ? "" : input.substr(cut + 1);
    auto part = [&](int n) {
        // Settings come from KEL.INI, written by the configuration window:
        // short values without line ends.
        std::string value(kel::field(first, '|', n).substr(0, 40));
        for (char &c : value) {
            if (c == '\r')
                c = ' ';
        }
        return value;
    };
    kel::ListingSettings settings{part(1), part(2), part(3), part(4), part(5), part(6), part(7)};
    const std::string report = kel::listingToReport(listing, "listing.txt", settings);
    const kel::Opened r = kel::fuzz::openReportBytes(report);
    kel::fuzz::require(r.message() != 141 && r.message() != 142 && r.message() != 143 &&
                       r.message() != 145);
    return 0;
}
