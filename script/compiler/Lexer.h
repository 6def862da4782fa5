#pragma once
// The Quill lexer: single-byte source text to tokens.
//
// The source is taken as bytes (ANSI code page). A 0 byte ends the input, as
// the end of the text does. The line counter starts at 1 and counts every
// newline byte consumed, inside comments, literals and line continuations too.
// Lexical errors go through Diagnostics::error and end the compilation;
// warnings are recorded and lexing goes on. Any byte sequence is accepted
// without fault: the worst outcome is one of the error messages.

#include "script/compiler/Diagnostics.h"
#include "script/compiler/Token.h"

#include <string_view>

namespace quill {

class Lexer {
public:
    // `ecmaWarnings` enables the warning about line terminators inside string
    // literals.
    Lexer(std::string_view source, Diagnostics& diagnostics, bool ecmaWarnings = false);

    // The next token; token kTokEnd at the end, again on every later call.
    Token next();

    // Reads a regular-expression literal whose opening '/' has just been
    // consumed as a token. `prefix` is text that the lexer already took as part
    // of that token ("=" when the token was "/=").
    RegExpLiteral readRegExp(std::string_view prefix = {});

    int line() const { return line_; }

    // The keyword token of a name, or kTokIdentifier.
    static int keywordKind(std::string_view name);

private:
    // Character stream.
    int get();
    int peek() const;
    void unget();

    void skipSpaceAndComments();
    Token readNumber(int first, int line);
    Token readString(int quote, int line);
    Token readCharacter(int line);
    // Reads the escape after a backslash into `out`; returns false for a line
    // continuation (nothing appended).
    bool readEscape(std::string& out, const char* what);
    int hexValue(int c) const;
    [[noreturn]] void unterminated(const char* what);

    std::string_view src_;
    size_t pos_ = 0;
    int line_ = 1;
    Diagnostics& diag_;
    bool ecmaWarnings_;
};

} // namespace quill
