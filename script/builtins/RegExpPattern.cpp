// Compiled regular expressions and the searches built on them.
#include "script/builtins/RegExpPattern.h"

#include "script/builtins/RegExpSimple.h"

#include <boost/regex.hpp>

#include <algorithm>
#include <map>

namespace quill {

namespace rc = boost::regex_constants;

std::uint32_t regExpFlagsFromText(std::u16string_view text) {
    std::uint32_t flags = 0;
    for (char16_t c : text) {
        if (c == u'g')
            flags |= kRegExpFlagGlobal;
        else if (c == u'i')
            flags |= kRegExpFlagIgnoreCase;
        else if (c == u'm')
            flags |= kRegExpFlagMultiline;
    }
    return flags;
}

std::size_t MatchTable::leadingGroups() const {
    std::size_t n = 1;
    while (n < kMatchPairs && matched(n))
        ++n;
    return n - 1;
}

std::u16string regExpSource(std::u16string_view pattern) {
    return pattern.empty() ? std::u16string(u"^") : std::u16string(pattern);
}

// ---------------------------------------------------------------------------
// Subjects and patterns

namespace {

std::wstring toWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

} // namespace

RegExpSubject::RegExpSubject(ByteText text) : bytes_(text.data), size_(text.size) {}

RegExpSubject::RegExpSubject(std::u16string_view text) : text_(text), size_(text.size()) {
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
        if (!text.empty())
            wideData_ = reinterpret_cast<const wchar_t*>(text.data());
    }
}

// The copy is made on first use: patterns that the simple matcher takes
// never need it. (It is built in place: assigning it would hold two copies
// at once.)
const wchar_t* RegExpSubject::wide() const {
    if (!wideData_) {
        if (size_ == 0) {
            wideData_ = L"";
        } else if (bytes_) {
            wide_ = std::make_unique<WideText>(bytes_, bytes_ + size_);
            wideData_ = wide_->data();
        } else {
            wide_ = std::make_unique<WideText>(text_.begin(), text_.end());
            wideData_ = wide_->data();
        }
    }
    return wideData_;
}

struct RegExpPattern::Impl {
    boost::wregex regex;
    rc::match_flag_type matchFlags = rc::match_default;
    // No construct of the source looks at the text before a position:
    // searching on from a match finds what a search starting afresh there
    // finds.
    bool startFree = false;
    // Set when the pattern is a sequence of single-unit items with repeats.
    std::unique_ptr<SimpleMatcher> simple;
};

