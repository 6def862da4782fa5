// Loading section sets: constants, function binding, reuse of an image's
// constants, line tables and refusal of bad code.
#include "tests/script/vm/VmFixture.h"

namespace quill::test {
namespace {

using LoaderTest = VmTest;

TEST_F(LoaderTest, RunningAnImageAgainReusesItsConstants) {
    LoadedImage image(assemble("pushconst s:hello\npushconst i:7\nadd\nend"));
    ASSERT_TRUE(runImage(*engine, image));
    EXPECT_EQ(text(result()), "hello7");
    size_t poolSize = engine->constants.size();
    ASSERT_TRUE(runImage(*engine, image));
    EXPECT_EQ(text(result()), "hello7");
    EXPECT_EQ(engine->constants.size(), poolSize);
    // A fresh copy of the same sections appends its own.
    ASSERT_TRUE(runImage(*engine, image.sections()));
    EXPECT_GT(engine->constants.size(), poolSize);
}

TEST_F(LoaderTest, DeclaredFunctionsReplaceWhateverTheGlobalHeld) {
    ASSERT_TRUE(global("Boolean").isNative());
    ASSERT_TRUE(run("function Boolean\npushconst s:mine\nret\nfunction .main\npush0\ngetglobal Boolean\ncall\nslide 2\nend"));
    EXPECT_EQ(text(result()), "mine");
    EXPECT_TRUE(global("Boolean").isFunction());
}

TEST_F(LoaderTest, AnImageWithoutMainOnlyBindsItsFunctions) {
    SectionSet s = assemble("function lonely\npush1\nret");
    ASSERT_TRUE(runImage(*engine, s));
    EXPECT_TRUE(result().isUndefined());
    EXPECT_TRUE(global("lonely").isFunction());
}

TEST_F(LoaderTest, NativeCodeSeesTheLineOfTheCallingInstruction) {
    struct Probe {
        static void call(Engine& engine, NativeClass*, void*, Value& result, ArgList) {
            std::string name;
            uint32_t line = 0;
            bool has = currentSourceLine(engine, name, line);
            result = newStringFromAnsi(engine, has ? name + ":" + std::to_string(line) : "none");
        }
    };
    defineGlobalFunction(*engine, "probe", Probe::call);
    SectionSet p = assemble("push0\ngetglobal probe\ncall\nslide 2\nend");
    p.lines.sourceName = "probe.qls";
    p.lines.records = {{1, 1}, {6, 2}, {7, 3}};
    ASSERT_TRUE(runImage(*engine, p));
    EXPECT_EQ(text(result()), "probe.qls:3");
    EXPECT_EQ(currentFunctionName(*engine), ".main");
}

TEST_F(LoaderTest, RegularExpressionConstantsLoadThroughTheRegExpClass) {
    SectionSet s = assemble("pushconst 0\nend");
    s.constants = {Constant::makeRegExp(u"a+b", kRegExpGlobal)};
    ASSERT_TRUE(runImage(*engine, s));
    EXPECT_TRUE(result().isNative());
    EXPECT_EQ(text(result()), "/a+b/g");
    // Without the hook the RegExp class sets, the pattern loads as a String.
    vmState(*engine).regExpConstant = nullptr;
    ASSERT_TRUE(runImage(*engine, s));
    EXPECT_EQ(text(result()), "a+b");
}

TEST_F(LoaderTest, NumberConstantsThatAreNotNumbersBecomeTheNaNKind) {
    SectionSet s = assemble("pushconst f:nan\nend");
    ASSERT_TRUE(runImage(*engine, s));
    EXPECT_EQ(result().kind, Kind::NaN);
}

TEST_F(LoaderTest, CheckImageMatchesWhatTheLoaderRefuses) {
    EXPECT_TRUE(checkImage(assemble("push1\nend")));
    // ret and end take a value only when there is one.
    EXPECT_TRUE(checkImage(assemble("ret")));
    EXPECT_TRUE(checkImage(assemble("end")));
    std::string error;
    EXPECT_FALSE(checkImage(assemble("top:\npush1\njmp top"), &error));
    EXPECT_EQ(error, "Unimplemented Quill Script bytecode");
}

} // namespace
} // namespace quill::test
