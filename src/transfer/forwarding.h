// Forwarding a released report to another console: the copy that travels,
// the list of files to send, and what becomes of the queue's files after.
//
// The copy leaves out the SEND_TO lines (the receiving console prints the
// report rather than sending it on) and names every picture by its bare file
// name (the receiver keeps all files in its queue folder). The pictures go
// first, the report last, so a report never arrives before its pictures.
// The report file itself is left as it is until the forwarding ends: a
// report that could not be sent keeps its SEND_TO and picture paths.
#pragma once

#include "app/result.h"
#include "console/transferhooks.h"
#include "transfer/sender.h"

#include <string>
#include <string_view>
#include <vector>

namespace kel {

struct ForwardCopy
{
    std::string text;                  // the report as it is sent, CR LF line ends
    std::vector<std::string> pictures; // picture names as written, first use first, no repeats
};

// Pure: the copy of a report's bytes. `open` and `close` are the report's
// command delimiters. Lines whose first seven characters, in capitals, are
// "SEND_TO" are left out; in every "PIC=" command of a line's command groups
// the file name (up to ",", ";" or the close delimiter) is cut after its
// last "\" or "/".
ForwardCopy forwardCopy(std::string_view report, char open, char close);

struct Forwarding
{
    std::string releasedFile;         // the file that arrived in the queue
    std::string report;               // the report made from it (may be the same path)
    std::string copy;                 // report + "$": what is sent under the report's name
    std::vector<std::string> scratch; // working files deleted when it ends
    SendJob job;
};

// Reads the report (its OPEN and CLOSE header keys give the delimiters,
// "{" and "}" when empty), writes the copy beside it and lists the files:
// each picture (a relative name is looked for in the picture folder, the
// report's folder when none is given, a name not found there by its last
// part too; pictures are optional) and then the copy, announced under the
// report's path. The announced paths are written with "\" between folders,
// as every console's receiver cuts names at "\". Refused when the report
// cannot be read, the copy cannot be written or the destination is not a
// host or host:port; the report's scratch files are left to the caller then.
Result<Forwarding> prepareForwarding(const ForwardedReport &report, const std::string &sendTo,
                                     uint16_t defaultPort);

// The forwarding is complete: the released file, the report, the copy and
// the scratch files are deleted (errors ignored).
void completeForwarding(const Forwarding &forwarding);

// The forwarding was given up. The released file is renamed to its name
// followed by ".NOT_SENT" (an older file of that name is replaced) and the
// report made from it is deleted; when the released file is gone already (a
// converted listing), the report itself is kept as report + ".NOT_SENT", so
// nothing of it is lost. The copy and every "*.$$$" working file of the
// queue folder are deleted. Returns the ".NOT_SENT" path, empty when neither
// file was there.
std::string abandonForwarding(const std::string &releasedFile, const std::string &report,
                              const std::string &copy);
// The same for a forwarding under way; its scratch files are deleted too.
std::string abandonForwarding(const Forwarding &forwarding);

} // namespace kel
