// The scrambled container format: member headers, appending, listing and
// extracting members.
#include "app/shift.h"
#include "app/text.h"
#include "documents/packed.h"

#include <filesystem>
#include <fstream>

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

// Copies `length` bytes from the current position of `in` to `out`.
bool copyBytes(std::istream &in, std::ostream &out, uint64_t length)
{
    std::string block(kBlock, '\0');
    while (length > 0) {
        const auto n = static_cast<std::streamsize>(std::min<uint64_t>(length, kBlock));
        if (!in.read(block.data(), n) || !out.write(block.data(), n))
            return false;
        length -= static_cast<uint64_t>(n);
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
    std::ifstream in(source, std::ios::binary);
    std::error_code ec;
    if (!in || fs::is_directory(source, ec))
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return false;
    in.seekg(0, std::ios::beg);

    std::ofstream out(container, std::ios::binary | std::ios::app);
    if (!out)
        return false;
    const auto length = static_cast<uint64_t>(size);
    out << memberHeader(name.empty() ? source : name, length) << "\r\n";
    if (!copyBytes(in, out, length))
        return false;
    out.close();
    return static_cast<bool>(out);
}

bool readMembers(const std::string &containerPath, std::vector<ContainerMember> &members,
                 std::string &error)
{
    members.clear();
    std::ifstream in(containerPath, std::ios::binary);
    if (!in) {
        error = containerPath + ": cannot be read";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) {
        error = containerPath + ": cannot be read";
        return false;
    }
    const auto size = static_cast<uint64_t>(end);
    const std::string key = scramblingKey();
    std::string record(kRecordLength, '\0');
    uint64_t pos = 0;
    while (pos < size) {
        const std::string where = containerPath + ": member " + std::to_string(members.size() + 1) +
                                  " at byte " + std::to_string(pos);
        if (size - pos < kRecordLength) {
            error = where + ": the header is cut short";
            return false;
        }
        in.seekg(static_cast<std::streamoff>(pos));
        if (!in.read(record.data(), static_cast<std::streamsize>(kRecordLength))) {
            error = where + ": cannot be read";
            return false;
        }
        const std::string plain =
            shiftUp(std::string_view(record).substr(0, kMemberHeaderLength), key);
        uint64_t length = 0;
        if (plain.compare(0, 9, "***BOF***") != 0 || plain.compare(409, 3, "***") != 0 ||
            plain.compare(425, 7, "***EOL.") != 0 || record.compare(432, 2, "\r\n") != 0 ||
            !parseLength(std::string_view(plain).substr(412, kLengthDigits), length)) {
            error = where + ": not a member header";
            return false;
        }
        const uint64_t dataStart = pos + kRecordLength;
        if (length > size - dataStart) {
            error = where + ": claims " + std::to_string(length) + " bytes, the file holds " +
                    std::to_string(size - dataStart) + " more";
            return false;
        }
        members.push_back(
            {trimmedCopy(std::string_view(plain).substr(9, kMemberNameLength)), dataStart, length});
        pos = dataStart + length;
    }
    if (members.empty()) {
        error = containerPath + ": holds no member";
        return false;
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
    names.reserve(members.size());
    for (size_t i = 0; i < members.size(); ++i) {
        std::string name = safeFileName(members[i].name);
        if (name.empty()) {
            error = containerPath + ": member " + std::to_string(i + 1) +
                    " has the unsafe name \"" + members[i].name + "\"";
            return false;
        }
        names.push_back(std::move(name));
    }

    std::ifstream in(containerPath, std::ios::binary);
    std::vector<std::string> made;
    auto undo = [&] {
        std::error_code ec;
        for (const std::string &p : made)
            fs::remove(p, ec);
    };
    for (size_t i = 0; i < members.size(); ++i) {
        const std::string path = folder + "/" + names[i];
        // Replacing removes first, so a link planted under the name is
        // replaced rather than written through.
        std::error_code ec;
        fs::remove(path, ec);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        in.seekg(static_cast<std::streamoff>(members[i].offset));
        made.push_back(path);
        if (!out || !in || !copyBytes(in, out, members[i].length) || !out.flush()) {
            error = path + ": cannot be written";
            undo();
            return false;
        }
    }
    if (written)
        *written = std::move(names);
    return true;
}

} // namespace kel
