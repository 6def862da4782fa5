// Reading images: round trips, record order, the '#' line, files, and the
// refusal of truncated and hostile images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

#include "script/image/Image.h"
#include "script/image/ImageCode.h"

namespace quill {
namespace {

void putLE(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t getLE(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// A section set using every constant kind, two functions and line data.
SectionSet richSections() {
    SectionSet s;
    ConstantPool pool;
    appendInstruction(s.code, Op::PushConst, pool.integer(-1234567890123LL));
    appendInstruction(s.code, Op::PushConst, pool.number(-0.25));
    appendInstruction(s.code, Op::PushConst, pool.string("h\xE9llo"));
    appendInstruction(s.code, Op::PushConst, pool.regExp("[a-z]+", kRegExpIgnoreCase));
    appendInstruction(s.code, Op::SetGlobal, pool.identifier("answer"));
    appendInstruction(s.code, Op::Ret);
    uint32_t second = static_cast<uint32_t>(s.code.size());
    appendInstruction(s.code, Op::GetArg, 2);
    appendInstruction(s.code, Op::Ret);
    s.constants = pool.take();
    s.constants.push_back(Constant{}); // a null entry, accepted by readers
    Constant b;
    b.kind = ConstantKind::Boolean;
    b.integer = 1;
    s.constants.push_back(b);
    Constant nan;
    nan.kind = ConstantKind::NaN;
    s.constants.push_back(nan);
    s.functions = {{".main", 0}, {"twice", second}};
    s.lines.sourceName = "rich.qls";
    s.lines.note(5, 1);
    s.lines.note(10, 2);
    s.lines.note(second + 2, 7);
    return s;
}

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(ImageRoundTrip, EverySectionSurvives) {
    SectionSet s = richSections();
    std::string error;
    std::optional<SectionSet> back = loadImage(writeImage(s), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, s);
    EXPECT_EQ(back->constants[0].integer, -1234567890123LL);
    EXPECT_EQ(back->constants[1].number, -0.25);
    EXPECT_EQ(back->constants[2].text, u"h\u00E9llo");
    EXPECT_EQ(back->constants[3].flags, kRegExpIgnoreCase);
    EXPECT_EQ(back->lines.lineAt(5), 1u);
    EXPECT_EQ(back->lines.lineAt(9), 1u);
    EXPECT_EQ(back->lines.lineAt(10), 2u);
    EXPECT_EQ(back->lines.lineAt(4), 0u);
}

TEST(ImageRoundTrip, ImageWithoutLineTable) {
    SectionSet s = richSections();
    s.lines = {};
    std::vector<uint8_t> image = writeImage(s);
    EXPECT_EQ(getLE(image, 4 + 3 * 12 + 8), 0u);
    std::optional<SectionSet> back = loadImage(image);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->lines.sourceName);
    EXPECT_TRUE(back->lines.records.empty());
}

TEST(ImageRoundTrip, FunctionRanges) {
    SectionSet s = richSections();
    EXPECT_EQ(s.functionEnd(0), s.functions[1].offset);
    EXPECT_EQ(s.functionEnd(1), s.code.size());
}

TEST(ImageReader, SectionRecordsInAnotherOrder) {
    SectionSet s = richSections();
    std::vector<uint8_t> image = writeImage(s);
    // Swap records 0 and 3, and 1 and 2: the bodies stay where they are.
    for (size_t i = 0; i < 12; ++i) {
        std::swap(image[4 + i], image[4 + 36 + i]);
        std::swap(image[4 + 12 + i], image[4 + 24 + i]);
    }
    std::optional<RawImage> raw = readImage(image);
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->sections.size(), 4u);
    EXPECT_EQ(raw->sections[0].number, 3);
    EXPECT_EQ(raw->sections[0].tag & 0xFF, 3u);
    EXPECT_EQ(raw->sections[3].offset, 56u);
    EXPECT_EQ(raw->sections[3].bytes, s.code);
    std::optional<SectionSet> back = decodeSections(*raw);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, s);
}

TEST(ImageReader, RecordListMayEndEarly) {
    // Only the code and function table announced: a missing pool is empty.
    SectionSet s;
    appendInstruction(s.code, Op::PushNull);
    s.functions = {{".main", 0}};
    std::vector<uint8_t> image = writeImage(s);
    // Move record 2 into slot 1 and end the list after it.
    for (size_t i = 0; i < 12; ++i)
        image[4 + 12 + i] = image[4 + 24 + i];
    putLE(image, 4 + 24, 0xFFFFFFFF);
    std::optional<SectionSet> back = loadImage(image);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->functions, s.functions);
    EXPECT_TRUE(back->constants.empty());
}

