#pragma once
// The Data Encryption Standard block cipher (FIPS 46-3): one 64-bit block
// under one 8-byte key. Triple-DES builds on it (TripleDes.h). The parity
// bits of the key bytes are ignored, as the standard says.

#include <array>
#include <cstdint>
#include <span>

namespace paloma {

using DesBlock = std::array<uint8_t, 8>;

class Des {
public:
    explicit Des(std::span<const uint8_t, 8> key);

    DesBlock encrypt(const DesBlock& block) const;
    DesBlock decrypt(const DesBlock& block) const;

private:
    DesBlock run(const DesBlock& block, bool decrypt) const;

    std::array<uint64_t, 16> subkeys_{}; // 48-bit round keys
};

} // namespace paloma
