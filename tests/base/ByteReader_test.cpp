// The bounds-checked reader and the writer that mirrors it.
#include "base/ByteReader.h"
#include "base/ByteWriter.h"

#include <gtest/gtest.h>

using namespace paloma;

TEST(ByteReader, ReadsLittleEndianAndStopsAtTheEnd) {
    const uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    ByteReader r(data);
    EXPECT_EQ(r.u16(), 0x0201);
    EXPECT_EQ(r.u32(), 0x06050403u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 1u);
    EXPECT_EQ(r.u16(), 0); // one byte short
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.u8(), 0); // stays failed
    EXPECT_EQ(r.position(), 6u);
}

TEST(ByteReader, BytesAndSkipAreBoundsChecked) {
    const uint8_t data[] = {1, 2, 3};
    ByteReader r(data);
    EXPECT_EQ(r.bytes(2).size(), 2u);
    EXPECT_TRUE(r.bytes(2).empty());
    EXPECT_FALSE(r.ok());
    ByteReader s(data);
    s.skip(SIZE_MAX);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.position(), 0u);
}

TEST(ByteReader, StringsAbsentEmptyAndHostileCounts) {
    ByteWriter w;
    w.string16(std::nullopt);
    w.string16(std::u16string_view(u""));
    w.string16(std::u16string_view(u"Ab\u00e9"));
    ByteReader r(w.data());
    EXPECT_EQ(r.string16(), std::nullopt);
    auto empty = r.string16();
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(*empty, u"");
    EXPECT_EQ(r.string16(), std::optional<std::u16string>(u"Ab\u00e9"));
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(w.size(), 4u + 4u + 2u + 4u + 8u);

    const uint8_t huge[] = {0xFF, 0xFF, 0xFF, 0xFF, 'a', 0};
    ByteReader h(huge);
    EXPECT_EQ(h.string16(), std::nullopt);
    EXPECT_FALSE(h.ok());
}

TEST(ByteWriter, WritesLittleEndianAndPatches) {
    ByteWriter w;
    w.u16(0xBEEF);
    w.u32(0);
    w.u64(0x0102030405060708ull);
    w.patchU32(2, 0xAABBCCDD);
    const std::vector<uint8_t> expect = {0xEF, 0xBE, 0xDD, 0xCC, 0xBB, 0xAA, 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(w.data(), expect);
    ByteReader r(w.data());
    r.skip(6);
    EXPECT_EQ(r.u64(), 0x0102030405060708ull);
}
