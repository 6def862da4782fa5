// The framework's pieces on their own: argument and result helpers,
// registration, the class order, the native data shape, event slots, and the
// engine's dispatch to classes without some hooks.
#include "HostFixture.h"

#include <cmath>
#include <limits>

#include "host/framework/Arguments.h"
#include "host/framework/Events.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"

using namespace paloma::host;
using namespace paloma::host::test;
using quill::ArgList;
using quill::Value;

namespace {

struct Arguments {
    std::vector<Value> values;
    explicit Arguments(std::initializer_list<Value> args) {
        values.push_back(Value::integer(static_cast<int64_t>(args.size())));
        values.insert(values.end(), args.begin(), args.end());
    }
    ArgList list() { return ArgList{values.data()}; }
};

} // namespace

// ---- arguments --------------------------------------------------------------------

TEST_F(HostTest, ArgumentCountIsSixtyFourBits) {
    // A count whose low 32 bits are 1 still passes a minimum of 2; a negative
    // count passes none. (Nothing beyond element 2 is read.)
    Value wide[3] = {Value::integer((int64_t(1) << 32) + 1), Value::integer(1), Value::integer(2)};
    EXPECT_TRUE(hasArgs(ArgList{wide}, 2));
    EXPECT_EQ(argCount(ArgList{wide}), (int64_t(1) << 32) + 1);
    Value negative[2] = {Value::integer(-1), Value::integer(5)};
    EXPECT_FALSE(hasArgs(ArgList{negative}, 1));
    EXPECT_FALSE(numberArg(ArgList{negative}, 1).has_value());
    EXPECT_EQ(argCount(ArgList{}), 0);
    EXPECT_FALSE(argAt(ArgList{}, 1).has_value());
    Arguments two{Value::integer(1), Value::integer(2)};
    EXPECT_FALSE(argAt(two.list(), 3).has_value()) << "beyond the count";
    EXPECT_FALSE(argAt(two.list(), 0).has_value()) << "element 0 is the count, not an argument";
}

TEST_F(HostTest, NumberArgumentsTakeIntegersAndTruncatedFloats) {
    Arguments a{Value::integer(-5),
                Value::floating(2.9),
                Value::floating(-2.9),
                Value::nan(),
                Value::floating(std::numeric_limits<double>::infinity()),
                Value::floating(1e19),
                Value::floating(-9223372036854775808.0),
                quill::newStringFromAnsi(*engine, "7"),
                Value::boolean(true),
                Value::null()};
    EXPECT_EQ(numberArg(a.list(), 1), -5);
    EXPECT_EQ(numberArg(a.list(), 2), 2);
    EXPECT_EQ(numberArg(a.list(), 3), -2);
    EXPECT_FALSE(numberArg(a.list(), 4)) << "NaN";
    EXPECT_FALSE(numberArg(a.list(), 5)) << "infinity";
    EXPECT_FALSE(numberArg(a.list(), 6)) << "beyond 64 bits";
    EXPECT_EQ(numberArg(a.list(), 7), std::numeric_limits<int64_t>::min()) << "-2^63 fits";
    EXPECT_FALSE(numberArg(a.list(), 8)) << "a String is not converted";
    EXPECT_FALSE(numberArg(a.list(), 9));
    EXPECT_FALSE(numberArg(a.list(), 10));
}

TEST_F(HostTest, StringBooleanAndFunctionArguments) {
    std::u16string accented = u"caf\u00e9";
    Value f;
    ASSERT_TRUE(quill::evalSource(*engine, "fn = function() { return 1; };"));
    f = global("fn");
    Arguments a{quill::newString(*engine, accented), Value::integer(1), Value::boolean(false), Value::integer(0),
                f, global("testHostEcho")};
    EXPECT_EQ(stringArg(a.list(), 1), std::string("caf\xe9")) << "an ANSI copy";
    EXPECT_FALSE(stringArg(a.list(), 2)) << "a number is not converted";
    EXPECT_FALSE(stringArg(a.list(), 7));
    EXPECT_EQ(booleanArg(a.list(), 3), false);
    EXPECT_FALSE(booleanArg(a.list(), 2)) << "an Integer only where the member says so";
    EXPECT_EQ(booleanArg(a.list(), 2, true), true);
    EXPECT_EQ(booleanArg(a.list(), 4, true), false);
    EXPECT_FALSE(booleanArg(a.list(), 1, true));
    ASSERT_TRUE(functionArg(a.list(), 5));
    EXPECT_TRUE(functionArg(a.list(), 5)->sameAs(f));
    EXPECT_FALSE(functionArg(a.list(), 6)) << "a callable native is not a Function";
    EXPECT_FALSE(functionArg(a.list(), 2));
}

