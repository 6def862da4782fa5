// Text conversion between UTF-16, the ANSI code page and UTF-8.
#include "base/TextCodec.h"

#include <gtest/gtest.h>

using namespace paloma;

TEST(TextCodec, Cp1252HighRangeMapsBothWays) {
    // Every byte 0x80..0xFF maps to one character and back to itself,
    // including the five bytes the code page leaves undefined.
    for (int b = 0x80; b <= 0xFF; ++b) {
        std::string one(1, char(b));
        std::u16string wide = cp1252ToUtf16(one);
        ASSERT_EQ(wide.size(), 1u) << b;
        EXPECT_EQ(utf16ToCp1252(wide), one) << b;
    }
    EXPECT_EQ(cp1252ToUtf16("\x80\x85\x99\x9F"), u"\u20AC\u2026\u2122\u0178");
    EXPECT_EQ(cp1252ToUtf16("\x81\x8D"), u"\u0081\u008D");
    EXPECT_EQ(cp1252ToUtf16("caf\xE9"), u"caf\u00E9");
}

TEST(TextCodec, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(utf16ToCp1252(u"a\u0416b"), "a?b");          // Cyrillic
    EXPECT_EQ(utf16ToCp1252(u"x\U0001F600y"), "x?y");      // one '?' for a surrogate pair
    EXPECT_EQ(utf16ToCp1252(u"\xD800z"), "?z");            // lone surrogate
    EXPECT_EQ(utf16ToCp1252(u"\u20AC\u0080"), "\x80?");    // U+0080 is not in the code page
}

TEST(TextCodec, EmbeddedNulSurvives) {
    std::string bytes("a\0b", 3);
    EXPECT_EQ(cp1252ToUtf16(bytes), std::u16string(u"a\0b", 3));
    EXPECT_EQ(utf16ToAnsi(ansiToUtf16(bytes)), bytes);
}

TEST(TextCodec, AnsiIsWindows1252OnEnglishSystems) {
    // The POSIX build fixes Windows-1252; an English Windows (and Wine's
    // default) uses the same code page, so the same table holds on both.
    EXPECT_EQ(ansiToUtf16("\x80 \xE9"), u"\u20AC \u00E9");
    EXPECT_EQ(utf16ToAnsi(u"\u20AC \u00E9 \u0416"), "\x80 \xE9 ?");
    EXPECT_EQ(ansiToUtf16(""), u"");
}

TEST(TextCodec, Utf8RoundTripAndRepair) {
    std::u16string text = u"A\u00E9\u20AC\U0001F600";
    EXPECT_EQ(utf16ToUtf8(text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(text)), text);
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");       // overlong
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_EQ(utf8ToUtf16("ab\xE2\x82"), u"ab\uFFFD\uFFFD");    // truncated at the end
    EXPECT_EQ(utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}
