// The Number class and the Math singleton.
#include "ClassHarness.h"

#include <cfloat>
#include <cmath>
#include <numbers>

using namespace quill;
using namespace quill::test;

TEST(NumberClass, ConstructionAndConstants) {
    ClassHarness h;
    EXPECT_EQ(h.callClass("Number").asInteger(), 0);
    EXPECT_EQ(h.callClass("Number", {h.str(u"0x1A")}).asInteger(), 26);
    EXPECT_TRUE(h.construct("Number", {h.str(u"abc")}).isNaN());
    EXPECT_EQ(h.construct("Number", {h.str(u"1.5")}).asFloat(), 1.5);
    Value cls = h.global("Number");
    EXPECT_EQ(h.get(cls, "MIN_VALUE").asFloat(), 2.2250738585072014e-308);
    EXPECT_EQ(h.get(cls, "MAX_VALUE").asFloat(), DBL_MAX);
    EXPECT_TRUE(h.get(cls, "NaN").isNaN());
    EXPECT_EQ(h.get(cls, "NEGATIVE_INFINITY").asFloat(), -INFINITY);
    EXPECT_TRUE(h.put(cls, "MAX_VALUE", I(1))); // read-only
    EXPECT_EQ(h.get(cls, "MAX_VALUE").asFloat(), DBL_MAX);
    EXPECT_EQ(h.text(h.call(cls, "toString")), u"[type Function]");
}

TEST(NumberClass, ToStringToIntegerFormat) {
    ClassHarness h;
    EXPECT_EQ(h.text(h.call(I(255), "toString", {I(16)})), u"ff");
    EXPECT_EQ(h.text(h.call(I(-255), "toString", {I(16)})), u"ffffffffffffff01");
    EXPECT_EQ(h.text(h.call(I(-5), "toString", {I(2)})), std::u16string(61, u'1') + u"011");
    EXPECT_EQ(h.text(h.call(I(-5), "toString")), u"-5");
    EXPECT_EQ(h.text(h.call(I(10), "toString", {F(2.0)})), u"10"); // radix from Integers only
    EXPECT_EQ(h.text(h.call(F(1.0 / 3), "toString")), u"0.333333");
    EXPECT_EQ(h.text(h.call(Value::nan(), "toString")), u"NaN");
    EXPECT_EQ(h.call(F(7.9), "toInteger").asInteger(), 7);
    EXPECT_EQ(h.call(F(-7.9), "toInteger").asInteger(), -7);
    EXPECT_EQ(h.call(I(12), "toInteger").asInteger(), 12);
    EXPECT_TRUE(h.call(Value::nan(), "toInteger").isNaN());
    EXPECT_TRUE(h.call(F(INFINITY), "toInteger").isNaN());
    EXPECT_EQ(h.text(h.call(F(3.14159), "format", {h.str(u"%.2f")})), u"3.14");
    EXPECT_EQ(h.text(h.call(I(42), "format", {h.str(u"[%5d]")})), u"[   42]");
    EXPECT_EQ(h.text(h.call(I(42), "format")), u"42");
    EXPECT_EQ(h.text(h.call(Value::nan(), "format", {h.str(u"%d")})), u"NaN");
    EXPECT_EQ(h.call(I(3), "valueOf").asInteger(), 3);
}

TEST(MathClass, FunctionsAndConstants) {
    ClassHarness h;
    Value m = h.global("Math");
    EXPECT_EQ(h.text(h.call(m, "toString")), u"[object Math]");
    EXPECT_DOUBLE_EQ(h.get(m, "PI").asFloat(), std::numbers::pi);
    EXPECT_DOUBLE_EQ(h.get(m, "SQRT1_2").asFloat(), std::sqrt(0.5));
    EXPECT_TRUE(h.put(m, "PI", I(3)));
    EXPECT_DOUBLE_EQ(h.get(m, "PI").asFloat(), std::numbers::pi);
    Value abs = h.call(m, "abs", {I(-3)});
    ASSERT_TRUE(abs.isFloat());
    EXPECT_EQ(abs.asFloat(), 3.0);
    EXPECT_TRUE(h.call(m, "abs").isNaN());
    EXPECT_TRUE(h.call(m, "floor", {h.str(u"x")}).isNaN());
    EXPECT_EQ(h.call(m, "floor", {h.str(u"2.5")}).asFloat(), 2.0);
    EXPECT_TRUE(h.call(m, "sqrt", {I(-1)}).isNaN());
    EXPECT_DOUBLE_EQ(h.call(m, "atan2", {I(1), I(1)}).asFloat(), std::numbers::pi / 4);
    EXPECT_TRUE(h.call(m, "max").isNaN());
    EXPECT_TRUE(h.call(m, "min").isNaN());
    EXPECT_EQ(h.call(m, "max", {I(1), F(2.5), I(2)}).asFloat(), 2.5);
    EXPECT_EQ(h.call(m, "min", {I(1), F(-2.5), I(2)}).asFloat(), -2.5);
    EXPECT_TRUE(h.call(m, "max", {I(1), Value::nan()}).isNaN());
}

TEST(MathClass, PowRoundRandom) {
    ClassHarness h;
    Value m = h.global("Math");
    Value p = h.call(m, "pow", {I(2), I(10)});
    ASSERT_TRUE(p.isInteger());
    EXPECT_EQ(p.asInteger(), 1024);
    Value half = h.call(m, "pow", {I(2), I(-1)});
    ASSERT_TRUE(half.isFloat());
    EXPECT_EQ(half.asFloat(), 0.5);
    EXPECT_TRUE(h.call(m, "pow", {I(2), F(0.5)}).isFloat());
    EXPECT_TRUE(h.call(m, "pow", {I(2), I(60)}).isFloat());
    EXPECT_TRUE(h.call(m, "pow", {I(-8), F(1.0 / 3)}).isNaN());
    EXPECT_EQ(h.call(m, "round", {F(2.5)}).asInteger(), 3);
    EXPECT_EQ(h.call(m, "round", {F(-2.5)}).asInteger(), -2);
    EXPECT_EQ(h.call(m, "round", {I(7)}).asInteger(), 7);
    EXPECT_EQ(h.call(m, "round", {F(-INFINITY)}).asFloat(), -INFINITY);
    EXPECT_TRUE(h.call(m, "round").isNaN());
    double sum = 0;
    for (int i = 0; i < 1000; ++i) {
        Value r = h.call(m, "random");
        ASSERT_TRUE(r.isFloat());
        ASSERT_GE(r.asFloat(), 0.0);
        ASSERT_LT(r.asFloat(), 1.0);
        sum += r.asFloat();
    }
    EXPECT_NEAR(sum / 1000, 0.5, 0.1);
}
