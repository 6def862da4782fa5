// The emitter: the worked example byte for byte, shared constants, jump
// displacements, the function table and the line table; operand limits.
#include "CompilerTestSupport.h"

#include "script/compiler/CodeGen.h"
#include "script/image/ImageCode.h"

using namespace quilltest;
using Lines = std::vector<std::string>;

namespace {
uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
int32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<int32_t>(static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}
} // namespace

TEST(Emitter, WorkedExampleIsOneHundredBytes) {
    quill::CompileResult r = quill::compileScript("getAdditionalFile(); return true;");
    ASSERT_TRUE(r.ok) << r.messages;
    std::vector<uint8_t> image = quill::writeImage(r.sections, 7);
    ASSERT_EQ(image.size(), 100u);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "QS1b");
    const uint32_t records[4][2] = {{56, 11}, {67, 19}, {86, 14}, {100, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(le32(image, 4 + 12 * i) & 0xFF, static_cast<uint32_t>(i));
        EXPECT_EQ(le32(image, 8 + 12 * i), records[i][0]);
        EXPECT_EQ(le32(image, 12 + 12 * i), records[i][1]);
    }
    EXPECT_EQ(le32(image, 52), 0xFFFFFFFFu);
    const std::vector<uint8_t> code{0x5D, 0x58, 0, 0, 0, 0, 0x34, 0x66, 0x03, 0x60, 0x33};
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 56, image.begin() + 67), code);
    std::string pool = "\x0A" "getAdditionalFile";
    pool += '\0';
    EXPECT_EQ(std::string(image.begin() + 67, image.begin() + 86), pool);
    std::string table("\0\0\0\x01.main\0\0\0\0\0", 14);
    EXPECT_EQ(std::string(image.begin() + 86, image.begin() + 100), table);
}

TEST(Emitter, EqualConstantsShareOneEntryInOrderOfFirstUse) {
    quill::CompileResult r =
        quill::compileScript("a = 'x'; b = 'x'; c = 5; d = 5; e = 2.5; f = 2.5; g = /p/g; h = /p/g; i = /p/; a;");
    ASSERT_TRUE(r.ok) << r.messages;
    const std::vector<quill::Constant>& k = r.sections.constants;
    // 'x', a, b, 5, c, d, 2.5, e, f, /p/g, g, h, /p/, i
    ASSERT_EQ(k.size(), 14u);
    EXPECT_EQ(k[0], quill::Constant::makeString(u"x"));
    EXPECT_EQ(k[1], quill::Constant::makeIdentifier("a"));
    EXPECT_EQ(k[3], quill::Constant::makeInteger(5));
    EXPECT_EQ(k[6], quill::Constant::makeNumber(2.5));
    EXPECT_EQ(k[9], quill::Constant::makeRegExp(u"p", quill::kRegExpGlobal));
    EXPECT_EQ(k[12], quill::Constant::makeRegExp(u"p", 0));
    // An identifier and a string of the same text are different kinds.
    r = quill::compileScript("a = 'a';");
    EXPECT_EQ(r.sections.constants.size(), 2u);
}

TEST(Emitter, JumpsAreRelativeToTheEndOfTheInstruction) {
    quill::CompileResult r = quill::compileScript("while (x) f();");
    ASSERT_TRUE(r.ok);
    const std::vector<uint8_t>& c = r.sections.code;
    // getglobal x (5), jfalse +?, push0, getglobal f, call, popn 3, jmp back
    ASSERT_EQ(c[5], static_cast<uint8_t>(quill::Op::JFalse));
    int32_t forward = be32(c, 6);
    size_t jmp = c.size() - 1 - 5; // before the final pushundef
    ASSERT_EQ(c[jmp], static_cast<uint8_t>(quill::Op::Jmp));
    EXPECT_EQ(static_cast<size_t>(10 + forward), jmp + 5); // past the loop
    EXPECT_EQ(static_cast<int64_t>(jmp + 5) + be32(c, jmp + 1), 0); // back to the test
}

TEST(Emitter, FunctionTableAndDecodableCode) {
    quill::CompileResult r = quill::compileScript("function f(a) { return a; }\nx = function () {};\nf(1);");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.sections.functions.size(), 3u);
    EXPECT_EQ(r.sections.functions[0].name, "f");
    EXPECT_EQ(r.sections.functions[0].offset, 0u);
    EXPECT_EQ(r.sections.functions[1].name, "@F_0");
    EXPECT_EQ(r.sections.functions[2].name, ".main");
    // The image reads back to the same sections.
    std::vector<uint8_t> image = quill::writeImage(r.sections, 1);
    std::string error;
    std::optional<quill::SectionSet> back = quill::loadImage(image, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, r.sections);
}