namespace {

// An item's text compiled alone. Scripts build the same patterns again and
// again, so the last few hundred items a thread compiled are kept (a
// compiled expression is shared, not copied, when it is handed out).
boost::wregex itemRegex(const std::wstring& item, rc::syntax_option_type options) {
    thread_local std::map<std::pair<std::wstring, rc::syntax_option_type>, boost::wregex> cache;
    auto key = std::make_pair(item, options);
    auto found = cache.find(key);
    if (found != cache.end())
        return found->second;
    if (cache.size() >= 256)
        cache.clear();
    boost::wregex compiled(item, options);
    cache.emplace(std::move(key), compiled);
    return compiled;
}

// One item of a simple pattern compiled alone with the pattern's options
// (when first asked), asked about single units.
class ItemOracle : public UnitOracle {
public:
    ItemOracle(std::u16string_view item, const RegExpPattern::Impl& owner)
        : item_(toWide(item)), options_(owner.regex.flags()), matchFlags_(owner.matchFlags) {}
    bool accepts(char16_t unit) const override {
        const wchar_t w[1] = {wchar_t(unit)};
        try {
            if (regex_.empty())
                regex_ = itemRegex(item_, options_);
            return boost::regex_match(w + 0, w + 1, results_, regex_, matchFlags_);
        } catch (const std::exception&) {
            return false;
        }
    }

private:
    std::wstring item_;
    rc::syntax_option_type options_;
    rc::match_flag_type matchFlags_;
    mutable boost::wregex regex_;
    mutable boost::match_results<const wchar_t*> results_;
};

std::unique_ptr<UnitOracle> makeItemOracle(std::u16string_view item, const void* owner) {
    try {
        return std::make_unique<ItemOracle>(item, *static_cast<const RegExpPattern::Impl*>(owner));
    } catch (const std::exception&) {
        return nullptr;
    }
}

// Whether the source may hold a construct whose result depends on where the
// searched text begins: '^' (other than a list's negation), '$', the escapes of
// anchors and word boundaries, lookbehind and the word-edge classes. Errs
// on the side of yes.
bool dependsOnTextStart(std::u16string_view source) {
    for (std::size_t i = 0; i < source.size(); ++i) {
        char16_t c = source[i];
        if (c == u'\\') {
            if (++i >= source.size())
                return true;
            switch (source[i]) {
            case u'b': case u'B': case u'A': case u'G': case u'`': case u'<': case u'>': case u'\'':
                return true;
            default:
                break;
            }
        } else if (c == u'$') {
            return true; // at a line end it looks back for "\r\n"
        } else if (c == u'^') {
            if (i == 0 || source[i - 1] != u'[' || (i >= 2 && source[i - 2] == u'\\'))
                return true;
        } else if (c == u'(' && i + 2 < source.size() && source[i + 1] == u'?' && source[i + 2] == u'<') {
            return true;
        } else if (c == u':' && i + 2 < source.size() && (source[i + 1] == u'<' || source[i + 1] == u'>') &&
                   source[i + 2] == u':') {
            return true;
        }
    }
    return false;
}

} // namespace

RegExpPattern::RegExpPattern() = default;
RegExpPattern::~RegExpPattern() = default;
RegExpPattern::RegExpPattern(RegExpPattern&&) noexcept = default;
RegExpPattern& RegExpPattern::operator=(RegExpPattern&&) noexcept = default;

