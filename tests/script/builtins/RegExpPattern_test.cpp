// Compiled regular expressions: options, searches, replace codes and split.
#include "script/builtins/RegExpPattern.h"

#include <gtest/gtest.h>

using namespace quill;

namespace {

RegExpPattern compiled(std::u16string_view source, std::uint32_t flags = 0,
                       RegExpSyntax syntax = RegExpSyntax::Standard) {
    RegExpPattern p;
    auto error = p.compile(source, flags, syntax);
    EXPECT_FALSE(error) << *error;
    return p;
}

// Position of the first match of pattern in text from start, or -1.
int find(const RegExpPattern& p, std::u16string_view text, size_t start = 0) {
    RegExpSubject subject(text);
    MatchTable table;
    return p.search(subject, start, table) ? table.start(0) : -1;
}

std::u16string replaceAll(std::u16string_view source, std::u16string_view text, std::u16string_view with,
                          std::uint32_t flags = kRegExpFlagGlobal) {
    RegExpPattern p = compiled(source, flags);
    std::uint32_t lastIndex = 0;
    MatchTable table;
    RegExpText out = regExpReplace(p, flags & kRegExpFlagGlobal, lastIndex, text, with, table);
    return std::u16string(out.begin(), out.end());
}

} // namespace

TEST(RegExpCompile, FlagsTextAndSource) {
    EXPECT_EQ(regExpFlagsFromText(u"gim"), kRegExpFlagGlobal | kRegExpFlagIgnoreCase | kRegExpFlagMultiline);
    EXPECT_EQ(regExpFlagsFromText(u"xmzg"), kRegExpFlagGlobal | kRegExpFlagMultiline);
    EXPECT_EQ(regExpFlagsFromText(u""), 0u);
    EXPECT_EQ(regExpSource(u""), u"^");
    EXPECT_EQ(regExpSource(u"a+"), u"a+");
    // The empty pattern's source matches at position 0 of any text.
    EXPECT_EQ(find(compiled(regExpSource(u"")), u"xyz"), 0);
}

TEST(RegExpCompile, ErrorsCarryTheLibraryMessage) {
    for (const char16_t* bad : {u"[abc", u"a(b", u"(a))", u"a{2,1}", u"*a"}) {
        RegExpPattern p;
        auto error = p.compile(bad, 0, RegExpSyntax::Standard);
        ASSERT_TRUE(error) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
        EXPECT_FALSE(error->empty());
        EXPECT_FALSE(p.isCompiled());
        EXPECT_EQ(find(p, u"abc"), -1); // a failed pattern finds nothing
    }
    RegExpPattern p;
    auto error = p.compile(u"[abc", 0, RegExpSyntax::Standard);
    EXPECT_NE(error->find("[") , std::string::npos);
}

TEST(RegExpCompile, OptionsKeepTheirMeaning) {
    // Extended syntax: + ? | {} () without backslashes.
    EXPECT_EQ(find(compiled(u"b+c"), u"abbbc"), 1);
    EXPECT_EQ(find(compiled(u"(x|bc){1}$"), u"abc"), 1);
    // Case folding only with i.
    EXPECT_EQ(find(compiled(u"ABC"), u"xabc"), -1);
    EXPECT_EQ(find(compiled(u"ABC", kRegExpFlagIgnoreCase), u"xabc"), 1);
    // Escapes inside bracket lists for the standard set; the compile method's
    // plain extended syntax takes the backslash literally there.
    EXPECT_EQ(find(compiled(u"[\\]]"), u"a]"), 1);
    EXPECT_EQ(find(compiled(u"[\\n]"), u"ab\n"), 2);
    EXPECT_EQ(find(compiled(u"[\\n]", 0, RegExpSyntax::CompileMethod), u"ab\n"), -1);
    EXPECT_EQ(find(compiled(u"[\\n]", 0, RegExpSyntax::CompileMethod), u"a\\b"), 1);
    // Anchors: without m only the ends of the text; with m every line.
    EXPECT_EQ(find(compiled(u"^b"), u"a\nb"), -1);
    EXPECT_EQ(find(compiled(u"^b", kRegExpFlagMultiline), u"a\nb"), 2);
    EXPECT_EQ(find(compiled(u"a$"), u"a\nb"), -1);
    EXPECT_EQ(find(compiled(u"a$", kRegExpFlagMultiline), u"a\nb"), 0);
    EXPECT_EQ(find(compiled(u"a.b"), u"a\nb"), 0);
    EXPECT_EQ(find(compiled(u"a.b", kRegExpFlagMultiline), u"a\nb"), -1);
}