TEST(ImageReader, HashLineIsSkipped) {
    SectionSet s = richSections();
    std::vector<uint8_t> image = writeImage(s);
    std::vector<uint8_t> prefixed = bytesOf("#!/usr/bin/quill run\n");
    prefixed.insert(prefixed.end(), image.begin(), image.end());
    std::optional<SectionSet> back = loadImage(prefixed);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, s);
    EXPECT_TRUE(looksLikeImage(prefixed));
    EXPECT_EQ(skipHashLine(prefixed), 21u);
    // A '#' line without a newline leaves nothing to read.
    EXPECT_FALSE(readImage(bytesOf("#QS1b\xFF\xFF\xFF\xFF")));
    // Only the first line is skipped.
    std::vector<uint8_t> twice = bytesOf("#a\n#b\n");
    twice.insert(twice.end(), image.begin(), image.end());
    EXPECT_FALSE(readImage(twice));
}

TEST(ImageReader, RefusesMissingMagicAndShortData) {
    EXPECT_FALSE(readImage({}));
    EXPECT_FALSE(readImage(bytesOf("QS1b")));
    EXPECT_FALSE(readImage(bytesOf("QS1b\xFF\xFF\xFF")));  // fewer than 8 bytes
    EXPECT_FALSE(readImage(bytesOf("QS1a\xFF\xFF\xFF\xFF")));
    EXPECT_FALSE(readImage(bytesOf("var x = 1;\n")));
    // Eight bytes holding just the terminator: an empty, well-formed list.
    std::optional<RawImage> empty = readImage(bytesOf("QS1b\xFF\xFF\xFF\xFF"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->sections.empty());
}

TEST(ImageReader, RefusesTruncatedImages) {
    std::vector<uint8_t> image = writeImage(richSections());
    // Every proper prefix that cuts into the header or a body is refused.
    for (size_t n = 0; n < image.size(); ++n) {
        std::vector<uint8_t> cut(image.begin(), image.begin() + n);
        EXPECT_FALSE(readImage(cut)) << "prefix of " << n << " bytes";
    }
    EXPECT_TRUE(readImage(image));
}

TEST(ImageReader, RefusesSectionsBeyondTheData) {
    std::vector<uint8_t> image = writeImage(richSections());
    std::vector<uint8_t> bad = image;
    putLE(bad, 4 + 4, 0xFFFFFFF0); // offset far away
    EXPECT_FALSE(readImage(bad));
    bad = image;
    putLE(bad, 4 + 8, 0xFFFFFFFF); // size wrapping round
    EXPECT_FALSE(readImage(bad));
    bad = image;
    putLE(bad, 4 + 36 + 4, static_cast<uint32_t>(image.size()) + 1); // empty body past the end
    EXPECT_FALSE(readImage(bad));
}

TEST(ImageReader, RepeatedRecordsDoNotMultiplyMemory) {
    // A header that announces the same large section thousands of times.
    std::vector<uint8_t> image = bytesOf("QS1b");
    const size_t records = 4000;
    const uint32_t headerSize = static_cast<uint32_t>(4 + records * 12 + 4);
    image.resize(headerSize + 100000, 0x5D);
    for (size_t r = 0; r < records; ++r) {
        putLE(image, 4 + r * 12, 0);
        putLE(image, 4 + r * 12 + 4, headerSize);
        putLE(image, 4 + r * 12 + 8, 100000);
    }
    putLE(image, 4 + records * 12, 0xFFFFFFFF);
    std::optional<RawImage> raw = readImage(image);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->sections.size(), 1u);
}

TEST(ImageDecode, RefusesUnknownConstantKinds) {
    SectionSet s = richSections();
    std::vector<uint8_t> image = writeImage(s);
    uint32_t poolAt = getLE(image, 4 + 12 + 4);
    for (uint8_t kind : {0, 6, 7, 9, 12, 14, 255}) {
        std::vector<uint8_t> bad = image;
        bad[poolAt] = kind;
        std::string error;
        EXPECT_FALSE(loadImage(bad, &error)) << "kind " << int(kind);
        EXPECT_EQ(error, "Unimplemented Quill Script bytecode");
    }
}

