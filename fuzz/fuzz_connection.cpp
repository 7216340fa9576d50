// Connection files: any bytes read as a connection (four fields, none
// holding the separator), and a connection the writer accepts reads back
// as itself.
#include "fuzzsupport.h"
#include "transfer/connectionfile.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const kel::Connection read = kel::parseConnection(bytes);
    for (const std::string *field : {&read.host, &read.user, &read.password, &read.folder})
        kel::fuzz::require(field->find('|') == std::string::npos);

    // The four fields, written with a key made of the input's own digits,
    // must read back unchanged. Once the input is used up the digits count
    // on, so the writer tries keys of every length.
    size_t next = 0;
    const kel::Result<std::string> line = kel::scrambleConnection(read, [&] {
        const size_t i = next++;
        return static_cast<int>((i < size ? data[i] : i) % 10);
    });
    if (line.ok())
        kel::fuzz::require(kel::parseConnection(line.value()) == read);
    return 0;
}
