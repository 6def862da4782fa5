// The interpreter's instructions: arithmetic, comparison, jumps, variables,
// with-scopes, properties and elements, as run from assembled images.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/script/vm/VmFixture.h"

namespace quill::test {
namespace {

using InterpreterTest = VmTest;

TEST_F(InterpreterTest, IntegerAndFloatArithmetic) {
    ASSERT_TRUE(run("push2\npush3\nmul\nend"));
    EXPECT_EQ(result().kind, Kind::Integer);
    EXPECT_EQ(result().asInteger(), 6);

    ASSERT_TRUE(run("pushconst i:7\npush2\ndiv\nend"));
    EXPECT_EQ(result().kind, Kind::Float);
    EXPECT_DOUBLE_EQ(result().asFloat(), 3.5);

    ASSERT_TRUE(run("pushconst i:6\npush2\ndiv\nend"));
    EXPECT_EQ(result().kind, Kind::Float);
    EXPECT_DOUBLE_EQ(result().asFloat(), 3.0);

    ASSERT_TRUE(run("pushconst i:7\npush2\nmod\nend"));
    EXPECT_EQ(result().kind, Kind::Integer);
    EXPECT_EQ(result().asInteger(), 1);

    ASSERT_TRUE(run("pushconst i:-7\npush2\nmod\nend"));
    EXPECT_EQ(result().asInteger(), -1);

    // 64-bit wrapping, and the one remainder the hardware cannot divide.
    ASSERT_TRUE(run("pushconst i:9223372036854775807\npush1\nadd\nend"));
    EXPECT_EQ(result().asInteger(), std::numeric_limits<int64_t>::min());
    ASSERT_TRUE(run("pushconst i:-9223372036854775807\npush1\nsub\npushconst i:-1\nmod\nend"));
    EXPECT_EQ(result().kind, Kind::Integer);
    EXPECT_EQ(result().asInteger(), 0);
}

TEST_F(InterpreterTest, NonNumbersAreTheNaNKind) {
    // infinity - infinity
    ASSERT_TRUE(run("pushconst f:inf\npushconst f:inf\nsub\nend"));
    EXPECT_EQ(result().kind, Kind::NaN);
    ASSERT_TRUE(run("pushconst f:inf\npush0\nmul\nend"));
    EXPECT_EQ(result().kind, Kind::NaN);
    ASSERT_TRUE(run("push0\npush0\ndiv\nend"));
    EXPECT_EQ(result().kind, Kind::NaN);
    ASSERT_TRUE(run("push1\npush0\nmod\nend"));
    EXPECT_EQ(result().kind, Kind::NaN);
    ASSERT_TRUE(run("pushundef\npush1\nadd\nend"));
    EXPECT_EQ(result().kind, Kind::NaN);
    // An infinite dividend divided by zero keeps its infinity.
    ASSERT_TRUE(run("pushconst f:-inf\npush0\ndiv\nend"));
    EXPECT_EQ(result().kind, Kind::Float);
    EXPECT_TRUE(std::isinf(result().asFloat()) && result().asFloat() < 0);
    ASSERT_TRUE(run("push1\npush0\ndiv\nend"));
    EXPECT_TRUE(std::isinf(result().asFloat()) && result().asFloat() > 0);
}

TEST_F(InterpreterTest, StringConcatenationAndShifts) {
    ASSERT_TRUE(run("pushconst s:ab\npushconst i:12\nadd\nend"));
    EXPECT_EQ(text(result()), "ab12");
    ASSERT_TRUE(run("push1\npushconst i:70\nshl\nend"));
    EXPECT_EQ(result().asInteger(), 0);
    ASSERT_TRUE(run("pushconst i:-8\npushconst i:200\nshr\nend"));
    EXPECT_EQ(result().asInteger(), -1);
    ASSERT_TRUE(run("pushconst i:-8\npush1\nushr\nend"));
    EXPECT_EQ(result().asInteger(), int64_t(uint64_t(-8) >> 1));
    // Only the low 8 bits of the count are used: 257 shifts by 1.
    ASSERT_TRUE(run("push1\npushconst i:257\nshl\nend"));
    EXPECT_EQ(result().asInteger(), 2);
}

TEST_F(InterpreterTest, ComparisonWithNaNYieldsUndefinedWhichJumpsAsFalse) {
    ASSERT_TRUE(run("push1\ngetglobal NaN\nlt\nend"));
    EXPECT_EQ(result().kind, Kind::Undefined);
    // jt on that Undefined does not jump, jf does.
    ASSERT_TRUE(run("push1\ngetglobal NaN\nlt\njt yes\npushconst s:no\nend\nyes:\npushconst s:yes\nend"));
    EXPECT_EQ(text(result()), "no");
    ASSERT_TRUE(run("push1\ngetglobal NaN\nge\njf no\npushconst s:yes\nend\nno:\npushconst s:no\nend"));
    EXPECT_EQ(text(result()), "no");
    ASSERT_TRUE(run("pushconst s:abc\npushconst s:abd\nlt\nend"));
    EXPECT_TRUE(result().isBoolean() && result().asBoolean());
    ASSERT_TRUE(run("pushconst s:10\npushconst i:9\ngt\nend"));
    EXPECT_TRUE(result().asBoolean());
}

TEST_F(InterpreterTest, EqualityLooseAndStrict) {
    global("a") = newArray(*engine);
    global("b") = newArray(*engine);
    auto check = [&](const char* code, bool expected) {
        ASSERT_TRUE(run(code)) << code;
        ASSERT_TRUE(result().isBoolean()) << code;
        EXPECT_EQ(result().asBoolean(), expected) << code;
    };
    check("getglobal a\ngetglobal b\neq\nend", true);
    check("getglobal a\ngetglobal b\nstricteq\nend", false);
    check("getglobal a\ngetglobal a\nstricteq\nend", true);
    check("getglobal NaN\ngetglobal NaN\neq\nend", false);
    check("pushnull\npushundef\neq\nend", true);
    check("pushnull\npushundef\nstricteq\nend", false);
    check("pushconst s:1\npush1\neq\nend", true);
    check("pushconst s:1\npush1\nstricteq\nend", false);
    check("push1\npushconst f:1\nstricteq\nend", true);
    check("pushtrue\npush1\neq\nend", true);
    check("pushconst s:ab\npushconst s:ab\nstrictne\nend", false);
    check("pushnull\npush0\neq\nend", false);
}

TEST_F(InterpreterTest, WithScopesAreSearchedOutermostFirst) {
    // with (a) with (b) x; both have x: a's wins.
    ASSERT_TRUE(run(R"(
        push0
        getglobal Object
        new
        swap
        slide 2
        dup
        pushconst s:outer
        swap
        setprop x
        with
        push0
        getglobal Object
        new
        swap
        slide 2
        dup
        pushconst s:inner
        swap
        setprop x
        with
        getvar x
        end)"));
    EXPECT_EQ(text(result()), "outer");
}

TEST_F(InterpreterTest, SetVarUpdatesOnlyExistingScopeProperties) {
    ASSERT_TRUE(run(R"(
        push0
        getglobal Object
        new
        swap
        slide 2
        dup
        setglobal scope
        dup
        push1
        swap
        setprop x
        with
        pushconst i:5
        setvar x
        pushconst i:6
        setvar y
        unwith 1
        getglobal scope
        getprop x
        getglobal y
        add
        end)"));
    EXPECT_EQ(result().asInteger(), 11);
}

TEST_F(InterpreterTest, StringElementStores) {
    // A five-unit non-static string, extended by a store at index 10.
    ASSERT_TRUE(run(R"(
        pushconst s:abcd
        pushconst s:e
        add
        dup
        setglobal s
        pushconst i:65
        swap
        pushconst i:10
        setelem
        getglobal s
        end)"));
    EXPECT_EQ(text(result()), "abcde     A");
    EXPECT_TRUE(trace.empty());

    ASSERT_TRUE(run("pushconst i:65\npushconst s:abc\npush0\nsetelem\npushundef\nend"));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: can't change a static string");

    ASSERT_TRUE(run("pushnull\npushconst s:abc\npushconst s:d\nadd\npush0\nsetelem\npushundef\nend"));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: can't store a non-charactor value to string");

    ASSERT_TRUE(run("pushconst s:abc\npushconst i:7\ngetelem\nend"));
    EXPECT_TRUE(result().isUndefined());
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: string index out of range");

    ASSERT_TRUE(run("pushconst s:abc\npush1\ngetelem\nend"));
    EXPECT_EQ(result().asInteger(), 'b');
}

TEST_F(InterpreterTest, ArrayElementsAndForInKeys) {
    global("a") = newArray(*engine);
    ASSERT_TRUE(run(R"(
        pushconst s:x
        getglobal a
        pushconst f:4.7
        setelem
        getglobal a
        pushconst i:4
        getelem
        end)"));
    EXPECT_EQ(text(result()), "x");
    EXPECT_EQ(global("a").asArray()->length, 5u);

    ASSERT_TRUE(run("getglobal a\npushconst s:k\ngetelem\nend"));
    EXPECT_TRUE(result().isUndefined());
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: invalid index for operator []");

    // nextkey over a string yields its code units.
    ASSERT_TRUE(run("pushconst s:hi\npush1\nnextkey\nend"));
    EXPECT_TRUE(result().asBoolean());
    ASSERT_TRUE(run("pushconst s:hi\npush1\nnextkey\npop\nend"));
    EXPECT_EQ(result().asInteger(), 'i');
    ASSERT_TRUE(run("pushconst s:hi\npush2\nnextkey\nend"));
    EXPECT_FALSE(result().asBoolean());
}

TEST_F(InterpreterTest, UndefinedVariableAndPropertyWarnings) {
    ASSERT_TRUE(run("getglobal nowhere\nend"));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: using undefined variable \"nowhere\"");

    ASSERT_TRUE(run("push0\ngetglobal Object\nnew\nswap\nslide 2\ngetprop missing\nend"));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: using undefined property \"missing\"");

    ASSERT_TRUE(run("push1\npush2\nsetprop p\npushundef\nend"));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: using undefined property \"p\"");

    ASSERT_TRUE(run("push0\ngetglobal Object\nnew\nswap\nslide 2\npush1\nswap\nsetprop __proto__\npushundef\nend"));
    EXPECT_TRUE(trace.empty()); // an Object receiver just stores it
}

TEST_F(InterpreterTest, WarningsOffSilencesUndefinedVariablesOnly) {
    EngineOptions options;
    options.flags = 0;
    makeEngine(options);
    ASSERT_TRUE(run("getglobal nowhere\nend"));
    EXPECT_TRUE(trace.empty());
    ASSERT_TRUE(run("push1\ngetprop nothing\nend"));
    EXPECT_EQ(trace.size(), 1u);
}

TEST_F(InterpreterTest, StackShuffles) {
    // [1, 2, 3] rot 3 -> [3, 1, 2]; then sub gives 1 - 2.
    ASSERT_TRUE(run("push1\npush2\npush3\nrot 3\nsub\nend"));
    EXPECT_EQ(result().asInteger(), -1);
    // [1, 2, 3] rot -3 -> [2, 3, 1]
    ASSERT_TRUE(run("push1\npush2\npush3\nrot -3\npop\nsub\nend"));
    EXPECT_EQ(result().asInteger(), -1);
    ASSERT_TRUE(run("push1\npush2\npush3\nslide 2\nend"));
    EXPECT_EQ(result().asInteger(), 3);
    ASSERT_TRUE(run("push1\npush2\npush3\npopn 2\nend"));
    EXPECT_EQ(result().asInteger(), 1);
}

TEST_F(InterpreterTest, TypeofNames) {
    auto check = [&](const char* push, const char* name) {
        ASSERT_TRUE(run(std::string(push) + "\ntypeof\nend"));
        EXPECT_EQ(text(result()), name) << push;
    };
    check("pushundef", "undefined");
    check("pushnull", "object");
    check("pushtrue", "boolean");
    check("push1", "number");
    check("pushconst f:1.5", "number");
    check("getglobal NaN", "number");
    check("pushconst s:x", "string");
    check("getglobal Object", "object");
}

TEST_F(InterpreterTest, HookBreakStopsALoopWithoutCollections) {
    EngineOptions options;
    options.hook = [](int reason, void*) { return reason == 2 ? 7 : 0; };
    makeEngine(options);
    EXPECT_FALSE(run("top:\njmp top"));
    EXPECT_EQ(error(), "Runtime error: hook break 7");
}

TEST_F(InterpreterTest, TextReplacedByItsOwnConcatenationIsNotKeptByTheCollection) {
    // s = s + s and s = s.concat(s) doubling a text to 4 M units: each
    // collection that the concatenation brings on sees the local already
    // holding the new text, so the old one is not kept. The hook runs after
    // each such collection.
    struct Watch {
        Engine* engine = nullptr;
        size_t mostKept = 0;
    } watch;
    EngineOptions options;
    options.hookData = &watch;
    options.hook = [](int reason, void* data) {
        auto* w = static_cast<Watch*>(data);
        if (reason == 2)
            w->mostKept = std::max(w->mostKept, w->engine->heap.bytesFromSystem() - w->engine->heap.bytesFree());
        return 0;
    };
    for (const char* doubling : {"getlocal 0\n  getlocal 0\n  add\n  setlocal 0",
                                 "getlocal 0\n  push1\n  getlocal 0\n  callmethod concat\n  slide 3\n  setlocal 0"}) {
        SCOPED_TRACE(doubling);
        makeEngine(options);
        watch = {engine.get(), 0};
        ASSERT_TRUE(run(R"(
function f
  getarg 1
  add2
  args 2
  locals 2
  pushconst s:)" + std::string(64, 'x') + R"(
  setlocal 0
  push0
  setlocal 1
loop:
  getlocal 1
  pushconst i:16
  lt
  jf done
  )" + doubling + R"(
  getlocal 1
  inc
  setlocal 1
  jmp loop
done:
  getlocal 0
  ret
function .main
  push0
  getglobal f
  call
  slide 2
  end)")) << error();
        ASSERT_TRUE(result().isString());
        ASSERT_EQ(result().asString()->length, size_t(4) << 20);
        size_t textBytes = size_t(result().asString()->length) * result().asString()->unitSize();
        // The most any collection kept: the new text and little else, not
        // the old text's 4 MB beside it.
        EXPECT_GT(watch.mostKept, textBytes);
        EXPECT_LT(watch.mostKept, textBytes + textBytes / 4);
    }
}

} // namespace
} // namespace quill::test
