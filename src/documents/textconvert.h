// Conversion of plain text listings (.TXT, .LST, .PRN) into reports.
//
// The report uses the control characters 1 and 2 as its markup delimiters, so
// braces and other markup characters of the listing print as plain text. Each
// listing line is placed at 50 twips and ended by a line feed; a line that is
// a whole directive (".NP", a form feed, ".B=Y", ESC "<", ...) becomes the
// matching command instead.
#pragma once

#include "app/settings.h"
#include "documents/linestore.h"

#include <string>
#include <string_view>

namespace kel {

// The per-type settings a listing is converted with, as written in KEL.INI.
struct ListingSettings
{
    std::string printer;
    std::string conversion;
    std::string orientation; // "LANDSCAPE" (any case) or anything else for portrait
    std::string length;      // twips
    std::string width;       // twips
    std::string fontName;
    std::string fontSize; // points
};
ListingSettings listingSettings(const SettingsRecord &settings, DocType type);

// The font size a listing is laid out with: the setting's number, or
// kDefaultListingFontSize when it is empty, not a number, not above 0 or a
// million points or more (a size of 0 would give a line spacing of 0 and a
// page that never ends; a huge one a page that holds no line).
inline constexpr double kDefaultListingFontSize = 10;
// The font of a listing whose font name is empty: a font every page can
// draw, and of fixed pitch so that the listing's columns stay aligned.
inline constexpr const char *kDefaultListingFont = "Courier New";
double listingFontSize(std::string_view setting);

// The longest piece of a listing line that one report line carries. Longer
// listing lines continue on the next report line, so that no report line
// exceeds the loader's 500 characters (the wrapping commands take 8).
inline constexpr size_t kMaxListingPiece = 492;

enum class ConvertResult {
    Converted,
    EmptyListing,
    CannotRead, // missing, no regular file, or a read error
    CannotWrite,
    TooLarge, // the report would grow past the size limit; nothing is left behind
};

// The report text for listing bytes; `sourcePath` becomes the report title.
// Listing bytes that are empty give the settings and prologue only. Lines
// end in CR LF.
std::string listingToReport(std::string_view listing, const std::string &sourcePath,
                            const ListingSettings &settings);

// ConvertTextToReport: writes the report for `source` into `target`
// (replacing it), reading and writing in blocks. An empty listing still
// writes the settings and prologue and gives EmptyListing; the caller shows
// message 210. A report that would grow past `maxReportBytes` (each listing
// line gains its commands, an empty line eleven bytes) is not written:
// TooLarge. The report is written under `target` followed by "$" and
// renamed once complete, so on any failure an existing target stays as it
// was.
ConvertResult convertTextToReport(const std::string &source, const std::string &target,
                                  const ListingSettings &settings,
                                  uint64_t maxReportBytes = kMaxDocumentBytes);

} // namespace kel
