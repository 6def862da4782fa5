// Fuzz target: the HTTP header values the Internet library hands over,
// taken as UTF-16 units (pairs of input bytes).
#include <cstdint>
#include <cstring>
#include <string>

#include "host/net/HttpFields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text(size / 2, u'\0');
    if (!text.empty())
        std::memcpy(text.data(), data, text.size() * 2);
    auto length = paloma::host::net::parseContentLength(text);
    if (length && *length < 0)
        __builtin_trap();
    return 0;
}
