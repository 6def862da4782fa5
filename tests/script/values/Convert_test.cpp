// Conversions: ToBoolean, ToNumber and the integer scanner, ToInteger,
// ToString, ToPrimitive, ToObject, typeof names, string ordering.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "script/values/Array.h"
#include "script/values/Convert.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/String.h"

using namespace quill;

namespace {

Value str(Engine& e, std::string_view s) { return newStringFromAnsi(e, s); }

std::string text(Engine& e, const Value& v) { return stringToAnsi(toString(e, v).asString()); }

Value num(Engine& e, std::string_view s) { return toNumber(e, str(e, s)); }

void expectInteger(const Value& v, int64_t want) {
    ASSERT_TRUE(v.isInteger()) << "kind " << static_cast<int>(v.kind);
    EXPECT_EQ(v.asInteger(), want);
}

void expectFloat(const Value& v, double want) {
    ASSERT_TRUE(v.isFloat()) << "kind " << static_cast<int>(v.kind);
    EXPECT_DOUBLE_EQ(v.asFloat(), want);
}

} // namespace

TEST(ToBoolean, FollowsTheKindTable) {
    Engine e;
    EXPECT_TRUE(toBoolean(Value::boolean(true)));
    EXPECT_FALSE(toBoolean(Value::boolean(false)));
    EXPECT_TRUE(toBoolean(Value::integer(-3)));
    EXPECT_FALSE(toBoolean(Value::integer(0)));
    EXPECT_TRUE(toBoolean(Value::floating(0.5)));
    EXPECT_FALSE(toBoolean(Value::floating(0.0)));
    EXPECT_FALSE(toBoolean(Value::floating(-0.0)));
    EXPECT_FALSE(toBoolean(str(e, "")));
    EXPECT_TRUE(toBoolean(str(e, "0")));
    EXPECT_TRUE(toBoolean(Value::object(newObject(e)))) << "even an empty object is true";
    EXPECT_TRUE(toBoolean(newArray(e)));
    EXPECT_FALSE(toBoolean(Value::nan()));
    EXPECT_FALSE(toBoolean(Value::undefined()));
    EXPECT_FALSE(toBoolean(Value::null()));
    EXPECT_FALSE(toBoolean(Value::symbol(3)));
    EXPECT_FALSE(toBoolean(Value::raw(Kind::Reserved8, 1)));
}

TEST(ToNumber, StringsChooseRadixAndKind) {
    Engine e;
    expectInteger(num(e, "010"), 8);
    expectInteger(num(e, "0x1A"), 26);
    expectInteger(num(e, "0X1a"), 26);
    expectFloat(num(e, "1e3"), 1000);
    expectFloat(num(e, ".5"), 0.5);
    expectInteger(num(e, "12abc"), 12);
    expectInteger(num(e, "12px"), 12);
    EXPECT_TRUE(num(e, "abc").isNaN());
    expectInteger(num(e, ""), 0);
    EXPECT_TRUE(num(e, "   ").isNaN());
    expectInteger(num(e, "-0x10"), -16);
    expectInteger(num(e, "  +42"), 42);
    expectInteger(num(e, "- 7"), -7); // "white space may follow the sign"
    expectFloat(num(e, "12."), 12.0);
    expectFloat(num(e, "2.5d2"), 250.0); // "D introduces an exponent"
    expectFloat(num(e, "3E-1"), 0.3);
    expectInteger(num(e, "09"), 0); // "octal scan stops at 9"
    expectFloat(num(e, "0.25"), 0.25);
    expectFloat(num(e, "0x1A.5"), 0.0); // "the decimal conversion reads only the leading 0"
    expectInteger(num(e, "0"), 0);
    expectFloat(num(e, "0x"), 0.0); // "no hex digits: the decimal conversion reads the 0"
}