// ---- results -----------------------------------------------------------------------

TEST_F(HostTest, Results) {
    EXPECT_EQ(integerResult32(0xFFFFFFFFu).asInteger(), -1) << "sign-extended";
    EXPECT_EQ(integerResult32(0x7FFFFFFFu).asInteger(), 0x7FFFFFFF);
    EXPECT_TRUE(booleanResult(true).asBoolean());
    EXPECT_TRUE(nullResult().isNull());
    Value ansi = ansiTextResult(*engine, "caf\xe9");
    ASSERT_TRUE(ansi.isString());
    EXPECT_EQ(quill::stringToWide(ansi.asString()), u"caf\u00e9");
    char16_t buffer[] = u"wide";
    Value wide = wideTextResult(*engine, buffer, 4);
    buffer[0] = u'X';
    EXPECT_EQ(quill::stringToWide(wide.asString()), u"wide") << "copied, not borrowed";
    EXPECT_EQ(wideTextResult(*engine, static_cast<const char16_t*>(nullptr), 3).asString()->length, 0u);
    static constexpr char16_t kLiteral[] = u"fixed";
    Value fixed = staticTextResult(*engine, kLiteral);
    EXPECT_TRUE(fixed.asString()->isStatic());
    EXPECT_EQ(fixed.asString()->units(), kLiteral) << "not copied";
}

TEST_F(HostTest, StructuredResultsReadAsScriptObjectsAndArrays) {
    Value record = objectResult(*engine);
    setField(*engine, record, "address", ansiTextResult(*engine, "127.0.0.1"));
    setField(*engine, record, "port", integerResult(8080));
    setField(*engine, record, "port", integerResult(8081));
    Value list = arrayResult(*engine);
    appendElement(*engine, list, ansiTextResult(*engine, "a"));
    appendElement(*engine, list, integerResult(2));
    appendElement(*engine, list, record);
    setField(*engine, list, "ignored", integerResult(1));
    appendElement(*engine, record, integerResult(1));
    engine->global(engine->internName("list")) = list;
    run(R"(
        n = list.length;
        joined = list[0] + list[1];
        address = list[2].address;
        port = list[2].port;
        names = "";
        for (var k in list[2]) names = names + k + ";";
        text = list[2].toString();
    )");
    EXPECT_EQ(integer("n"), 3);
    EXPECT_EQ(text("joined"), "a2");
    EXPECT_EQ(text("address"), "127.0.0.1");
    EXPECT_EQ(integer("port"), 8081) << "a second set replaces the field";
    std::string names = text("names"); // enumeration follows the name hash
    EXPECT_TRUE(names == "address;port;" || names == "port;address;") << names;
    EXPECT_EQ(text("text"), "[object Object]");
}

TEST_F(HostTest, NewHostObjectUsesTheClassBoundNow) {
    static int data = 0;
    Value out = Value::integer(1);
    EXPECT_FALSE(newHostObject(*engine, "NoSuchClass", &data, out));
    EXPECT_TRUE(out.isNull());
    ASSERT_NE(classBoundTo(*engine, "TestObject"), nullptr);
    EXPECT_EQ(classBoundTo(*engine, "$TEST_ANSWER"), nullptr) << "an Integer global is no class";
    // A class without destroyData, so the borrowed data is never freed.
    quill::NativeClass* plain =
        registerHostClass(*engine, {.className = "Plain", .globalNames = {"PlainThing"}, .callMethod = nullptr});
    ASSERT_TRUE(newHostObject(*engine, "PlainThing", &data, out));
    ASSERT_TRUE(out.isNative());
    EXPECT_EQ(out.asNative()->cls, plain);
    EXPECT_EQ(out.asNative()->data, &data);
    EXPECT_TRUE(quill::isInstanceOf(out, *engine, "PlainThing"));
}

// ---- registration --------------------------------------------------------------------

namespace {

enum TwinMember { kAlpha, kBeta }; // ORDER MEMBERS
constexpr const char* kTwinMembers[] = {"alpha", "beta"};
constexpr IntegerConstant kTwinConstants[] = {{"$TWIN_ONE", 1}, {"$TWIN_BIG", -4294967296}};

int twinCallMethod(quill::Engine& engine, quill::NativeClass* cls, void*, quill::SymbolId member, Value& result,
                   ArgList) {
    if (answerToString(engine, cls, member, result))
        return 1;
    int m = memberIds(cls).find(member);
    if (m < 0)
        return 0;
    result = integerResult(m == kBeta ? 2 : 1);
    return 1;
}

} // namespace

