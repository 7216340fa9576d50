// Containers from a buffer: every member read lies within the bytes, and
// the names extraction would write are plain, distinct file names of one
// folder.
#include "app/text.h"
#include "documents/packed.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <set>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using kel::fuzz::require;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    std::vector<kel::ContainerMember> members;
    std::vector<std::string> names;
    std::string error;
    if (!kel::readMembersFrom(bytes, members, error))
        return 0;
    require(!members.empty() && members.size() <= kel::kMaxMembers);
    for (const kel::ContainerMember &m : members)
        require(m.offset <= size && m.length <= size - m.offset);
    if (!kel::memberFileNames(members, names, error))
        return 0;
    std::set<std::string> seen;
    for (const std::string &name : names) {
        require(!name.empty() && name.front() != '.' && name != "..");
        require(name.find_first_of("/\\") == std::string::npos);
        for (char c : name)
            require(static_cast<unsigned char>(c) >= 32);
        require(seen.insert(kel::upper(name)).second);
    }
    return 0;
}
