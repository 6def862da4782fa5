#pragma once
// Mask files (".msk"): a window's shape as region data, the layout the
// system's region calls use. A 32-byte header of 32-bit little-endian
// fields - the header size (32), the type (1: rectangles), the rectangle
// count, the size of the rectangle part in bytes (may be 0) and the bounds
// (left, top, right, bottom) - followed by the rectangles, four signed
// 32-bit fields each (left, top, right, bottom).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace paloma::host {

struct RegionRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The rectangles of a mask file's bytes; nothing when the header is not
// one of region data, the count does not fit the bytes, or a rectangle is
// inverted. Empty rectangles are dropped.
std::optional<std::vector<RegionRect>> parseRegionData(std::span<const uint8_t> bytes);

} // namespace paloma::host
