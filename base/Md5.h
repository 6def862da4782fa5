#pragma once
// MD5 message digest (RFC 1321). Used for the identity digest and build
// fingerprints; not for anything that needs collision resistance.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace paloma {

using Md5Digest = std::array<uint8_t, 16>;

class Md5 {
public:
    Md5();
    void update(std::span<const uint8_t> data);
    Md5Digest finish();

    static Md5Digest of(std::span<const uint8_t> data);

private:
    void block(const uint8_t* p);

    uint32_t state_[4];
    uint64_t length_ = 0; // bytes hashed so far
    uint8_t buffer_[64];
    size_t buffered_ = 0;
};

} // namespace paloma
