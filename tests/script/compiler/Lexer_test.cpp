// Lexer: token kinds, literals, comments, lines, messages.
#include "script/image/Image.h"
#include "script/compiler/Lexer.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quill;

namespace {

struct Lexed {
    std::vector<Token> tokens; // up to and including the end token
    std::string messages;
    bool failed = false;
};

Lexed lex(std::string_view src, bool ecma = false) {
    Lexed out;
    Diagnostics diag;
    Lexer lexer(src, diag, ecma);
    try {
        for (;;) {
            out.tokens.push_back(lexer.next());
            if (out.tokens.back().kind == kTokEnd)
                break;
        }
    } catch (const CompileError&) {
        out.failed = true;
    }
    out.messages = diag.messages();
    return out;
}

std::vector<int> kinds(std::string_view src) {
    std::vector<int> k;
    for (const Token& t : lex(src).tokens)
        k.push_back(t.kind);
    return k;
}

Token single(std::string_view src) {
    Lexed l = lex(src);
    EXPECT_FALSE(l.failed) << l.messages;
    EXPECT_EQ(l.tokens.size(), 2u) << src;
    return l.tokens.empty() ? Token{} : l.tokens[0];
}

std::string errorOf(std::string_view src) {
    Lexed l = lex(src);
    EXPECT_TRUE(l.failed) << src;
    return l.messages;
}

} // namespace

TEST(LexerOperators, LongestMatchFirst) {
    EXPECT_EQ(kinds("a===b"), (std::vector<int>{kTokIdentifier, kTokStrictEq, kTokIdentifier, kTokEnd}));
    EXPECT_EQ(kinds("a>>>=1"), (std::vector<int>{kTokIdentifier, kTokUshrAssign, kTokInteger, kTokEnd}));
    EXPECT_EQ(kinds("== != !== <= << <<= >= >> >>= >>> && &= || |= ++ += -- -= *= /= %= ^="),
              (std::vector<int>{kTokEq, kTokNe, kTokStrictNe, kTokLe, kTokShl, kTokShlAssign, kTokGe,
                                kTokShr, kTokShrAssign, kTokUshr, kTokAndAnd, kTokAndAssign, kTokOrOr,
                                kTokOrAssign, kTokInc, kTokAddAssign, kTokDec, kTokSubAssign,
                                kTokMulAssign, kTokDivAssign, kTokModAssign, kTokXorAssign, kTokEnd}));
    // Single characters are their own code.
    EXPECT_EQ(kinds("(;.?:=<>+-*/%!~&|^,[]{}"),
              (std::vector<int>{'(', ';', '.', '?', ':', '=', '<', '>', '+', '-', '*', '/', '%', '!',
                                '~', '&', '|', '^', ',', '[', ']', '{', '}', kTokEnd}));
    // "+++" is "++" then "+".
    EXPECT_EQ(kinds("+++"), (std::vector<int>{kTokInc, '+', kTokEnd}));
}

TEST(LexerIdentifiers, KeywordsAndNames) {
    const char* words[] = {"break", "continue", "delete", "else", "for", "function", "if", "in",
                           "new", "return", "this", "typeof", "var", "void", "while", "with",
                           "case", "catch", "class", "const", "debugger", "default", "do", "enum",
                           "export", "extends", "finally", "import", "super", "switch", "throw",
                           "try", "null", "true", "false"};
    int kind = kTokBreak;
    for (const char* w : words)
        EXPECT_EQ(single(w).kind, kind++) << w;
    EXPECT_EQ(single("undefined").kind, kTokUndefined);
    EXPECT_EQ(single("struct").kind, kTokStruct);
    EXPECT_EQ(single("dllimport").kind, kTokDllimport);
    EXPECT_EQ(single("as").kind, kTokAs);

    Token t = single("$_abc_09Z");
    EXPECT_EQ(t.kind, kTokIdentifier);
    EXPECT_EQ(t.text, "$_abc_09Z");
    // Near misses of keywords are names.
    EXPECT_EQ(single("iff").kind, kTokIdentifier);
    EXPECT_EQ(single("Break").kind, kTokIdentifier);
    EXPECT_EQ(single("fo").text, "fo");
}

TEST(LexerNumbers, IntegersAndNumbers) {
    Token t = single("0x1F");
    EXPECT_EQ(t.kind, kTokInteger);
    EXPECT_EQ(t.integer, 31);
    EXPECT_EQ(single("0XfF").integer, 255);
    t = single("017");
    EXPECT_EQ(t.kind, kTokInteger);
    EXPECT_EQ(t.integer, 15);
    EXPECT_EQ(single("0").integer, 0);
    t = single("0.5");
    EXPECT_EQ(t.kind, kTokNumber);
    EXPECT_DOUBLE_EQ(t.number, 0.5);
    t = single(".5");
    EXPECT_EQ(t.kind, kTokNumber);
    EXPECT_DOUBLE_EQ(t.number, 0.5);
    t = single("1e3");
    EXPECT_EQ(t.kind, kTokNumber);
    EXPECT_DOUBLE_EQ(t.number, 1000.0);
    EXPECT_DOUBLE_EQ(single("25E-1").number, 2.5);
    EXPECT_DOUBLE_EQ(single("1.5e+2").number, 150.0);
    EXPECT_EQ(single("12345").integer, 12345);
}

