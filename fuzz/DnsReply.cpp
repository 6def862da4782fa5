// Fuzz target: the DNS reply reader of the MX lookup. The first two bytes
// are the query id to expect, the rest the reply.
#include <cstdint>
#include <string_view>

#include "host/net/DnsMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    uint16_t id = static_cast<uint16_t>((data[0] << 8) | data[1]);
    auto records = paloma::host::net::readMxReply(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2), id);
    if (records)
        for (const auto& r : *records)
            if (r.name.size() > 255)
                __builtin_trap();
    return 0;
}
