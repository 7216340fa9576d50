// The TCP receiver's message handling: the bytes a peer sends, cut into
// arrivals at the input's own marks (0xFF ends an arrival, 0xFE stands for a
// quiet moment on the line), as the network may split and join them. No
// socket and no file: received files are kept in memory. Whatever arrives,
// every file that takes a name has a plain name of its own.
#include "fuzzsupport.h"
#include "transfer/receiver.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> arrivals(1);
    for (size_t i = 0; i < size && arrivals.size() < 4096; ++i) {
        if (data[i] == 0xFF) {
            arrivals.emplace_back();
        } else if (data[i] == 0xFE) {
            arrivals.emplace_back(); // the quiet moment
            arrivals.emplace_back();
        } else {
            arrivals.back() += static_cast<char>(data[i]);
        }
    }
    for (const auto &[name, bytes] : kel::receiveStream(arrivals)) {
        kel::fuzz::require(!name.empty() && name != "." && name != "..");
        kel::fuzz::require(name.find_first_of("/\\") == std::string::npos);
    }
    return 0;
}
