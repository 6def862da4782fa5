// Fuzz target: mask files (window region data) from arbitrary bytes.
#include "host/flash/RegionFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto rects = paloma::host::parseRegionData(std::span<const uint8_t>(data, size));
    if (rects) {
        if (rects->size() * 16 + 32 > size)
            std::abort();
        for (const auto& r : *rects)
            if (r.right <= r.left || r.bottom <= r.top)
                std::abort();
    }
    return 0;
}
