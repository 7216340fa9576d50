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

    // The bytes as the four fields of a connection, written with a key made
    // of the input's own digits, must read back unchanged.
    unsigned next = 0;
    const kel::Result<std::string> line = kel::scrambleConnection(
        read, [&] { return size == 0 ? 3 : static_cast<int>(data[next++ % size] % 10); });
    if (line.ok())
        kel::fuzz::require(kel::parseConnection(line.value()) == read);
    return 0;
}
