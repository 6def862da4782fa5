// Reading mask files.
#include "host/flash/RegionFile.h"

namespace paloma::host {

namespace {

uint32_t word(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

} // namespace

std::optional<std::vector<RegionRect>> parseRegionData(std::span<const uint8_t> bytes) {
    constexpr size_t kHeader = 32, kRect = 16;
    if (bytes.size() < kHeader || word(bytes, 0) != kHeader || word(bytes, 4) != 1)
        return std::nullopt;
    uint64_t count = word(bytes, 8);
    if (count > (bytes.size() - kHeader) / kRect)
        return std::nullopt;
    std::vector<RegionRect> rects;
    rects.reserve(size_t(count));
    for (size_t i = 0; i < count; ++i) {
        size_t at = kHeader + i * kRect;
        RegionRect r{int32_t(word(bytes, at)), int32_t(word(bytes, at + 4)), int32_t(word(bytes, at + 8)),
                     int32_t(word(bytes, at + 12))};
        if (r.right < r.left || r.bottom < r.top)
            return std::nullopt;
        if (r.right > r.left && r.bottom > r.top)
            rects.push_back(r);
    }
    return rects;
}

} // namespace paloma::host
