// zlib wrappers: round trips, error codes and the streaming inflater.
#include "base/Zlib.h"

#include <gtest/gtest.h>

#include <string>

using namespace paloma;

namespace {
std::vector<uint8_t> sample(size_t n) {
    std::vector<uint8_t> v(n);
    uint32_t x = 12345;
    for (auto& b : v) {
        x = x * 1103515245 + 12345;
        b = uint8_t((x >> 16) % 7 + 'a'); // compressible but not trivial
    }
    return v;
}
} // namespace

TEST(Zlib, RoundTripAndCapacity) {
    auto data = sample(10000);
    auto packed = zlibCompress(data);
    ASSERT_FALSE(packed.empty());
    EXPECT_LT(packed.size(), data.size());
    std::vector<uint8_t> out;
    EXPECT_EQ(zlibUncompress(packed, data.size(), out), kZlibOk);
    EXPECT_EQ(out, data);
    EXPECT_EQ(zlibUncompress(packed, data.size() + 100, out), kZlibOk); // room to spare
    EXPECT_EQ(out, data);
    EXPECT_EQ(zlibUncompress(packed, data.size() - 1, out), kZlibBufError);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(zlibUncompress(zlibCompress({}), 0, out), kZlibOk);
    EXPECT_TRUE(out.empty());
}

TEST(Zlib, CorruptAndTruncatedStreams) {
    auto packed = zlibCompress(sample(5000));
    std::vector<uint8_t> out;
    auto bad = packed;
    bad[0] ^= 0xFF; // header check fails
    EXPECT_EQ(zlibUncompress(bad, 5000, out), kZlibDataError);
    auto cut = packed;
    cut.resize(cut.size() / 2);
    EXPECT_NE(zlibUncompress(cut, 5000, out), kZlibOk);
    auto trailer = packed;
    trailer.back() ^= 1; // Adler-32 mismatch
    EXPECT_EQ(zlibUncompress(trailer, 5000, out), kZlibDataError);
}

TEST(Zlib, HostileCapacityDoesNotAllocate) {
    auto packed = zlibCompress(sample(100));
    std::vector<uint8_t> out;
    EXPECT_EQ(zlibUncompress(packed, SIZE_MAX / 2, out), kZlibOk);
    EXPECT_EQ(out.size(), 100u);
}

TEST(Zlib, Crc32KnownValueAndChaining) {
    std::string text = "123456789";
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_EQ(crc32Of(bytes), 0xCBF43926u);
    EXPECT_EQ(crc32Of(bytes.subspan(4), crc32Of(bytes.first(4))), 0xCBF43926u);
}

TEST(Zlib, InflateStreamInSmallPieces) {
    auto data = sample(50000);
    auto packed = zlibCompress(data);
    InflateStream inflater;
    ASSERT_EQ(inflater.init(), kZlibOk);
    std::vector<uint8_t> out;
    auto sink = [&](std::span<const uint8_t> chunk) {
        EXPECT_LE(chunk.size(), 4096u);
        out.insert(out.end(), chunk.begin(), chunk.end());
        return true;
    };
    for (size_t pos = 0; pos < packed.size(); pos += 333)
        ASSERT_EQ(inflater.feed(std::span(packed).subspan(pos, std::min<size_t>(333, packed.size() - pos)), sink),
                  kZlibOk);
    EXPECT_TRUE(inflater.finished());
    EXPECT_EQ(out, data);

    InflateStream broken;
    ASSERT_EQ(broken.init(), kZlibOk);
    auto bad = packed;
    bad[1] ^= 0x55;
    EXPECT_EQ(broken.feed(bad, sink), kZlibDataError);

    InflateStream stopped;
    ASSERT_EQ(stopped.init(), kZlibOk);
    EXPECT_EQ(stopped.feed(packed, [](std::span<const uint8_t>) { return false; }), kZlibStreamError);
}
