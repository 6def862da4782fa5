// The matcher for sequences of single-unit items with repeats.
#include "script/builtins/RegExpSimple.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

namespace quill {

UnitSet::UnitSet(std::unique_ptr<UnitOracle> oracle) : oracle_(std::move(oracle)) {}

bool UnitSet::learn(char16_t c) const {
    auto& b = blocks_[c >> 8];
    if (!b) {
        b = std::make_unique<Block>();
        b->fill(0);
    }
    bool yes = oracle_->accepts(c);
    (*b)[(c & 255) >> 5] |= std::uint64_t(yes ? kYes : kNo) << ((c & 31) * 2);
    return yes;
}

namespace {

// Escapes that stand for one of the library's character classes.
bool isClassEscape(char16_t c) {
    return c == u'd' || c == u'D' || c == u'w' || c == u'W' || c == u's' || c == u'S';
}

// Escapes of control characters: one unit each.
bool isControlEscape(char16_t c) { return c == u't' || c == u'n' || c == u'r' || c == u'f' || c == u'v'; }

// Punctuation that an escape makes literal. Left out: the characters whose
// escapes are anchors ('<', '>', '`', '\'').
bool isEscapedLiteral(char16_t c) {
    return c < 0x80 && std::u16string_view(u".[]{}()*+?^$|\\/-,:;=!\"#%&~@_ ").find(c) != std::u16string_view::npos;
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a repeat count of at most four digits.
bool readCount(std::u16string_view s, std::size_t& i, std::uint32_t& value) {
    std::size_t begin = i;
    value = 0;
    while (i < s.size() && isDigit(s[i]) && i - begin < 4)
        value = value * 10 + std::uint32_t(s[i++] - u'0');
    return i > begin && !(i < s.size() && isDigit(s[i]));
}

constexpr std::size_t kMaxItems = 64;

// A bracket list of plain characters and ranges ("[a-z_]", "[^0-9]"): the
// units it accepts are told by their values alone when case is not folded.
class PlainListOracle : public UnitOracle {
public:
    static std::unique_ptr<UnitOracle> from(std::u16string_view list) {
        auto o = std::make_unique<PlainListOracle>();
        std::size_t i = 1, n = list.size() - 1; // inside the brackets
        if (list[i] == u'^') {
            o->negated_ = true;
            ++i;
        }
        for (std::size_t first = i; i < n; ++i) {
            char16_t lo = list[i];
            if (lo == u'\\' || lo == u'[' || (lo == u'-' && i != first && i + 1 != n))
                return nullptr;
            char16_t hi = lo;
            if (i + 2 < n && list[i + 1] == u'-') {
                hi = list[i + 2];
                if (hi == u'\\' || hi == u'[' || hi == u'-' || lo == u'-' || hi < lo)
                    return nullptr;
                i += 2;
            }
            o->ranges_.emplace_back(lo, hi);
        }
        return o;
    }
    bool accepts(char16_t unit) const override {
        for (auto [lo, hi] : ranges_) {
            if (unit >= lo && unit <= hi)
                return !negated_;
        }
        return negated_;
    }

private:
    std::vector<std::pair<char16_t, char16_t>> ranges_;
    bool negated_ = false;
};

// The first position from `from` on that holds unit c, else n. The bytes are
// scanned for the low byte of c with the C library's fast byte search and
// each hit is checked whole.
std::size_t findUnit(const char16_t* text, std::size_t from, std::size_t n, char16_t c) {
    if constexpr (std::endian::native == std::endian::little) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text);
        std::size_t at = from * 2, end = n * 2;
        while (at < end) {
            const void* hit = std::memchr(bytes + at, c & 0xFF, end - at);
            if (!hit)
                return n;
            std::size_t off = std::size_t(static_cast<const unsigned char*>(hit) - bytes);
            if (off % 2 == 0 && text[off / 2] == c)
                return off / 2;
            at = off + 1;
        }
        return n;
    } else {
        return std::size_t(std::find(text + from, text + n, c) - text);
    }
}

// The same over one-byte text.
std::size_t findUnit(const unsigned char* text, std::size_t from, std::size_t n, char16_t c) {
    if (c > 0xFF || from >= n)
        return n;
    const void* hit = std::memchr(text + from, c, n - from);
    return hit ? std::size_t(static_cast<const unsigned char*>(hit) - text) : n;
}

} // namespace

