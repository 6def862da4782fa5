#pragma once
// Compiled regular expressions of the RegExp class and the searches built on
// them: exec-style search from a position, the global match list, replace
// with the '$' codes and split. Plain UTF-16 text in and out; the engine side
// (RegExp objects, the class-wide input) lives in the RegExp class.
//
// Matching is done by the regular-expression library on wide characters, one
// wide character per UTF-16 code unit, so every position is a code-unit
// position on every platform.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/values/HeapChunks.h"

namespace quill {

// Instance flags.
inline constexpr std::uint32_t kRegExpFlagGlobal = 1;
inline constexpr std::uint32_t kRegExpFlagIgnoreCase = 2;
inline constexpr std::uint32_t kRegExpFlagMultiline = 4;
inline constexpr std::uint32_t kRegExpFlagFromImage = 8;

// Flags from a flags text: 'g', 'i' and 'm' anywhere; other letters ignored.
std::uint32_t regExpFlagsFromText(std::u16string_view text);

// The class-wide match table: 256 (start, end) pairs of code-unit positions,
// -1 for a group that did not take part; pair 0 is the whole match.
inline constexpr std::size_t kMatchPairs = 256;

// Only the first `used` pairs may differ from -1, so clearing and copying a
// table costs the groups of its match, not all 256 pairs; set pairs through
// setPair.
struct MatchTable {
    std::array<std::int32_t, kMatchPairs * 2> positions;
    std::size_t used = 0;

    MatchTable() { positions.fill(-1); }
    MatchTable(const MatchTable& other) : MatchTable() { *this = other; }
    MatchTable& operator=(const MatchTable& other) {
        if (this != &other) {
            reset();
            std::copy(other.positions.begin(), other.positions.begin() + std::ptrdiff_t(other.used * 2),
                      positions.begin());
            used = other.used;
        }
        return *this;
    }
    void reset() {
        std::fill(positions.begin(), positions.begin() + std::ptrdiff_t(used * 2), -1);
        used = 0;
    }
    void setPair(std::size_t group, std::int32_t start, std::int32_t end) {
        positions[group * 2] = start;
        positions[group * 2 + 1] = end;
        if (group >= used)
            used = group + 1;
    }
    std::int32_t start(std::size_t group) const { return positions[group * 2]; }
    std::int32_t end(std::size_t group) const { return positions[group * 2 + 1]; }
    bool matched(std::size_t group) const { return start(group) >= 0; }
    // Groups 1.. up to (not including) the first that did not take part.
    std::size_t leadingGroups() const;
};

// Which option set a pattern is compiled with: the constructor and image
// literals use the extended syntax without collation and with escapes inside
// bracket lists; the `compile` method uses the plain extended syntax.
enum class RegExpSyntax { Standard, CompileMethod };

// Text kept one byte a code unit (every unit 0..0xFF).
struct ByteText {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Text prepared for the library once, searched many times. Where a wide
// character is 16 bits the library reads UTF-16 text itself; elsewhere, and
// for text kept one byte a unit, it reads a converted copy, made the first
// time the library needs it.
class RegExpSubject {
public:
    explicit RegExpSubject(std::u16string_view text);
    explicit RegExpSubject(ByteText text);
    RegExpSubject(const RegExpSubject&) = delete;
    RegExpSubject& operator=(const RegExpSubject&) = delete;
    std::size_t size() const { return size_; }
    // The text of a subject made from one-byte text, else null.
    const unsigned char* bytes() const { return bytes_; }
    // The UTF-16 text of a subject made from it.
    std::u16string_view text() const { return text_; }
    // The text as wide characters, one per code unit: size() of them.
    const wchar_t* wide() const;

private:
    using WideText = std::basic_string<wchar_t, std::char_traits<wchar_t>, BulkAllocator<wchar_t>>;
    std::u16string_view text_;
    const unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
    mutable std::unique_ptr<WideText> wide_;
    mutable const wchar_t* wideData_ = nullptr;
};

class RegExpPattern {
public:
    RegExpPattern();
    ~RegExpPattern();
    RegExpPattern(RegExpPattern&&) noexcept;
    RegExpPattern& operator=(RegExpPattern&&) noexcept;

