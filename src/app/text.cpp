#include "app/text.h"

#include "app/files.h"

#include <QHash>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace kel {

std::string_view trimmed(std::string_view s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && s[b] == ' ')
        ++b;
    while (e > b && s[e - 1] == ' ')
        --e;
    return s.substr(b, e - b);
}

std::string trimmedCopy(std::string_view s)
{
    return std::string(trimmed(s));
}

char upperChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z')
        return static_cast<char>(u - 32);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7)
        return static_cast<char>(u - 32);
    switch (u) {
    case 0x9A:
        return static_cast<char>(0x8A);
    case 0x9C:
        return static_cast<char>(0x8C);
    case 0x9E:
        return static_cast<char>(0x8E);
    case 0xFF:
        return static_cast<char>(0x9F);
    default:
        return c;
    }
}

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        c = upperChar(c);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upperChar(a[i]) != upperChar(b[i]))
            return false;
    }
    return true;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

bool endsWithNoCase(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && equalsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

double leadingNumber(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    std::string buf;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        buf += s[i++];
    bool digits = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        buf += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        buf += s[i++];
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            buf += s[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (i + 1 < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        std::string exp = "e";
        if (s[j] == '-' || s[j] == '+')
            exp += s[j++];
        bool expDigits = false;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9' && exp.size() < 8) {
            exp += s[j++];
            expDigits = true;
        }
        if (expDigits)
            buf += exp;
    }
    // Very long digit runs are cut so that strtod never sees megabytes.
    if (buf.size() > 400)
        buf.resize(400);
    const double v = std::strtod(buf.c_str(), nullptr);
    return std::isfinite(v) ? v : (v > 0 ? 1e300 : -1e300);
}

int leadingInt(std::string_view s)
{
    const double v = std::nearbyint(leadingNumber(s));
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(v);
}

std::string formatNumber(double v)
{
    if (v == std::floor(v) && std::fabs(v) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", v);
        return buf;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::string_view field(std::string_view text, char separator, int n)
{
    if (n < 1)
        return {};
    size_t start = 0;
    for (int i = 1; i < n; ++i) {
        const size_t p = text.find(separator, start);
        if (p == std::string_view::npos)
            return {};
        start = p + 1;
    }
    const size_t end = text.find(separator, start);
    return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

int fieldCount(std::string_view text, char separator)
{
    int n = 1;
    for (char c : text) {
        if (c == separator && ++n >= 200)
            return 200;
    }
    return n;
}

std::string_view lastField(std::string_view text, char separator)
{
    const size_t p = text.rfind(separator);
    return p == std::string_view::npos ? text : text.substr(p + 1);
}

bool LineSplitter::next(std::string_view &line)
{
    const size_t n = m_data.size();
    if (m_pos >= n)
        return false;
    auto find = [this, n](char c, size_t from) {
        const void *p = std::memchr(m_data.data() + from, c, n - from);
        return p ? static_cast<size_t>(static_cast<const char *>(p) - m_data.data()) : n;
    };
    if (!m_primed) {
        m_nextCr = find('\r', m_pos);
        m_nextLf = find('\n', m_pos);
        m_primed = true;
    }
    if (m_nextCr < m_pos)
        m_nextCr = find('\r', m_pos);
    if (m_nextLf < m_pos)
        m_nextLf = find('\n', m_pos);
    const size_t end = std::min(m_nextCr, m_nextLf);
    line = m_data.substr(m_pos, end - m_pos);
    size_t i = end;
    if (i < n && m_data[i] == '\r')
        ++i;
    if (i < n && m_data[i] == '\n')
        ++i;
    m_pos = i;
    return true;
}

std::vector<std::string_view> splitLines(std::string_view data)
{
    std::vector<std::string_view> lines;
    LineSplitter splitter(data);
    std::string_view line;
    while (splitter.next(line))
        lines.push_back(line);
    return lines;
}

const std::array<char16_t, 256> &cp1252Table()
{
    // Windows-1252 maps every byte to one character on its own, so the
    // platform's decoder is asked once per byte and the answers kept: text
    // is drawn segment by segment, and a decoder built per call cost more
    // than the drawing.
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        QStringDecoder decoder("windows-1252");
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            const QString one = decoder.isValid() ? decoder(QByteArrayView(&byte, 1)) : QString();
            t[static_cast<size_t>(b)] =
                one.size() == 1 ? one.at(0).unicode() : static_cast<char16_t>(b);
        }
        return t;
    }();
    return table;
}

QString fromCp1252(std::string_view bytes)
{
    const std::array<char16_t, 256> &table = cp1252Table();
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar *d = out.data();
    for (char c : bytes)
        *d++ = QChar(table[static_cast<unsigned char>(c)]);
    return out;
}

std::string toCp1252(const QString &text)
{
    // The reverse of the decoder's table, built once.
    static const QHash<char16_t, char> reverse = [] {
        QHash<char16_t, char> map;
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            const QString decoded = fromCp1252(std::string_view(&byte, 1));
            if (decoded.size() == 1 && decoded.at(0) != QChar::ReplacementCharacter)
                map.insert(decoded.at(0).unicode(), byte);
        }
        return map;
    }();
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text)
        out += reverse.value(c.unicode(), '?');
    return out;
}

bool readFile(const std::string &path, std::string &out)
{
    return readRegularFile(path, out) == ReadOutcome::Read;
}

bool writeFile(const std::string &path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

int64_t countLines(const std::string &path)
{
    InputFile file(path);
    if (!file.isOpen())
        return -1;
    LineReader reader(file);
    std::string_view line;
    int64_t lines = 0;
    while (reader.next(line))
        ++lines;
    return reader.failed() ? -1 : lines;
}

bool fileExists(const std::string &path)
{
    return isRegularFile(path);
}

} // namespace kel
