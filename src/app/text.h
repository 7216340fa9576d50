// Byte-string helpers shared by every layer.
//
// Files of this system are single-byte Windows-1252 text. The documents and
// render layers keep them as std::string and only decode to Unicode where
// text is drawn or shown (fromCp1252).
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

// Removes leading and trailing blanks (spaces only, as the system's files use them).
std::string_view trimmed(std::string_view s);
std::string trimmedCopy(std::string_view s);

// Upper-cases ASCII and the Windows-1252 letters that have a capital form.
std::string upper(std::string_view s);
char upperChar(char c);
bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view s, std::string_view prefix);
bool endsWithNoCase(std::string_view s, std::string_view suffix);

// The leading numeric part of a text: optional blanks, sign, digits, one
// decimal point and an exponent. Text without a leading number reads as 0.
double leadingNumber(std::string_view s);
// leadingNumber rounded half to even and clamped to the range of int.
int leadingInt(std::string_view s);
// A number as the system writes it: whole numbers without a decimal point,
// others with up to 15 significant digits ("2.5").
std::string formatNumber(double v);

// Fields of a delimited text, numbered from 1; empty when there are fewer.
std::string_view field(std::string_view text, char separator, int n);
int fieldCount(std::string_view text, char separator); // counted up to 200
std::string_view lastField(std::string_view text, char separator);

// Splits bytes into lines. A line ends at CR LF, LF or a lone CR; the end
// marks are not part of the line. A final line without an end mark counts.
class LineSplitter
{
public:
    explicit LineSplitter(std::string_view data) : m_data(data) {}
    // Gives the next line in `line`; false at the end of the data.
    bool next(std::string_view &line);
    size_t position() const { return m_pos; }

private:
    std::string_view m_data;
    size_t m_pos = 0;
    // Positions of the next CR and LF at or after m_pos, found with memchr
    // and kept until passed, so each byte is searched once per mark.
    size_t m_nextCr = 0;
    size_t m_nextLf = 0;
    bool m_primed = false;
};
std::vector<std::string_view> splitLines(std::string_view data);

QString fromCp1252(std::string_view bytes);
// The character of every byte, as fromCp1252 decodes it (the five bytes
// Windows-1252 leaves undefined decode as the control characters of the
// same code).
const std::array<char16_t, 256> &cp1252Table();
// Characters outside Windows-1252 become "?".
std::string toCp1252(const QString &text);

// Reads a whole regular file of at most kMaxReadBytes (app/files.h); false
// when it is missing, not a regular file (a folder, a device, a FIFO), too
// large or cannot be read.
bool readFile(const std::string &path, std::string &out);
// Writes bytes to a file, replacing it; false on any failure.
bool writeFile(const std::string &path, std::string_view bytes);
bool fileExists(const std::string &path); // a regular file that can be opened for reading
// The number of lines of a regular file (CountLines); -1 when it cannot be read.
int64_t countLines(const std::string &path);

} // namespace kel
