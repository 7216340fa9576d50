#include "app/messages.h"

#include "app/shift.h"
#include "app/text.h"

#include <cctype>

namespace kel {
namespace {

const std::string kEmpty;

bool parseNumber(std::string_view line, int &number)
{
    // The first three characters give the number leniently, as written.
    const double v = leadingNumber(line.substr(0, 3));
    if (v < 0 || v >= Messages::kCount)
        return false;
    number = static_cast<int>(v);
    return true;
}

} // namespace

bool Messages::load(const std::string &path)
{
    std::string bytes;
    if (!readFile(path, bytes)) {
        m_texts = {};
        return false;
    }
    return loadFrom(bytes);
}

bool Messages::loadFrom(std::string_view bytes)
{
    m_texts = {};
    std::string key = scramblingKey();
    LineSplitter splitter(bytes);
    std::string_view line;
    while (splitter.next(line)) {
        const std::string plain = shiftUp(trimmed(line), key);
        key = rotateKey(key);
        int number = 0;
        if (!parseNumber(plain, number)) {
            m_texts = {};
            return false;
        }
        m_texts[static_cast<size_t>(number)] = plain.size() > 4 ? plain.substr(4) : std::string();
    }
    return true;
}

const std::string &Messages::text(int n) const
{
    if (n < 0 || n >= kCount)
        return kEmpty;
    return m_texts[static_cast<size_t>(n)];
}

QString Messages::qtext(int n) const
{
    return fromCp1252(text(n));
}

void Messages::set(int n, std::string text)
{
    if (n >= 0 && n < kCount)
        m_texts[static_cast<size_t>(n)] = std::move(text);
}

bool encodeLanguageFile(std::string_view source, std::string &out, std::string &error)
{
    out.clear();
    std::string key = scramblingKey();
    LineSplitter splitter(source);
    std::string_view raw;
    int lineNo = 0;
    while (splitter.next(raw)) {
        ++lineNo;
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#')
            continue;
        const auto where = "line " + std::to_string(lineNo) + ": ";
        if (line.size() < 4 || line[0] < '0' || line[0] > '9' || line[1] < '0' || line[1] > '9' ||
            line[2] < '0' || line[2] > '9') {
            error = where + "expected three digits, a blank and the text";
            return false;
        }
        int number = 0;
        if (!parseNumber(line, number)) {
            error = where + "message number above " + std::to_string(Messages::kCount - 1);
            return false;
        }
        const std::string scrambled = shiftDown(line, key);
        // Every character must read back as itself: one that the key shifts
        // onto a blank reads back as a blank (the shift never touches
        // blanks), and one shifted onto CR or LF splits the line.
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = scrambled[i];
            if (line[i] == ' ' || (c != ' ' && c != '\r' && c != '\n'))
                continue;
            const size_t column = static_cast<size_t>(line.data() - raw.data()) + i + 1;
            const auto u = static_cast<unsigned char>(line[i]);
            const std::string shown = u >= 32 && u != 127 ? "\"" + std::string(1, line[i]) + "\""
                                                          : "code " + std::to_string(u);
            error = where + "message " + std::string(line.substr(0, 3)) + ", column " +
                    std::to_string(column) + ": " + shown +
                    (c == ' ' ? " would read back as a blank"
                              : " would split the line when read back") +
                    "; reword the message or move it to another line";
            return false;
        }
        // A character that scrambles to a blank stays a blank on reading
        // (blanks are never shifted), so it would be lost in the middle of
        // the text as well.
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] != ' ' && scrambled[i] == ' ') {
                error = where + "the character '" + std::string(1, line[i]) + "' at column " +
                        std::to_string(i + 1) + " would be read back as a blank; reword the text";
                return false;
            }
        }
        key = rotateKey(key);
        out += scrambled;
        out += "\r\n";
    }
    return true;
}

bool decodeLanguageFile(std::string_view lng, std::string &out, std::string &error)
{
    out.clear();
    std::string key = scramblingKey();
    LineSplitter splitter(lng);
    std::string_view line;
    int lineNo = 0;
    while (splitter.next(line)) {
        ++lineNo;
        const std::string plain = shiftUp(trimmed(line), key);
        key = rotateKey(key);
        // The loader reads a number leniently; printing a file back is
        // asked of a language file, so every line must unscramble to the
        // three digits a message line begins with, or the bytes were never
        // one and would come out as garbage.
        const bool digits = plain.size() >= 3 &&
                            std::isdigit(static_cast<unsigned char>(plain[0])) &&
                            std::isdigit(static_cast<unsigned char>(plain[1])) &&
                            std::isdigit(static_cast<unsigned char>(plain[2]));
        int number = 0;
        if (!digits || (plain.size() > 3 && plain[3] != ' ') || !parseNumber(plain, number)) {
            error = "line " + std::to_string(lineNo) + ": not a message line; not a language file";
            out.clear();
            return false;
        }
        out += plain;
        out += '\n';
    }
    if (lineNo == 0) {
        error = "no message lines; not a language file";
        return false;
    }
    return true;
}

} // namespace kel
