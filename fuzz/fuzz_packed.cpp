// Packed reports from a buffer: the entry never expands past the limit for
// the packed size, and a container inside is read as the loader reads it.
#include "documents/packed.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    std::string entry;
    std::string error;
    if (!kel::unpackPackedBytes(bytes, entry, error)) {
        kel::fuzz::require(entry.empty());
        return 0;
    }
    kel::fuzz::require(entry.size() <= kel::unpackLimit(size));
    std::vector<kel::ContainerMember> members;
    kel::readMembersFrom(entry, members, error);
    return 0;
}
