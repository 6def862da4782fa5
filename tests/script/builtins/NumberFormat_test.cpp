// Number to text: radix, "%g" and the printf-style format.
#include "script/builtins/NumberFormat.h"

#include <gtest/gtest.h>

#include <climits>

using namespace quill::numberformat;

namespace {

FormatNumber integer(std::int64_t v) { return {true, v, 0}; }
FormatNumber real(double v) { return {false, 0, v}; }

} // namespace

TEST(NumberRadix, PositiveAndNegative) {
    EXPECT_EQ(integerToString(255, 16), "ff");
    EXPECT_EQ(integerToString(255, 2), "11111111");
    EXPECT_EQ(integerToString(0, 2), "0");
    EXPECT_EQ(integerToString(35, 36), "z");
    EXPECT_EQ(integerToString(-42, 10), "-42");
    EXPECT_EQ(integerToString(INT64_MIN, 10), "-9223372036854775808");
    EXPECT_EQ(integerToString(-1, 16), "ffffffffffffffff");
    EXPECT_EQ(integerToString(-2, 2), std::string(63, '1') + "0");
    EXPECT_EQ(integerToString(-255, 16), "ffffffffffffff01");
    EXPECT_EQ(integerToString(INT64_MIN, 16), "8000000000000000");
    EXPECT_EQ(integerToString(255, 1), "255"); // radix outside 2..36 counts as 10
    EXPECT_EQ(integerToString(255, 37), "255");
}

TEST(NumberRadix, FloatForm) {
    EXPECT_EQ(floatToString(1.0 / 3), "0.333333");
    EXPECT_EQ(floatToString(2.0), "2");
    EXPECT_EQ(floatToString(1e6), "1e+06");
    EXPECT_EQ(floatToString(0.0001), "0.0001");
    EXPECT_EQ(floatToString(0.00001), "1e-05");
    EXPECT_EQ(floatToString(-123456.0), "-123456");
}

TEST(NumberFormat, Conversions) {
    EXPECT_EQ(format(u"%d", integer(42)), u"42");
    EXPECT_EQ(format(u"[%5d]", integer(42)), u"[   42]");
    EXPECT_EQ(format(u"[%-5d]", integer(42)), u"[42   ]");
    EXPECT_EQ(format(u"%05d", integer(-42)), u"-0042");
    EXPECT_EQ(format(u"%d", integer(0x100000001LL)), u"1");          // low 32 bits
    EXPECT_EQ(format(u"%I64d", integer(0x100000001LL)), u"4294967297");
    EXPECT_EQ(format(u"%lld", integer(-5000000000LL)), u"-5000000000");
    EXPECT_EQ(format(u"%x", integer(255)), u"ff");
    EXPECT_EQ(format(u"%08X", integer(-1)), u"FFFFFFFF");
    EXPECT_EQ(format(u"%.2f", real(3.14159)), u"3.14");
    EXPECT_EQ(format(u"%e", real(12345.678)), u"1.234568e+04");
    EXPECT_EQ(format(u"%g", real(0.5)), u"0.5");
    EXPECT_EQ(format(u"%c", integer(65)), u"A");
    EXPECT_EQ(format(u"%3c", integer(0x20AC)), u"  \u20AC");
    EXPECT_EQ(format(u"100%%", integer(1)), u"100%");
    EXPECT_EQ(format(u"Price: %.1f EUR", real(9.95)), u"Price: 9.9 EUR");
}

TEST(NumberFormat, ValuesConvertToWhatTheConversionReads) {
    // An Integer under a float conversion and a Float under an integer one
    // are converted, not reinterpreted.
    EXPECT_EQ(format(u"%.2f", integer(5)), u"5.00");
    EXPECT_EQ(format(u"%d", real(7.9)), u"7");
    EXPECT_EQ(format(u"%d", real(-7.9)), u"-7");
    EXPECT_EQ(format(u"%I64d", real(1e300)), u"9223372036854775807");
    EXPECT_EQ(format(u"%s|%.2s", integer(1234)), u"1234|12");
    EXPECT_EQ(format(u"%s", real(0.5)), u"0.5");
}

TEST(NumberFormat, UnsafeOrMalformedSpecsStayText) {
    EXPECT_EQ(format(u"%n", integer(1)), u"%n");
    EXPECT_EQ(format(u"%p", integer(1)), u"%p");
    EXPECT_EQ(format(u"%*d", integer(1)), u"%*d");
    EXPECT_EQ(format(u"50%", integer(1)), u"50%");
    EXPECT_EQ(format(u"%5", integer(1)), u"%5");
    EXPECT_EQ(format(u"%d %d", integer(3)), u"3 3");
    EXPECT_EQ(format(u"", integer(3)), u"");
}

TEST(NumberFormat, ResultIsCappedAt255Units) {
    EXPECT_EQ(format(u"%999999d", integer(1)).size(), kFormatMaxLength);
    EXPECT_EQ(format(u"%.300f", real(1e300)).size(), kFormatMaxLength);
    std::u16string longText(1000, u'a');
    EXPECT_EQ(format(longText, integer(1)).size(), kFormatMaxLength);
    std::u16string many;
    for (int i = 0; i < 200; ++i)
        many += u"%d";
    std::u16string out = format(many, integer(12345));
    EXPECT_EQ(out.size(), kFormatMaxLength);
    EXPECT_EQ(out.substr(0, 10), u"1234512345");
}
