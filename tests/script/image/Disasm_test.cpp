// Listings and disassembly: operands decoded against the pool, jump labels,
// source lines, and images that fail verification.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "script/image/Disasm.h"

namespace quill {
namespace {

// if (x) s = "a\"b"; else f(/re/gi, 1.5, -3); with line data, plus a function.
SectionSet sample() {
    SectionSet s;
    ConstantPool pool;
    auto op = [&s](Op o, int64_t v = 0) { appendInstruction(s.code, o, v); };
    s.lines.sourceName = "sample.qls";
    uint32_t x = pool.identifier("x");
    uint32_t text = pool.string("a\"b");
    uint32_t name = pool.identifier("s");

    op(Op::GetGlobal, x);                          // 0..5
    s.lines.note(5, 1);
    op(Op::JFalse, 15);                            // 5..10 -> 25
    op(Op::PushConst, text);                       // 10..15
    op(Op::SetGlobal, name);                        // 15..20
    s.lines.note(20, 2);
    op(Op::Jmp, 33);                               // 20..25 -> 58
    op(Op::PushInt, -3);                           // 25..30
    s.lines.note(30, 4);
    op(Op::PushConst, pool.number(1.5));           // 30..35
    op(Op::PushConst, pool.regExp("re", kRegExpGlobal | kRegExpIgnoreCase)); // 35..40
    op(Op::Push3);                                 // 40..41
    op(Op::GetGlobal, pool.identifier("f"));       // 41..46
    op(Op::Call);                                  // 46..47
    op(Op::Slide, 5);                              // 47..49
    op(Op::Pop);                                   // 49..50
    op(Op::PushConst, pool.integer(1234567));      // 50..55
    op(Op::Pop);                                   // 55..56
    op(Op::PushUndef);                             // 56..57
    op(Op::Ret);                                   // 57..58
    uint32_t second = static_cast<uint32_t>(s.code.size());
    op(Op::GetArg, 2);
    s.lines.note(second + 2, 9);
    op(Op::Ret);
    s.constants = pool.take();
    s.functions = {{".main", 0}, {"@F_0", second}};
    return s;
}

TEST(Disasm, ConstantsAsText) {
    EXPECT_EQ(formatConstant(Constant::makeInteger(-42)), "-42");
    EXPECT_EQ(formatConstant(Constant::makeNumber(1.5)), "1.5");
    EXPECT_EQ(formatConstant(Constant::makeNumber(2)), "2.0");
    EXPECT_EQ(formatConstant(Constant::makeNumber(1e300)), "1e+300");
    EXPECT_EQ(formatConstant(Constant::makeNumber(-1.0 / 0.0)), "-Infinity");
    EXPECT_EQ(formatConstant(Constant::makeString(u"a\"b\n\u00E9\x01")), "\"a\\\"b\\n\xC3\xA9\\x01\"");
    EXPECT_EQ(formatConstant(Constant::makeRegExp(u"a/b", kRegExpMultiline | kRegExpGlobal)),
              "/a/b/gm");
    EXPECT_EQ(formatConstant(Constant::makeIdentifier("caf\xE9")), "caf\xC3\xA9");
}

TEST(Disasm, ListingShowsOperandsLabelsAndLines) {
    SectionSet s = sample();
    ASSERT_TRUE(verifyCode(s));
    std::string listing = formatListing(s);
    EXPECT_EQ(listing.rfind("; -*- asm -*-\r\n", 0), 0u);
    EXPECT_NE(listing.find("; source: sample.qls\r\n"), std::string::npos);
    EXPECT_NE(listing.find(".main:  ; offset 0, 58 bytes\r\n"), std::string::npos);
    EXPECT_NE(listing.find("@F_0:  ; offset 58, 3 bytes\r\n"), std::string::npos);
    // Jumps name their targets, and the targets carry labels.
    EXPECT_NE(listing.find("0005  jfalse     L0019"), std::string::npos);
    EXPECT_NE(listing.find("0014  jmp        L003a"), std::string::npos);
    EXPECT_NE(listing.find("L0019:\r\n  0019  pushint    -3"), std::string::npos);
    EXPECT_NE(listing.find("L003a:\r\n"), std::string::npos) << "label of the function's end";
    // Names and constants are decoded.
    EXPECT_NE(listing.find("0000  getglobal  x"), std::string::npos);
    EXPECT_NE(listing.find("000a  pushconst  \"a\\\"b\""), std::string::npos);
    EXPECT_NE(listing.find("pushconst  /re/gi"), std::string::npos);
    EXPECT_NE(listing.find("pushconst  1234567"), std::string::npos);
    EXPECT_NE(listing.find("slide      5"), std::string::npos);
    EXPECT_NE(listing.find("getarg     2"), std::string::npos);
    // Source lines where they change, and only there.
    EXPECT_NE(listing.find("; line 1\r\n"), std::string::npos);
    EXPECT_NE(listing.find("; line 2\r\n"), std::string::npos);
    EXPECT_NE(listing.find("; line 4\r\n"), std::string::npos);
    EXPECT_NE(listing.find("; line 9\r\n"), std::string::npos);
    size_t count = 0;
    for (size_t at = listing.find("; line"); at != std::string::npos; at = listing.find("; line", at + 1))
        ++count;
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(listing.find("\n\n"), std::string::npos) << "every line ends in CR LF";
}

TEST(Disasm, ListingWithoutLineData) {
    SectionSet s = sample();
    s.lines = {};
    std::string listing = formatListing(s);
    EXPECT_EQ(listing.find("; line"), std::string::npos);
    EXPECT_EQ(listing.find("; source"), std::string::npos);
}

TEST(Disasm, DumpShowsEverySection) {
    SectionSet s = sample();
    std::vector<uint8_t> image = writeImage(s, 3);
    std::optional<RawImage> raw = readImage(image);
    ASSERT_TRUE(raw);
    bool ok = false;
    std::string text = disassemble(*raw, s, &ok);
    EXPECT_TRUE(ok);
    EXPECT_NE(text.find("  0 code       tag "), std::string::npos);
    EXPECT_NE(text.find("offset 56  size 61"), std::string::npos);
    EXPECT_NE(text.find("  3 lines      tag "), std::string::npos);
    EXPECT_NE(text.find("constants: 7\n"), std::string::npos);
    EXPECT_NE(text.find("  #0     identifier x\n"), std::string::npos);
    EXPECT_NE(text.find("  #1     string     \"a\\\"b\"\n"), std::string::npos);
    EXPECT_NE(text.find("  #3     number     1.5\n"), std::string::npos);
    EXPECT_NE(text.find("  #4     regexp     /re/gi\n"), std::string::npos);
    EXPECT_NE(text.find("functions: 2\n"), std::string::npos);
    EXPECT_NE(text.find("  @F_0                     offset 58  size 3\n"), std::string::npos);
    EXPECT_NE(text.find("source: sample.qls  (4 line records)\n"), std::string::npos);
    EXPECT_NE(text.find("  0039  ret"), std::string::npos);
}

TEST(Disasm, BrokenFunctionsAreShownWithTheLoadersMessage) {
    SectionSet s = sample();
    // Point the first jump into the middle of an instruction.
    s.code[9] = 16; // jfalse displacement 16 -> 26, inside pushint's operand
    bool ok = true;
    std::optional<RawImage> raw = readImage(writeImage(s));
    ASSERT_TRUE(raw);
    std::string text = disassemble(*raw, s, &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(text.find("  ; Unimplemented Quill Script bytecode\n"), std::string::npos);
    EXPECT_NE(text.find("jfalse     L001a"), std::string::npos);

    // Out-of-pool operands and a cut-short operand.
    SectionSet t;
    t.code = {88, 0, 0, 0, 9, 89, 0, 0};
    t.functions = {{".main", 0}};
    std::string f = formatFunction(t, 0);
    EXPECT_NE(f.find("getglobal  #9 (outside the pool)"), std::string::npos);
    EXPECT_NE(f.find("(operand cut short)"), std::string::npos);
}

TEST(Disasm, SeedImagesOfTheFuzzCorpus) {
    // The hand-made seed images are valid: they load, verify and disassemble.
    for (const char* name : {"get-additional-file.qsc", "hash-line.qsc", "rich.qsc"}) {
        std::ifstream in(std::string(PALOMA_TEST_DATA) + "/../../../fuzz/corpus/Image/" + name,
                         std::ios::binary);
        ASSERT_TRUE(in) << name;
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string error;
        std::optional<SectionSet> s = loadImage(bytes, &error);
        ASSERT_TRUE(s) << name << ": " << error;
        EXPECT_TRUE(verifyCode(*s, &error)) << name << ": " << error;
        EXPECT_EQ(s->functions[0].name, ".main");
    }
}

} // namespace
} // namespace quill
