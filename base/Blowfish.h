#pragma once
// The Blowfish block cipher: 64-bit blocks under a key of 1 to 56 bytes, with
// the standard key schedule (P-array and S-boxes from the digits of pi, the
// key cycled over the P-array, then 521 encryptions refill P and S). Blocks
// are big-endian pairs of 32-bit halves, as in the published test vectors.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace paloma {

using BlowfishBlock = std::array<uint8_t, 8>;

class Blowfish {
public:
    // `key` holds 1 to 56 bytes; longer keys use their first 56 bytes.
    explicit Blowfish(std::span<const uint8_t> key);

    BlowfishBlock encrypt(const BlowfishBlock& block) const;
    BlowfishBlock decrypt(const BlowfishBlock& block) const;

    // ECB over whole blocks in place; `data.size()` must be a multiple of 8.
    void encryptBlocks(std::span<uint8_t> data) const;
    void decryptBlocks(std::span<uint8_t> data) const;

private:
    void encryptHalves(uint32_t& left, uint32_t& right) const;
    void decryptHalves(uint32_t& left, uint32_t& right) const;
    uint32_t f(uint32_t x) const {
        return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xff]) ^ s_[2][(x >> 8) & 0xff]) + s_[3][x & 0xff];
    }

    uint32_t p_[18];
    uint32_t s_[4][256];
};

} // namespace paloma