TEST(RegExpSearch, PositionsAreCodeUnitsOfTheWholeText) {
    // Units above 0xFFFF and lone surrogates keep one position each.
    std::u16string text = u"\U0001F600x\xD800yz";
    RegExpPattern p = compiled(u"(y)(z)");
    RegExpSubject subject(text);
    MatchTable table;
    ASSERT_TRUE(p.search(subject, 0, table));
    EXPECT_EQ(table.start(0), 4);
    EXPECT_EQ(table.end(0), 6);
    EXPECT_EQ(table.start(2), 5);
    EXPECT_EQ(table.leadingGroups(), 2u);
    EXPECT_FALSE(table.matched(3));
    // A search from a position sees the text as if it started there.
    EXPECT_EQ(find(compiled(u"^y"), text, 4), 4);
    EXPECT_EQ(find(compiled(u"x"), text, 3), -1);
    EXPECT_EQ(find(compiled(u"z"), text, 99), -1);
    // Text after a NUL unit is searched too.
    std::u16string withNul(u"a\0b", 3);
    EXPECT_EQ(find(compiled(u"b"), withNul), 2);
}

TEST(RegExpSearch, TablesClearAndCopyEveryGroupOfTheirMatch) {
    std::u16string text = u"abc ab";
    RegExpSubject subject(text);
    MatchTable three, one;
    ASSERT_TRUE(compiled(u"(a)(b)(c)").search(subject, 0, three));
    ASSERT_TRUE(compiled(u"ab").search(subject, 1, one));
    EXPECT_EQ(one.start(0), 4);
    EXPECT_FALSE(one.matched(1));
    // A copy carries exactly the source's groups: none of the target's
    // old groups survive.
    MatchTable copy = three;
    EXPECT_EQ(copy.leadingGroups(), 3u);
    EXPECT_EQ(copy.start(3), 2);
    copy = one;
    EXPECT_EQ(copy.start(0), 4);
    EXPECT_EQ(copy.end(0), 6);
    EXPECT_FALSE(copy.matched(1));
    EXPECT_FALSE(copy.matched(3));
    EXPECT_EQ(copy.leadingGroups(), 0u);
    // A failed search leaves no group behind.
    EXPECT_FALSE(compiled(u"zz").search(subject, 0, three));
    for (size_t g = 0; g < kMatchPairs; ++g)
        ASSERT_FALSE(three.matched(g)) << g;
    // A search with fewer groups than the last one clears the rest.
    ASSERT_TRUE(compiled(u"(a)(b)(c)").search(subject, 0, three));
    ASSERT_TRUE(compiled(u"(b)").search(subject, 0, three));
    EXPECT_EQ(three.leadingGroups(), 1u);
    EXPECT_FALSE(three.matched(2));
    EXPECT_FALSE(three.matched(3));
}

TEST(RegExpSearch, SimplePatternsMatchAsTheLibraryDoes) {
    // Sequences of single-unit items with repeats take the matcher of our
    // own; anything else, and the compile method's syntax, the library.
    for (const char16_t* source : {u"o[a-z]", u"a*b?\\d{2,}", u"[^\\]x-]+.\\.", u"\\w{3}\\S"})
        EXPECT_TRUE(compiled(source).isSimple());
    for (const char16_t* source : {u"(a)", u"a|b", u"^a", u"a$", u"\\ba", u"[[:alpha:]]"})
        EXPECT_FALSE(compiled(source).isSimple());
    EXPECT_FALSE(compiled(u"a", 0, RegExpSyntax::CompileMethod).isSimple());
    // The same matches as the library (given the pattern with an empty group
    // appended), case folding and classes on non-ASCII units included.
    const std::u16string text = u"x\u00C9\u00E9\u212Ak\u0130i\u03A3\u03C3\u2028\n\u0660 _AbcAB";
    for (const char16_t* source : {u"\u00E9+", u"[a-z]+", u"K", u"I", u"\u03C3{2}", u".\\s*.", u"\\d", u"\\W+", u"[^a-b]{2,}"}) {
        for (std::uint32_t flags : {0u, kRegExpFlagIgnoreCase, kRegExpFlagMultiline | kRegExpFlagIgnoreCase}) {
            RegExpPattern simple = compiled(source, flags), library = compiled(std::u16string(source) + u"()", flags);
            ASSERT_TRUE(simple.isSimple());
            RegExpSubject subject(text);
            MatchTable a, b;
            for (std::size_t d = 0; d <= text.size(); ++d) {
                ASSERT_EQ(simple.search(subject, d, a), library.search(subject, d, b));
                EXPECT_EQ(a.start(0), b.start(0));
                EXPECT_EQ(a.end(0), b.end(0));
            }
        }
    }
}

