// MD5 message digest (RFC 1321).
#include "base/Md5.h"

#include <cstring>

namespace paloma {

namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr int kShift[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21,
};

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One round step: a = b + ((a + f(b, c, d) + m + k) <<< s). The four
// rounds differ in f and in the order they take the message words; unrolling
// them lets each step use its constants directly.
template <int Round>
inline uint32_t mix(uint32_t b, uint32_t c, uint32_t d) {
    if constexpr (Round == 0)
        return d ^ (b & (c ^ d));
    else if constexpr (Round == 1)
        return c ^ (d & (b ^ c));
    else if constexpr (Round == 2)
        return b ^ c ^ d;
    else
        return c ^ (b | ~d);
}

template <int Step>
inline void step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, const uint32_t* m) {
    constexpr int round = Step / 16;
    constexpr int word = round == 0 ? Step : round == 1 ? (5 * Step + 1) % 16 : round == 2 ? (3 * Step + 5) % 16
                                                                                            : (7 * Step) % 16;
    a = b + rotl(a + mix<round>(b, c, d) + kSine[Step] + m[word], kShift[Step]);
}

template <int Step>
inline void steps(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* m) {
    if constexpr (Step < 64) {
        step<Step>(a, b, c, d, m);
        step<Step + 1>(d, a, b, c, m);
        step<Step + 2>(c, d, a, b, m);
        step<Step + 3>(b, c, d, a, m);
        steps<Step + 4>(a, b, c, d, m);
    }
}

} // namespace

Md5::Md5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, buffer_{} {}

void Md5::block(const uint8_t* p) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 |
               uint32_t(p[4 * i + 3]) << 24;
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    steps<0>(a, b, c, d, m);
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5::update(std::span<const uint8_t> data) {
    length_ += data.size();
    size_t i = 0;
    if (buffered_ > 0) {
        size_t n = std::min(data.size(), 64 - buffered_);
        std::memcpy(buffer_ + buffered_, data.data(), n);
        buffered_ += n;
        i = n;
        if (buffered_ < 64)
            return;
        block(buffer_);
        buffered_ = 0;
    }
    for (; i + 64 <= data.size(); i += 64)
        block(data.data() + i);
    if (i < data.size()) {
        buffered_ = data.size() - i;
        std::memcpy(buffer_, data.data() + i, buffered_);
    }
}

Md5Digest Md5::finish() {
    uint64_t bits = length_ * 8;
    uint8_t pad[72] = {0x80};
    size_t padLen = (buffered_ < 56 ? 56 : 120) - buffered_;
    for (int i = 0; i < 8; ++i)
        pad[padLen + i] = uint8_t(bits >> (8 * i));
    update(std::span<const uint8_t>(pad, padLen + 8));
    Md5Digest out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = uint8_t(state_[i] >> (8 * j));
    return out;
}

Md5Digest Md5::of(std::span<const uint8_t> data) {
    Md5 md5;
    md5.update(data);
    return md5.finish();
}

} // namespace paloma
