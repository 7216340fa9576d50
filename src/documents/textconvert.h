// Conversion of plain text listings (.TXT, .LST, .PRN) into reports.
#pragma once

#include "app/settings.h"

#include <string>

namespace kel {

// The per-type settings a listing is converted with.
struct ListingSettings
{
    std::string printer;
    std::string conversion;
    std::string orientation;
    std::string length; // twips
    std::string width;  // twips
    std::string fontName;
    std::string fontSize; // points
};
ListingSettings listingSettings(const SettingsRecord &settings, DocType type);

enum class ConvertResult { Converted, EmptyListing, CannotRead, CannotWrite };

// ConvertTextToReport: writes the report for `source` into `target`
// (replacing it). An empty listing still writes the settings and prologue.
ConvertResult convertTextToReport(const std::string &source, const std::string &target,
                                  const ListingSettings &settings);

} // namespace kel