TEST(ImageDecode, RefusesTruncatedRecords) {
    auto withSection = [](uint8_t number, std::vector<uint8_t> body) {
        RawImage raw;
        raw.sections.push_back({2, 2, 0, {0, 0, 0, 0}}); // an empty function table
        if (number == 2)
            raw.sections.clear();
        raw.sections.push_back({number, number, 0, std::move(body)});
        return decodeSections(raw);
    };
    // Constant pool entries cut short.
    EXPECT_FALSE(withSection(1, {3, 0, 0, 0, 0, 0, 0, 0}));      // integer, 7 of 8 bytes
    EXPECT_FALSE(withSection(1, {5, 0, 0, 0}));                  // number
    EXPECT_FALSE(withSection(1, {4, 0, 0, 0, 4, 'a', 0}));       // string shorter than its length
    EXPECT_FALSE(withSection(1, {4, 0xFF, 0xFF, 0xFF, 0xFF}));   // huge length
    EXPECT_FALSE(withSection(1, {10, 'a', 'b'}));                // identifier without its 0 byte
    EXPECT_FALSE(withSection(1, {11, 1, 0, 0}));                 // regular expression
    EXPECT_FALSE(withSection(1, {2}));                           // Boolean without its byte
    EXPECT_TRUE(withSection(1, {4, 0, 0, 0, 3, 'a', 0, 'b'}));   // odd length: last byte dropped
    EXPECT_EQ(withSection(1, {4, 0, 0, 0, 3, 'a', 0, 'b'})->constants[0].text, u"a");
    // Function table.
    EXPECT_FALSE(withSection(2, {}));                            // no count
    EXPECT_FALSE(withSection(2, {0, 0, 0, 1, '.', 'm', 0, 0, 0})); // offset cut short
    EXPECT_FALSE(withSection(2, {0, 0, 0, 2, 'a', 0, 0, 0, 0, 0})); // fewer entries than counted
    EXPECT_FALSE(withSection(2, {0xFF, 0xFF, 0xFF, 0xFF}));      // count far beyond the data
    // Line table.
    EXPECT_FALSE(withSection(3, {2, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_FALSE(withSection(3, {1, 0, 0, 0, 9, 'x'}));
    EXPECT_FALSE(withSection(3, {3}));                           // unknown tag
    EXPECT_FALSE(withSection(3, {0}));
    std::optional<SectionSet> ok = withSection(3, {1, 0, 0, 0, 1, 'x', 2, 0, 0, 0, 1, 0, 0, 0, 9});
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->lines.sourceName, "x");
    EXPECT_EQ(ok->lines.records, (std::vector<LineRecord>{{1, 9}}));
}

TEST(ImageDecode, RefusesFunctionOffsetsOutsideOrBackwards) {
    SectionSet s = richSections();
    s.functions[1].offset = static_cast<uint32_t>(s.code.size() + 1);
    EXPECT_FALSE(loadImage(writeImage(s)));
    s.functions[1].offset = static_cast<uint32_t>(s.code.size()); // empty last function
    EXPECT_TRUE(loadImage(writeImage(s)));
    s = richSections();
    std::swap(s.functions[0].offset, s.functions[1].offset);
    EXPECT_FALSE(loadImage(writeImage(s)));
}

class ImageFiles : public ::testing::Test {
protected:
    std::filesystem::path dir;
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("paloma_image_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::filesystem::path p = dir / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p;
    }
};

TEST_F(ImageFiles, WriteAndReadBack) {
    SectionSet s = richSections();
    std::vector<uint8_t> image = writeImage(s);
    std::filesystem::path p = dir / "out.qsc";
    ASSERT_TRUE(writeImageFile(p, image));
    EXPECT_EQ(std::filesystem::file_size(p), image.size());
    std::optional<RawImage> raw = readImageFile(p);
    ASSERT_TRUE(raw);
    EXPECT_EQ(decodeSections(*raw), s);

    // From an open file, with a '#' line in front.
    std::vector<uint8_t> prefixed = bytesOf("# compiled\r\n");
    prefixed.insert(prefixed.end(), image.begin(), image.end());
    std::FILE* f = std::fopen(write("hash.bin", prefixed).string().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::optional<RawImage> fromFile = readImageFile(f);
    std::fclose(f);
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(decodeSections(*fromFile), s);

    // Cut short: fewer bytes than announced.
    std::vector<uint8_t> cut(image.begin(), image.end() - 1);
    EXPECT_FALSE(readImageFile(write("cut.qsc", cut)));
    EXPECT_FALSE(readImageFile(dir / "missing.qsc"));
    EXPECT_FALSE(writeImageFile(dir / "no" / "such" / "dir.qsc", image));
}

TEST_F(ImageFiles, RecogniseByNameThenByMagic) {
    std::vector<uint8_t> image = writeImage(richSections());
    std::vector<uint8_t> source = bytesOf("var x = 1;\n");
    // By name, whatever the content.
    EXPECT_EQ(recogniseScriptFile(write("a.qsc", source)), ScriptFileKind::Image);
    EXPECT_EQ(recogniseScriptFile(write("b.QSC", source)), ScriptFileKind::Image);
    EXPECT_EQ(recogniseScriptFile(write("c.qls", image)), ScriptFileKind::Source);
    EXPECT_EQ(recogniseScriptFile(write("d.QlS", image)), ScriptFileKind::Source);
    // Otherwise by the magic after the optional '#' line.
    EXPECT_EQ(recogniseScriptFile(write("e.txt", image)), ScriptFileKind::Image);
    EXPECT_EQ(recogniseScriptFile(write("f", source)), ScriptFileKind::Source);
    std::vector<uint8_t> prefixed = bytesOf("#!quill\n");
    prefixed.insert(prefixed.end(), image.begin(), image.end());
    EXPECT_EQ(recogniseScriptFile(write("g.js", prefixed)), ScriptFileKind::Image);
    EXPECT_EQ(recogniseScriptFile(write("h.js", bytesOf("#!quill\nQS1"))), ScriptFileKind::Source);
    EXPECT_EQ(recogniseScriptFile(write("i.js", {})), ScriptFileKind::Source);
    EXPECT_EQ(recogniseScriptFile(dir / "absent.js"), ScriptFileKind::Source);
}

} // namespace
} // namespace quill
