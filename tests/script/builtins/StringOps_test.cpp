// Text algorithms of the String class and the Array slice/splice bounds.
#include "script/builtins/StringOps.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quill::stringops;

namespace {

std::u16string cut(std::u16string_view s, Range r) { return std::u16string(s.substr(size_t(r.first), size_t(r.count))); }

} // namespace

TEST(StringBounds, SliceSubstrSubstring) {
    std::u16string_view s = u"abcdef";
    const std::int64_t n = 6;
    EXPECT_EQ(cut(s, sliceRange(n, -2, std::nullopt)), u"ef");
    EXPECT_EQ(cut(s, sliceRange(n, 1, 3)), u"bc");
    EXPECT_EQ(cut(s, sliceRange(n, 1, -1)), u"bcde");
    EXPECT_EQ(cut(s, sliceRange(n, 4, 2)), u"");       // end below start
    EXPECT_EQ(cut(s, sliceRange(n, -100, 100)), u"abcdef");
    EXPECT_EQ(cut(s, sliceRange(n, 9, std::nullopt)), u"");
    EXPECT_EQ(cut(s, substrRange(n, -3, 2)), u"de");
    EXPECT_EQ(cut(s, substrRange(n, 2, std::nullopt)), u"cdef");
    EXPECT_EQ(cut(s, substrRange(n, 4, 100)), u"ef");
    EXPECT_EQ(cut(s, substrRange(n, 2, -5)), u"");     // negative length is 0
    EXPECT_EQ(cut(s, substrRange(n, 10, 2)), u"");
    EXPECT_EQ(cut(s, substringRange(n, 3, 1)), u"");   // not swapped
    EXPECT_EQ(cut(s, substringRange(n, 1, 3)), u"bc");
    EXPECT_EQ(cut(s, substringRange(n, -4, 2)), u"ab");
    EXPECT_EQ(cut(s, substringRange(n, 2, 99)), u"cdef");
    EXPECT_EQ(cut(s, substringRange(n, 0, -1)), u"");
    EXPECT_EQ(cut(s, substringRange(n, 8, std::nullopt)), u"");
}

TEST(ArrayBounds, SliceIsNotClampedAndSwapsBounds) {
    Range r = arraySliceRange(5, 3, 1);
    EXPECT_EQ(r.first, 1);
    EXPECT_EQ(r.count, 2);
    r = arraySliceRange(5, std::nullopt, std::nullopt);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.count, 5);
    r = arraySliceRange(5, -2, std::nullopt);
    EXPECT_EQ(r.first, 3);
    EXPECT_EQ(r.count, 2);
    r = arraySliceRange(5, 2, 10); // past the length: kept
    EXPECT_EQ(r.count, 8);
    r = arraySliceRange(5, 2, -10); // still negative: becomes start
    EXPECT_EQ(r.first, 2);
    EXPECT_EQ(r.count, 0);
    r = arraySliceRange(5, -10, 2);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.count, 2);
}

TEST(ArrayBounds, Splice) {
    SpliceRange r = arraySpliceRange(5, 1, 2, 0);
    EXPECT_EQ(r.start, 1);
    EXPECT_EQ(r.deleteCount, 2);
    EXPECT_EQ(r.newLength, 3);
    r = arraySpliceRange(5, 1, std::nullopt, 0); // everything from 1
    EXPECT_EQ(r.deleteCount, 4);
    EXPECT_EQ(r.newLength, 1);
    r = arraySpliceRange(5, -2, 10, 1); // cut to what exists
    EXPECT_EQ(r.start, 3);
    EXPECT_EQ(r.deleteCount, 2);
    EXPECT_EQ(r.newLength, 4);
    r = arraySpliceRange(5, 2, -3, 2); // negative count is 0
    EXPECT_EQ(r.deleteCount, 0);
    EXPECT_EQ(r.newLength, 7);
    r = arraySpliceRange(5, 8, 2, 1); // beyond the end: nothing deleted
    EXPECT_EQ(r.deleteCount, 0);
    EXPECT_EQ(r.newLength, 9);
    r = arraySpliceRange(5, -9, 1, 0);
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.newLength, 4);
}