TEST(ToNumber, OverflowBecomesFloat) {
    Engine e;
    expectInteger(num(e, "9223372036854775807"), INT64_MAX);
    expectInteger(num(e, "-9223372036854775807"), -INT64_MAX);
    expectFloat(num(e, "9223372036854775808"), 9223372036854775808.0);
    expectFloat(num(e, "-9223372036854775808"), -9223372036854775808.0);
    expectFloat(num(e, "123456789012345678901234567890"), 123456789012345678901234567890.0);
    expectFloat(num(e, "0x8000000000000000"), 9223372036854775808.0);
    expectFloat(num(e, "0xFFFFFFFFFFFFFFFFFF"), std::ldexp(1.0, 72));
}

TEST(IntegerScanner, PowerOfTwoRadixRoundsHalfUp) {
    // 2^64 + 2^11: the bit below the 53 kept ones is set -> rounds up.
    ScanResult r = scanInteger(u"10000000000000800", 16);
    ASSERT_EQ(r.type, ScanResult::Double);
    EXPECT_EQ(r.number, std::ldexp(1.0, 64) + std::ldexp(1.0, 12));
    // 2^64 + 2^10: below the rounding bit -> dropped.
    r = scanInteger(u"10000000000000400", 16);
    ASSERT_EQ(r.type, ScanResult::Double);
    EXPECT_EQ(r.number, std::ldexp(1.0, 64));
    // Binary text of 70 ones.
    std::u16string ones(70, u'1');
    r = scanInteger(ones, 2);
    ASSERT_EQ(r.type, ScanResult::Double);
    EXPECT_EQ(r.number, std::ldexp(1.0, 70));
    EXPECT_EQ(r.end, 70u);
}

TEST(IntegerScanner, RadixPrefixesAndEnds) {
    ScanResult r = scanInteger(u"  -0x1fz", 0);
    ASSERT_EQ(r.type, ScanResult::Integer);
    EXPECT_EQ(r.integer, -31);
    EXPECT_EQ(r.end, 7u);
    r = scanInteger(u"0x10", 16);
    EXPECT_EQ(r.integer, 16);
    r = scanInteger(u"zz", 36);
    EXPECT_EQ(r.integer, 35 * 36 + 35);
    r = scanInteger(u"xyz", 10);
    EXPECT_EQ(r.type, ScanResult::None);
    EXPECT_EQ(r.end, 0u);
    r = scanInteger(u"12", 1);
    EXPECT_EQ(r.type, ScanResult::None) << "radix 1 is refused";
    // A non power-of-two radix beyond 63 bits goes through long double.
    r = scanInteger(u"zzzzzzzzzzzzzzzz", 36);
    ASSERT_EQ(r.type, ScanResult::Double);
    EXPECT_NEAR(r.number, std::pow(36.0, 16), std::pow(36.0, 16) * 1e-12);
}

TEST(ToNumber, OtherKinds) {
    Engine e;
    expectInteger(toNumber(e, Value::null()), 0);
    expectInteger(toNumber(e, Value::boolean(true)), 1);
    EXPECT_TRUE(toNumber(e, Value::undefined()).isNaN());
    EXPECT_TRUE(toNumber(e, Value::symbol(1)).isNaN());
    expectFloat(toNumber(e, Value::floating(1.5)), 1.5);
    // An object without valueOf or toString: ToString gives "object", not a number.
    EXPECT_TRUE(toNumber(e, Value::object(newObject(e))).isNaN());
    // An array converts through its text.
    Value a = newArray(e);
    arrayPush(e, a.asArray(), Value::integer(7));
    expectInteger(toNumber(e, a), 7);
}

TEST(ToInteger, TruncatesAndClamps) {
    Engine e;
    EXPECT_EQ(toInteger(e, Value::floating(-2.9)), -2);
    EXPECT_EQ(toInteger(e, Value::floating(2.9)), 2);
    EXPECT_EQ(toInteger(e, Value::floating(INFINITY)), 0);
    EXPECT_EQ(toInteger(e, Value::floating(-INFINITY)), 0);
    EXPECT_EQ(toInteger(e, Value::nan()), 0);
    EXPECT_EQ(toInteger(e, Value::floating(1e30)), INT64_MIN);
    EXPECT_EQ(toInteger(e, str(e, "0x10")), 16);
    EXPECT_EQ(toInteger32(e, Value::integer(0x100000005LL)), 5);
    EXPECT_EQ(toInteger32(e, Value::floating(7.9)), 7);
}

