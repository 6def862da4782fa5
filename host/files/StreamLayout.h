#pragma once
// The byte layouts of the typed stream members, shared by every stream class:
// little-endian integers, IEEE singles and doubles. A read that runs out of
// bytes leaves the missing ones zero, so the decoders take what there is.

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

namespace paloma::host {

// Little-endian value of up to eight bytes; missing high bytes are zero.
inline uint64_t loadLittle(std::span<const uint8_t> bytes) {
    uint64_t v = 0;
    for (size_t i = bytes.size(); i-- > 0;)
        v = v << 8 | bytes[i];
    return v;
}

inline void storeLittle(uint8_t* out, uint64_t v, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[i] = uint8_t(v >> (8 * i));
}

inline int16_t decodeShort(std::span<const uint8_t> bytes) { return int16_t(uint16_t(loadLittle(bytes))); }
inline int32_t decodeLong(std::span<const uint8_t> bytes) { return int32_t(uint32_t(loadLittle(bytes))); }
inline float decodeFloat(std::span<const uint8_t> bytes) { return std::bit_cast<float>(uint32_t(loadLittle(bytes))); }
inline double decodeDouble(std::span<const uint8_t> bytes) { return std::bit_cast<double>(loadLittle(bytes)); }

} // namespace paloma::host
