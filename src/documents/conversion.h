// Character conversion tables (".cnv" files of the program folder).
//
// A table maps single byte codes to single byte codes. Its entries apply one
// after another, so the whole table is the composition of its entries; it is
// kept as a 256-byte map built once per load.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kel {

class ConversionTable
{
public:
    static constexpr int kMaxEntries = 255;

    // Parses table text: a "#" line is a comment; every other line (blank
    // ones too) is an entry "source=target" of decimal codes. Entries with a
    // source of 0, empty or non-numeric do nothing; an empty or non-numeric
    // target means code 0. Codes outside 0..255 make the entry do nothing.
    void parse(std::string_view text);
    // Loads a table file; a missing or unreadable file gives the empty table.
    bool load(const std::string &path);

    const std::vector<std::pair<std::string, std::string>> &entries() const { return m_entries; }
    unsigned char map(unsigned char c) const { return m_map[c]; }
    void apply(std::string &line) const;

private:
    std::vector<std::pair<std::string, std::string>> m_entries;
    std::array<unsigned char, 256> m_map{};
};

// Rewrites report bytes through a table: lines that begin with "CONVERSION"
// (any case) are dropped, every other line is mapped. Lines end in CR LF.
std::string applyConversion(std::string_view document, const ConversionTable &table);

// The same in place, for a document whose lines all end in CR LF (as the
// include pass leaves them): the bytes are mapped and the dropped lines
// closed up, so no second copy of a large document is made. A document with
// other line ends is rewritten through applyConversion.
void applyConversionInPlace(std::string &document, const ConversionTable &table);

// The table named by a "CONVERSION=" line before "[HEADER]": the value
// trimmed and upper-cased; "" when there is none. The key is compared in
// capitals; a CONVERSION line after "[HEADER]" is not looked at.
std::string conversionBeforeHeader(std::string_view report);

// The table file for a CONVERSION value in the program folder: NAME.cnv with
// NAME upper-cased and trimmed, else the name as written, else any file whose
// name matches without regard to case. "" when none exists.
std::string findConversionTable(const std::string &programFolder, std::string_view name);

} // namespace kel
