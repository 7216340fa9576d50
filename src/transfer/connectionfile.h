// Connection files (".cnx"): the FTP server, account and remote folder a
// console takes its work from, scrambled so the password is not readable.
//
// Only the first line counts. Its first character is a digit n, the length
// of the key; the first n characters are the key (the digit is its first
// digit); the rest is the text shifted down with that key. Shifted back up,
// the text is "host|user|password|folder". A first character that is 0 or
// not a digit means no key: the whole line is the scrambled text and the
// shift uses its built-in key.
#pragma once

#include "app/result.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kel {

struct Connection
{
    std::string host;     // FTP server, may carry a port ("127.0.0.1:2121")
    std::string user;     // FTP user name
    std::string password; // FTP password
    std::string folder;   // remote folder; files are folder + "/" + name

    bool operator==(const Connection &) const = default;
};

// The connection in the first line of a file's bytes. Pure and total: any
// bytes give a connection (missing fields are empty). For tests and fuzzing.
Connection parseConnection(std::string_view bytes);

// The name as it is opened: trimmed, ".cnx" appended when it has no ".".
std::string connectionFileName(std::string_view name);

// Reads a connection file. std::nullopt when the file cannot be opened (the
// caller then changes nothing and shows nothing).
std::optional<Connection> readConnectionFile(std::string_view name);

// The line a connection file holds for `key` (a digit string whose first
// digit is its length, 1 to 9), with CR LF. Refused (kNoMessage, detail says
// why) when a field holds "|" or a line end, which would not read back, or
// when the key would shift a character onto a blank: the shift never moves
// blanks, so that character would read back as a blank.
Result<std::string> connectionFileLine(const Connection &connection, std::string_view key);

// A key for connectionFileLine chosen by `randomDigit` (returns 0..9): its
// length is 5 to 9, and keys that would lose a character are passed over.
// Refused when the fields cannot be stored or no key is found.
Result<std::string> scrambleConnection(const Connection &connection,
                                       const std::function<int()> &randomDigit);

// Writes a connection file with a random key; refused with the reason when
// the fields cannot be stored or the file cannot be written.
Status writeConnectionFile(const std::string &path, const Connection &connection);

} // namespace kel
