#include "documents/textconvert.h"

namespace kel {

ListingSettings listingSettings(const SettingsRecord &settings, DocType type)
{
    const TypeRow &row = settings.row(type);
    return {row.printer,     settings.conversion(type),
            row.orientation, row.length,
            row.width,       row.fontName,
            row.fontSize};
}

ConvertResult convertTextToReport(const std::string &, const std::string &, const ListingSettings &)
{
    return ConvertResult::CannotRead;
}

} // namespace kel
