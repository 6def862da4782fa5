// Images produced by the compiler: a small script from source, and the
// verifier accepting everything the code generator emits.
#include <gtest/gtest.h>

#include "script/compiler/Compiler.h"
#include "script/image/Disasm.h"
#include "script/image/ImageCode.h"

namespace quill {
namespace {

std::vector<uint8_t> withoutTagNoise(std::vector<uint8_t> image) {
    for (size_t record = 0; record < 4; ++record)
        for (size_t i = 1; i < 4; ++i)
            image[4 + record * 12 + i] = 0;
    return image;
}

TEST(CompiledImage, SmallScriptFromSource) {
    CompileResult r = compileScript("getAdditionalFile(); return true;");
    ASSERT_TRUE(r.ok) << r.messages;
    std::vector<uint8_t> image = withoutTagNoise(writeImage(r.sections));
    std::vector<uint8_t> expected = {'Q', 'S', '1', 'b'};
    const uint32_t records[4][3] = {{0, 56, 11}, {1, 67, 19}, {2, 86, 14}, {3, 100, 0}};
    for (const auto& rec : records)
        for (uint32_t v : rec)
            for (int i = 0; i < 4; ++i)
                expected.push_back(static_cast<uint8_t>(v >> (8 * i)));
    for (int i = 0; i < 4; ++i)
        expected.push_back(0xFF);
    const uint8_t code[] = {0x5D, 0x58, 0, 0, 0, 0, 0x34, 0x66, 0x03, 0x60, 0x33};
    expected.insert(expected.end(), std::begin(code), std::end(code));
    expected.push_back(0x0A);
    for (char c : std::string("getAdditionalFile"))
        expected.push_back(static_cast<uint8_t>(c));
    expected.push_back(0);
    const uint8_t table[] = {0, 0, 0, 1, '.', 'm', 'a', 'i', 'n', 0, 0, 0, 0, 0};
    expected.insert(expected.end(), std::begin(table), std::end(table));
    EXPECT_EQ(image, expected);
}

TEST(CompiledImage, LineTableFromSource) {
    CompileOptions options;
    options.flags = kCompileLineTable;
    options.sourceName = "lines.qls";
    CompileResult r = compileScript("var a = 1;\n\nvar b = a + 2;\nb;\n", options);
    ASSERT_TRUE(r.ok) << r.messages;
    std::optional<SectionSet> s = loadImage(writeImage(r.sections));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->lines.sourceName, "lines.qls");
    ASSERT_FALSE(s->lines.records.empty());
    // Records ascend in offset and name lines of the source.
    uint32_t previous = 0;
    for (const LineRecord& rec : s->lines.records) {
        EXPECT_GE(rec.offset, previous);
        EXPECT_TRUE(rec.line == 1 || rec.line == 3 || rec.line == 4) << rec.line;
        previous = rec.offset;
    }
    EXPECT_EQ(s->lines.lineAt(static_cast<uint32_t>(s->code.size())), 4u);
    std::string listing = formatListing(*s);
    EXPECT_NE(listing.find("; line 3"), std::string::npos);

    // Without the option there is no line table at all.
    CompileResult plain = compileScript("var a = 1;\n");
    ASSERT_TRUE(plain.ok);
    EXPECT_TRUE(plain.sections.lines.empty());
}

TEST(CompiledImage, SharedConstantsFromSource) {
    CompileResult r = compileScript("var s = 'abc'; var t = 'abc'; s = 1000; t = 1000; s.length + t.length;");
    ASSERT_TRUE(r.ok) << r.messages;
    int strings = 0, integers = 0, lengths = 0;
    for (const Constant& c : r.sections.constants) {
        strings += c.kind == ConstantKind::String && c.text == u"abc";
        integers += c.kind == ConstantKind::Integer && c.integer == 1000;
        lengths += c.kind == ConstantKind::Identifier && c.name == "length";
    }
    EXPECT_EQ(strings, 1);
    EXPECT_EQ(integers, 1);
    EXPECT_EQ(lengths, 1);
}

// Scripts covering every kind of statement and expression: whatever the code
// generator and optimiser emit must pass the loader's verification, and
// survive writing and reading.
const char* const kScripts[] = {
    "var x = 1; if (x > 0) x = 2; else x = 3; x;",
    "for (var i = 0; i < 10; i++) { if (i == 5) break; if (i & 1) continue; }",
    "var o = {a: 1, 'b': 2, 3: /x+/gi}; for (var k in o) { o[k] = k; } delete o.a; delete o['b'];",
    "outer: while (true) { do { break outer; } while (false); }",
    "switch (3) { case 1: 'one'; break; case 3: 'three'; default: 'other'; }",
    "try { throw 'e'; } catch (e if e == 'x') { 1; } catch (e) { 2; } finally { 3; }",
    "function f(a, b) { function g() { return a; } return g() + b; } f(1, 2);",
    "var h; h = function(x) { return x * 2.5; }; h(4) - -h(1) % 3 / 2;",
    "with (Math) { var r = max(1, 2) + PI; }",
    "var a = [1, , 3]; a.length >>> 1 << 2 >> 1 ^ ~a[0] | a[2];",
    "var s = typeof x; var t = x === undefined ? null : !x; s !== t && s != t || s;",
    "var n = 0; n += 1; n -= 2; n *= 3; n /= 4; n %= 5; n <<= 1; n >>= 1; n >>>= 1; n &= 7; n |= 8; n ^= 9;",
    "var o = new Object(); o.p = 1; o.p++; --o.p; o['q'] = o.p--; ++o['q'];",
    "for (;;) { try { break; } finally { 1; } }",
    "function fact(n) { return n <= 1 ? 1 : n * fact(n - 1); } fact(10);",
    "var x = 1e300 * 1e300, y = 0x7fffffffffff, z = 'caf\\xe9'; x + y + z;",
    "lbl: for (var i in [1,2]) { for (var j in [3,4]) { continue lbl; } }",
    "var k; k = function() { var a = 1; { var b = 2; } return a + b; }; k();",
};

TEST(CompiledImage, EverythingTheCompilerEmitsVerifies) {
    for (const char* script : kScripts) {
        for (uint32_t flags : {0u, kCompileLineTable}) {
            CompileOptions options;
            options.flags = flags;
            CompileResult r = compileScript(script, options);
            ASSERT_TRUE(r.ok) << script << "\n" << r.messages;
            std::string error;
            EXPECT_TRUE(verifyCode(r.sections, &error)) << script << "\n"
                                                        << formatListing(r.sections);
            std::optional<SectionSet> back = loadImage(writeImage(r.sections), &error);
            ASSERT_TRUE(back) << script << ": " << error;
            EXPECT_EQ(*back, r.sections) << script;
            int mains = 0;
            for (const FunctionEntry& f : back->functions)
                mains += f.name == kMainFunctionName;
            EXPECT_EQ(mains, 1) << script;
        }
    }
}

TEST(CompiledImage, FailedCompilationGivesNoSections) {
    CompileResult r = compileScript("var = ;");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.messages.rfind("error: line 1: ", 0), 0u) << r.messages;
}

} // namespace
} // namespace quill
