// The scrambled container format: member headers, appending, listing and
// extracting members.
#include "app/atomicfile.h"
#include "app/files.h"
#include "app/shift.h"
#include "app/text.h"
#include "documents/packed.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

namespace fs = std::filesystem;

namespace kel {
namespace {

constexpr size_t kRecordLength = kMemberHeaderLength + 2; // with its CR LF
constexpr size_t kLengthDigits = 13;
constexpr size_t kBlock = 64 * 1024;

char memberChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\' || c == '/' || c == ':' || u < 32)
        return '_';
    return c;
}

bool parseLength(std::string_view digits, uint64_t &length)
{
    length = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        length = length * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

} // namespace

bool isContainerStart(std::string_view firstLine)
{
    if (firstLine.size() != kMemberHeaderLength)
        return false;
    const std::string plain = shiftUp(firstLine, scramblingKey());
    return plain.compare(0, 9, "***BOF***") == 0 && plain.compare(425, 7, "***EOL.") == 0;
}

bool startsAsContainer(std::string_view bytes)
{
    // A header line and its line end are all that is needed: a longer first
    // line is still longer than a header when cut there.
    std::string_view first;
    LineSplitter splitter(bytes.substr(0, kMemberHeaderLength + 2));
    return splitter.next(first) && isContainerStart(first);
}

std::string memberNameFor(std::string_view text)
{
    std::string name;
    name.reserve(text.size() + 1);
    if (text.empty() || text.front() != '$')
        name += '$';
    for (char c : text)
        name += memberChar(c);
    return name;
}

std::string safeFileName(std::string_view name)
{
    const size_t cut = name.find_last_of("/\\");
    if (cut != std::string_view::npos)
        name = name.substr(cut + 1);
    name = trimmed(name);
    if (name.empty() || name.front() == '.')
        return {};
    // A file name has room for 255 bytes; the end of a longer one is kept,
    // which holds its extension and, for a report, its time stamp.
    if (name.size() > kMaxFileName)
        name = name.substr(name.size() - kMaxFileName);
    if (name.front() == '.')
        return "_" + std::string(name.substr(1));
    return std::string(name);
}

std::string memberHeader(std::string_view name, uint64_t length)
{
    std::string field = memberNameFor(name);
    field.resize(kMemberNameLength, ' ');
    std::string digits = std::to_string(length);
    digits.insert(0, kLengthDigits - std::min(kLengthDigits, digits.size()), '0');
    std::string header = "***BOF***" + field + "***" + digits + "***EOL.";
    return shiftDown(header, scramblingKey());
}

bool appendMember(const std::string &source, const std::string &container, const std::string &name)
{
    InputFile in(source);
    if (!in.isOpen())
        return false;
    const uint64_t length = in.size();

    std::error_code ec;
    const bool existed = fs::exists(container, ec);
    const uintmax_t before = existed ? fs::file_size(container, ec) : 0;
    if (ec)
        return false;
    std::ofstream out(container, std::ios::binary | std::ios::app);
    if (!out)
        return false;
    out << memberHeader(name.empty() ? source : name, length) << "\r\n";
    std::string block(kBlock, '\0');
    bool ok = static_cast<bool>(out);
    for (uint64_t done = 0; ok && done < length;) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(length - done, kBlock));
        ok = in.readAt(done, block.data(), n) &&
             out.write(block.data(), static_cast<std::streamsize>(n));
        done += n;
    }
    out.close();
    if (ok && out)
        return true;
    // A source that shrank or failed part way: the container goes back to
    // what it was, so that no member is left cut short.
    if (existed)
        fs::resize_file(container, before, ec);
    else
        fs::remove(container, ec);
    return false;
}

namespace {

// Reads every member header through `readAt` over a container of `size`
// bytes; `where` names the container in the error.
bool parseMembers(uint64_t size, const std::function<bool(uint64_t, char *, size_t)> &readAt,
                  const std::string &where, std::vector<ContainerMember> &members,
                  std::string &error)
{
    members.clear();
    const std::string key = scramblingKey();
    std::string record(kRecordLength, '\0');
    uint64_t pos = 0;
    while (pos < size) {
        const std::string at = where + ": member " + std::to_string(members.size() + 1) +
                               " at byte " + std::to_string(pos);
        // The packing side writes the report and at most kMaxResources
        // files; a container of more members is no packed report (and
        // would have the extraction write thousands of files).
        if (members.size() >= kMaxMembers) {
            error = where + ": more than " + std::to_string(kMaxMembers) + " members";
            return false;
        }
        if (size - pos < kRecordLength) {
            error = at + ": the header is cut short";
            return false;
        }
        if (!readAt(pos, record.data(), kRecordLength)) {
            error = at + ": cannot be read";
            return false;
        }
        const std::string plain =
            shiftUp(std::string_view(record).substr(0, kMemberHeaderLength), key);
        uint64_t length = 0;
        if (plain.compare(0, 9, "***BOF***") != 0 || plain.compare(409, 3, "***") != 0 ||
            plain.compare(425, 7, "***EOL.") != 0 || record.compare(432, 2, "\r\n") != 0 ||
            !parseLength(std::string_view(plain).substr(412, kLengthDigits), length)) {
            error = at + ": not a member header";
            return false;
        }
        const uint64_t dataStart = pos + kRecordLength;
        if (length > size - dataStart) {
            error = at + ": claims " + std::to_string(length) + " bytes, the file holds " +
                    std::to_string(size - dataStart) + " more";
            return false;
        }
        members.push_back(
            {trimmedCopy(std::string_view(plain).substr(9, kMemberNameLength)), dataStart, length});
        pos = dataStart + length;
    }
    if (members.empty()) {
        error = where + ": holds no member";
        return false;
    }
    return true;
}

} // namespace