std::optional<std::string> RegExpPattern::compile(std::u16string_view source, std::uint32_t flags,
                                                  RegExpSyntax syntax) {
    impl_.reset();
    // 1. The option set: the extended syntax; the standard set also turns
    //    collation off and allows escapes inside bracket lists.
    rc::syntax_option_type options = rc::extended;
    if (syntax == RegExpSyntax::Standard)
        options &= ~(rc::collate | rc::no_escape_in_lists);
    // 2. i folds case; m makes ^ and $ match at line breaks and keeps '.'
    //    from matching a newline. Without m they anchor at the text's ends.
    if (flags & kRegExpFlagIgnoreCase)
        options |= rc::icase;
    auto impl = std::make_unique<Impl>();
    if (flags & kRegExpFlagMultiline)
        impl->matchFlags = rc::match_not_dot_newline;
    else
        options |= rc::no_mod_m;
    // 3. Compile; a failure reports the library's text for its error code.
    std::wstring wide = toWide(source);
    try {
        impl->regex.assign(wide.data(), wide.data() + wide.size(), options);
    } catch (const boost::regex_error& e) {
        return boost::regex_traits<wchar_t>().error_string(e.code());
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    impl->startFree = !dependsOnTextStart(source);
    // 4. The common simple patterns get the matcher of our own.
    if (syntax == RegExpSyntax::Standard)
        impl->simple = SimpleMatcher::build(source, (flags & kRegExpFlagIgnoreCase) != 0,
                                            (flags & kRegExpFlagMultiline) == 0, makeItemOracle, impl.get());
    impl_ = std::move(impl);
    return std::nullopt;
}

bool RegExpPattern::isCompiled() const { return impl_ != nullptr; }

bool RegExpPattern::isSimple() const { return impl_ && impl_->simple; }

bool RegExpPattern::search(const RegExpSubject& subject, std::size_t start, MatchTable& table) const {
    table.reset();
    std::size_t size = subject.size();
    if (!impl_ || start > size)
        return false;
    if (impl_->simple) {
        auto found = subject.bytes() ? impl_->simple->search(subject.bytes(), size, start)
                                     : impl_->simple->search(subject.text(), start);
        if (found.found)
            table.setPair(0, std::int32_t(found.start), std::int32_t(found.end));
        if (!found.gaveUp)
            return found.found;
    }
    const wchar_t* base = subject.wide();
    boost::match_results<const wchar_t*> m;
    bool found;
    try {
        found = boost::regex_search(base + start, base + size, m, impl_->regex, impl_->matchFlags);
    } catch (const std::exception&) {
        found = false; // the library gave up (pattern too complex for this text)
    }
    if (!found)
        return false;
    std::size_t groups = std::min<std::size_t>(m.size(), kMatchPairs);
    for (std::size_t i = 0; i < groups; ++i) {
        if (!m[i].matched)
            continue;
        table.setPair(i, std::int32_t(m[i].first - base), std::int32_t(m[i].second - base));
    }
    return true;
}

using WideMatcher = boost::BOOST_REGEX_DETAIL_NS::perl_matcher<const wchar_t*,
                                                               std::allocator<boost::sub_match<const wchar_t*>>,
                                                               boost::regex_traits<wchar_t>>;

struct RegExpCursor::State {
    boost::match_results<const wchar_t*> m;
    std::optional<WideMatcher> matcher;
    std::size_t next = 0; // where the matcher searches on from
    bool inStep = true;    // false once a search left the matcher's series
};

RegExpCursor::RegExpCursor(const RegExpPattern& pattern, const RegExpSubject& subject)
    : pattern_(pattern), subject_(subject), state_(std::make_unique<State>()) {
    if (!pattern_.impl_ || !pattern_.impl_->startFree || pattern_.impl_->simple)
        state_->inStep = false;
}

RegExpCursor::~RegExpCursor() = default;

bool RegExpCursor::search(std::size_t start, MatchTable& table) {
    State& st = *state_;
    if (!st.inStep || start != st.next)
        st.inStep = false;
    if (!st.inStep)
        return pattern_.search(subject_, start, table);
    table.reset();
    const wchar_t* base = subject_.wide();
    bool found;
    try {
        if (!st.matcher)
            st.matcher.emplace(base, base + subject_.size(), st.m, pattern_.impl_->regex, pattern_.impl_->matchFlags,
                               base);
        found = st.matcher->find();
    } catch (const std::exception&) {
        found = false; // the library gave up (pattern too complex for this text)
    }
    if (!found) {
        st.inStep = false;
        return false;
    }
    std::size_t groups = std::min<std::size_t>(st.m.size(), kMatchPairs);
    for (std::size_t i = 0; i < groups; ++i) {
        if (st.m[i].matched)
            table.setPair(i, std::int32_t(st.m[i].first - base), std::int32_t(st.m[i].second - base));
    }
    // The matcher goes on from the end of the match, one unit further after
    // an empty one.
    st.next = std::size_t(table.end(0)) + (table.start(0) == table.end(0) ? 1 : 0);
    return true;
}

// ---------------------------------------------------------------------------
// Searches

bool regExpExec(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex,
                const RegExpSubject& subject, MatchTable& table) {
    std::size_t start = std::min<std::size_t>(lastIndex, subject.size());
    if (!pattern.search(subject, start, table)) {
        if (global)
            lastIndex = 0;
        return false;
    }
    if (global)
        lastIndex = std::uint32_t(table.end(0));
    return true;
}

namespace {

// Text of either width, as the replace reads it.
template <typename Unit>
struct Span {
    const Unit* data = nullptr;
    std::size_t n = 0;
    std::size_t size() const { return n; }
    char16_t operator[](std::size_t i) const { return data[i]; }
    Span substr(std::size_t pos, std::size_t count = std::size_t(-1)) const {
        pos = std::min(pos, n);
        return {data + pos, std::min(count, n - pos)};
    }
};

Span<char16_t> spanOf(std::u16string_view text) { return {text.data(), text.size()}; }
Span<unsigned char> spanOf(ByteText text) { return {text.data, text.size}; }
std::u16string_view subjectText(Span<char16_t> text) { return {text.data, text.n}; }
ByteText subjectText(Span<unsigned char> text) { return {text.data, text.n}; }

// Where replace output goes: counted, written into a block of known size,
// or appended to a growing text.
struct CountingSink {
    std::size_t size = 0;
    template <typename Unit>
    void append(Span<Unit> s) { size += s.size(); }
    void push(char16_t) { ++size; }
};

// Out is char16_t, or unsigned char when every unit written fits.
template <typename Out>
struct FillSink {
    Out* at;
    template <typename Unit>
    void append(Span<Unit> s) {
        for (std::size_t i = 0; i < s.n; ++i)
            *at++ = static_cast<Out>(s.data[i]);
    }
    void push(char16_t c) { *at++ = static_cast<Out>(c); }
};

struct TextSink {
    RegExpText& out;
    template <typename Unit>
    void append(Span<Unit> s) { out.append(s.data, s.data + s.n); }
    void push(char16_t c) { out += c; }
};

template <typename Unit, typename ReplacementUnit, typename Sink>
void expandInto(Span<ReplacementUnit> replacement, Span<Unit> text, const MatchTable& table,
                std::size_t searchStart, Sink& out) {
    auto group = [&](std::size_t g) {
        if (table.matched(g))
            out.append(text.substr(size_t(table.start(g)), size_t(table.end(g) - table.start(g))));
    };
    for (std::size_t i = 0; i < replacement.size(); ++i) {
        char16_t c = replacement[i];
        if (c != u'$' || i + 1 >= replacement.size()) {
            out.push(c);
            continue;
        }
        char16_t code = replacement[++i];
        switch (code) {
        case u'$':
            out.push(u'$');
            break;
        case u'&':
            group(0);
            break;
        case u'`':
            out.append(text.substr(searchStart, size_t(table.start(0)) - searchStart));
            break;
        case u'\'':
            out.append(text.substr(size_t(table.end(0))));
            break;
        case u'+':
            if (std::size_t last = table.leadingGroups())
                group(last);
            break;
        default:
            if (code >= u'1' && code <= u'9') {
                group(std::size_t(code - u'0'));
            } else {
                out.push(u'$');
                out.push(code);
            }
        }
    }
}

// The replace itself, output to sink. Returns whether anything matched;
// table then holds the last match.
template <typename Unit, typename ReplacementUnit, typename Sink>
bool replaceInto(const RegExpPattern& pattern, bool global, std::size_t from, Span<Unit> text,
                 Span<ReplacementUnit> replacement, MatchTable& table, Sink& out) {
    RegExpSubject subject(subjectText(text));
    RegExpCursor cursor(pattern, subject);
    // 1. The text before the search start is kept.
    std::size_t d = from;
    out.append(text.substr(0, d));
    std::size_t lastFrom = 0; // where the search of the last match started
    bool any = false, missed = false;
    // 2. Replace match after match; an empty match copies one unit and moves on.
    while (d <= text.size()) {
        if (!cursor.search(d, table)) {
            missed = true;
            break;
        }
        auto start = std::size_t(table.start(0)), end = std::size_t(table.end(0));
        out.append(text.substr(d, start - d));
        expandInto(replacement, text, table, d, out);
        lastFrom = d;
        any = true;
        d = end;
        if (start == end) {
            if (end < text.size())
                out.push(text[end]);
            ++d;
        }
        if (!global)
            break;
    }
    // 3. The rest of the text; the table keeps the last match.
    if (d < text.size())
        out.append(text.substr(d));
    // (A search from where the last match's search started finds it again.)
    if (any && missed)
        pattern.search(subject, lastFrom, table);
    return any;
}

// The replace of either width: Out is the result's unit.
template <typename Out, typename Unit>
void replaceUnits(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex, Span<Unit> text,
                  Span<Unit> replacement, MatchTable& table, const std::function<Out*(std::size_t)>& allocate) {
    std::size_t from = global ? 0 : std::min<std::size_t>(lastIndex, text.size());
    if (global)
        lastIndex = 0;
    if (pattern.isSimple()) {
        // The simple matcher is quick enough to run twice: once to size the
        // result, once to write it in place.
        CountingSink count;
        replaceInto(pattern, global, from, text, replacement, table, count);
        FillSink<Out> fill{allocate(count.size)};
        replaceInto(pattern, global, from, text, replacement, table, fill);
        return;
    }
    RegExpText out;
    out.reserve(text.size()); // most replacements keep the text's size roughly
    TextSink sink{out};
    replaceInto(pattern, global, from, text, replacement, table, sink);
    Out* chars = allocate(out.size());
    for (char16_t c : out)
        *chars++ = static_cast<Out>(c);
}

} // namespace

void expandReplacement(std::u16string_view replacement, std::u16string_view text,
                       const MatchTable& table, std::size_t searchStart, RegExpText& out) {
    TextSink sink{out};
    expandInto(spanOf(replacement), spanOf(text), table, searchStart, sink);
}

void regExpReplace(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex, std::u16string_view text,
                   std::u16string_view replacement, MatchTable& table,
                   const std::function<char16_t*(std::size_t)>& allocate) {
    replaceUnits(pattern, global, lastIndex, spanOf(text), spanOf(replacement), table, allocate);
}

void regExpReplace(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex, ByteText text,
                   ByteText replacement, MatchTable& table,
                   const std::function<unsigned char*(std::size_t)>& allocate) {
    replaceUnits(pattern, global, lastIndex, spanOf(text), spanOf(replacement), table, allocate);
}

RegExpText regExpReplace(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex,
                         std::u16string_view text, std::u16string_view replacement, MatchTable& table) {
    RegExpText out;
    regExpReplace(pattern, global, lastIndex, text, replacement, table, [&](std::size_t size) {
        out.resize(size);
        return out.data();
    });
    return out;
}

std::vector<std::u16string_view> regExpSplit(const RegExpPattern& pattern, std::u16string_view text,
                                        std::int64_t limit, MatchTable& table) {
    std::vector<std::u16string_view> pieces;
    if (limit <= 0)
        return pieces;
    RegExpSubject subject(text);
    RegExpCursor cursor(pattern, subject);
    std::size_t d = 0, previousEnd = 0;
    MatchTable last;
    bool any = false;
    while (std::int64_t(pieces.size()) < limit && d < text.size() && cursor.search(d, table)) {
        auto start = std::size_t(table.start(0)), end = std::size_t(table.end(0));
        pieces.emplace_back(text.substr(previousEnd, start > previousEnd ? start - previousEnd : 0));
        previousEnd = end;
        d = start == end ? end + 1 : end;
        last = table;
        any = true;
    }
    if (std::int64_t(pieces.size()) < limit)
        pieces.emplace_back(text.substr(std::min(previousEnd, text.size())));
    if (any)
        table = last;
    return pieces;
}

std::vector<std::u16string_view> regExpMatchAll(const RegExpPattern& pattern, std::u16string_view text,
                                           std::uint32_t& lastIndex, MatchTable& table) {
    std::vector<std::u16string_view> matches;
    RegExpSubject subject(text);
    RegExpCursor cursor(pattern, subject);
    MatchTable last;
    bool any = false;
    lastIndex = 0;
    // An empty match at the end moves lastIndex past the text, which ends the
    // loop (searching again there would find the same empty match forever).
    while (lastIndex <= text.size()) {
        std::uint32_t before = lastIndex;
        // As regExpExec with a global pattern (lastIndex is within the text).
        if (!cursor.search(lastIndex, table))
            break;
        lastIndex = std::uint32_t(table.end(0));
        matches.emplace_back(text.substr(size_t(table.start(0)), size_t(table.end(0) - table.start(0))));
        last = table;
        any = true;
        if (lastIndex == before)
            ++lastIndex;
    }
    lastIndex = 0;
    if (any)
        table = last;
    return matches;
}

} // namespace quill
