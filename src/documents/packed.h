// Packed reports and the scrambled containers inside them.
//
// A container is a run of members, each a 432-byte header scrambled with the
// program's key, CR LF, and then exactly as many bytes as the header says.
// The first member is the report, the others its pictures and sounds. A
// packed report is a zip archive holding one container, deflated, with the
// comment "Kel Packed File", whose leading "PK" has been overwritten by "22".
//
// Names that come out of a container or a zip entry come from other
// machines: they are cut to their last path part, and "..", empty names and
// names beginning with "." are refused, so nothing is ever written outside
// the folder asked for. Damaged or truncated input is refused as a whole
// before anything is written, and so is a container that the packing side
// cannot have written: more members than it writes, two members of one
// name, a control character in a name. A packed report may expand only so
// far (unpackLimit); what it expanded to is deleted when it goes past.
#pragma once

#include "app/folders.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

struct Document;

inline constexpr size_t kMemberHeaderLength = 432; // before its CR LF
inline constexpr size_t kMemberNameLength = 400;
inline constexpr int kMaxResources = 500;
// The report and its resources: the most members the packing side writes.
inline constexpr size_t kMaxMembers = kMaxResources + 1;
inline constexpr std::string_view kPackedComment = "Kel Packed File";

// True when the first bytes are those of a packed report: "22", 3, 4, 20.
bool isPackedReportStart(std::string_view firstBytes);

// True when the first line, shifted up with the program's key, is a member
// header: 432 characters, "***BOF***" first and "***EOL." last.
bool isContainerStart(std::string_view firstLine);
// True when the first line of `bytes` (a file's first bytes) is a member
// header: the file is a container.
bool startsAsContainer(std::string_view bytes);

// The member name for a path or a PIC/SND reference: "\", "/", ":" and
// control characters become "_", and "$" is put in front unless it is there.
std::string memberNameFor(std::string_view pathOrReference);

// A name from outside as a plain file name of one folder: cut to the part
// after the last "/" or "\", trimmed; "" when that is empty, "..", or begins
// with ".". A name longer than kMaxFileName keeps its last kMaxFileName
// bytes (room is left for the ".KEL" a report member gains).
inline constexpr size_t kMaxFileName = 250;
std::string safeFileName(std::string_view name);

// The scrambled 432-byte header of a member (without its CR LF). The name is
// made with memberNameFor and cut to 400 characters.
std::string memberHeader(std::string_view name, uint64_t length);

// AppendMember: appends `source` to `container` under `name` (the source
// path when `name` is empty). False, appending nothing, when the source
// cannot be read or the container cannot be written.
bool appendMember(const std::string &source, const std::string &container,
                  const std::string &name = {});

struct ContainerMember
{
    std::string name;    // as stored, trimmed
    uint64_t offset = 0; // of its first data byte in the container
    uint64_t length = 0;
};

// Reads every member header. False with `error` when a header is damaged or
// cut short, a member claims more bytes than the file holds, or there are
// more than kMaxMembers members.
bool readMembers(const std::string &containerPath, std::vector<ContainerMember> &members,
                 std::string &error);
// The same over container bytes in memory.
bool readMembersFrom(std::string_view container, std::vector<ContainerMember> &members,
                     std::string &error);

// The file names the members are extracted under (safeFileName), in member
// order. False with `error` when a name holds a control character, is
// unsafe, or repeats another (without regard to case, the report's NAME.KEL
// included).
bool memberFileNames(const std::vector<ContainerMember> &members, std::vector<std::string> &names,
                     std::string &error);

// ListMembers: "name|length;" for every member, in file order; "" when the
// container is damaged.
std::string listMembers(const std::string &containerPath);

// ExtractMembers: writes every member as a file of `folder` under its safe
// name (an existing file is replaced). The whole container is checked first;
// a damaged container or an unsafe name writes nothing. `written` receives
// the file names in member order. False with `error`.
bool extractMembers(const std::string &containerPath, const std::string &folder, std::string &error,
                    std::vector<std::string> *written = nullptr);

