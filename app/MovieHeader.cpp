// Reading a movie's header, plain or compressed, and finding a movie that a
// projector executable carries at its end.
#include "app/MovieHeader.h"

#include <zlib.h>

#include <array>
#include <cstring>

namespace paloma {

namespace {

// The frame rectangle needs at most 5 + 4 * 31 bits (17 bytes); rate and
// count add 4 more.
constexpr size_t kMaxBodyBytes = 21;
constexpr size_t kFixedBytes = 8;

class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    // Unsigned field of `count` bits, most significant bit first.
    std::optional<uint32_t> bits(unsigned count) {
        uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i) {
            size_t byte = pos_ / 8;
            if (byte >= bytes_.size())
                return std::nullopt;
            value = (value << 1) | ((bytes_[byte] >> (7 - pos_ % 8)) & 1u);
            ++pos_;
        }
        return value;
    }

    std::optional<int32_t> signedBits(unsigned count) {
        auto raw = bits(count);
        if (!raw)
            return std::nullopt;
        if (count == 0)
            return 0;
        uint32_t signBit = 1u << (count - 1);
        return static_cast<int32_t>((*raw ^ signBit) - signBit);
    }

    size_t bytePosition() const { return (pos_ + 7) / 8; }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

// Inflates as much of the compressed body as the header needs.
std::optional<std::array<uint8_t, kMaxBodyBytes>> inflateStart(std::span<const uint8_t> packed, size_t& produced) {
    std::array<uint8_t, kMaxBodyBytes> out{};
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return std::nullopt;
    zs.next_in = const_cast<Bytef*>(packed.data());
    zs.avail_in = static_cast<uInt>(packed.size() > 0xFFFFFFF0u ? 0xFFFFFFF0u : packed.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = Z_OK;
    while (zs.avail_out > 0 && rc == Z_OK)
        rc = inflate(&zs, Z_SYNC_FLUSH);
    produced = out.size() - zs.avail_out;
    inflateEnd(&zs);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
        return std::nullopt;
    return out;
}

} // namespace

bool hasMovieSignature(std::span<const uint8_t> bytes) {
    return bytes.size() >= 3 && (bytes[0] == 'F' || bytes[0] == 'C') && bytes[1] == 'W' && bytes[2] == 'S';
}

std::optional<MovieHeader> readMovieHeader(std::span<const uint8_t> bytes) {
    if (!hasMovieSignature(bytes) || bytes.size() < kFixedBytes)
        return std::nullopt;
    MovieHeader header;
    header.compressed = bytes[0] == 'C';
    header.version = bytes[3];
    header.fileLength = uint32_t(bytes[4]) | uint32_t(bytes[5]) << 8 | uint32_t(bytes[6]) << 16 | uint32_t(bytes[7]) << 24;

    std::array<uint8_t, kMaxBodyBytes> inflated{};
    std::span<const uint8_t> body = bytes.subspan(kFixedBytes);
    if (header.compressed) {
        size_t produced = 0;
        auto out = inflateStart(body, produced);
        if (!out)
            return std::nullopt;
        inflated = *out;
        body = std::span<const uint8_t>(inflated.data(), produced);
    }

    BitReader reader(body);
    auto fieldBits = reader.bits(5);
    if (!fieldBits)
        return std::nullopt;
    auto xMin = reader.signedBits(*fieldBits);
    auto xMax = reader.signedBits(*fieldBits);
    auto yMin = reader.signedBits(*fieldBits);
    auto yMax = reader.signedBits(*fieldBits);
    if (!xMin || !xMax || !yMin || !yMax)
        return std::nullopt;
    header.xMin = *xMin;
    header.xMax = *xMax;
    header.yMin = *yMin;
    header.yMax = *yMax;

    size_t at = reader.bytePosition();
    if (body.size() < at + 4)
        return std::nullopt;
    header.frameRate = uint16_t(body[at] | body[at + 1] << 8);
    header.frameCount = uint16_t(body[at + 2] | body[at + 3] << 8);
    return header;
}

std::optional<AppendedMovie> findAppendedMovie(std::span<const uint8_t> file) {
    constexpr size_t kTrailer = 8;
    if (file.size() < kTrailer)
        return std::nullopt;
    size_t end = file.size() - kTrailer;
    const uint8_t* tail = file.data() + file.size() - 4;
    size_t length = uint32_t(tail[0]) | uint32_t(tail[1]) << 8 | uint32_t(tail[2]) << 16 | uint32_t(tail[3]) << 24;
    if (length > end)
        return std::nullopt;
    AppendedMovie movie{end - length, length};
    if (!hasMovieSignature(file.subspan(movie.offset, movie.length)))
        return std::nullopt;
    return movie;
}

} // namespace paloma
