// Fuzz target: structure descriptor texts (the layout reader), with a lookup
// that resolves every structure name to the input itself.
#include "host/native/StructLayout.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    paloma::host::DescriptorLookup lookup = [&text](std::string_view) -> std::optional<std::string> { return text; };
    for (uint32_t align : {1u, 8u}) {
        auto layout = paloma::host::layoutStruct(text, {align, 4}, lookup);
        if (!layout)
            continue;
        if (layout->size > paloma::host::kMaxStructSize)
            std::abort();
        for (const auto& m : layout->members)
            if (uint64_t(m.offset) + m.size() > layout->size)
                std::abort();
    }
    return 0;
}
