// Calls, returns, try handlers, throws, runtime errors and the native entry
// points, as run from assembled images.
#include "tests/script/vm/VmFixture.h"

namespace quill::test {
namespace {

using CallsTest = VmTest;

// function pick(a, b) { return b; } and count() returning its argument count.
const char* kPickAndCount = R"(
function pick
  getarg 1
  add2
  args 4
  getarg 3
  ret
function count
  getarg 1
  add2
  args 2
  getarg 1
  ret
)";

TEST_F(CallsTest, MissingArgumentsAreUndefinedButTheCountIsThePassedOne) {
    ASSERT_TRUE(run(std::string(kPickAndCount) + R"(
function .main
  push1
  push1
  getglobal pick
  call
  slide 3
  end)"));
    EXPECT_TRUE(result().isUndefined());

    ASSERT_TRUE(run(std::string(kPickAndCount) + R"(
function .main
  pushconst s:b
  pushconst s:a
  push2
  getglobal pick
  call
  slide 4
  end)"));
    EXPECT_EQ(text(result()), "b");

    ASSERT_TRUE(run(std::string(kPickAndCount) + R"(
function .main
  push3
  push2
  push1
  push3
  getglobal count
  call
  slide 5
  end)"));
    EXPECT_EQ(result().asInteger(), 3);
}

TEST_F(CallsTest, NewKeepsThisAndReturnsTheObject) {
    ASSERT_TRUE(run(R"(
function Point
  getarg 1
  add2
  args 3
  getarg 2
  getarg 0
  setprop x
  pushundef
  ret
function .main
  pushconst i:42
  push1
  getglobal Point
  new
  swap
  slide 3
  getprop x
  end)"));
    EXPECT_EQ(result().asInteger(), 42);
}

TEST_F(CallsTest, FunctionPropertiesAreInheritedByInstances) {
    ASSERT_TRUE(run(R"(
function C
  getarg 1
  add2
  args 2
  pushundef
  ret
function .main
  pushconst s:shared
  getglobal C
  setprop tag
  push0
  getglobal C
  new
  swap
  slide 2
  getprop tag
  end)"));
    EXPECT_EQ(text(result()), "shared");
}

TEST_F(CallsTest, ThrownValuesArriveUnchanged) {
    ASSERT_TRUE(run("try c\npushconst s:boom\nthrow\nc:\nend"));
    EXPECT_EQ(text(result()), "boom");
    ASSERT_TRUE(run("try c\npushconst i:9\nthrow\nc:\nend"));
    EXPECT_EQ(result().asInteger(), 9);
}

TEST_F(CallsTest, RuntimeErrorsAreCaughtAsStrings) {
    // Object(undefined, 1) cannot convert undefined.
    ASSERT_TRUE(run(R"(
  try c
  push1
  pushundef
  push2
  getglobal Object
  call
  slide 4
  untry 1
  pushconst s:not caught
  end
c:
  end)"));
    ASSERT_TRUE(result().isString());
    EXPECT_EQ(text(result()), "Runtime error: Can't convert to object");
}

TEST_F(CallsTest, ThrowsUnwindThroughFramesToTheHandler) {
    ASSERT_TRUE(run(R"(
function inner
  getarg 1
  add2
  args 2
  pushconst s:deep
  throw
function .main
  try c
  push0
  getglobal inner
  call
  slide 2
  untry 1
  end
c:
  pushconst s:!
  add
  end)"));
    EXPECT_EQ(text(result()), "deep!");
}

TEST_F(CallsTest, UncaughtThrowFailsWithItsText) {
    EXPECT_FALSE(run("pushconst i:42\nthrow"));
    EXPECT_EQ(error(), "42");
    EXPECT_FALSE(run("pushconst s:bad thing\nthrow"));
    EXPECT_EQ(error(), "bad thing");
    // The engine is usable afterwards.
    EXPECT_TRUE(run("push1\nend"));
    EXPECT_EQ(error(), "");
}

TEST_F(CallsTest, DeepRecursionIsAStackOverflowThatTryCatches) {
    ASSERT_TRUE(run(R"(
function rec
  getarg 1
  add2
  args 2
  push0
  getglobal rec
  call
  slide 2
  ret
function .main
  try c
  push0
  getglobal rec
  call
  slide 2
  untry 1
  end
c:
  end)"));
    EXPECT_EQ(text(result()), "Runtime error: stack overflow");
    EXPECT_FALSE(run("function rec\npush0\ngetglobal rec\ncall\nret\nfunction .main\npush0\ngetglobal rec\ncall\nend"));
    EXPECT_EQ(error(), "Runtime error: stack overflow");
}

TEST_F(CallsTest, CallingANonFunctionWarnsAndContinues) {
    ASSERT_TRUE(run(R"(
  try c
  push0
  pushconst i:5
  call
  slide 2
  untry 1
  pushconst s:went on
  end
c:
  pushconst s:caught
  end)"));
    EXPECT_EQ(text(result()), "went on");
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: call a undefined function");

    ASSERT_TRUE(run("push0\npush1\ncallmethod frobnicate\nslide 2\nend"));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: unknown method \"frobnicate\"");

    ASSERT_TRUE(run("push0\npushnull\nnew\nend"));
    EXPECT_TRUE(result().isNull());
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "Warning: invalid constructor");
}

TEST_F(CallsTest, UnknownObjectMethodsGoToTheObjectClass) {
    ASSERT_TRUE(run("push0\npush0\ngetglobal Object\nnew\nswap\nslide 2\ncallmethod toString\nslide 2\nend"));
    EXPECT_EQ(text(result()), "[object Object]");
}

TEST_F(CallsTest, NativeEntryPoints) {
    ASSERT_TRUE(run(R"(
function add
  getarg 1
  add2
  args 4
  getarg 2
  getarg 3
  add
  ret
function self
  getarg 1
  add2
  args 2
  getarg 0
  ret
function .main
  pushundef
  end)"));
    Value args[3] = {Value::integer(2), Value::integer(3), Value::integer(4)};
    ASSERT_TRUE(callValue(*engine, "add", Value::undefined(), ArgList{args}));
    EXPECT_EQ(engine->lastResult.asInteger(), 7);

    ASSERT_TRUE(callWithThis(*engine, Value::integer(11), global("self"), ArgList{args}));
    EXPECT_EQ(engine->lastResult.asInteger(), 11);

    Value noArgs[1] = {Value::integer(0)};
    ASSERT_TRUE(constructByName(*engine, "Object", ArgList{noArgs}));
    ASSERT_TRUE(engine->lastResult.isObject());
    Value obj = engine->lastResult;
    objectPut(*engine, obj.asObject(), engine->internName("twice"), global("add"));
    ASSERT_TRUE(callMethodByName(*engine, obj, "twice", ArgList{args}));
    EXPECT_EQ(engine->lastResult.asInteger(), 7);

    EXPECT_FALSE(callMethodByName(*engine, obj, "absent", ArgList{noArgs}));
    EXPECT_EQ(error(), "Warning: unknown method \"absent\"");
    EXPECT_TRUE(engine->lastResult.isUndefined());

    global("number") = Value::integer(3);
    EXPECT_FALSE(callValue(*engine, "number", Value::undefined(), ArgList{noArgs}));
    EXPECT_EQ(error(), "Warning: call a undefined function");
    EXPECT_FALSE(constructByName(*engine, "number", ArgList{noArgs}));

    // A method of the per-kind class: toString of an Object.
    ASSERT_TRUE(callMethodByName(*engine, obj, "toString", ArgList{noArgs}) == false);
    ASSERT_TRUE(callMethodByName(*engine, Value::boolean(true), "toString", ArgList{noArgs}));
    EXPECT_EQ(text(engine->lastResult), "true");
}

TEST_F(CallsTest, AnEntryPointRestoresTheStackAfterAFailure) {
    ASSERT_TRUE(run("function thrower\npushconst s:x\nthrow\nfunction .main\npushundef\nend"));
    Value* before = engine->stackPosition;
    Value noArgs[1] = {Value::integer(0)};
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(callValue(*engine, "thrower", Value::undefined(), ArgList{noArgs}));
    EXPECT_EQ(engine->stackPosition, before);
    EXPECT_EQ(engine->errorFrames, nullptr);
    EXPECT_EQ(error(), "x");
}

TEST_F(CallsTest, ARepeatedCallBehavesAsOneEntryPointPerCall) {
    // picky(a, b) throws "x" when a is true, else returns b.
    ASSERT_TRUE(run("function picky\ngetarg 1\nadd2\nargs 4\ngetarg 2\njf ok\npushconst s:x\nthrow\nok:\n"
                    "getarg 3\nret\nfunction .main\npushundef\nend"));
    Value* before = engine->stackPosition;
    ErrorFrame* framesBefore = engine->errorFrames;
    {
        RepeatedCall call(*engine, global("picky"));
        Value value;
        for (int i = 0; i < 50; ++i) {
            bool fails = i % 3 == 0;
            ASSERT_EQ(call.call(Value::boolean(fails), Value::integer(i), value), !fails);
            EXPECT_EQ(engine->stackPosition, before);
            if (fails) {
                EXPECT_TRUE(value.isUndefined());
                EXPECT_EQ(error(), "x");
            } else {
                EXPECT_EQ(value.asInteger(), i);
                EXPECT_EQ(result().asInteger(), i);
                EXPECT_EQ(error(), ""); // each call clears the last one's message
            }
        }
    }
    EXPECT_EQ(engine->stackPosition, before);
    EXPECT_EQ(engine->errorFrames, framesBefore);
}

TEST_F(CallsTest, AnonymousFunctionsOfSeparateImagesGetDistinctNames) {
    const char* image = "function @F_0\npushconst s:%s\nret\nfunction .main\npush0\ngetglobal @F_0\ncall\nslide 2\nend";
    char first[200], second[200];
    std::snprintf(first, sizeof first, image, "one");
    std::snprintf(second, sizeof second, image, "two");
    ASSERT_TRUE(run(first));
    EXPECT_EQ(text(result()), "one");
    ASSERT_TRUE(run(second));
    EXPECT_EQ(text(result()), "two");
    EXPECT_TRUE(global("@F_0").isFunction());
    EXPECT_TRUE(global("@F_1").isFunction());
    EXPECT_FALSE(global("@F_0").sameAs(global("@F_1")));
    EXPECT_EQ(engine->functionCount, 2u);
}

TEST_F(CallsTest, RunningCodeSurvivesCollectionsAfterItsGlobalIsGone) {
    std::string filler(64, 'x');
    ASSERT_TRUE(run(R"(
function f
  getarg 1
  add2
  args 2
  locals 2
  pushundef
  setglobal f
  push0
  setlocal 0
loop:
  getlocal 0
  pushconst i:30000
  lt
  jf done
  pushconst s:)" + filler + R"(
  getlocal 0
  add
  setlocal 1
  getlocal 0
  inc
  setlocal 0
  jmp loop
done:
  getlocal 1
  ret
function .main
  push0
  getglobal f
  call
  slide 2
  end)"));
    EXPECT_EQ(text(result()), filler + "29999");
    EXPECT_GT(engine->heap.collections, 0u);
}

TEST_F(CallsTest, TryHandlersLeftByAReturnAreDropped) {
    // f installs a handler and returns without untry; a later throw in the
    // caller must reach the caller's own handler.
    ASSERT_TRUE(run(R"(
function f
  try never
  pushundef
  ret
never:
  pushconst s:wrong handler
  ret
function .main
  try mine
  push0
  getglobal f
  call
  slide 2
  pushconst s:thrown
  throw
mine:
  end)"));
    EXPECT_EQ(text(result()), "thrown");
}

TEST_F(CallsTest, ArgumentPaddingAfterATryKeepsTheHandler) {
    // args moves the frame down; the handler installed before it must land
    // in the moved frame.
    ASSERT_TRUE(run(R"(
function f
  getarg 1
  add2
  args 1
  try caught
  push0
  args 6
  pushconst s:thrown
  throw
caught:
  ret
function .main
  push1
  push1
  getglobal f
  call
  slide 3
  end)"));
    EXPECT_EQ(text(result()), "thrown");
}

TEST_F(CallsTest, ImagesThatCouldBreakTheMachineAreRefused) {
    const char* bad[] = {
        "pop\npushundef\nend",             // pops below the frame
        "top:\npush1\njmp top",            // pushes without bound
        "popn 3\npushundef\nend",
        "push1\nrot 5\nend",
        "push1\nadd\nend",                // a binary operator with one operand
        "pushundef\ngetelem\nend",
        "push1\ndelelem\nend",
        "push1\nnextkey\nend",
        "push1\nsetelem\nend",
        "push1\nswap\nend",
        "push1\nslide 1\nend",
    };
    for (const char* code : bad) {
        EXPECT_FALSE(run(code)) << code;
        EXPECT_EQ(error(), "Runtime error: Unimplemented Quill Script bytecode") << code;
    }
    // A jump into the middle of an instruction.
    SectionSet s = assemble("pushint 5\nend");
    s.code.insert(s.code.begin(), {0x35, 0, 0, 0, 1}); // jmp +1
    s.functions[0].offset = 0;
    EXPECT_FALSE(runImage(*engine, s));
    EXPECT_EQ(error(), "Runtime error: Unimplemented Quill Script bytecode");
}

TEST_F(CallsTest, DepthsThatDependOnThePathAreCheckedWhenRun) {
    // `skip` is reached with one value (jump taken) or none (fall-through).
    const char* code = R"(
  push1
  %s
  jt skip
  pop
skip:
  pop
  pushconst s:fine
  end)";
    char taken[200], fallen[200];
    std::snprintf(taken, sizeof taken, code, "pushtrue");
    std::snprintf(fallen, sizeof fallen, code, "pushfalse");
    ASSERT_TRUE(run(taken));
    EXPECT_EQ(text(result()), "fine");
    EXPECT_FALSE(run(fallen));
    EXPECT_EQ(error(), "Runtime error: Unimplemented Quill Script bytecode");
}

TEST_F(CallsTest, ArgumentCountsThatDoNotFitTheFrameAreRefused) {
    EXPECT_FALSE(run("pushconst i:1000\ngetglobal trace\ncall\nend"));
    EXPECT_EQ(error(), "Runtime error: Unimplemented Quill Script bytecode");
    EXPECT_FALSE(run("pushconst s:3\ngetglobal trace\ncall\nend"));
}

TEST_F(CallsTest, ArgumentSlotsBeyondTheFrameReadUndefined) {
    ASSERT_TRUE(run("getarg 200\nend"));
    EXPECT_TRUE(result().isUndefined());
    ASSERT_TRUE(run("pushconst i:1000000\ngetargn\nend"));
    EXPECT_TRUE(result().isUndefined());
    ASSERT_TRUE(run("push1\nsetarg 77\ngetlocal 9\nend"));
    EXPECT_TRUE(result().isUndefined());
}

} // namespace
} // namespace quill::test
