// The text algorithms of the String class and the index bounds of Array
// slice and splice.
#include "script/builtins/StringOps.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cwctype>

namespace quill::stringops {

// ---------------------------------------------------------------------------
// Bounds

Range sliceRange(std::int64_t n, std::int64_t start, IntArg endArg) {
    auto clamp = [n](std::int64_t v) {
        if (v < 0)
            v = std::max<std::int64_t>(v + n, 0);
        return std::min(v, n);
    };
    std::int64_t first = clamp(start);
    std::int64_t end = clamp(endArg.value_or(n));
    if (end < first)
        end = first;
    return {first, end - first};
}

Range substrRange(std::int64_t n, std::int64_t start, IntArg lengthArg) {
    std::int64_t length = lengthArg ? std::max<std::int64_t>(*lengthArg, 0) : n;
    if (start < 0)
        start = std::max<std::int64_t>(start + n, 0);
    start = std::min(start, n);
    length = std::min(length, n - start);
    return {start, length};
}

Range substringRange(std::int64_t n, std::int64_t start, IntArg endArg) {
    std::int64_t end = endArg.value_or(n);
    start = std::max<std::int64_t>(start, 0);
    end = std::min(end, n);
    if (end < 0 || start > end)
        return {std::min(start, n), 0};
    return {start, end - start};
}

Range arraySliceRange(std::int64_t length, IntArg startArg, IntArg endArg) {
    std::int64_t start = startArg.value_or(0);
    std::int64_t end = endArg.value_or(length);
    if (start < 0)
        start = std::max<std::int64_t>(start + length, 0);
    if (end < 0) {
        end += length;
        if (end < 0)
            end = start;
    }
    if (end < start)
        std::swap(start, end);
    return {start, end - start};
}

SpliceRange arraySpliceRange(std::int64_t length, IntArg startArg, IntArg deleteArg,
                             std::int64_t itemCount) {
    SpliceRange r;
    // 1. The start position; a negative one counts from the end.
    r.start = startArg.value_or(0);
    if (r.start < 0)
        r.start = std::max<std::int64_t>(r.start + length, 0);
    // 2. The number of elements deleted, cut to what exists.
    if (r.start >= length) {
        r.deleteCount = 0;
        r.newLength = r.start + itemCount;
        return r;
    }
    r.deleteCount = deleteArg ? std::max<std::int64_t>(*deleteArg, 0) : length - r.start;
    r.deleteCount = std::min(r.deleteCount, length - r.start);
    // 3. The length once the items are stored.
    r.newLength = length - r.deleteCount + itemCount;
    return r;
}

// ---------------------------------------------------------------------------
// Searching

namespace {

template <typename View>
std::int64_t indexIn(View s, View text, IntArg startArg) {
    std::int64_t start = startArg.value_or(0);
    if (start < 0 || start > std::int64_t(s.size()))
        return -1;
    size_t p = s.find(text, size_t(start));
    return p == View::npos ? -1 : std::int64_t(p);
}

template <typename View>
std::int64_t lastIndexIn(View s, View text, IntArg startArg) {
    std::int64_t highest = std::int64_t(s.size()) - std::int64_t(text.size());
    std::int64_t start = std::min(startArg.value_or(highest), highest);
    if (start < 0)
        return -1;
    size_t p = s.rfind(text, size_t(start));
    return p == View::npos ? -1 : std::int64_t(p);
}

} // namespace

std::int64_t indexOf(std::u16string_view s, std::u16string_view text, IntArg start) { return indexIn(s, text, start); }
std::int64_t indexOf(std::string_view s, std::string_view text, IntArg start) { return indexIn(s, text, start); }
std::int64_t lastIndexOf(std::u16string_view s, std::u16string_view text, IntArg start) {
    return lastIndexIn(s, text, start);
}
std::int64_t lastIndexOf(std::string_view s, std::string_view text, IntArg start) {
    return lastIndexIn(s, text, start);
}

std::int64_t searchText(std::u16string_view s, std::u16string_view text) {
    auto untilNul = [](std::u16string_view v) { return v.substr(0, v.find(u'\0')); };
    size_t p = untilNul(s).find(untilNul(text));
    return p == std::u16string_view::npos ? -1 : std::int64_t(p);
}

std::vector<std::u16string_view> splitByText(std::u16string_view s, std::u16string_view separator,
                                             std::int64_t limit) {
    std::vector<std::u16string_view> pieces;
    splitByText(s, separator, limit, [&](std::u16string_view piece) { pieces.push_back(piece); });
    return pieces;
}

std::u16string replaceText(std::u16string_view s, std::u16string_view pattern,
                           std::u16string_view replacement, bool all) {
    if (pattern.empty())
        return std::u16string(s);
    std::u16string out;
    size_t from = 0;
    for (;;) {
        size_t p = s.find(pattern, from);
        if (p == std::u16string_view::npos)
            break;
        out.append(s.substr(from, p - from));
        out.append(replacement);
        from = p + pattern.size();
        if (!all)
            break;
    }
    out.append(s.substr(from));
    return out;
}

// ---------------------------------------------------------------------------
// HTML wrappers

namespace {

struct HtmlForm {
    const char16_t* open;  // before the argument, or before the text when no argument
    const char16_t* mid;   // between argument and text (tags with an argument)
    const char16_t* close; // after the text
};

constexpr HtmlForm kHtmlForms[] = {
    {u"<A NAME=\"", u"\">", u"</A>"},        // anchor
    {u"<BIG>", nullptr, u"</BIG>"},          // big
    {u"<BLINK>", nullptr, u"</BLINK>"},      // blink
    {u"<B>", nullptr, u"</B>"},              // bold
    {u"<TT>", nullptr, u"</TT>"},            // fixed
    {u"<FONT COLOR=\"", u"\">", u"</FONT>"}, // fontColor
    {u"<FONT SIZE=\"", u"\">", u"</FONT>"},  // fontSize
    {u"<I>", nullptr, u"</I>"},              // italics
    {u"<A HREF=\"", u"\">", u"</A>"},        // link
    {u"<SMALL>", nullptr, u"</SMALL>"},      // small
    {u"<STRIKE>", nullptr, u"</STRIKE>"},    // strike
    {u"<SUB>", nullptr, u"</SUB>"},          // sub
    {u"<SUP>", nullptr, u"</SUP>"},          // sup
};

} // namespace

bool htmlTagTakesArgument(HtmlTag tag) { return kHtmlForms[size_t(tag)].mid != nullptr; }

std::u16string htmlWrap(HtmlTag tag, std::u16string_view text, std::u16string_view argument) {
    const HtmlForm& form = kHtmlForms[size_t(tag)];
    std::u16string out = form.open;
    if (form.mid) {
        out.append(argument);
        out.append(form.mid);
    }
    out.append(text);
    out.append(form.close);
    return out;
}

// ---------------------------------------------------------------------------
// fromCharCode and case mapping

char16_t codeFromText(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min<std::int64_t>(value * 10 + (text[i] - u'0'), std::int64_t(INT_MAX) + 1);
    if (negative)
        value = -value;
    value = std::clamp<std::int64_t>(value, INT_MIN, INT_MAX);
    return char16_t(std::uint32_t(value) & 0xFFFF);
}

char16_t codeFromFloat(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18)
        return 0;
    return char16_t(std::uint64_t(std::int64_t(value)) & 0xFFFF);
}

std::u16string toLowerCase(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        c = char16_t(std::towlower(std::wint_t(c)));
    return out;
}

std::u16string toUpperCase(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        c = char16_t(std::towupper(std::wint_t(c)));
    return out;
}

} // namespace quill::stringops
