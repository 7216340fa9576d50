// The numbered message table loaded from the scrambled language file KEL.LNG.
//
// Every text the user sees is message N of this table. Each line of KEL.LNG,
// trimmed and shifted up with the program's key, reads "NNN" + one separator
// + the text; the key rotates left by one digit after every line.
#pragma once

#include <QString>
#include <array>
#include <string>
#include <string_view>

namespace kel {

class Messages
{
public:
    static constexpr int kCount = 500;

    // The fixed texts shown when the language file is missing or damaged.
    static constexpr std::string_view kLoadFailureText =
        "Kel.lng file doesn't exist or is corrupted. Program won't start.";
    static constexpr std::string_view kLoadFailureTitle = "Error loading";

    // Fills the table from a KEL.LNG file. False when the file is missing,
    // unreadable, or names a message number outside 0..499; the table is
    // then left empty.
    bool load(const std::string &path);
    // The same over the file's bytes.
    bool loadFrom(std::string_view bytes);

    // Message n as bytes (empty for unknown numbers).
    const std::string &text(int n) const;
    // Message n decoded for display.
    QString qtext(int n) const;

    void set(int n, std::string text);

private:
    std::array<std::string, kCount> m_texts;
};

// Writes KEL.LNG bytes from a plain source of "NNN text" lines ("#" comment
// lines and blank lines skipped). On failure returns false and says why in
// `error`: a bad line, a number out of range, or a character that would not
// read back as itself (the key shifts it onto a blank, or onto a line end),
// named by its message number and its column in the source line.
bool encodeLanguageFile(std::string_view source, std::string &out, std::string &error);

// Plain "NNN text" lines of every line of a KEL.LNG file, in file order.
bool decodeLanguageFile(std::string_view lng, std::string &out, std::string &error);

} // namespace kel
