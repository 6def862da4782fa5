// The Date class through its hooks.
#include "ClassHarness.h"

#include "base/LocalTime.h"

using namespace quill;
using namespace quill::test;

TEST(DateClass, ConstructionForms) {
    ClassHarness h;
    std::int64_t before = paloma::currentTimeMillis();
    Value now = h.construct("Date");
    std::int64_t t = h.call(now, "getTime").asInteger();
    EXPECT_GE(t, before);
    EXPECT_LE(t, paloma::currentTimeMillis());
    EXPECT_EQ(h.call(h.construct("Date", {I(946684800000LL)}), "getTime").asInteger(), 946684800000LL);
    EXPECT_EQ(h.call(h.construct("Date", {F(1.5e12)}), "valueOf").asInteger(), 1500000000000LL);
    EXPECT_EQ(h.call(h.construct("Date", {F(1e300)}), "getTime").asInteger(), 0); // invalid gives 0
    // A text that cannot be parsed gives the current time.
    std::int64_t fromBad = h.call(h.construct("Date", {h.str(u"not a date")}), "getTime").asInteger();
    EXPECT_GE(fromBad, before);
    Value parsed = h.construct("Date", {h.str(u"Tue, 01 Jan 2002 10:20:30 GMT")});
    EXPECT_EQ(h.call(parsed, "getUTCHours").asInteger(), 10);
    EXPECT_EQ(h.text(h.call(parsed, "toGMTString")), u"Tue, 01 Jan 2002 10:20:30 GMT");
    // Components are local: month 13 of 2000 is February 2001.
    Value local = h.construct("Date", {I(2000), I(13), I(1)});
    EXPECT_EQ(h.call(local, "getFullYear").asInteger(), 2001);
    EXPECT_EQ(h.call(local, "getMonth").asInteger(), 1);
    EXPECT_EQ(h.call(local, "getHours").asInteger(), 0);
    EXPECT_EQ(h.call(h.construct("Date", {I(99), I(0)}), "getFullYear").asInteger(), 99);
    EXPECT_EQ(h.call(h.construct("Date", {I(1999), I(5)}), "getYear").asInteger(), 99);
    // Called as a function: the current time as text.
    EXPECT_NE(h.text(h.callClass("Date")).find(u" GMT"), std::u16string::npos);
}

TEST(DateClass, StaticParseAndUtc) {
    ClassHarness h;
    Value cls = h.global("Date");
    EXPECT_EQ(h.call(cls, "UTC", {I(2000), I(0), I(1)}).asInteger(), 946684800000LL);
    EXPECT_EQ(h.call(cls, "UTC").asInteger(), 0);
    EXPECT_EQ(h.call(cls, "UTC", {I(2000), I(1), I(29), I(23), I(59), I(59), I(999)}).asInteger(),
              951868799999LL);
    EXPECT_EQ(h.call(cls, "UTC", {I(1969), I(11), I(31)}).asInteger(), -86400000LL);
    EXPECT_EQ(h.call(cls, "parse").asInteger(), 0);
    EXPECT_EQ(h.call(cls, "parse", {I(1234)}).asInteger(), 1234);
    EXPECT_EQ(h.call(cls, "parse", {h.str(u"Tue, 01 Jan 2002 10:20:30 EST")}).asInteger(), 1009898430000LL);
    EXPECT_EQ(h.text(h.call(cls, "toString")), u"[object Date]");
}

TEST(DateClass, GettersSettersAndText) {
    ClassHarness h;
    Value d = h.construct("Date", {I(951782400000LL)}); // 2000-02-29 00:00 UTC
    std::int64_t offsetMinutes = h.call(d, "getTimezoneOffset").asInteger();
    EXPECT_EQ(offsetMinutes, paloma::localBiasMinutes());
    EXPECT_EQ(h.call(d, "getUTCDate").asInteger(), 29);
    EXPECT_EQ(h.call(d, "getUTCMonth").asInteger(), 1);
    EXPECT_EQ(h.call(d, "getUTCDay").asInteger(), 2); // a Tuesday
    // UTC setters.
    EXPECT_EQ(h.call(d, "setUTCFullYear", {I(2001)}).asInteger(), 983404800000LL); // 1 March 2001
    EXPECT_EQ(h.call(d, "getUTCMonth").asInteger(), 2);
    EXPECT_EQ(h.call(d, "setUTCHours", {I(25), h.str(u"x"), I(5)}).asInteger(), 983494805000LL);
    EXPECT_EQ(h.call(d, "getUTCHours").asInteger(), 1);
    // A non-numeric first argument, or an out-of-range result, changes nothing.
    std::int64_t kept = h.call(d, "getTime").asInteger();
    EXPECT_EQ(h.call(d, "setUTCDate", {h.str(u"3")}).asInteger(), kept);
    EXPECT_EQ(h.call(d, "setUTCFullYear", {I(300000)}).asInteger(), kept);
    EXPECT_EQ(h.call(d, "setTime", {F(9e15)}).asInteger(), kept);
    EXPECT_EQ(h.call(d, "setTime", {I(0)}).asInteger(), 0);
    // Local setters go through the fixed offset.
    h.call(d, "setHours", {I(12), I(30)});
    EXPECT_EQ(h.call(d, "getHours").asInteger(), 12);
    EXPECT_EQ(h.call(d, "getMinutes").asInteger(), 30);
    EXPECT_EQ(h.call(d, "getUTCHours").asInteger() * 60 + h.call(d, "getUTCMinutes").asInteger(),
              ((12 * 60 + 30 + offsetMinutes) % 1440 + 1440) % 1440);
    h.call(d, "setYear", {I(95)});
    EXPECT_EQ(h.call(d, "getFullYear").asInteger(), 1995);
    EXPECT_EQ(h.call(d, "getYear").asInteger(), 95);
    // Year 0 prints with " B.C." as year 1.
    h.call(d, "setUTCFullYear", {I(0), I(5), I(15)});
    std::u16string gmt = h.text(h.call(d, "toGMTString"));
    EXPECT_EQ(gmt.substr(0, 17), u"Thu, 15 Jun 0001 ");
    EXPECT_EQ(gmt.substr(gmt.size() - 9), u" GMT B.C.");
    std::u16string local = h.text(h.call(d, "toString"));
    EXPECT_EQ(local.substr(local.size() - 5), u" B.C.");
    EXPECT_EQ(h.text(h.call(d, "toLocaleString")), local);
}