TEST_F(HostTest, RegistrationBindsEveryNameAndSetsConstants) {
    quill::NativeClass* cls = registerHostClass(*engine, {.className = "Twin",
                                                          .globalNames = {"TwinA", "TwinB"},
                                                          .names = kTwinMembers,
                                                          .callMethod = twinCallMethod,
                                                          .constants = kTwinConstants});
    MemberIds& ids = memberIds(cls);
    EXPECT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids.find(engine->internName("beta")), kBeta);
    EXPECT_EQ(ids.find(engine->internName("gamma")), -1);
    EXPECT_EQ(ids.find(quill::Engine::kToStringId), -1);
    run(R"(
        a = TwinA.alpha(); b = TwinB.beta();
        t = TwinB.toString();
        one = $TWIN_ONE; big = $TWIN_BIG;
        unknown = TwinA.gamma();
    )");
    EXPECT_EQ(integer("a"), 1);
    EXPECT_EQ(integer("b"), 2);
    EXPECT_EQ(text("t"), "[object Twin]");
    EXPECT_EQ(integer("one"), 1);
    EXPECT_EQ(integer("big"), -4294967296);
    EXPECT_TRUE(traced("Warning: unknown method \"gamma\""));
    EXPECT_EQ(classBoundTo(*engine, "TwinA"), cls);
    EXPECT_EQ(classBoundTo(*engine, "TwinB"), cls);
    EXPECT_EQ(classBoundTo(*engine, "Twin"), nullptr) << "bound only under the names given";
}

TEST_F(HostTest, LaterRegistrationReplacesTheBinding) {
    run(R"( old = new TestObject("old"); )");
    registerHostClass(*engine, {.className = "Replacement", .globalNames = {"TestObject"}, .callMethod = twinCallMethod});
    run(R"(
        t = TestObject.toString();
        n = old.name;
        made = new TestObject("x");
    )");
    EXPECT_EQ(text("t"), "[object Replacement]");
    EXPECT_EQ(text("n"), "old") << "existing instances keep their class";
    EXPECT_FALSE(quill::isInstanceOf(global("old"), *engine, "TestObject"));
    EXPECT_TRUE(traced("Warning: invalid constructor")) << "the new class has no construct hook";
    EXPECT_EQ(paloma::host::instanceData(global("made"), *engine, "TestObject"), nullptr);
}

// ---- the class order ------------------------------------------------------------------

TEST(ClassOrder, TableFollowsTheFixedOrder) {
    // The first global of each entry, in the engine's registration order.
    const char* expected[] = {
        "NaN", "parseInt", "Date", "Folder", "Drive", "Stream", "StringStream", "Math", "RegExp", "Array",
        "Boolean", "Function", "Number", "String", "Object", "ActiveXObject", "Enumerator", "RegKey", "RegValue",
        "Ini", "Dialogs", "FontObject", "Shell", "Shortcut", "URLShortcut", "MCI", "createControl", "FlashPlayer",
        "MovieClip", "encodeURI", "getMainWnd", "Window", "Mail", "SendMail", "RecvMail", "Inet", "IPConfig",
        "SysInfo", "Socket", "Menu", "Application", "Image", "DirectX", "DllParam", "Sound", "Encryption",
        "DiskInfo", "DataFile", "Form", "Struct", "ScriptHost"};
    auto order = classOrder();
    ASSERT_EQ(order.size(), std::size(expected));
    for (size_t i = 0; i < order.size(); ++i) {
        std::string first = order[i].globals;
        first = first.substr(0, first.find(','));
        EXPECT_EQ(first, expected[i]) << "entry " << i;
    }
}

