// The TCP transfer between consoles: what travels on the wire.
//
// A stop-and-wait exchange of text messages over one connection per file:
//
//   receiver                          sender
//   "."            (on accept)  ->
//                               <-    ".RECEIVE_FILE=" + the sender's path
//   "OK"                        ->
//                               <-    a data block: the next 900 bytes
//   "OK"                        ->    ... one block per "OK" ...
//                               <-    ".END_OF_FILE"
//   "OK"                        ->    (the sender closes)
//
// ".CLOSE_CONNECTION" asks the receiver to close. Consoles that speak this
// format run elsewhere, so the bytes stay exactly these. TCP does not keep
// message bounds, so neither end relies on one send arriving as one read:
// the sender reads "." and "OK" from a byte stream, and the receiver takes as
// one message what has arrived when 900 bytes are in or when the line has
// been quiet for a short moment (see ReceiverSession).
#pragma once

#include "app/result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kel::wire {

inline constexpr uint16_t kDefaultPort = 1001;
inline constexpr size_t kBlockSize = 900;

inline constexpr std::string_view kGreeting = ".";
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kReceiveFile = ".RECEIVE_FILE";
inline constexpr std::string_view kEndOfFile = ".END_OF_FILE";
inline constexpr std::string_view kCloseConnection = ".CLOSE_CONNECTION";

// The port of the KEL.INI key TCP_PORT; 1001 when it is empty or not a port
// (1 to 65535).
uint16_t portSetting(std::string_view tcpPort);

// Where a SEND_TO value points: a host, or host:port ("[v6]:port" for an
// IPv6 address with a port).
struct Destination
{
    std::string host;
    uint16_t port = kDefaultPort;
};

// Refused (kNoMessage, detail says why) for an empty host or a port that is
// not 1 to 65535. Without a port the destination takes `defaultPort`.
Result<Destination> parseDestination(std::string_view sendTo, uint16_t defaultPort);

// The file name a ".RECEIVE_FILE=" message carries: the text after the first
// "=", cut after its last "\" or "/" (senders send their full path, written
// with either). Empty when the name must not be written: empty, starting
// with "." (".", "..", hidden files) or holding a control character.
std::string receivedFileName(std::string_view message);

} // namespace kel::wire