std::unique_ptr<SimpleMatcher> SimpleMatcher::build(std::u16string_view source, bool ignoreCase,
                                                    bool dotMatchesAll, OracleFactory makeOracle, const void* context) {
    auto m = std::unique_ptr<SimpleMatcher>(new SimpleMatcher());
    std::size_t n = source.size();
    for (std::size_t i = 0; i < n;) {
        if (m->items_.size() == kMaxItems)
            return nullptr;
        // 1. One item: its text is source[begin, i).
        Item item;
        std::size_t begin = i;
        char16_t c = source[i];
        bool needsOracle = false;
        if (c == u'.') {
            item.kind = Kind::Any;
            ++i;
        } else if (c == u'[') {
            std::size_t j = i + 1;
            if (j < n && source[j] == u'^')
                ++j;
            if (j < n && source[j] == u']')
                ++j;
            while (j < n && source[j] != u']') {
                if (source[j] == u'[')
                    return nullptr; // [:class:], [.coll.], [=equiv=]
                if (source[j] == u'\\') {
                    if (j + 1 >= n)
                        return nullptr;
                    char16_t e = source[j + 1];
                    if (!isClassEscape(e) && !isControlEscape(e) && !isEscapedLiteral(e))
                        return nullptr;
                    j += 2;
                } else {
                    ++j;
                }
            }
            if (j >= n)
                return nullptr;
            i = j + 1;
            needsOracle = true;
        } else if (c == u'\\') {
            if (i + 1 >= n)
                return nullptr;
            char16_t e = source[i + 1];
            if (isClassEscape(e) || isControlEscape(e)) {
                needsOracle = true;
            } else if (isEscapedLiteral(e)) {
                item.unit = e;
                needsOracle = ignoreCase;
            } else {
                return nullptr;
            }
            i += 2;
        } else if (c < 0x20 || std::u16string_view(u"()|^$*+?{}]").find(c) != std::u16string_view::npos) {
            return nullptr;
        } else {
            item.unit = c;
            needsOracle = ignoreCase;
            ++i;
        }
        if (item.kind == Kind::Any && !dotMatchesAll)
            needsOracle = true;
        if (needsOracle) {
            std::u16string_view text = source.substr(begin, i - begin);
            std::unique_ptr<UnitOracle> oracle;
            if (c == u'[' && !ignoreCase)
                oracle = PlainListOracle::from(text);
            if (!oracle)
                oracle = makeOracle(text, context);
            if (!oracle)
                return nullptr;
            item.kind = Kind::Set;
            item.set = std::make_unique<UnitSet>(std::move(oracle));
        }
        // 2. Its repeat, if any; a second repeat in a row is left to the library.
        if (i < n) {
            char16_t q = source[i];
            if (q == u'*' || q == u'+' || q == u'?') {
                item.min = q == u'+' ? 1 : 0;
                item.max = q == u'?' ? 1 : kUnbounded;
                ++i;
            } else if (q == u'{') {
                ++i;
                if (!readCount(source, i, item.min))
                    return nullptr;
                item.max = item.min;
                if (i < n && source[i] == u',') {
                    ++i;
                    item.max = kUnbounded;
                    if (i < n && isDigit(source[i]) && !readCount(source, i, item.max))
                        return nullptr;
                }
                if (i >= n || source[i] != u'}' || item.max < item.min)
                    return nullptr;
                ++i;
            }
            if (i < n && (source[i] == u'*' || source[i] == u'+' || source[i] == u'?' || source[i] == u'{'))
                return nullptr;
        }
        m->items_.push_back(std::move(item));
    }
    // 3. What the items after each one can take at most, and whether more
    //    than one item has a choice of widths.
    std::uint64_t rest = 0;
    std::size_t variable = 0;
    for (std::size_t k = m->items_.size(); k-- > 0;) {
        Item& item = m->items_[k];
        item.restMax = rest;
        rest = (item.max == kUnbounded || rest == kUnbounded) ? kUnbounded : rest + item.max;
        if (item.min != item.max)
            ++variable;
    }
    m->memoize_ = variable > 1;
    return m;
}

