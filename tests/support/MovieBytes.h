#pragma once
// Builds the bytes of small movie files for tests: a valid header with a given
// frame size, rate and frame count, optionally compressed, and projector
// executables that carry such a movie at their end.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace paloma::testing {

struct MovieShape {
    int width = 550;  // pixels
    int height = 400; // pixels
    double rate = 12.0;
    uint16_t frames = 1;
    uint8_t version = 8;
    bool compressed = false;
    int xOrigin = 0; // twips, to test rectangles not anchored at 0
};

inline void appendBits(std::vector<uint8_t>& out, unsigned& bitPos, uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        if (bitPos % 8 == 0)
            out.push_back(0);
        if ((value >> (count - 1 - i)) & 1u)
            out.back() |= uint8_t(0x80u >> (bitPos % 8));
        ++bitPos;
    }
}

inline std::vector<uint8_t> movieBytes(const MovieShape& shape) {
    int32_t fields[4] = {shape.xOrigin, shape.xOrigin + shape.width * 20, 0, shape.height * 20};
    unsigned nbits = 1;
    for (int32_t f : fields)
        while (!(f >= -(int64_t(1) << (nbits - 1)) && f < (int64_t(1) << (nbits - 1))))
            ++nbits;
    std::vector<uint8_t> body;
    unsigned bitPos = 0;
    appendBits(body, bitPos, nbits, 5);
    for (int32_t f : fields)
        appendBits(body, bitPos, uint32_t(f), nbits);
    uint16_t rate = uint16_t(shape.rate * 256.0 + 0.5);
    body.push_back(uint8_t(rate));
    body.push_back(uint8_t(rate >> 8));
    body.push_back(uint8_t(shape.frames));
    body.push_back(uint8_t(shape.frames >> 8));
    // A ShowFrame and an End tag, so the movie is complete.
    body.insert(body.end(), {0x40, 0x00, 0x00, 0x00});

    uint32_t length = uint32_t(8 + body.size());
    std::vector<uint8_t> out = {uint8_t(shape.compressed ? 'C' : 'F'), 'W', 'S', shape.version,
                                uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
    if (shape.compressed) {
        uLongf packedSize = compressBound(uLong(body.size()));
        std::vector<uint8_t> packed(packedSize);
        compress(packed.data(), &packedSize, body.data(), uLong(body.size()));
        packed.resize(packedSize);
        out.insert(out.end(), packed.begin(), packed.end());
    } else {
        out.resize(8 + body.size());
        std::copy(body.begin(), body.end(), out.begin() + 8);
    }
    return out;
}

// A projector: some executable bytes, the movie, then an 8-byte trailer whose
// last 4 bytes hold the movie's length.
inline std::vector<uint8_t> projectorBytes(const std::vector<uint8_t>& movie, size_t stubSize = 1024) {
    std::vector<uint8_t> out;
    out.reserve(stubSize + movie.size() + 8);
    out.resize(stubSize, 0x90);
    if (stubSize >= 2) {
        out[0] = 'M';
        out[1] = 'Z';
    }
    for (uint8_t b : movie)
        out.push_back(b);
    uint32_t length = uint32_t(movie.size());
    out.insert(out.end(), {0x56, 0x34, 0x12, 0xFA, uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                           uint8_t(length >> 24)});
    return out;
}

} // namespace paloma::testing
