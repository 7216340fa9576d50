// Forwarding a released report to another console: the copy that travels,
// the list of files to send, and what becomes of the queue's files after.
//
// The copy leaves out the SEND_TO lines (the receiving console prints the
// report rather than sending it on) and names every picture by its bare file
// name (the receiver keeps all files in its queue folder). The pictures go
// first, the report last, so a report never arrives before its pictures.
// The report file itself is left as it is until the forwarding ends: a
// report that could not be sent keeps its SEND_TO and picture paths. When
// it ends, only the files that were sent are deleted: a newer file of the
// same name (the copy arriving back when a console forwards to itself, a
// report written again meanwhile) stays and is printed.
#pragma once

#include "app/allowedfolders.h"
#include "app/result.h"
#include "console/transferhooks.h"
#include "transfer/sender.h"

#include <cstdint>
#include <optional>
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
// command delimiters. Left out are the SEND_TO setting lines: before the
// "[DATA]" line, a line whose first seven characters, in capitals, are
// "SEND_TO"; after it, only a line that the receiving console's key lookup
// would still read as a SEND_TO setting ("SEND_TO=" and a value among the
// copy's first 100 lines), so a data line such as "Send_to all staff: ..."
// travels. In every "PIC=" command of a line's command groups the file name
// (up to ",", ";" or the close delimiter) is cut after its last "\" or "/".
ForwardCopy forwardCopy(std::string_view report, char open, char close);

// Which file a path named when it was looked at: a file of the same name
// made later (written anew, renamed over it) is another file.
struct FileIdentity
{
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileIdentity &) const = default;
};
std::optional<FileIdentity> fileIdentity(const std::string &path);

struct Forwarding
{
    std::string releasedFile;         // the file that arrived in the queue
    std::string report;               // the report made from it (may be the same path)
    std::string copy;                 // report + "$": what is sent under the report's name
    std::vector<std::string> scratch; // working files deleted when it ends
    SendJob job;
    // The released file and the report as they were when the forwarding
    // started; only these are deleted when it is complete.
    std::optional<FileIdentity> releasedIdentity;
    std::optional<FileIdentity> reportIdentity;
    // Pictures the report names outside the allowed folders, as written:
    // not sent.
    std::vector<std::string> refusedPictures;
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
// With `allowed`, a picture is read only when it resolves (links followed)
// inside an allowed folder; any other is left out of the send list and
// named in refusedPictures, so a report from elsewhere cannot make the
// console send a file it was not meant to.
Result<Forwarding> prepareForwarding(const ForwardedReport &report, const std::string &sendTo,
                                     uint16_t defaultPort, const AllowedFolders *allowed = nullptr);

// The forwarding is complete: the copy and the scratch files are deleted,
// and the released file and the report when each is still the file that was
// sent (errors ignored).
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