TEST(RegExpSearch, LastIndexWithAndWithoutGlobal) {
    RegExpPattern p = compiled(u"o");
    RegExpSubject subject(u"foo boo");
    MatchTable table;
    std::uint32_t lastIndex = 0;
    // Global: lastIndex follows the matches and returns to 0 at the end.
    std::vector<int> found;
    while (regExpExec(p, true, lastIndex, subject, table))
        found.push_back(table.start(0));
    EXPECT_EQ(found, (std::vector<int>{1, 2, 5, 6}));
    EXPECT_EQ(lastIndex, 0u);
    // Not global: the search starts at lastIndex but never moves it.
    lastIndex = 3;
    ASSERT_TRUE(regExpExec(p, false, lastIndex, subject, table));
    EXPECT_EQ(table.start(0), 5);
    EXPECT_EQ(lastIndex, 3u);
    lastIndex = 1000; // cut to the text's length
    EXPECT_FALSE(regExpExec(p, false, lastIndex, subject, table));
    EXPECT_EQ(lastIndex, 1000u);
    EXPECT_FALSE(table.matched(0));
}

TEST(RegExpReplace, DollarCodes) {
    std::u16string_view text = u"John Smith";
    EXPECT_EQ(replaceAll(u"(J[a-z]+) (S[a-z]+)", text, u"$2, $1"), u"Smith, John");
    EXPECT_EQ(replaceAll(u"o", text, u"[$&]"), u"J[o]hn Smith");
    EXPECT_EQ(replaceAll(u"Smith", text, u"<$`>"), u"John <John >");
    EXPECT_EQ(replaceAll(u"John", text, u"<$'>"), u"< Smith> Smith");
    EXPECT_EQ(replaceAll(u"(o)(h)", text, u"$+"), u"Jhn Smith");
    EXPECT_EQ(replaceAll(u"(x)?(o)", text, u"[$+]"), u"J[]hn Smith"); // group 1 did not take part
    EXPECT_EQ(replaceAll(u"o", text, u"$$"), u"J$hn Smith");
    EXPECT_EQ(replaceAll(u"o", text, u"$x$"), u"J$x$hn Smith");
    EXPECT_EQ(replaceAll(u"(o)", text, u"$3"), u"Jhn Smith"); // missing group: nothing
    EXPECT_EQ(replaceAll(u"Smith", text, u"$"), u"John $");
}

TEST(RegExpReplace, GlobalNonGlobalAndEmptyMatches) {
    EXPECT_EQ(replaceAll(u"a", u"banana", u"o"), u"bonono");
    EXPECT_EQ(replaceAll(u"a", u"banana", u"o", 0), u"bonana");
    EXPECT_EQ(replaceAll(u"x*", u"ab", u"-"), u"-a-b-");
    EXPECT_EQ(replaceAll(u"b*", u"abc", u"-"), u"-a--c-");
    EXPECT_EQ(replaceAll(u"z", u"abc", u"-"), u"abc");
    EXPECT_EQ(replaceAll(u"a", u"", u"-"), u"");
    // A non-global pattern starts at lastIndex and leaves the text before it.
    RegExpPattern p = compiled(u"a");
    std::uint32_t lastIndex = 2;
    MatchTable table;
    EXPECT_EQ(regExpReplace(p, false, lastIndex, u"banana", u"o", table), u"banona");
    EXPECT_EQ(lastIndex, 2u);
    EXPECT_EQ(table.start(0), 3);
    // A global one starts at 0, resets lastIndex and keeps the last match.
    lastIndex = 4;
    EXPECT_EQ(regExpReplace(p, true, lastIndex, u"banana", u"o", table), u"bonono");
    EXPECT_EQ(lastIndex, 0u);
    EXPECT_EQ(table.start(0), 5);
}