TEST(ClassOrder, HostEnginesHaveEveryBuiltinAndEvalLast) {
    quill::EngineOptions options = hostEngineOptions();
    // A class order whose last entry binds "eval": the engine's own eval
    // still wins, because it is bound after every class.
    options.registerClasses = [](quill::Engine& e) {
        registerAllClasses(e);
        quill::defineGlobalFunction(e, "eval", [](quill::Engine&, quill::NativeClass*, void*, Value& r, ArgList) {
            r = Value::integer(-1);
        });
    };
    auto engine = quill::createEngine(options);
    ASSERT_NE(engine, nullptr);
    ASSERT_TRUE(quill::evalSource(*engine, R"(
        e = eval("20 + 22");
        kinds = typeof Math + typeof Date + typeof encodeURI + typeof parseInt + typeof String;
        u = encodeURIComponent("a b");
        x = typeof NaN;
    )")) << engine->errorText;
    auto g = [&](const char* n) { return quill::valueToText(*engine, engine->global(engine->internName(n))); };
    EXPECT_EQ(g("e"), "42");
    EXPECT_EQ(g("kinds"), "objectobjectobjectobjectobject");
    EXPECT_EQ(g("u"), "a%20b");
    EXPECT_EQ(g("x"), "number");
}

TEST(ClassOrder, DefaultEnginesHaveTheBuiltinsOnly) {
    auto engine = quill::createEngine();
    ASSERT_NE(engine, nullptr);
    ASSERT_TRUE(quill::evalSource(*engine, R"( t = typeof TestObject; m = Math.floor(2.5); )"));
    EXPECT_EQ(quill::valueToText(*engine, engine->global(engine->internName("t"))), "undefined");
    EXPECT_EQ(quill::valueToText(*engine, engine->global(engine->internName("m"))), "2");
}

// ---- native data shape -------------------------------------------------------------------

namespace {

struct Counted {
    explicit Counted(int& count) : count(count) { ++count; }
    ~Counted() { --count; }
    int& count;
};

} // namespace

TEST(NativeHandle, CloseThenDestroyReleasesOnce) {
    int alive = 0;
    auto handle = std::make_unique<NativeHandle<Counted>>();
    handle->object = std::make_unique<Counted>(alive);
    void* self = handle.release();
    EXPECT_EQ(alive, 1);
    EXPECT_NE(liveObject<Counted>(self), nullptr);
    EXPECT_TRUE(closeHandle<Counted>(self));
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(liveObject<Counted>(self), nullptr);
    EXPECT_FALSE(closeHandle<Counted>(self));
    destroyHandle<Counted>(nullptr, self); // frees the block; nothing left to release
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(liveObject<Counted>(nullptr), nullptr) << "the class object has no block";
    EXPECT_FALSE(closeHandle<Counted>(nullptr));
}

TEST(NativeHandle, DestroyReleasesWhatIsStillHeld) {
    int alive = 0;
    auto handle = std::make_unique<NativeHandle<Counted>>();
    handle->object = std::make_unique<Counted>(alive);
    destroyHandle<Counted>(nullptr, handle.release());
    EXPECT_EQ(alive, 0);
}

// ---- event slots --------------------------------------------------------------------------

TEST_F(HostTest, EventSlotsStoreOnlyFunctionsAndFireWithThis) {
    EventSlots<2> slots;
    run(R"(
        self = new Object(); self.tag = "me";
        h = function(a, b) { return this.tag + ":" + a + ":" + b; };
    )");
    slots.setSelf(global("self"));
    Value read = Value::integer(3);
    slots.access(0, 0, read);
    EXPECT_TRUE(read.isUndefined()) << "unset reads undefined";
    Value h = global("h");
    slots.access(0, 1, h);
    Value notFunction = Value::integer(5);
    slots.access(0, 1, notFunction);
    slots.access(0, 0, read);
    EXPECT_TRUE(read.sameAs(h)) << "a non-function write is ignored";
    EXPECT_FALSE(slots.hasHandler(1));
    EXPECT_FALSE(slots.fire(*engine, 1, {Value::integer(1)})) << "no handler";
    ASSERT_TRUE(slots.fire(*engine, 0, {Value::integer(7), ansiTextResult(*engine, "x")}));
    EXPECT_EQ(quill::valueToText(*engine, engine->lastResult), "me:7:x");
}

// ---- dispatch -------------------------------------------------------------------------------

TEST_F(HostTest, NativeWithoutAccessPropertyHasNoReadableProperties) {
    run(R"(
        p = testHostEcho.__proto__;
        testHostEcho.field = 1;
        f = testHostEcho.field;
        e = testHostEcho["field"];
    )");
    EXPECT_TRUE(global("p").isUndefined());
    EXPECT_TRUE(global("f").isUndefined());
    EXPECT_TRUE(global("e").isUndefined());
    EXPECT_TRUE(traced("Warning: using undefined property \"__proto__\""));
    EXPECT_TRUE(traced("Warning: using undefined property \"field\""));
}