// One search: the text and, for patterns with several variable items, the
// ends already worked out per (item, position).
template <typename Unit>
struct SimpleMatcher::Run {
    const Unit* text;
    std::size_t n;
    std::unordered_map<std::uint64_t, std::int64_t> memo;
    std::uint64_t steps = 0, budget = 0;
    bool gaveUp() const { return steps > budget; }
};

// The furthest end that items k.. reach from p, or -1.
template <typename Unit>
std::int64_t SimpleMatcher::longest(Run<Unit>& run, std::size_t k, std::size_t p) const {
    const Unit* text = run.text;
    const std::size_t n = run.n;
    // Fixed-width items need no choice: walk them.
    for (; k < items_.size(); ++k) {
        const Item& item = items_[k];
        if (item.min != item.max)
            break;
        if (n - p < item.min)
            return -1;
        run.steps += item.min;
        for (std::uint32_t j = 0; j < item.min; ++j) {
            if (!item.accepts(text[p + j]))
                return -1;
        }
        p += item.min;
    }
    if (k == items_.size())
        return std::int64_t(p);
    std::uint64_t key = 0;
    if (memoize_) {
        key = std::uint64_t(k) << 40 | p;
        auto found = run.memo.find(key);
        if (found != run.memo.end())
            return found->second;
    }
    // The most units this item can take here.
    const Item& item = items_[k];
    std::size_t limit = item.max == kUnbounded ? n - p : std::min<std::size_t>(item.max, n - p);
    std::size_t r = 0;
    while (r < limit && item.accepts(text[p + r]))
        ++r;
    run.steps += r + 1;
    std::int64_t best = -1;
    if (r >= item.min) {
        if (k + 1 == items_.size()) {
            best = std::int64_t(p + r);
        } else {
            // Longest first; stop once no shorter take can reach further.
            for (std::size_t j = r + 1; j-- > item.min;) {
                if (item.restMax != kUnbounded && best >= 0 && std::uint64_t(best) >= p + j + item.restMax)
                    break;
                if (++run.steps > run.budget)
                    return -1;
                best = std::max(best, longest(run, k + 1, p + j));
                if (best == std::int64_t(n))
                    break;
            }
        }
    }
    if (memoize_) {
        if (run.memo.size() > (1u << 20))
            run.memo.clear();
        run.memo.emplace(key, best);
    }
    return best;
}

SimpleMatcher::Result SimpleMatcher::search(std::u16string_view text, std::size_t from) const {
    return searchUnits(text.data(), text.size(), from);
}

SimpleMatcher::Result SimpleMatcher::search(const unsigned char* text, std::size_t length, std::size_t from) const {
    return searchUnits(text, length, from);
}

template <typename Unit>
SimpleMatcher::Result SimpleMatcher::searchUnits(const Unit* text, std::size_t n, std::size_t from) const {
    Run<Unit> run{text, n, {}, 0, 16 * std::uint64_t(n - std::min(from, n)) + 100000};
    Result result;
    if (from > n)
        return result;
    const Item* first = items_.empty() || items_[0].min == 0 ? nullptr : &items_[0];
    for (std::size_t s = from; s <= n; ++s) {
        // Skip the starts where the first item (when it must take a unit)
        // cannot begin.
        if (first) {
            if (first->kind == Kind::Unit)
                s = findUnit(text, s, n, first->unit);
            else if (first->kind == Kind::Set)
                while (s < n && !first->set->contains(text[s]))
                    ++s;
            if (s >= n)
                break;
        }
        std::int64_t end = longest(run, 0, s);
        if (run.gaveUp()) {
            result.gaveUp = true;
            return result;
        }
        if (end >= 0) {
            result.found = true;
            result.start = s;
            result.end = std::size_t(end);
            return result;
        }
        // When the first item repeats without bound, a start inside its run
        // finds only what this start found (this one could take those units
        // as well): nothing.
        if (!items_.empty() && items_[0].max == kUnbounded) {
            while (s < n && items_[0].accepts(text[s]))
                ++s;
        }
    }
    return result;
}

} // namespace quill