TEST(RegExpSplit, PiecesAndLimits) {
    RegExpPattern comma = compiled(u" *, *");
    MatchTable table;
    auto v = regExpSplit(comma, u"a , b,c ,d", 2147483647, table);
    EXPECT_EQ(v, (std::vector<std::u16string_view>{u"a", u"b", u"c", u"d"}));
    v = regExpSplit(comma, u"a,b,c", 2, table);
    EXPECT_EQ(v, (std::vector<std::u16string_view>{u"a", u"b"}));
    v = regExpSplit(comma, u"abc", 5, table);
    EXPECT_EQ(v, (std::vector<std::u16string_view>{u"abc"}));
    v = regExpSplit(comma, u"a,", 5, table);
    EXPECT_EQ(v, (std::vector<std::u16string_view>{u"a", u""}));
    EXPECT_TRUE(regExpSplit(comma, u"a,b", 0, table).empty());
    // Groups are not added; an empty match moves on by one.
    v = regExpSplit(compiled(u"(-)"), u"1-2", 10, table);
    EXPECT_EQ(v, (std::vector<std::u16string_view>{u"1", u"2"}));
    v = regExpSplit(compiled(u"x*"), u"ab", 10, table);
    EXPECT_EQ(v, (std::vector<std::u16string_view>{u"", u"a", u"b"}));
}

TEST(RegExpMatchAll, CollectsEveryMatchAndEnds) {
    MatchTable table;
    std::uint32_t lastIndex = 7;
    auto v = regExpMatchAll(compiled(u"[0-9]+"), u"a1 b22 c333", lastIndex, table);
    EXPECT_EQ(v, (std::vector<std::u16string_view>{u"1", u"22", u"333"}));
    EXPECT_EQ(lastIndex, 0u);
    EXPECT_EQ(table.start(0), 8);
    // Empty matches, including the one at the end of the text, end the loop.
    v = regExpMatchAll(compiled(u"x*"), u"ab", lastIndex, table);
    EXPECT_EQ(v.size(), 3u);
    v = regExpMatchAll(compiled(u"q"), u"ab", lastIndex, table);
    EXPECT_TRUE(v.empty());
}

TEST(RegExpCursor, SeriesFindWhatFreshSearchesFind) {
    // Each pattern runs as a replace loop does (on from a match's end, one
    // further after an empty match) and then with one fresh search per step;
    // both series must agree. Anchors and word boundaries see
    // the search start as the beginning of the text either way.
    const std::u16string text = u"aaa bab ^ab a\r\nab oxo-bob, ab\r\n";
    for (const char16_t* source : {u"a", u"o[a-z]", u"x*", u"(a)(b)?", u"[^a ]", u"^a", u"\\ba",
                                   u"\\Bb", u"$", u"[\\^]a", u"b*|a"}) {
        for (std::uint32_t flags : {0u, kRegExpFlagMultiline | kRegExpFlagIgnoreCase}) {
            RegExpPattern p = compiled(source, flags);
            RegExpSubject subject(text);
            RegExpCursor cursor(p, subject);
            MatchTable viaCursor, fresh;
            std::size_t d = 0, matches = 0;
            while (d <= text.size()) {
                bool found = cursor.search(d, viaCursor);
                ASSERT_EQ(found, p.search(subject, d, fresh));
                if (!found)
                    break;
                ++matches;
                for (std::size_t g = 0; g < 3; ++g) {
                    ASSERT_EQ(viaCursor.start(g), fresh.start(g));
                    ASSERT_EQ(viaCursor.end(g), fresh.end(g));
                }
                d = std::size_t(viaCursor.end(0)) + (viaCursor.start(0) == viaCursor.end(0) ? 1 : 0);
            }
            EXPECT_GT(matches, 0u);
        }
    }
    // "^a" and "\\ba" match at every search start that holds an 'a'.
    EXPECT_EQ(replaceAll(u"^a", u"aab", u"-"), u"--b");
    EXPECT_EQ(replaceAll(u"\\ba", u"aa aa", u"-"), u"-- --");
}