TEST(StringSearch, IndexOfLastIndexOfSearch) {
    std::u16string_view s = u"abcabc";
    EXPECT_EQ(indexOf(s, u"bc", std::nullopt), 1);
    EXPECT_EQ(indexOf(s, u"bc", 2), 4);
    EXPECT_EQ(indexOf(s, u"bc", 5), -1);
    EXPECT_EQ(indexOf(s, u"bc", -1), -1);
    EXPECT_EQ(indexOf(s, u"", 6), 6);
    EXPECT_EQ(indexOf(s, u"", 7), -1);
    EXPECT_EQ(lastIndexOf(s, u"bc", std::nullopt), 4);
    EXPECT_EQ(lastIndexOf(s, u"bc", 3), 1);
    EXPECT_EQ(lastIndexOf(s, u"bc", 100), 4);
    EXPECT_EQ(lastIndexOf(s, u"bc", -1), -1);
    EXPECT_EQ(lastIndexOf(s, u"abcabcd", std::nullopt), -1);
    EXPECT_EQ(searchText(s, u"ca"), 2);
    // The String form of search stops at a NUL unit.
    std::u16string withNul(u"ab\0cd", 5);
    EXPECT_EQ(searchText(withNul, u"cd"), -1);
    EXPECT_EQ(searchText(withNul, u"b"), 1);
}

TEST(StringSplitReplace, ByText) {
    auto v = splitByText(u"hello", u"", 2);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0], u"h");
    EXPECT_EQ(v[1], u"e");
    EXPECT_EQ(splitByText(u"hello", u"", 100).size(), 5u);
    v = splitByText(u"a,b,,c", u",", 2147483647);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[2], u"");
    EXPECT_EQ(v[3], u"c");
    v = splitByText(u"a,b,c", u",", 2);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1], u"b");
    v = splitByText(u"a::b::", u"::", 10);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[2], u"");
    EXPECT_TRUE(splitByText(u"abc", u",", 0).empty());
    EXPECT_EQ(replaceText(u"one two one", u"one", u"1", false), u"1 two one");
    EXPECT_EQ(replaceText(u"one two one", u"one", u"1", true), u"1 two 1");
    EXPECT_EQ(replaceText(u"aaa", u"a", u"aa", true), u"aaaaaa"); // no rescanning of the replacement
    EXPECT_EQ(replaceText(u"abc", u"", u"x", true), u"abc");
}

TEST(StringHtml, WrappersOfAnyLength) {
    EXPECT_EQ(htmlWrap(HtmlTag::Anchor, u"t", u"n"), u"<A NAME=\"n\">t</A>");
    EXPECT_EQ(htmlWrap(HtmlTag::Bold, u"t", u"ignored"), u"<B>t</B>");
    EXPECT_EQ(htmlWrap(HtmlTag::FontColor, u"t", u"red"), u"<FONT COLOR=\"red\">t</FONT>");
    EXPECT_EQ(htmlWrap(HtmlTag::FontSize, u"t", u"7"), u"<FONT SIZE=\"7\">t</FONT>");
    EXPECT_EQ(htmlWrap(HtmlTag::Link, u"t", u"u"), u"<A HREF=\"u\">t</A>");
    EXPECT_EQ(htmlWrap(HtmlTag::Fixed, u"t", u""), u"<TT>t</TT>");
    EXPECT_EQ(htmlWrap(HtmlTag::Sup, u"", u""), u"<SUP></SUP>");
    int withArgument = 0;
    for (int t = 0; t <= int(HtmlTag::Sup); ++t)
        withArgument += htmlTagTakesArgument(HtmlTag(t));
    EXPECT_EQ(withArgument, 4);
    // Far beyond 1024 units.
    std::u16string big(5000, u'x');
    std::u16string out = htmlWrap(HtmlTag::Link, big, big);
    EXPECT_EQ(out.size(), 2 * big.size() + 15);
    EXPECT_EQ(out.substr(out.size() - 4), u"</A>");
}

TEST(StringCodes, FromCharCodeConversions) {
    EXPECT_EQ(codeFromText(u"65"), u'A');
    EXPECT_EQ(codeFromText(u"  -1"), char16_t(0xFFFF));
    EXPECT_EQ(codeFromText(u"66abc"), u'B');
    EXPECT_EQ(codeFromText(u"abc"), 0);
    EXPECT_EQ(codeFromText(u"65601"), u'A'); // 65536 + 65
    EXPECT_EQ(codeFromText(u"99999999999999999999"), char16_t(0xFFFF)); // saturates to INT_MAX
    EXPECT_EQ(codeFromFloat(66.9), u'B');
    EXPECT_EQ(codeFromFloat(-1.5), char16_t(0xFFFF));
    EXPECT_EQ(codeFromFloat(INFINITY), 0);
    EXPECT_EQ(codeFromFloat(1e300), 0);
}

TEST(StringCase, AsciiMapping) {
    EXPECT_EQ(toLowerCase(u"HeLLo, World 9"), u"hello, world 9");
    EXPECT_EQ(toUpperCase(u"HeLLo, World 9"), u"HELLO, WORLD 9");
    EXPECT_EQ(toUpperCase(u""), u"");
}
