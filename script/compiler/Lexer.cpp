// The Quill lexer: character stream, token recognition, literals.
#include "script/compiler/Lexer.h"

#include "script/image/Image.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quill {

// ---------------------------------------------------------------------------
// Keywords: a table of 32 buckets keyed on the name's text.

namespace {

struct Keyword {
    const char* name;
    int kind;
};

constexpr Keyword kKeywords[] = {
    {"break", kTokBreak},       {"continue", kTokContinue}, {"delete", kTokDelete},
    {"else", kTokElse},         {"for", kTokFor},           {"function", kTokFunction},
    {"if", kTokIf},             {"in", kTokIn},             {"new", kTokNew},
    {"return", kTokReturn},     {"this", kTokThis},         {"typeof", kTokTypeof},
    {"var", kTokVar},           {"void", kTokVoid},         {"while", kTokWhile},
    {"with", kTokWith},         {"case", kTokCase},         {"catch", kTokCatch},
    {"class", kTokClass},       {"const", kTokConst},       {"debugger", kTokDebugger},
    {"default", kTokDefault},   {"do", kTokDo},             {"enum", kTokEnum},
    {"export", kTokExport},     {"extends", kTokExtends},   {"finally", kTokFinally},
    {"import", kTokImport},     {"super", kTokSuper},       {"switch", kTokSwitch},
    {"throw", kTokThrow},       {"try", kTokTry},           {"null", kTokNull},
    {"true", kTokTrue},         {"false", kTokFalse},       {"undefined", kTokUndefined},
    {"struct", kTokStruct},     {"dllimport", kTokDllimport}, {"as", kTokAs},
};

constexpr size_t kKeywordBuckets = 32;

uint32_t nameHash(std::string_view text) {
    uint32_t h = 0;
    for (unsigned char b : text)
        h = (h >> 7) ^ (h >> 16) ^ b ^ (h << 5);
    return h;
}

// Bucket heads and chains as indexes into kKeywords; -1 ends a chain.
struct KeywordTable {
    std::array<int, kKeywordBuckets> head{};
    std::array<int, std::size(kKeywords)> next{};
    KeywordTable() {
        head.fill(-1);
        for (size_t i = 0; i < std::size(kKeywords); ++i) {
            size_t b = nameHash(kKeywords[i].name) % kKeywordBuckets;
            next[i] = head[b];
            head[b] = static_cast<int>(i);
        }
    }
};

const KeywordTable& keywordTable() {
    static const KeywordTable table;
    return table;
}

bool isIdentStart(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isIdentPart(int c) { return isIdentStart(c) || isDigit(c); }
bool isSpace(int c) { return (c >= 9 && c <= 13) || c == 32; }
bool isOctal(int c) { return c >= '0' && c <= '7'; }

} // namespace

int Lexer::keywordKind(std::string_view name) {
    const KeywordTable& t = keywordTable();
    for (int i = t.head[nameHash(name) % kKeywordBuckets]; i >= 0; i = t.next[i])
        if (name == kKeywords[i].name)
            return kKeywords[i].kind;
    return kTokIdentifier;
}

const char* tokenSpelling(int kind) {
    static const char* const kOperators[] = {"==", "!=", "<=", ">=", "&&", "||", "++", "--",
                                             "*=", "/=", "%=", "+=", "-=", "&=", "^=", "|=",
                                             "<<=", "<<", ">>", ">>>", ">>=", ">>>=", "===", "!=="};
    static char single[128][2];
    if (kind > 0 && kind < 128) {
        single[kind][0] = static_cast<char>(kind);
        single[kind][1] = 0;
        return single[kind];
    }
    switch (kind) {
    case kTokEnd: return "end of input";
    case kTokInteger: return "integer";
    case kTokNumber: return "number";
    case kTokString: return "string";
    case kTokIdentifier: return "identifier";
    default: break;
    }
    if (kind >= kTokEq && kind <= kTokStrictNe)
        return kOperators[kind - kTokEq];
    for (const Keyword& k : kKeywords)
        if (k.kind == kind)
            return k.name;
    return "?";
}

// ---------------------------------------------------------------------------
// Character stream.

Lexer::Lexer(std::string_view source, Diagnostics& diagnostics, bool ecmaWarnings)
    : src_(source), diag_(diagnostics), ecmaWarnings_(ecmaWarnings) {}

// The next byte, or 0 at the end of input (a 0 byte ends the input too; the
// position then stays on it).
int Lexer::get() {
    if (pos_ >= src_.size() || src_[pos_] == 0)
        return 0;
    int c = static_cast<unsigned char>(src_[pos_++]);
    if (c == '\n')
        ++line_;
    return c;
}

int Lexer::peek() const {
    if (pos_ >= src_.size())
        return 0;
    return static_cast<unsigned char>(src_[pos_]);
}

// Pushes back the byte that the last get() returned; only called after a get()
// that returned a byte other than 0.
void Lexer::unget() {
    --pos_;
    if (src_[pos_] == '\n')
        --line_;
}

void Lexer::unterminated(const char* what) {
    diag_.error(line_, std::string("unterminated ") + what + " constant");
}

int Lexer::hexValue(int c) const {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// ---------------------------------------------------------------------------
// Token recognition.

void Lexer::skipSpaceAndComments() {
    for (;;) {
        int c = peek();
        if (c != 0 && isSpace(c)) {
            get();
            continue;
        }
        if (c == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '*') {
            get();
            get();
            // Block comment; the end of input simply ends it.
            for (;;) {
                int d = get();
                if (d == 0)
                    return;
                if (d == '*' && peek() == '/') {
                    get();
                    break;
                }
            }
            continue;
        }
        if ((c == '/' || c == '#') && pos_ + 1 < src_.size() &&
            src_[pos_ + 1] == (c == '/' ? '/' : '!')) {
            // Line comment, up to the newline (which is skipped as space).
            for (;;) {
                int d = peek();
                if (d == 0 || d == '\n')
                    break;
                get();
            }
            continue;
        }
        return;
    }
}

Token Lexer::next() {
    skipSpaceAndComments();
    Token tok;
    tok.line = line_;
    int c = get();
    if (c == 0) {
        tok.kind = kTokEnd;
        return tok;
    }
    if (c == '"' || c == '\'')
        return readString(c, tok.line);

    // Operators, longest match first.
    auto take = [&](int ch) {
        if (peek() == ch && ch != 0) {
            get();
            return true;
        }
        return false;
    };
    switch (c) {
    case '=':
        tok.kind = take('=') ? (take('=') ? kTokStrictEq : kTokEq) : '=';
        return tok;
    case '!':
        tok.kind = take('=') ? (take('=') ? kTokStrictNe : kTokNe) : '!';
        return tok;
    case '<':
        if (take('<'))
            tok.kind = take('=') ? kTokShlAssign : kTokShl;
        else
            tok.kind = take('=') ? kTokLe : '<';
        return tok;
    case '>':
        if (take('>')) {
            if (take('>'))
                tok.kind = take('=') ? kTokUshrAssign : kTokUshr;
            else
                tok.kind = take('=') ? kTokShrAssign : kTokShr;
        } else {
            tok.kind = take('=') ? kTokGe : '>';
        }
        return tok;
    case '&':
        tok.kind = take('&') ? kTokAndAnd : take('=') ? kTokAndAssign : '&';
        return tok;
    case '|':
        tok.kind = take('|') ? kTokOrOr : take('=') ? kTokOrAssign : '|';
        return tok;
    case '+':
        tok.kind = take('+') ? kTokInc : take('=') ? kTokAddAssign : '+';
        return tok;
    case '-':
        tok.kind = take('-') ? kTokDec : take('=') ? kTokSubAssign : '-';
        return tok;
    case '*':
        tok.kind = take('=') ? kTokMulAssign : '*';
        return tok;
    case '/':
        tok.kind = take('=') ? kTokDivAssign : '/';
        return tok;
    case '%':
        tok.kind = take('=') ? kTokModAssign : '%';
        return tok;
    case '^':
        tok.kind = take('=') ? kTokXorAssign : '^';
        return tok;
    default:
        break;
    }

    if (isIdentStart(c)) {
        size_t start = pos_ - 1;
        while (isIdentPart(peek()))
            get();
        std::string_view name = src_.substr(start, pos_ - start);
        tok.kind = keywordKind(name);
        if (tok.kind == kTokIdentifier)
            tok.text = std::string(name);
        return tok;
    }
    if (c == '#' && peek() == '\'') {
        get();
        return readCharacter(tok.line);
    }
    if (isDigit(c) || (c == '.' && isDigit(peek())))
        return readNumber(c, tok.line);

    // Any other byte is a token of its own code. A byte above 127 is given as
    // its signed value, a kind that no grammar rule accepts, so that it cannot
    // pass for end of input, a literal or a keyword.
    tok.kind = c < 128 ? c : c - 256;
    return tok;
}

// ---------------------------------------------------------------------------
// Numbers.

Token Lexer::readNumber(int first, int line) {
    Token tok;
    tok.line = line;
    if (first == '0') {
        int c = peek();
        if (c == 'x' || c == 'X') {
            get();
            uint64_t v = 0;
            while (hexValue(peek()) >= 0)
                v = v * 16 + static_cast<uint64_t>(hexValue(get()));
            tok.kind = kTokInteger;
            tok.integer = static_cast<int64_t>(v);
            return tok;
        }
        if (c != '.' && c != 'e' && c != 'E') {
            uint64_t v = 0;
            while (isOctal(peek()))
                v = v * 8 + static_cast<uint64_t>(get() - '0');
            tok.kind = kTokInteger;
            tok.integer = static_cast<int64_t>(v);
            return tok;
        }
    }

    // Decimal literal: digits [. digits] [e|E [sign] digits].
    std::string text(1, static_cast<char>(first));
    bool fraction = first == '.';
    bool exponent = false;
    while (isDigit(peek()))
        text += static_cast<char>(get());
    if (!fraction && peek() == '.') {
        fraction = true;
        text += static_cast<char>(get());
        while (isDigit(peek()))
            text += static_cast<char>(get());
    }
    if (peek() == 'e' || peek() == 'E') {
        exponent = true;
        text += static_cast<char>(get());
        if (peek() == '+' || peek() == '-')
            text += static_cast<char>(get());
        if (!isDigit(peek()))
            diag_.error(line_, "invalid exponent part in a decimal literal");
        while (isDigit(peek()))
            text += static_cast<char>(get());
    }

    if (!fraction && !exponent) {
        // Integer when the value fits in a signed 64-bit integer.
        uint64_t v = 0;
        bool fits = true;
        for (char d : text) {
            uint64_t digit = static_cast<uint64_t>(d - '0');
            if (v > (static_cast<uint64_t>(INT64_MAX) - digit) / 10) {
                fits = false;
                break;
            }
            v = v * 10 + digit;
        }
        if (fits) {
            tok.kind = kTokInteger;
            tok.integer = static_cast<int64_t>(v);
            return tok;
        }
    }
    tok.kind = kTokNumber;
    tok.number = std::strtod(text.c_str(), nullptr);
    return tok;
}

// ---------------------------------------------------------------------------
// String and character literals.

bool Lexer::readEscape(std::string& out, const char* what) {
    int c = get();
    switch (c) {
    case 0: unterminated(what);
    case '\n': return false; // line continuation
    case 'a': out += '\a'; return true;
    case 'b': out += '\b'; return true;
    case 't': out += '\t'; return true;
    case 'n': out += '\n'; return true;
    case 'v': out += '\v'; return true;
    case 'f': out += '\f'; return true;
    case 'r': out += '\r'; return true;
    case '"': case '\'': case '?': case '\\':
        out += static_cast<char>(c);
        return true;
    case 'x': {
        int h1 = get();
        int h2 = h1 ? get() : 0;
        if (h1 == 0 || h2 == 0)
            unterminated(what);
        if (hexValue(h1) < 0 || hexValue(h2) < 0) {
            std::string m = "illegal character '\\x";
            m += static_cast<char>(h1);
            m += static_cast<char>(h2);
            m += '\'';
            diag_.error(line_, m);
        }
        out += static_cast<char>(hexValue(h1) * 16 + hexValue(h2));
        return true;
    }
    case 'u': {
        int h[4];
        bool ok = true;
        for (int& d : h) {
            d = get();
            if (d == 0)
                unterminated(what);
            ok = ok && hexValue(d) >= 0;
        }
        if (!ok) {
            std::string m = "illegal unicode character '\\u";
            for (int d : h)
                m += static_cast<char>(d);
            m += '\'';
            diag_.error(line_, m);
        }
        out += static_cast<char>(hexValue(h[2]) * 16 + hexValue(h[3]));
        return true;
    }
    default:
        break;
    }
    if (isOctal(c)) {
        // 1-7 takes at most two more octal digits, 0 at most three more.
        int more = c == '0' ? 3 : 2;
        unsigned v = static_cast<unsigned>(c - '0');
        while (more-- > 0 && isOctal(peek()))
            v = v * 8 + static_cast<unsigned>(get() - '0');
        out += static_cast<char>(v & 0xFF);
        return true;
    }
    std::string m = "unknown escape sequence '\\";
    m += static_cast<char>(c);
    m += '\'';
    diag_.warning(line_, m);
    out += static_cast<char>(c);
    return true;
}

Token Lexer::readString(int quote, int line) {
    Token tok;
    tok.kind = kTokString;
    tok.line = line;
    bool warnedNewline = false;
    for (;;) {
        int c = get();
        if (c == 0)
            unterminated("string");
        if (c == quote)
            break;
        if (c == '\\') {
            readEscape(tok.text, "string");
            continue;
        }
        if (c == '\n' && ecmaWarnings_ && !warnedNewline) {
            warnedNewline = true;
            diag_.warning(line_, "ECMAScript don't allow line terminators in string constants");
        }
        tok.text += static_cast<char>(c);
    }
    return tok;
}

// #'c': the byte of one character or escape, as a signed 8-bit integer.
Token Lexer::readCharacter(int line) {
    Token tok;
    tok.kind = kTokInteger;
    tok.line = line;
    std::string value;
    while (value.empty()) {
        int c = get();
        if (c == 0)
            unterminated("character");
        if (c == '\\')
            readEscape(value, "character");
        else
            value += static_cast<char>(c);
    }
    int close = get();
    if (close == 0)
        unterminated("character");
    if (close != '\'')
        diag_.error(line_, "illegal character");
    tok.integer = static_cast<int8_t>(value[0]);
    return tok;
}

// ---------------------------------------------------------------------------
// Regular-expression literals.

RegExpLiteral Lexer::readRegExp(std::string_view prefix) {
    RegExpLiteral re;
    static const char* const kWhat = "regular expression";
    // The prefix was read as part of the '/' token; it cannot hold a '/'.
    re.pattern = std::string(prefix);
    for (;;) {
        int c = get();
        if (c == 0)
            unterminated(kWhat);
        if (c == '/')
            break;
        if (c != '\\') {
            re.pattern += static_cast<char>(c);
            continue;
        }
        int e = get();
        switch (e) {
        case 0: unterminated(kWhat);
        case '\n': break; // line continuation
        case 'f': re.pattern += '\f'; break;
        case 'n': re.pattern += '\n'; break;
        case 'r': re.pattern += '\r'; break;
        case 't': re.pattern += '\t'; break;
        case 'v': re.pattern += '\v'; break;
        case '0': case 'x': case 'u':
            unget();
            readEscape(re.pattern, kWhat);
            break;
        case 'c': {
            // \c and its control letter stay as they are.
            int letter = get();
            if (letter == 0)
                unterminated(kWhat);
            re.pattern += "\\c";
            re.pattern += static_cast<char>(letter);
            break;
        }
        default:
            // Everything else stays escaped for the regular-expression compiler.
            re.pattern += '\\';
            re.pattern += static_cast<char>(e);
            break;
        }
    }
    for (;;) {
        int c = peek();
        if (c == 'g')
            re.flags |= kRegExpGlobal;
        else if (c == 'i')
            re.flags |= kRegExpIgnoreCase;
        else if (c == 'm')
            re.flags |= kRegExpMultiline;
        else
            break;
        get();
    }
    return re;
}

} // namespace quill