// The same over container bytes in memory, for a container whose first
// member is the report: every other member is written as a file of
// `folder`, the report's bytes go into `report` and its file name into
// `reportName`. `written` receives the paths of the files written.
bool extractMembersFrom(std::string_view container, const std::string &folder, std::string &report,
                        std::string &reportName, std::vector<std::string> &written,
                        std::string &error);

// MakePackedFile: a zip archive at `packedPath` holding `source`, deflated,
// under its bare file name, with the packed comment; then "22" over its
// first two bytes. False with `error`.
bool makePackedFile(const std::string &source, const std::string &packedPath, std::string &error);

// How far a packed report may expand: 200 times its packed size, never past
// kMaxUnpackedBytes, and never less than kMinUnpackLimit. Reports deflate
// about 5 to 20 to 1 and pictures hardly at all, but a member of zeros
// deflates about 1000 to 1: a 4 MB packed report would otherwise write
// 4 GiB. The floor keeps small packed reports of very regular lines (a few
// kilobytes packed) from being refused for a ratio that costs nothing.
inline constexpr uint64_t kMaxUnpackRatio = 200;
inline constexpr uint64_t kMaxUnpackedBytes = uint64_t{1} << 30; // 1 GiB
inline constexpr uint64_t kMinUnpackLimit = uint64_t{16} << 20;  // 16 MiB
uint64_t unpackLimit(uint64_t packedSize);

// UnpackPackedFile: copies the packed file to the "Temp" subfolder, puts "PK"
// back, and streams its first entry into the temporary folder; `path` then
// names the extracted file. The copy is removed again, whatever the outcome. False with `error`,
// `path` unchanged, when the file is no packed report, or its entry expands past unpackLimit of the
// packed file's size (what was written is deleted).
bool unpackPackedFile(std::string &path, const Folders &folders, std::string &error);

// The first entry of a packed report held in memory ("22" or "PK" first),
// expanded into `entry` up to unpackLimit of its size; `entryName` receives
// the entry's name made safe. False with `error`, which names the packed
// report as `what`.
bool unpackPackedBytes(std::string_view packed, std::string &entry, std::string &error,
                       std::string *entryName = nullptr,
                       const std::string &what = "the packed report");

// The line rewriter of packing: PIC= and SND= references inside command
// groups (as the markup tokenizer finds them, anywhere inside a group) are
// rewritten to their member names and collected, once each per file they
// are extracted as (the comparison ignores case and the "\\", "/" and ":"
// that member names replace; later spellings are written as the first), up
// to kMaxResources.
class ReferenceRewriter
{
public:
    ReferenceRewriter(char openDelimiter, char closeDelimiter)
        : m_open(openDelimiter), m_close(closeDelimiter)
    {
    }

    // False when the line is dropped (an empty line); else `out` is the line
    // to write.
    bool rewrite(std::string_view line, std::string &out);
    // The references as written in the report, in order of first appearance.
    const std::vector<std::string> &resources() const { return m_resources; }

private:
    // Appends a group's part of a line to `out` with its references
    // rewritten.
    void rewriteGroup(std::string_view part, std::string &out);
    // Lists a name unless one that is extracted under the same file name is
    // there; returns the spelling listed (the name itself when the list is
    // full).
    std::string_view addResource(std::string_view name);
    static std::string fileKey(std::string_view name);

    char m_open;
    char m_close;
    std::vector<std::string> m_resources;
    std::vector<std::string> m_keys; // fileKey of each resource
};

struct PackResult
{
    std::string path;   // the packed file written (may have gained ".Kel")
    int message = 0;    // 290 when the packed report cannot be written
    std::string detail; // what went wrong

    bool ok() const { return message == 0; }
};

// PackCurrentReport: packs the open document into `target` with every
// picture and sound it names. The settings part comes from the working copy,
// the data lines from the line store. Relative resource names are read from
// `resourceFolder` (the folder the Open dialog last used), else as given; a
// resource that cannot be read is left out, its reference still rewritten.
// A target whose name does not end in ".KEL" (any case) gets ".Kel" added.
PackResult packCurrentReport(const Document &document, const std::string &target,
                             const std::string &resourceFolder, const Folders &folders);

} // namespace kel