TEST(ToString, FollowsTheKindTable) {
    Engine e;
    EXPECT_EQ(text(e, Value::null()), "undefined");
    EXPECT_EQ(text(e, Value::undefined()), "undefined");
    EXPECT_EQ(text(e, Value::boolean(true)), "true");
    EXPECT_EQ(text(e, Value::integer(-1234)), "-1234");
    EXPECT_EQ(text(e, Value::floating(1.0 / 3.0)), "0.333333");
    EXPECT_EQ(text(e, Value::floating(2.0)), "2");
    EXPECT_EQ(text(e, Value::floating(1e6)), "1e+06");
    EXPECT_EQ(text(e, Value::floating(123456.0)), "123456");
    EXPECT_EQ(text(e, Value::floating(0.0001)), "0.0001");
    EXPECT_EQ(text(e, Value::floating(0.00001)), "1e-05");
    EXPECT_EQ(text(e, Value::floating(INFINITY)), "inf");
    EXPECT_EQ(text(e, Value::nan()), "NaN");
    EXPECT_EQ(text(e, Value::symbol(Engine::kToStringId)), "toString");
    EXPECT_EQ(text(e, Value::raw(Kind::Reserved9, 0)), "unknown");
    EXPECT_EQ(text(e, Value::raw(Kind::FrameLink, 0)), "unknown");
    EXPECT_EQ(text(e, Value::object(newObject(e))), "object");
    Value a = newArray(e);
    arrayPush(e, a.asArray(), Value::integer(1));
    arraySet(e, a.asArray(), 3, str(e, "x"));
    EXPECT_EQ(text(e, a), "1,,,x");
    arraySet(e, a.asArray(), 1, Value::null());
    EXPECT_EQ(text(e, a), "1,undefined,,x") << "only holes write nothing";
    arraySet(e, a.asArray(), 2, a);
    EXPECT_EQ(text(e, a).substr(0, 16), "1,undefined,1,un") << "an array inside itself ends";
    Value huge = newArray(e);
    arraySet(e, huge.asArray(), uint64_t(1) << 40, Value::integer(1));
    EXPECT_THROW(toString(e, huge), RuntimeError) << "too long a text is refused at once";
    Value s = str(e, "same");
    EXPECT_TRUE(toString(e, s).sameAs(s)) << "a String converts to itself";
}

namespace {
int classToString(Engine& e, NativeClass*, void* self, SymbolId member, Value& result, ArgList args) {
    if (member != Engine::kToStringId || args.count() != 0)
        return 0;
    auto* v = static_cast<Value*>(self);
    result = newStringFromAnsi(e, "int:" + std::to_string(v->asInteger()));
    return 1;
}
} // namespace

TEST(ToString, KindClassAnswersFirst) {
    Engine e;
    NativeClass* number = newNativeClass(e);
    number->callMethod = classToString;
    e.setKindClass(Kind::Integer, number);
    EXPECT_EQ(text(e, Value::integer(5)), "int:5");
    // Float has no class here: the built-in format is used.
    EXPECT_EQ(text(e, Value::floating(5)), "5");
}

TEST(ToPrimitive, ErrorsAndPassThrough) {
    Engine e;
    Value s = str(e, "x");
    EXPECT_TRUE(toPrimitive(e, s, Hint::Number).sameAs(s));
    EXPECT_TRUE(toPrimitive(e, Value::nan(), Hint::String).isNaN());
    EXPECT_THROW(toPrimitive(e, Value::symbol(1), Hint::Number), RuntimeError);
    EXPECT_STREQ(e.errorText, "Runtime error: Can't convert to primitive type");
    EXPECT_THROW(toPrimitive(e, Value::raw(static_cast<Kind>(-5), 0), Hint::Number), RuntimeError);
    // Object, string hint: no toString or valueOf function -> error.
    EXPECT_THROW(toPrimitive(e, Value::object(newObject(e)), Hint::String), RuntimeError);
    // Object, number hint: falls back to its text.
    Value p = toPrimitive(e, Value::object(newObject(e)), Hint::Number);
    ASSERT_TRUE(p.isString());
    EXPECT_EQ(stringToAnsi(p.asString()), "object");
    // A native class without callMethod has no primitive.
    NativeClass* cls = newNativeClass(e);
    Value n;
    bindNativeObject(e, n, cls, nullptr);
    EXPECT_THROW(toPrimitive(e, n, Hint::Number), RuntimeError);
}

