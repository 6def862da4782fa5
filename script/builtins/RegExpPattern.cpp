// Compiled regular expressions and the searches built on them.
#include "script/builtins/RegExpPattern.h"

#include <boost/regex.hpp>

#include <algorithm>

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

RegExpSubject::RegExpSubject(std::u16string_view text) : text_(text), wide_(text.begin(), text.end()) {}

struct RegExpPattern::Impl {
    boost::wregex regex;
    rc::match_flag_type matchFlags = rc::match_default;
};

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
    impl_ = std::move(impl);
    return std::nullopt;
}

bool RegExpPattern::isCompiled() const { return impl_ != nullptr; }

bool RegExpPattern::search(const RegExpSubject& subject, std::size_t start, MatchTable& table) const {
    table.reset();
    const RegExpSubject::WideText& wide = subject.wide();
    if (!impl_ || start > wide.size())
        return false;
    const wchar_t* base = wide.data();
    boost::match_results<const wchar_t*> m;
    bool found;
    try {
        found = boost::regex_search(base + start, base + wide.size(), m, impl_->regex, impl_->matchFlags);
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

// ---------------------------------------------------------------------------
// Searches

bool regExpExec(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex,
                const RegExpSubject& subject, MatchTable& table) {
    std::size_t start = std::min<std::size_t>(lastIndex, subject.text().size());
    if (!pattern.search(subject, start, table)) {
        if (global)
            lastIndex = 0;
        return false;
    }
    if (global)
        lastIndex = std::uint32_t(table.end(0));
    return true;
}

void expandReplacement(std::u16string_view replacement, std::u16string_view text,
                       const MatchTable& table, std::size_t searchStart, RegExpText& out) {
    auto group = [&](std::size_t g) {
        if (table.matched(g))
            out.append(text.substr(size_t(table.start(g)), size_t(table.end(g) - table.start(g))));
    };
    for (std::size_t i = 0; i < replacement.size(); ++i) {
        char16_t c = replacement[i];
        if (c != u'$' || i + 1 >= replacement.size()) {
            out += c;
            continue;
        }
        char16_t code = replacement[++i];
        switch (code) {
        case u'$':
            out += u'$';
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
                out += u'$';
                out += code;
            }
        }
    }
}

RegExpText regExpReplace(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex,
                         std::u16string_view text, std::u16string_view replacement, MatchTable& table) {
    RegExpSubject subject(text);
    // 1. The text before the search start is kept.
    std::size_t d = global ? 0 : std::min<std::size_t>(lastIndex, text.size());
    RegExpText out;
    out.reserve(text.size()); // most replacements keep the text's size roughly
    out.append(text.substr(0, d));
    MatchTable last;
    bool any = false;
    // 2. Replace match after match; an empty match copies one unit and moves on.
    while (d <= text.size() && pattern.search(subject, d, table)) {
        auto start = std::size_t(table.start(0)), end = std::size_t(table.end(0));
        out.append(text.substr(d, start - d));
        expandReplacement(replacement, text, table, d, out);
        last = table;
        any = true;
        d = end;
        if (start == end) {
            if (end < text.size())
                out += text[end];
            ++d;
        }
        if (!global)
            break;
    }
    // 3. The rest of the text; the table keeps the last match.
    if (d < text.size())
        out.append(text.substr(d));
    if (global)
        lastIndex = 0;
    if (any)
        table = last;
    return out;
}

std::vector<std::u16string> regExpSplit(const RegExpPattern& pattern, std::u16string_view text,
                                        std::int64_t limit, MatchTable& table) {
    std::vector<std::u16string> pieces;
    if (limit <= 0)
        return pieces;
    RegExpSubject subject(text);
    std::size_t d = 0, previousEnd = 0;
    MatchTable last;
    bool any = false;
    while (std::int64_t(pieces.size()) < limit && d < text.size() && pattern.search(subject, d, table)) {
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

std::vector<std::u16string> regExpMatchAll(const RegExpPattern& pattern, std::u16string_view text,
                                           std::uint32_t& lastIndex, MatchTable& table) {
    std::vector<std::u16string> matches;
    RegExpSubject subject(text);
    MatchTable last;
    bool any = false;
    lastIndex = 0;
    // An empty match at the end moves lastIndex past the text, which ends the
    // loop (searching again there would find the same empty match forever).
    while (lastIndex <= text.size()) {
        std::uint32_t before = lastIndex;
        if (!regExpExec(pattern, true, lastIndex, subject, table))
            break;
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