bool readMembers(const std::string &containerPath, std::vector<ContainerMember> &members,
                 std::string &error)
{
    members.clear();
    InputFile in(containerPath);
    if (!in.isOpen()) {
        error = containerPath + ": cannot be read";
        return false;
    }
    return parseMembers(
        in.size(), [&](uint64_t pos, char *out, size_t n) { return in.readAt(pos, out, n); },
        containerPath, members, error);
}

bool readMembersFrom(std::string_view container, std::vector<ContainerMember> &members,
                     std::string &error)
{
    return parseMembers(
        container.size(),
        [&](uint64_t pos, char *out, size_t n) {
            if (pos > container.size() || n > container.size() - pos)
                return false;
            std::memcpy(out, container.data() + pos, n);
            return true;
        },
        "the container", members, error);
}

bool memberFileNames(const std::vector<ContainerMember> &members, std::vector<std::string> &names,
                     std::string &error)
{
    names.clear();
    names.reserve(members.size());
    // Names already taken, compared without regard to case: the packing side
    // never stores two names that differ only so, and a folder on a file
    // system that ignores case would have one replace the other. The report
    // is renamed NAME.KEL once extracted, so that name is taken too.
    std::set<std::string> taken;
    for (size_t i = 0; i < members.size(); ++i) {
        const std::string &stored = members[i].name;
        const std::string which = "member " + std::to_string(i + 1);
        // The packing side turns control characters into "_", and no file
        // name on the systems that pack reports holds one; a name that does
        // (a NUL would cut the file name short) was made to mislead.
        for (const char c : stored) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 32) {
                error =
                    which + " has a control character (code " + std::to_string(u) + ") in its name";
                return false;
            }
        }
        std::string name = safeFileName(stored);
        if (name.empty()) {
            error = which + " has the unsafe name \"" + stored + "\"";
            return false;
        }
        std::vector<std::string> claims = {upper(name)};
        if (i == 0)
            claims.push_back(upper(name + ".KEL"));
        for (const std::string &claim : claims) {
            if (!taken.insert(claim).second) {
                error = which + " repeats the name \"" + name + "\"";
                return false;
            }
        }
        names.push_back(std::move(name));
    }
    return true;
}

std::string listMembers(const std::string &containerPath)
{
    std::vector<ContainerMember> members;
    std::string error;
    if (!readMembers(containerPath, members, error))
        return {};
    std::string out;
    for (const ContainerMember &m : members)
        out += m.name + "|" + std::to_string(m.length) + ";";
    return out;
}

bool extractMembers(const std::string &containerPath, const std::string &folder, std::string &error,
                    std::vector<std::string> *written)
{
    std::vector<ContainerMember> members;
    if (!readMembers(containerPath, members, error))
        return false;
    std::vector<std::string> names;
    if (!memberFileNames(members, names, error)) {
        error = containerPath + ": " + error;
        return false;
    }

    InputFile in(containerPath);
    std::vector<std::string> made;
    auto undo = [&] {
        std::error_code ec;
        for (const std::string &p : made)
            fs::remove(p, ec);
    };
    std::string block(kBlock, '\0');
    for (size_t i = 0; i < members.size(); ++i) {
        const std::string path = folder + "/" + names[i];
        // Replacing removes first, so a link planted under the name is
        // replaced rather than written through.
        std::error_code ec;
        fs::remove(path, ec);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        made.push_back(path);
        bool ok = static_cast<bool>(out) && in.isOpen();
        for (uint64_t done = 0; ok && done < members[i].length;) {
            const auto n =
                static_cast<size_t>(std::min<uint64_t>(members[i].length - done, kBlock));
            ok = in.readAt(members[i].offset + done, block.data(), n) &&
                 out.write(block.data(), static_cast<std::streamsize>(n));
            done += n;
        }
        if (!ok || !out.flush()) {
            error = path + ": cannot be written";
            undo();
            return false;
        }
    }
    if (written)
        *written = std::move(names);
    return true;
}

bool extractMembersFrom(std::string_view container, const std::string &folder, std::string &report,
                        std::string &reportName, std::vector<std::string> &written,
                        std::string &error)
{
    written.clear();
    std::vector<ContainerMember> members;
    if (!readMembersFrom(container, members, error))
        return false;
    std::vector<std::string> names;
    if (!memberFileNames(members, names, error))
        return false;
    if (members.empty()) {
        error = "the container holds no report";
        return false;
    }
    for (size_t i = 1; i < members.size(); ++i) {
        const std::string path = folder + "/" + names[i];
        // The atomic writer replaces by rename, so a link planted under the
        // name is replaced rather than written through.
        const Status w =
            writeFileAtomically(path, container.substr(static_cast<size_t>(members[i].offset),
                                                       static_cast<size_t>(members[i].length)));
        if (!w) {
            error = w.refusal().detail;
            for (const std::string &p : written)
                removeDurably(p);
            written.clear();
            return false;
        }
        written.push_back(path);
    }
    report.assign(container.substr(static_cast<size_t>(members[0].offset),
                                   static_cast<size_t>(members[0].length)));
    reportName = names[0];
    return true;
}

} // namespace kel
