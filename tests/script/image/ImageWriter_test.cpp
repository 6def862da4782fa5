// Writing images: a small script byte for byte, the header, the tags and
// the constant pool builder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "script/image/Image.h"
#include "script/image/ImageCode.h"

namespace quill {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// `getAdditionalFile(); return true;` as the code generator lowers it, built
// by hand: push0, getglobal, call, popn 3, pushtrue, ret.
SectionSet smallScript() {
    SectionSet s;
    ConstantPool pool;
    appendInstruction(s.code, Op::Push0);
    appendInstruction(s.code, Op::GetGlobal, pool.identifier("getAdditionalFile"));
    appendInstruction(s.code, Op::Call);
    appendInstruction(s.code, Op::PopN, 3);
    appendInstruction(s.code, Op::PushTrue);
    appendInstruction(s.code, Op::Ret);
    s.constants = pool.take();
    s.functions.push_back({".main", 0});
    return s;
}

std::vector<uint8_t> smallScriptBytes() {
    std::vector<uint8_t> b = {'Q', 'S', '1', 'b'};
    auto le = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const uint32_t records[4][3] = {{0, 56, 11}, {1, 67, 19}, {2, 86, 14}, {3, 100, 0}};
    for (const auto& r : records) {
        le(r[0]);
        le(r[1]);
        le(r[2]);
    }
    le(0xFFFFFFFF);
    const uint8_t code[] = {0x5D, 0x58, 0, 0, 0, 0, 0x34, 0x66, 0x03, 0x60, 0x33};
    b.insert(b.end(), std::begin(code), std::end(code));
    b.push_back(0x0A);
    for (char c : std::string("getAdditionalFile"))
        b.push_back(static_cast<uint8_t>(c));
    b.push_back(0);
    const uint8_t table[] = {0, 0, 0, 1, '.', 'm', 'a', 'i', 'n', 0, 0, 0, 0, 0};
    b.insert(b.end(), std::begin(table), std::end(table));
    return b;
}

// The image with the random upper 24 bits of each tag cleared.
std::vector<uint8_t> withoutTagNoise(std::vector<uint8_t> image) {
    for (size_t record = 0; record < 4; ++record)
        for (size_t i = 1; i < 4; ++i)
            image[4 + record * 12 + i] = 0;
    return image;
}

TEST(ImageWriter, SmallScriptIsByteExact) {
    std::vector<uint8_t> image = writeImage(smallScript());
    ASSERT_EQ(image.size(), 100u);
    EXPECT_EQ(withoutTagNoise(image), smallScriptBytes());
}

TEST(ImageWriter, HeaderTagsCarryNumberAndNoise) {
    SectionSet s = smallScript();
    std::vector<uint8_t> a = writeImage(s, 1);
    std::vector<uint8_t> b = writeImage(s, 2);
    bool differ = false;
    for (size_t record = 0; record < 4; ++record) {
        uint32_t tagA = le32(a, 4 + record * 12);
        uint32_t tagB = le32(b, 4 + record * 12);
        EXPECT_EQ(tagA & 0xFF, record);
        EXPECT_EQ(tagB & 0xFF, record);
        // Noise stays within the 15 bits of the runtime generator.
        EXPECT_EQ(tagA >> 23, 0u);
        differ = differ || tagA != tagB;
    }
    EXPECT_TRUE(differ) << "different seeds should give different tag noise";
    EXPECT_EQ(le32(a, 52), 0xFFFFFFFFu);
    // Same seed, same image.
    EXPECT_EQ(writeImage(s, 7), writeImage(s, 7));
}

TEST(ImageWriter, OffsetsFollowSizesWithoutGaps) {
    SectionSet s = smallScript();
    s.lines.sourceName = "demo.qls";
    s.lines.note(1, 1);
    s.lines.note(6, 1); // same line: not recorded again
    s.lines.note(11, 2);
    std::vector<uint8_t> image = writeImage(s);
    uint32_t expected = 56;
    for (size_t record = 0; record < 4; ++record) {
        EXPECT_EQ(le32(image, 4 + record * 12 + 4), expected);
        expected += le32(image, 4 + record * 12 + 8);
    }
    EXPECT_EQ(expected, image.size());
    // Line table: tag 1 + length + 8 name bytes, then two tag-2 records.
    EXPECT_EQ(le32(image, 4 + 3 * 12 + 8), 1u + 4 + 8 + 2 * 9);
    ASSERT_EQ(s.lines.records.size(), 2u);
    const uint8_t* lines = image.data() + le32(image, 4 + 3 * 12 + 4);
    EXPECT_EQ(lines[0], 1);
    EXPECT_EQ(std::memcmp(lines + 5, "demo.qls", 8), 0);
    const uint8_t second[] = {2, 0, 0, 0, 11, 0, 0, 0, 2};
    EXPECT_EQ(std::memcmp(lines + 13 + 9, second, 9), 0);
}

TEST(ImageWriter, OperandEncodingsAreBigEndian) {
    std::vector<uint8_t> code;
    appendInstruction(code, Op::PushInt, -2);
    appendInstruction(code, Op::GetLocal, 0x1234);
    appendInstruction(code, Op::Rot, -3);
    appendInstruction(code, Op::Jmp, -11);
    appendInstruction(code, Op::PushConst, 0x01020304);
    const std::vector<uint8_t> expected = {
        89,  0xFF, 0xFF, 0xFF, 0xFE, // pushint -2
        84,  0x12, 0x34,             // getlocal 0x1234
        99,  0xFD,                   // rot -3
        53,  0xFF, 0xFF, 0xFF, 0xF5, // jmp -11
        98,  1,    2,    3,    4,    // pushconst
    };
    EXPECT_EQ(code, expected);
}

TEST(ConstantPool, EqualConstantsShareOneEntry) {
    ConstantPool pool;
    uint32_t a = pool.identifier("x");
    uint32_t s = pool.string("x");  // same text, other kind
    uint32_t i = pool.integer(12);
    uint32_t id12 = pool.identifier("12"); // digits of the integer, other kind
    uint32_t n = pool.number(1.5);
    uint32_t r = pool.regExp("a+", kRegExpGlobal | kRegExpMultiline);
    uint32_t r2 = pool.regExp("a+", kRegExpGlobal);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(s, 1u);
    EXPECT_EQ(i, 2u);
    EXPECT_EQ(id12, 3u);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(r, 5u);
    EXPECT_EQ(r2, 6u);
    EXPECT_EQ(pool.identifier("x"), a);
    EXPECT_EQ(pool.string("x"), s);
    EXPECT_EQ(pool.integer(12), i);
    EXPECT_EQ(pool.number(1.5), n);
    EXPECT_EQ(pool.regExp("a+", kRegExpMultiline | kRegExpGlobal), r);
    EXPECT_EQ(pool.size(), 7u);
    EXPECT_EQ(pool.entries()[s].text, u"x");
    EXPECT_EQ(pool.entries()[r].flags, kRegExpGlobal | kRegExpMultiline);
}

TEST(ConstantPool, NumbersAreKeyedByExactValue) {
    ConstantPool pool;
    uint32_t zero = pool.number(0.0);
    uint32_t negZero = pool.number(-0.0);
    EXPECT_NE(zero, negZero);
    EXPECT_TRUE(std::signbit(pool.entries()[negZero].number));
    EXPECT_NE(pool.number(0.1 + 0.2), pool.number(0.3));
    EXPECT_EQ(pool.number(0.1 + 0.2), pool.number(0.1 + 0.2));
    // An integer and a number of the same value are different constants.
    EXPECT_NE(pool.integer(2), pool.number(2.0));
}

TEST(ConstantPool, ManyEntriesKeepTheirIndices) {
    ConstantPool pool;
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(pool.identifier("v" + std::to_string(i)), uint32_t(i));
    for (int i = 2999; i >= 0; --i)
        ASSERT_EQ(pool.identifier("v" + std::to_string(i)), uint32_t(i));
    EXPECT_EQ(pool.size(), 3000u);
}

TEST(ConstantPool, HashFunction) {
    EXPECT_EQ(poolHash(""), 0u);
    EXPECT_EQ(poolHash("a"), 97u);
    // h = (97 >> 7) ^ (97 >> 16) ^ 'b' ^ (97 << 5) = 98 ^ 3104
    EXPECT_EQ(poolHash("ab"), 98u ^ 3104u);
    // Bytes above 127 are taken unsigned.
    EXPECT_EQ(poolHash("\xFF"), 255u);
}

TEST(ConstantPool, StringsAreStoredAsUtf16) {
    ConstantPool pool;
    uint32_t i = pool.string("caf\xE9"); // e-acute in the ANSI code page
    EXPECT_EQ(pool.entries()[i].text, u"caf\u00E9");
}

} // namespace
} // namespace quill
