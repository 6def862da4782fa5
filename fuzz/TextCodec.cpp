// Fuzz target: UTF-8 and Windows-1252 decoding of arbitrary bytes.
#include "base/TextCodec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::u16string wide = paloma::utf8ToUtf16(bytes);
    std::u16string again = paloma::utf8ToUtf16(paloma::utf16ToUtf8(wide));
    if (again != wide)
        std::abort(); // repaired text must survive a round trip
    if (paloma::utf16ToCp1252(paloma::cp1252ToUtf16(bytes)) != bytes)
        std::abort();
    return 0;
}