namespace {
// Stands in for the interpreter: the "function" answers with the Integer
// kept in its property object under the name "answer".
bool fakeCall(Engine& e, const Value&, const Value& fn, ArgList args, Value& result) {
    if (args.count() != 0)
        return false;
    SymbolId id = e.internName("answer");
    Value v;
    if (!fn.asFunction()->props || !objectGetOwn(fn.asFunction()->props, id, v))
        return false;
    result = v;
    return true;
}

Value fakeFunction(Engine& e, const Value& answer) {
    auto* ref = static_cast<FunctionRef*>(e.gcAllocZeroed(sizeof(FunctionRef)));
    ref->props = newObject(e);
    objectPut(e, ref->props, e.internName("answer"), answer);
    return Value::function(ref);
}
} // namespace

TEST(ToPrimitive, ObjectMethodsThroughTheChain) {
    Engine e;
    e.callFunction = fakeCall;
    ObjectRecord* proto = newObject(e);
    objectPut(e, proto, Engine::kValueOfId, fakeFunction(e, Value::integer(41)));
    ObjectRecord* o = newObject(e);
    objectPut(e, o, Engine::kProtoId, Value::object(proto));
    Value ov = Value::object(o);
    expectInteger(toNumber(e, ov), 41);
    // String hint without toString falls to valueOf.
    expectInteger(toPrimitive(e, ov, Hint::String), 41);
    objectPut(e, o, Engine::kToStringId, fakeFunction(e, newStringFromAnsi(e, "hello")));
    EXPECT_EQ(text(e, ov), "hello");
    // A toString returning a non-String: ToString gives "object".
    objectPut(e, o, Engine::kToStringId, fakeFunction(e, Value::integer(3)));
    EXPECT_EQ(text(e, ov), "object");
}

TEST(ToObject, CopiesStringsAndRefusesEmptyKinds) {
    Engine e;
    Value s = newStaticString(e, u"abc", 3);
    Value o = toObject(e, s);
    ASSERT_TRUE(o.isString());
    EXPECT_FALSE(o.sameAs(s));
    EXPECT_FALSE(o.asString()->isStatic());
    EXPECT_EQ(stringToAnsi(o.asString()), "abc");
    EXPECT_TRUE(toObject(e, Value::integer(4)).sameAs(Value::integer(4)));
    for (Value bad : {Value::undefined(), Value::null(), Value::symbol(2), Value::raw(Kind::Reserved8, 0)}) {
        e.setErrorText("");
        EXPECT_THROW(toObject(e, bad), RuntimeError);
        EXPECT_STREQ(e.errorText, "Runtime error: Can't convert to object");
    }
}

TEST(Typeof, NamesByKind) {
    const char* want[] = {"undefined", "object", "boolean", "number", "string", "number", "object", "object",
                          "",          "",       "",        "object", "function", "number", "", ""};
    for (int k = 0; k < 16; ++k)
        EXPECT_STREQ(typeofName(static_cast<Kind>(k)), want[k]) << "kind " << k;
    EXPECT_STREQ(typeofName(static_cast<Kind>(-1)), "");
}

TEST(StringOrder, UnsignedUnitsThenLength) {
    Engine e;
    auto cmp = [&](std::u16string_view a, std::u16string_view b) {
        return compareStrings(newString(e, a).asString(), newString(e, b).asString());
    };
    EXPECT_LT(cmp(u"abc", u"abd"), 0);
    EXPECT_GT(cmp(u"b", u"abc"), 0);
    EXPECT_LT(cmp(u"ab", u"abc"), 0) << "the shorter string is less";
    EXPECT_EQ(cmp(u"", u""), 0);
    EXPECT_LT(cmp(u"a", u"\uFFFF"), 0) << "units compare unsigned";
    EXPECT_GT(cmp(u"\u00E9", u"z"), 0);
}