TEST(LexerNumbers, SixtyFourBitRange) {
    Token t = single("9223372036854775807");
    EXPECT_EQ(t.kind, kTokInteger);
    EXPECT_EQ(t.integer, INT64_MAX);
    t = single("9223372036854775808");
    EXPECT_EQ(t.kind, kTokNumber);
    EXPECT_DOUBLE_EQ(t.number, 9223372036854775808.0);
    t = single("100000000000000000000000");
    EXPECT_EQ(t.kind, kTokNumber);
    EXPECT_DOUBLE_EQ(t.number, 1e23);
    // Hexadecimal and octal digits wrap in 64 bits instead of turning into numbers.
    EXPECT_EQ(single("0xFFFFFFFFFFFFFFFF").integer, -1);
    EXPECT_EQ(single("0x10000000000000001").integer, 1);
}

TEST(LexerNumbers, EndOfNumberIsPushedBack) {
    Lexed l = lex("12;0x1Fg 09");
    ASSERT_FALSE(l.failed);
    ASSERT_EQ(l.tokens.size(), 7u);
    EXPECT_EQ(l.tokens[0].integer, 12);
    EXPECT_EQ(l.tokens[1].kind, ';');
    EXPECT_EQ(l.tokens[2].integer, 31);
    EXPECT_EQ(l.tokens[3].text, "g");
    // "09": the octal 0, then the decimal 9.
    EXPECT_EQ(l.tokens[4].integer, 0);
    EXPECT_EQ(l.tokens[5].integer, 9);
    // A number at the end of a line leaves the newline to be counted once.
    Lexed m = lex("1\n2");
    EXPECT_EQ(m.tokens[1].line, 2);
}

TEST(LexerNumbers, Errors) {
    EXPECT_EQ(errorOf("1e"), "error: line 1: invalid exponent part in a decimal literal\r\n");
    EXPECT_EQ(errorOf("\n\n2E+x"), "error: line 3: invalid exponent part in a decimal literal\r\n");
}

TEST(LexerCharacters, CharacterLiterals) {
    Token t = single("#'A'");
    EXPECT_EQ(t.kind, kTokInteger);
    EXPECT_EQ(t.integer, 65);
    EXPECT_EQ(single("#'\\n'").integer, 10);
    EXPECT_EQ(single("#'\\xFF'").integer, -1);
    EXPECT_EQ(single("#'\x80'").integer, -128);
    EXPECT_EQ(single("#'\\101'").integer, 65);
    EXPECT_EQ(errorOf("#'AB'"), "error: line 1: illegal character\r\n");
    EXPECT_EQ(errorOf("#'A"), "error: line 1: unterminated character constant\r\n");
    EXPECT_EQ(errorOf("#'"), "error: line 1: unterminated character constant\r\n");
}

TEST(LexerStrings, Escapes) {
    EXPECT_EQ(single("\"\\a\\b\\t\\n\\v\\f\\r\\\"\\'\\?\\\\\"").text,
              std::string("\a\b\t\n\v\f\r\"'?\\"));
    EXPECT_EQ(single("'\\x41\\x7e'").text, "A~");
    // A unicode escape keeps the byte of its last two digits.
    EXPECT_EQ(single("'\\u0041'").text, "A");
    EXPECT_EQ(single("'\\u1241'").text, "A");
    EXPECT_EQ(single("'\\101\\0101'").text, "AA");
    EXPECT_EQ(single("'\\0'").text, std::string(1, '\0'));
    // At most three octal digits after 1-7: "\1012" is A then '2'.
    EXPECT_EQ(single("'\\1012'").text, "A2");
    // Truncated to one byte.
    EXPECT_EQ(single("'\\777'").text, std::string(1, '\xFF'));
    EXPECT_EQ(single("''").text, "");
    EXPECT_EQ(single("\"it's\"").text, "it's");
}

TEST(LexerStrings, LinesAndContinuations) {
    Lexed l = lex("'a\\\nb' x");
    ASSERT_FALSE(l.failed);
    EXPECT_EQ(l.tokens[0].text, "ab");
    EXPECT_EQ(l.tokens[1].line, 2);
    l = lex("'a\nb'\n x");
    EXPECT_EQ(l.tokens[0].text, "a\nb");
    EXPECT_EQ(l.tokens[0].line, 1);
    EXPECT_EQ(l.tokens[1].line, 3);
    EXPECT_EQ(l.messages, "");
    l = lex("\n'a\nb\nc' 'd\ne'", true);
    EXPECT_EQ(l.messages,
              "warning: line 3: ECMAScript don't allow line terminators in string constants\r\n"
              "warning: line 5: ECMAScript don't allow line terminators in string constants\r\n");
}

