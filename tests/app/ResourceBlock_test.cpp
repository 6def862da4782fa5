// Resource blocks: round trips and every failure message of the reader.
#include "app/ResourceBlock.h"

#include "base/Zlib.h"

#include <gtest/gtest.h>

#include <string>

using namespace paloma;

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

std::string messageOf(const std::vector<uint8_t>& block) {
    try {
        readResourceBlock(block);
    } catch (const CZipException& e) {
        return e.what();
    }
    return "(no error)";
}

void setU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

} // namespace

TEST(ResourceBlock, RoundTripAndHeaderFields) {
    auto plain = bytesOf(std::string(3000, 'x') + "tail");
    auto block = writeResourceBlock(plain);
    ASSERT_GT(block.size(), kResourceBlockHeaderSize);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 4), std::string("PB\x01\x00", 4));
    EXPECT_EQ(block[4] | block[5] << 8, 3004);
    EXPECT_EQ(size_t(block[8] | block[9] << 8), block.size() - kResourceBlockHeaderSize);
    uint32_t crc = uint32_t(block[12]) | block[13] << 8 | block[14] << 16 | uint32_t(block[15]) << 24;
    EXPECT_EQ(crc, crc32Of(plain));
    EXPECT_EQ(readResourceBlock(block), plain);
    EXPECT_EQ(readResourceBlock(writeResourceBlock({})), std::vector<uint8_t>());
}

TEST(ResourceBlock, TolerancesTheReaderKeeps) {
    auto plain = bytesOf("settings data settings data");
    auto block = writeResourceBlock(plain);
    auto trailing = block;
    trailing.insert(trailing.end(), {1, 2, 3, 4, 5});
    EXPECT_EQ(readResourceBlock(trailing), plain); // bytes past the packed size
    auto wrongCrc = block;
    wrongCrc[12] ^= 0xFF;
    EXPECT_EQ(readResourceBlock(wrongCrc), plain); // crc is not checked
}

TEST(ResourceBlock, LengthAndHeaderFailures) {
    auto block = writeResourceBlock(bytesOf("some data to pack"));
    EXPECT_EQ(messageOf(std::vector<uint8_t>(block.begin(), block.begin() + 16)), kZipBadLength);
    EXPECT_EQ(messageOf({}), kZipBadLength);
    auto cut = block;
    cut.pop_back(); // one byte shorter than packed size + 16
    EXPECT_EQ(messageOf(cut), kZipBadLength);
    for (size_t i = 0; i < 4; ++i) {
        auto bad = block;
        bad[i] ^= 0x20;
        EXPECT_EQ(messageOf(bad), kZipBadHeader) << i;
    }
    auto hugePacked = block;
    setU32(hugePacked, 8, 0xFFFFFFFF);
    EXPECT_EQ(messageOf(hugePacked), kZipBadLength);
}

TEST(ResourceBlock, ZlibFailuresMapToTheirMessages) {
    auto plain = bytesOf(std::string(500, 'q') + "end");
    auto block = writeResourceBlock(plain);
    auto small = block;
    setU32(small, 4, 10); // plain size too small for the stream
    EXPECT_EQ(messageOf(small), kZipBufError);
    auto corrupt = block;
    corrupt[16] ^= 0x0F; // zlib header check
    EXPECT_EQ(messageOf(corrupt), kZipDataError);
    auto adler = block;
    adler.back() ^= 1;
    EXPECT_EQ(messageOf(adler), kZipDataError);
    auto hugePlain = block;
    setU32(hugePlain, 4, 0xFFFFFFF0); // a hostile size allocates no 4 GB
    EXPECT_EQ(readResourceBlock(hugePlain), plain);

    EXPECT_STREQ(zipErrorMessage(kZlibBufError), "There was not enough room in the compress(uncompress) output buffer");
    EXPECT_STREQ(zipErrorMessage(kZlibMemError), "There was not enough memory for compress(uncompress)");
    EXPECT_STREQ(zipErrorMessage(kZlibDataError), "The compress(uncompress) input data was corrupted");
    EXPECT_STREQ(zipErrorMessage(kZlibStreamError), "The compress level parameter is invalid");
    EXPECT_STREQ(zipErrorMessage(-6), "Compression or uncompression failed");
}

TEST(ResourceBlock, NonThrowingForm) {
    std::vector<uint8_t> out = {9};
    std::string message;
    EXPECT_FALSE(tryReadResourceBlock(std::vector<uint8_t>(8, 0), out, &message));
    EXPECT_EQ(message, kZipBadLength);
    EXPECT_TRUE(out.empty());
    auto block = writeResourceBlock(bytesOf("abc"));
    EXPECT_TRUE(tryReadResourceBlock(block, out));
    EXPECT_EQ(out, bytesOf("abc"));
}
