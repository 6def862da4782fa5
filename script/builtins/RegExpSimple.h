#pragma once
// A matcher of our own for the common patterns: a sequence of single-unit
// items (literal characters, '.', bracket lists and the class escapes), each
// with an optional repeat ('*', '+', '?', '{m}', '{m,}', '{m,n}'). It works on
// the UTF-16 units directly (or on text kept one byte a unit) and gives the same matches as the library does
// for these patterns under its extended syntax: the leftmost start at which
// the pattern matches, and there the longest match.
//
// Which units an item accepts is the library's own verdict: each item is
// compiled alone with the pattern's options and asked about a unit the first
// time the unit is met (bracket lists of plain characters and ranges are
// told by value when case is not folded). So case folding and the character
// classes follow the library exactly, on every platform.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace quill {

// Tells whether one unit matches an item on its own.
class UnitOracle {
public:
    virtual ~UnitOracle() = default;
    virtual bool accepts(char16_t unit) const = 0;
};

// The units an item accepts, learnt unit by unit: each unit is asked about
// the first time it is met, and the answer kept (two bits a unit, in blocks
// of 256 units made on first use).
class UnitSet {
public:
    explicit UnitSet(std::unique_ptr<UnitOracle> oracle);
    bool contains(char16_t c) const {
        const Block* b = blocks_[c >> 8].get();
        unsigned state = b ? unsigned((*b)[(c & 255) >> 5] >> ((c & 31) * 2)) & 3 : 0;
        return state ? state == kYes : learn(c);
    }

private:
    static constexpr unsigned kNo = 1, kYes = 2;
    using Block = std::array<std::uint64_t, 8>;
    bool learn(char16_t c) const;
    std::unique_ptr<UnitOracle> oracle_;
    mutable std::array<std::unique_ptr<Block>, 256> blocks_;
};

class SimpleMatcher {
public:
    // Builds the item list of source, or nothing when the source holds any
    // construct beyond the items above (groups, alternation, anchors,
    // back-references, other escapes, nested bracket expressions). The
    // oracle factory compiles one item's text with the pattern's options;
    // '.' is asked about only when it does not match every unit.
    using OracleFactory = std::unique_ptr<UnitOracle> (*)(std::u16string_view item, const void* context);
    static std::unique_ptr<SimpleMatcher> build(std::u16string_view source, bool ignoreCase, bool dotMatchesAll,
                                                OracleFactory makeOracle, const void* context);

    // The leftmost-longest match in text starting at from or later.
    // Patterns whose repeats would make the search take more than a budget
    // of steps linear in the text's length give up (and the caller asks the
    // library, which has its own limits).
    struct Result {
        bool found = false;
        bool gaveUp = false;
        std::size_t start = 0, end = 0; // positions in text
    };
    Result search(std::u16string_view text, std::size_t from) const;
    // The same over text stored one byte a unit (each unit 0..0xFF).
    Result search(const unsigned char* text, std::size_t length, std::size_t from) const;

private:
    static constexpr std::uint32_t kUnbounded = 0xFFFFFFFFu;
    enum class Kind : std::uint8_t { Unit, Any, Set };
    struct Item {
        Kind kind = Kind::Unit;
        char16_t unit = 0;
        std::uint32_t min = 1, max = 1;
        std::unique_ptr<UnitSet> set;
        std::uint64_t restMax = 0; // most units the items after this one take
        bool accepts(char16_t c) const {
            return kind == Kind::Unit ? c == unit : kind == Kind::Any ? true : set->contains(c);
        }
    };
    template <typename Unit>
    struct Run;

    template <typename Unit>
    std::int64_t longest(Run<Unit>& run, std::size_t k, std::size_t p) const;
    template <typename Unit>
    Result searchUnits(const Unit* text, std::size_t n, std::size_t from) const;

    std::vector<Item> items_;
    bool memoize_ = false; // more than one item of variable width
};

} // namespace quill
