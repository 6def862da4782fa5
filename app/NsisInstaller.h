#pragma once
// Takes a player control (the first extracted ".ocx" file) out of a
// script-built Windows installer of the widespread 512-byte-aligned format
// ("NullsoftInst" first header). Supported layouts: header and files stored,
// each block compressed with raw deflate, or the whole data as one raw
// deflate stream. Any other layout or damaged data gives nothing, so the
// caller falls back to running the installer.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace paloma {

// Limit on what one decompressed block or the whole solid stream may grow to.
inline constexpr size_t kNsisMaxInflated = 256u << 20;

// Offset of the first header: the first 512-byte boundary holding a flags word
// below 16, the signature 0xDEADBEEF and the letters "NullsoftInst".
std::optional<size_t> findNsisFirstHeader(std::span<const uint8_t> file);

// The bytes of the first extract-file entry whose name ends in ".ocx" (case
// ignored), or nothing.
std::optional<std::vector<uint8_t>> extractFirstOcxFromNsis(std::span<const uint8_t> file);

} // namespace paloma
