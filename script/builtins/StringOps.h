#pragma once
// The text algorithms of the String class over plain UTF-16 text: bounds of
// slice, substr and substring, searching, splitting and replacing by a String,
// the HTML wrappers, fromCharCode codes and case mapping. Also the index
// bounds of Array slice and splice, which follow the same conventions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::stringops {

// A range of code units (or array indices): first index and count.
struct Range {
    std::int64_t first = 0;
    std::int64_t count = 0;
};

// An argument that counts only when it is an Integer.
using IntArg = std::optional<std::int64_t>;

// String.slice (start, end): start must be given.
Range sliceRange(std::int64_t n, std::int64_t start, IntArg end);
// String.substr (start, length)
Range substrRange(std::int64_t n, std::int64_t start, IntArg length);
// String.substring (start, end); the bounds are not swapped.
Range substringRange(std::int64_t n, std::int64_t start, IntArg end);

// Array.slice (start, end): no clamping to the length; the bounds are
// swapped when end < start.
Range arraySliceRange(std::int64_t length, IntArg start, IntArg end);

// Array.splice (start, deleteCount): the deletion range and the length the
// array has once the items are stored.
struct SpliceRange {
    std::int64_t start = 0;
    std::int64_t deleteCount = 0;
    std::int64_t newLength = 0;
};
SpliceRange arraySpliceRange(std::int64_t length, IntArg start, IntArg deleteCount,
                             std::int64_t itemCount);

// indexOf: the first position p >= start where text occurs, else -1.
// (Also over one-byte text: std::string_view whose chars are the units.)
std::int64_t indexOf(std::u16string_view s, std::u16string_view text, IntArg start);
std::int64_t indexOf(std::string_view s, std::string_view text, IntArg start);
// lastIndexOf: the highest position p <= start where text occurs, else -1.
std::int64_t lastIndexOf(std::u16string_view s, std::u16string_view text, IntArg start);
std::int64_t lastIndexOf(std::string_view s, std::string_view text, IntArg start);
// search with a String: the first occurrence before the first NUL unit.
std::int64_t searchText(std::u16string_view s, std::u16string_view text);

// split by a String separator, at most limit pieces: visit(piece) for each
// in order (views into s).
// (View: std::u16string_view, or std::string_view over one-byte text.)
template <typename View, typename Visit>
void splitPieces(View s, View separator, std::int64_t limit, Visit&& visit) {
    if (limit <= 0)
        return;
    if (separator.empty()) {
        std::int64_t count = limit < std::int64_t(s.size()) ? limit : std::int64_t(s.size());
        for (std::int64_t i = 0; i < count; ++i)
            visit(s.substr(size_t(i), 1));
        return;
    }
    size_t from = 0;
    for (std::int64_t pieces = 0; pieces < limit; ++pieces) {
        size_t p;
        if (separator.size() == 1) {
            // Pieces are mostly short: a plain scan beats a library call.
            p = from;
            while (p < s.size() && s[p] != separator[0])
                ++p;
            if (p == s.size())
                p = View::npos;
        } else {
            p = s.find(separator, from);
        }
        if (p == View::npos) {
            visit(s.substr(from));
            return;
        }
        visit(s.substr(from, p - from));
        from = p + separator.size();
    }
}
template <typename Visit>
void splitByText(std::u16string_view s, std::u16string_view separator, std::int64_t limit, Visit&& visit) {
    splitPieces(s, separator, limit, visit);
}
// The pieces as a list.
std::vector<std::u16string_view> splitByText(std::u16string_view s, std::u16string_view separator,
                                             std::int64_t limit);

// replace of a String pattern: the first occurrence, or every one when all.
std::u16string replaceText(std::u16string_view s, std::u16string_view pattern,
                           std::u16string_view replacement, bool all);

// The HTML wrappers, in the order of the String class's members.
enum class HtmlTag { Anchor, Big, Blink, Bold, Fixed, FontColor, FontSize, Italics, Link, Small,
                     Strike, Sub, Sup };
bool htmlTagTakesArgument(HtmlTag tag);
// The receiver's text in the tag's fixed form; argument is used by the four
// tags that take one. Any length works.
std::u16string htmlWrap(HtmlTag tag, std::u16string_view text, std::u16string_view argument);

// fromCharCode: the code unit for a String argument, read as a decimal
// integer as the runtime library's wide-to-integer conversion does.
char16_t codeFromText(std::u16string_view text);
// ... for a Float argument: its value truncated (0 when not finite).
char16_t codeFromFloat(double value);

std::u16string toLowerCase(std::u16string_view s);
std::u16string toUpperCase(std::u16string_view s);

} // namespace quill::stringops
