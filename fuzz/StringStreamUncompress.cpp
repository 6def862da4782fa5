// Fuzz target: StringStream's uncompress over arbitrary content, then a
// compress/uncompress round trip of whatever came out.
#include "host/files/MemoryStream.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    paloma::host::MemoryStream stream(std::vector<uint8_t>(data, data + size));
    stream.get();
    auto inflated = stream.uncompress();
    if (stream.getPos() != (size > 0 ? 1u : 0u))
        std::abort(); // whole-content work leaves the read position alone
    if (!inflated)
        return 0;
    auto again = inflated->compress(1);
    if (!again)
        std::abort();
    auto back = again->uncompress();
    if (!back || back->content() != inflated->content() || back->crc() != inflated->crc())
        std::abort();
    return 0;
}