TEST(Emitter, LineTableWhenAsked) {
    quill::CompileOptions options;
    options.flags = quill::kCompileLineTable;
    quill::CompileResult r = quill::compileScript("x = 1;\n\ny = 2;\nz = 3; w = 4;", options);
    ASSERT_TRUE(r.ok);
    ASSERT_TRUE(r.sections.lines.sourceName);
    EXPECT_EQ(*r.sections.lines.sourceName, "string");
    // push1 setglobal x (6 bytes) line 1; push2 setglobal y line 3; push3.. line 4
    EXPECT_EQ(r.sections.lines.lineAt(1), 1u);
    EXPECT_EQ(r.sections.lines.lineAt(6), 1u);
    EXPECT_EQ(r.sections.lines.lineAt(7), 3u);
    EXPECT_EQ(r.sections.lines.lineAt(12), 3u);
    EXPECT_EQ(r.sections.lines.lineAt(13), 4u);
    ASSERT_EQ(r.sections.lines.records.size(), 3u);
    options.sourceName = "demo.qls";
    EXPECT_EQ(*quill::compileScript("x;", options).sections.lines.sourceName, "demo.qls");
    EXPECT_TRUE(quill::compileScript("x = 1;\ny = 2;").sections.lines.empty());
}

TEST(Emitter, Utf16SourceIsConvertedFirst) {
    quill::CompileResult r = quill::compileScript(std::u16string(u"s = '\u00e9';"));
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.sections.constants[0], quill::Constant::makeString(u"\u00e9"));
}

TEST(OperandLimits, ParametersAtTheOneByteLimit) {
    auto params = [](int n) {
        std::string s = "function f(";
        for (int i = 0; i < n; ++i)
            s += (i ? ",p" : "p") + std::to_string(i);
        return s + ") { return p" + std::to_string(n - 1) + "; }";
    };
    Lines f = code(params(quill::kMaxParameters), "f");
    EXPECT_EQ(f[2], "args 255");
    EXPECT_EQ(f[3], "getarg 254");
    EXPECT_EQ(errorOf(params(quill::kMaxParameters + 1)), "error: line 1: too many formal parameters\r\n");
}

TEST(OperandLimits, LongArgumentListsSplitTheirSlide) {
    std::string call = "f(";
    for (int i = 0; i < 300; ++i)
        call += i ? ",1" : "1";
    call += ");";
    Lines c = statements(call);
    EXPECT_EQ(find(c, "pushint 300"), 300);
    // slide 302 = slide 255 then popn 48 (47 + the statement's pop).
    EXPECT_EQ(c[c.size() - 2], "slide 255");
    EXPECT_EQ(c.back(), "popn 48");
    int depth = -1;
    ASSERT_TRUE(fallOffDepth(code(call + " x;"), depth));
    EXPECT_EQ(depth, 1);
    // At the byte limit: slide 254 + pop is popn 255; slide 255 + pop stays.
    std::string a253 = "f(";
    for (int i = 0; i < 251; ++i)
        a253 += i ? ",1" : "1";
    EXPECT_EQ(statements(a253 + ",1);").back(), "popn 255");
    Lines top = statements(a253 + ",1,1);");
    EXPECT_EQ(top.back(), "pop");
    EXPECT_EQ(top[top.size() - 2], "slide 255");
}

TEST(OperandLimits, LocalSlotsUpToSixteenBits) {
    std::string s = "function f() {";
    for (int i = 0; i < quill::kMaxLocals; ++i)
        s += " var v" + std::to_string(i) + ";";
    quill::InstructionResult r = quill::compileInstructions(s + " v65534 = 1; f(v65534); }");
    ASSERT_TRUE(r.ok) << r.messages;
    Lines f = functionLines(r.list, "f");
    EXPECT_EQ(f[3], "locals 65535");
    EXPECT_GE(find(f, "setlocal 65534"), 0);
    EXPECT_EQ(quill::compileScript(s + " var over; }").messages, "error: line 1: too many local variables\r\n");
}

TEST(CompileFile, ReadsTheFileAndNamesTheLineTable) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "quill_compile_file_test";
    std::filesystem::create_directories(dir);
    std::filesystem::path file = dir / "demo.qls";
    {
        std::FILE* f = std::fopen(file.string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("#!quill\r\nx = 1;\r\ny = x;\r\n", f);
        std::fclose(f);
    }
    quill::CompileOptions options;
    options.flags = quill::kCompileLineTable;
    quill::CompileResult r = quill::compileFile(file, options);
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(*r.sections.lines.sourceName, file.string());
    EXPECT_EQ(r.sections.lines.lineAt(static_cast<uint32_t>(r.sections.code.size())), 3u);
    std::filesystem::remove_all(dir);

    quill::CompileResult missing = quill::compileFile(dir / "none.qls");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.messages, "can't open the script file: " + (dir / "none.qls").string() + "\n");
}
