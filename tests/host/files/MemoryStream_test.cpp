// The in-memory stream of StringStream: positions, typed layouts, the end
// flag, length, compression and the CRC.
#include "host/files/MemoryStream.h"

#include "base/Zlib.h"
#include "host/ClassOrder.h"
#include "script/Quill.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace paloma::host {
namespace {

std::vector<uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

TEST(MemoryStream, ReadAndWritePositionsMoveIndependently) {
    MemoryStream s;
    EXPECT_TRUE(s.write(bytes("hello")));
    EXPECT_EQ(s.putPos(), 5u);
    EXPECT_EQ(s.getPos(), 0u);
    EXPECT_EQ(s.get(), 'h');
    EXPECT_TRUE(s.put('!'));
    EXPECT_EQ(s.get(), 'e');
    EXPECT_EQ(s.content(), bytes("hello!"));
    // Writing inside the content overwrites; past its end it grows.
    EXPECT_TRUE(s.setPutPos(1));
    EXPECT_TRUE(s.write(bytes("ipp")));
    EXPECT_EQ(s.content(), bytes("hippo!"));
    EXPECT_FALSE(s.setGetPos(7)); // beyond the end: refused, position kept
    EXPECT_EQ(s.getPos(), 2u);
    EXPECT_FALSE(s.setPutPos(-1));
}

TEST(MemoryStream, TypedValuesUseLittleEndianAndIeeeLayouts) {
    MemoryStream s;
    s.putShort(-2);
    s.writeLong(0x01020304);
    s.putFloat(1.5);
    s.writeDouble(-0.25);
    s.writeLong(uint32_t(int64_t(1) << 32 | 7)); // low 32 bits only
    ASSERT_EQ(s.length(), 2u + 4 + 4 + 8 + 4);
    EXPECT_EQ(s.content()[0], 0xFE);
    EXPECT_EQ(s.content()[2], 0x04);
    EXPECT_EQ(s.content()[5], 0x01);
    EXPECT_EQ(s.getShort(), -2);
    EXPECT_EQ(s.getLong(), 0x01020304);
    EXPECT_EQ(s.getFloat(), 1.5f);
    EXPECT_EQ(s.getDouble(), -0.25);
    EXPECT_EQ(s.getLong(), 7);
    EXPECT_FALSE(s.eof());
    // Past the end: missing bytes read as zero, get gives -1, the flag is set.
    s.put(0x80);
    EXPECT_EQ(s.getShort(), 0x80);
    EXPECT_TRUE(s.eof());
    EXPECT_EQ(s.get(), -1);
    EXPECT_EQ(s.getLong(), 0);
    EXPECT_TRUE(s.setGetPos(0));
    EXPECT_FALSE(s.eof());
}

TEST(MemoryStream, LinesStringsAndUnicodeStrings) {
    MemoryStream s;
    s.write(bytes("one\r\ntwo\nthree"));
    s.put(0);
    s.write(bytes("name"));
    s.put(0);
    s.writeUnicode(u"h\u00e9!");
    s.write(std::vector<uint8_t>{0, 0});
    s.write(bytes("tail"));
    EXPECT_EQ(s.readLine(), "one");
    EXPECT_EQ(s.readLine(), "two");
    EXPECT_EQ(s.readString(), "three");
    EXPECT_EQ(s.readString(), "name");
    EXPECT_EQ(s.readUnicodeString(), u"h\u00e9!");
    EXPECT_FALSE(s.eof());
    EXPECT_EQ(s.readLine(), "tail");
    EXPECT_TRUE(s.eof());
    EXPECT_EQ(s.readLine(), "");
    EXPECT_EQ(s.readString(), "");
    EXPECT_EQ(s.readUnicodeString(), u"");
}

TEST(MemoryStream, ReadGivesWhatRemainsAndUngetStepsBack) {
    MemoryStream s(bytes("abcdef"));
    EXPECT_EQ(s.read(4), bytes("abcd"));
    EXPECT_EQ(s.read(100), bytes("ef"));
    EXPECT_TRUE(s.eof());
    EXPECT_TRUE(s.unget());
    EXPECT_FALSE(s.eof());
    EXPECT_EQ(s.get(), 'f');
    EXPECT_TRUE(s.unget(uint8_t('X')));
    EXPECT_EQ(s.content(), bytes("abcdeX"));
    s.setGetPos(0);
    EXPECT_FALSE(s.unget()); // nothing before the start
}

TEST(MemoryStream, ModeBitsGateReadsAndWrites) {
    MemoryStream readOnly(bytes("ab"), MemoryStream::kIn);
    EXPECT_FALSE(readOnly.put('x'));
    EXPECT_EQ(readOnly.get(), 'a');
    EXPECT_FALSE(readOnly.unget(uint8_t('z')));
    MemoryStream writeOnly(MemoryStream::kOut);
    EXPECT_TRUE(writeOnly.put('x'));
    EXPECT_EQ(writeOnly.get(), -1);
    EXPECT_EQ(writeOnly.readLine(), "");
}

TEST(MemoryStream, LengthOnlyGrowsWithZeroBytesWithinTheLimit) {
    MemoryStream s(bytes("abc"));
    EXPECT_FALSE(s.extendTo(2));
    EXPECT_EQ(s.length(), 3u);
    EXPECT_TRUE(s.extendTo(6));
    EXPECT_EQ(s.content(), (std::vector<uint8_t>{'a', 'b', 'c', 0, 0, 0}));
    EXPECT_FALSE(s.extendTo(int64_t(1) << 40));
    EXPECT_FALSE(s.extendTo(-5));
    // Within the limit but more than a 32-bit process can hold.
    if (sizeof(void*) == 4) {
        EXPECT_FALSE(s.extendTo(MemoryStream::kMaxLength));
    }
    EXPECT_EQ(s.length(), 6u);
}

TEST(MemoryStream, CompressUncompressRoundTripLeavesPositionsAlone) {
    MemoryStream s;
    for (int i = 0; i < 5000; ++i)
        s.writeLong(uint32_t(i * i));
    s.read(10);
    auto packed = s.compress();
    ASSERT_TRUE(packed);
    EXPECT_LT(packed->length(), s.length());
    EXPECT_EQ(s.getPos(), 10u);
    auto unpacked = packed->uncompress();
    ASSERT_TRUE(unpacked);
    EXPECT_EQ(unpacked->content(), s.content());
    EXPECT_EQ(unpacked->getPos(), 0u);
    EXPECT_EQ(unpacked->crc(), s.crc());
    EXPECT_EQ(s.crc(), crc32Of(s.content()));

    auto empty = MemoryStream().compress(9);
    ASSERT_TRUE(empty);
    ASSERT_TRUE(empty->uncompress());
    EXPECT_EQ(empty->uncompress()->length(), 0u);
    EXPECT_FALSE(s.compress(42)); // no such level
}

// Inflating guesses the size from the ratio seen so far; content whose ratio
// changes part way makes the guess too small or far too large, and the result
// must still be whole and hold no large unused room.
TEST(MemoryStream, UncompressWhenTheRatioChangesPartWay) {
    std::vector<uint8_t> noise(3 << 20);
    std::mt19937 rng(7);
    for (auto& b : noise)
        b = uint8_t(rng());
    std::vector<uint8_t> zeros(8 << 20, 0);
    std::vector<std::vector<uint8_t>> contents(2);
    contents[0] = noise;
    contents[0].insert(contents[0].end(), zeros.begin(), zeros.end());
    contents[1] = zeros;
    contents[1].insert(contents[1].end(), noise.begin(), noise.end());
    for (const auto& content : contents) {
        auto packed = MemoryStream(content).compress(1);
        ASSERT_TRUE(packed);
        auto unpacked = packed->uncompress();
        ASSERT_TRUE(unpacked);
        EXPECT_EQ(unpacked->content(), content);
        EXPECT_LE(unpacked->content().capacity(), content.size() + content.size() / 4 + 4096);
    }
}

TEST(MemoryStream, CorruptOrTruncatedCompressedContentGivesNothing) {
    auto packed = MemoryStream(bytes(std::string(10000, 'z') + "end")).compress();
    ASSERT_TRUE(packed);
    std::vector<uint8_t> cut(packed->content().begin(), packed->content().end() - 6);
    EXPECT_FALSE(MemoryStream(cut).uncompress());
    std::vector<uint8_t> corrupt = packed->content();
    corrupt[0] ^= 0xFF;
    EXPECT_FALSE(MemoryStream(corrupt).uncompress());
    EXPECT_FALSE(MemoryStream().uncompress());
    // Bytes after the end of the zlib stream are not part of it.
    std::vector<uint8_t> trailing = packed->content();
    trailing.insert(trailing.end(), {1, 2, 3});
    auto unpacked = MemoryStream(trailing).uncompress();
    ASSERT_TRUE(unpacked);
    EXPECT_EQ(unpacked->length(), 10003u);
    EXPECT_EQ(MemoryStream().crc(), 0u);
}

TEST(MemoryStream, SavesAndReadsFiles) {
    auto path = std::filesystem::temp_directory_path() /
                ("paloma-memstream-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    MemoryStream s(bytes(std::string("bin\0ary", 7)));
    ASSERT_TRUE(s.saveToFile(path));
    auto back = MemoryStream::readFromFile(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->content(), s.content());
    EXPECT_FALSE(MemoryStream::readFromFile(path));
    EXPECT_FALSE(s.saveToFile(path / "no" / "dir"));
}

// Streams that scripts make and drop give their buffers back at a
// collection that their size brings about, not only the heap's own use.
TEST(MemoryStream, DroppedStreamsOfScriptsAreCollected) {
    auto engine = quill::createEngine(hostEngineOptions());
    ASSERT_NE(engine, nullptr);
    ASSERT_TRUE(quill::evalSource(*engine, "var s = new StringStream(); s.length = 1048576;"
                                           "for (var i = 0; i < 48; i++) { s.getPos = 0; s.read(1048576); }"))
        << engine->errorText;
    EXPECT_GE(engine->heap.collections, 10u);
}

} // namespace
} // namespace paloma::host