    // Compiles source with the instance flags. Returns the library's error
    // message on failure (the pattern then finds nothing).
    std::optional<std::string> compile(std::u16string_view source, std::uint32_t flags, RegExpSyntax syntax);
    bool isCompiled() const;
    // Whether the pattern is matched by the simple matcher of our own (a
    // sequence of single-unit items with repeats) rather than the library.
    bool isSimple() const;

    // Searches the subject from position start on, as if the text before
    // start did not exist. On a match, table holds positions in the whole
    // subject. The table is reset first either way.
    bool search(const RegExpSubject& subject, std::size_t start, MatchTable& table) const;

    struct Impl;

private:
    friend class RegExpCursor;
    std::unique_ptr<Impl> impl_;
};

// A series of searches over one subject, each from where the last match
// ended (one unit on after an empty match), with the results of
// RegExpPattern::search from those positions. Where the pattern cannot tell
// where its text begins (no anchor, word boundary or lookbehind), one
// matcher runs on across the series; otherwise each search starts afresh.
class RegExpCursor {
public:
    RegExpCursor(const RegExpPattern& pattern, const RegExpSubject& subject);
    ~RegExpCursor();
    RegExpCursor(const RegExpCursor&) = delete;
    RegExpCursor& operator=(const RegExpCursor&) = delete;
    bool search(std::size_t start, MatchTable& table);

private:
    struct State;
    const RegExpPattern& pattern_;
    const RegExpSubject& subject_;
    std::unique_ptr<State> state_;
};

// The source an instance keeps: an empty pattern is stored as "^".
std::u16string regExpSource(std::u16string_view pattern);

// The search of exec, test and search: from lastIndex (cut to the text's
// length); a global pattern then gets lastIndex 0 on failure and the end of
// the match on success.
bool regExpExec(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex,
                const RegExpSubject& subject, MatchTable& table);

// Text built by a replace: one block, which may be large, filled at once.
using RegExpText = std::basic_string<char16_t, std::char_traits<char16_t>, BulkAllocator<char16_t>>;

// The '$' codes of a replacement text, expanded for the match in table
// ("$`" is the text from searchStart to the match).
void expandReplacement(std::u16string_view replacement, std::u16string_view text,
                       const MatchTable& table, std::size_t searchStart, RegExpText& out);

// String.replace with a RegExp. A non-global pattern searches from lastIndex
// and replaces once; a global one searches from 0, replaces every match and
// sets lastIndex to 0. table ends holding the last match. The result is
// written once into the block that allocate(length) gives (which may be null
// for length 0).
void regExpReplace(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex, std::u16string_view text,
                   std::u16string_view replacement, MatchTable& table,
                   const std::function<char16_t*(std::size_t)>& allocate);
// The same, as a text of its own.
RegExpText regExpReplace(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex,
                         std::u16string_view text, std::u16string_view replacement, MatchTable& table);
// The same over text and replacement kept one byte a unit; so is the result.
void regExpReplace(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex, ByteText text,
                   ByteText replacement, MatchTable& table,
                   const std::function<unsigned char*(std::size_t)>& allocate);

// String.split with a RegExp: at most limit pieces, as views into text.
std::vector<std::u16string_view> regExpSplit(const RegExpPattern& pattern, std::u16string_view text,
                                        std::int64_t limit, MatchTable& table);

// String.match with a global RegExp: every whole match from position 0; an
// empty match moves on by one. lastIndex ends at 0. table ends holding the
// last match. The matches are views into text.
std::vector<std::u16string_view> regExpMatchAll(const RegExpPattern& pattern, std::u16string_view text,
                                           std::uint32_t& lastIndex, MatchTable& table);

} // namespace quill
