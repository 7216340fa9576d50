#include "transfer/connectionfile.h"

#include "app/shift.h"
#include "app/text.h"

#include <random>

namespace kel {
namespace {

std::string_view firstLine(std::string_view bytes)
{
    LineSplitter lines(bytes);
    std::string_view line;
    return lines.next(line) ? line : std::string_view{};
}

// A character that reads back differently once scrambled: a non-blank that
// lands on a blank (the shift leaves blanks alone, so it would come back as
// one) or on a line end (the line would stop there).
bool breaksLine(char plain, char scrambled)
{
    return plain != ' ' && (scrambled == ' ' || scrambled == '\r' || scrambled == '\n');
}

std::string plainText(const Connection &c)
{
    return c.host + "|" + c.user + "|" + c.password + "|" + c.folder;
}

Status checkFields(const Connection &c)
{
    const std::pair<const char *, const std::string *> fields[] = {
        {"host", &c.host}, {"user", &c.user}, {"password", &c.password}, {"folder", &c.folder}};
    for (const auto &[name, value] : fields) {
        if (value->find('|') != std::string::npos)
            return refusal(kNoMessage, std::string("the ") + name + " must not contain \"|\"");
        if (value->find_first_of("\r\n") != std::string::npos)
            return refusal(kNoMessage, std::string("the ") + name + " must not contain a line end");
    }
    return {};
}

} // namespace

Connection parseConnection(std::string_view bytes)
{
    const std::string_view line = firstLine(bytes);
    size_t keyLength = 0;
    if (!line.empty() && line[0] >= '1' && line[0] <= '9')
        keyLength = std::min<size_t>(static_cast<size_t>(line[0] - '0'), line.size());
    const std::string plain = shiftUp(line.substr(keyLength), line.substr(0, keyLength));
    Connection c;
    c.host = std::string(field(plain, '|', 1));
    c.user = std::string(field(plain, '|', 2));
    c.password = std::string(field(plain, '|', 3));
    c.folder = std::string(field(plain, '|', 4));
    return c;
}

std::string connectionFileName(std::string_view name)
{
    std::string out = trimmedCopy(name);
    if (out.find('.') == std::string::npos)
        out += ".cnx";
    return out;
}

std::optional<Connection> readConnectionFile(std::string_view name)
{
    std::string bytes;
    if (!readFile(connectionFileName(name), bytes))
        return std::nullopt;
    return parseConnection(bytes);
}

Result<std::string> connectionFileLine(const Connection &connection, std::string_view key)
{
    if (Status fields = checkFields(connection); !fields)
        return fields.refusal();
    if (key.empty() || key[0] < '1' || key[0] > '9' ||
        key.size() != static_cast<size_t>(key[0] - '0') ||
        key.find_first_not_of("0123456789") != std::string_view::npos)
        return refusal(kNoMessage, "the key must be digits led by its length");
    const std::string plain = plainText(connection);
    const std::string scrambled = shiftDown(plain, key);
    for (size_t i = 0; i < plain.size(); ++i) {
        if (breaksLine(plain[i], scrambled[i]))
            return refusal(kNoMessage, "the key would lose a character");
    }
    return std::string(key) + scrambled + "\r\n";
}

Result<std::string> scrambleConnection(const Connection &connection,
                                       const std::function<int()> &randomDigit)
{
    if (Status fields = checkFields(connection); !fields)
        return fields.refusal();
    // Most keys fit at once; a key that would lose a character is passed
    // over. Zero digits move nothing, so a fitting key is found within a few
    // tries; the bound only keeps a broken digit source from looping for ever.
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const int length = 5 + randomDigit() % 5;
        std::string key(1, static_cast<char>('0' + length));
        while (key.size() < static_cast<size_t>(length))
            key += static_cast<char>('0' + randomDigit() % 10);
        Result<std::string> line = connectionFileLine(connection, key);
        if (line)
            return line;
    }
    return refusal(kNoMessage, "no key keeps every character of the connection");
}

Status writeConnectionFile(const std::string &path, const Connection &connection)
{
    std::random_device seed;
    std::mt19937 engine(seed());
    std::uniform_int_distribution<int> digit(0, 9);
    const Result<std::string> line = scrambleConnection(connection, [&] { return digit(engine); });
    if (!line)
        return line.refusal();
    if (!writeFile(path, *line))
        return refusal(kNoMessage, "cannot write " + path);
    return {};
}

} // namespace kel