TEST(LexerStrings, Messages) {
    Lexed l = lex("'\\q'");
    EXPECT_FALSE(l.failed);
    EXPECT_EQ(l.tokens[0].text, "q");
    EXPECT_EQ(l.messages, "warning: line 1: unknown escape sequence '\\q'\r\n");
    EXPECT_EQ(errorOf("x = 'abc"), "error: line 1: unterminated string constant\r\n");
    EXPECT_EQ(errorOf("'abc\n\n"), "error: line 3: unterminated string constant\r\n");
    EXPECT_EQ(errorOf("'abc\\"), "error: line 1: unterminated string constant\r\n");
    EXPECT_EQ(errorOf("'\\xG1'"), "error: line 1: illegal character '\\xG1'\r\n");
    EXPECT_EQ(errorOf("'\\x4'"), "error: line 1: illegal character '\\x4''\r\n");
    EXPECT_EQ(errorOf("'\\u12z4'"), "error: line 1: illegal unicode character '\\u12z4'\r\n");
    // A 0 byte ends the input, inside a literal as well.
    EXPECT_EQ(errorOf(std::string_view("'ab\0cd'", 7)), "error: line 1: unterminated string constant\r\n");
}

TEST(LexerComments, AllForms) {
    EXPECT_EQ(kinds("#!/usr/bin/quill run\nx"), (std::vector<int>{kTokIdentifier, kTokEnd}));
    EXPECT_EQ(kinds("a // b c\n d"), (std::vector<int>{kTokIdentifier, kTokIdentifier, kTokEnd}));
    EXPECT_EQ(kinds("a /* b \n c */ d"), (std::vector<int>{kTokIdentifier, kTokIdentifier, kTokEnd}));
    Lexed l = lex("x /* unterminated\n\n");
    EXPECT_FALSE(l.failed);
    ASSERT_EQ(l.tokens.size(), 2u);
    EXPECT_EQ(l.tokens[1].kind, kTokEnd);
    EXPECT_EQ(l.tokens[1].line, 3);
    l = lex("/* 1\n2 */ a\n// c\n\tb");
    EXPECT_EQ(l.tokens[0].line, 2);
    EXPECT_EQ(l.tokens[1].line, 4);
    // A '#' not starting a comment or a character literal is a token of its own.
    EXPECT_EQ(kinds("#x"), (std::vector<int>{'#', kTokIdentifier, kTokEnd}));
}

TEST(LexerBytes, StrayBytesAreNotEndOrLiterals) {
    // A byte above 127 must not pass for end of input (128) or an identifier (132).
    Lexed l = lex("\x80 \x84 x");
    ASSERT_EQ(l.tokens.size(), 4u);
    EXPECT_LT(l.tokens[0].kind, 0);
    EXPECT_LT(l.tokens[1].kind, 0);
    EXPECT_EQ(l.tokens[2].kind, kTokIdentifier);
    // The end token repeats.
    Diagnostics diag;
    Lexer lexer("", diag);
    EXPECT_EQ(lexer.next().kind, kTokEnd);
    EXPECT_EQ(lexer.next().kind, kTokEnd);
}

namespace {
RegExpLiteral regexp(std::string_view afterSlash, std::string_view prefix = {}, int* nextKind = nullptr,
                     int* line = nullptr) {
    Diagnostics diag;
    Lexer lexer(afterSlash, diag);
    RegExpLiteral re = lexer.readRegExp(prefix);
    if (nextKind)
        *nextKind = lexer.next().kind;
    if (line)
        *line = lexer.line();
    return re;
}
} // namespace

TEST(LexerRegExp, PatternsAndFlags) {
    int next = 0;
    RegExpLiteral re = regexp("a\\/b/gi;", {}, &next);
    EXPECT_EQ(re.pattern, "a\\/b");
    EXPECT_EQ(re.flags, kRegExpGlobal | kRegExpIgnoreCase);
    EXPECT_EQ(next, ';');
    re = regexp("x/mgmx", {}, &next);
    EXPECT_EQ(re.flags, kRegExpGlobal | kRegExpMultiline);
    EXPECT_EQ(next, kTokIdentifier);
    re = regexp("\\t\\n\\x41\\u0042\\0\\d\\b\\cJ/");
    EXPECT_EQ(re.pattern, std::string("\t\nAB") + std::string(1, '\0') + "\\d\\b\\cJ");
    // "/=" already consumed the '='.
    EXPECT_EQ(regexp("a/", "=").pattern, "=a");
    int line = 0;
    re = regexp("a\nb\\\nc/", {}, nullptr, &line);
    EXPECT_EQ(re.pattern, "a\nbc");
    EXPECT_EQ(line, 3);
    // \c takes its letter even when it is the slash.
    EXPECT_EQ(regexp("\\c//").pattern, "\\c/");
}

TEST(LexerRegExp, Unterminated) {
    Diagnostics diag;
    Lexer lexer("abc\\/", diag);
    EXPECT_THROW(lexer.readRegExp(), CompileError);
    EXPECT_EQ(diag.messages(), "error: line 1: unterminated regular expression constant\r\n");
}

TEST(LexerMessages, TextIsCutTo255Bytes) {
    Diagnostics diag;
    diag.warning(7, std::string(400, 'x'));
    EXPECT_EQ(diag.messages(), "warning: line 7: " + std::string(255, 'x') + "\r\n");
}
