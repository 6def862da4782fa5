#pragma once
// Token kinds of the Quill lexer and the token record it hands the parser.
//
// Kinds 1..127 are single-character punctuators: the kind is the character's
// code. The numbered kinds below are stored nowhere but are kept stable so that
// listings and tests can name them.

#include <cstdint>
#include <string>

namespace quill {

inline constexpr int kTokEnd = 128;
inline constexpr int kTokInteger = 129;
inline constexpr int kTokNumber = 130;
inline constexpr int kTokString = 131;
inline constexpr int kTokIdentifier = 132;

// Keywords.
inline constexpr int kTokBreak = 133;
inline constexpr int kTokContinue = 134;
inline constexpr int kTokDelete = 135;
inline constexpr int kTokElse = 136;
inline constexpr int kTokFor = 137;
inline constexpr int kTokFunction = 138;
inline constexpr int kTokIf = 139;
inline constexpr int kTokIn = 140;
inline constexpr int kTokNew = 141;
inline constexpr int kTokReturn = 142;
inline constexpr int kTokThis = 143;
inline constexpr int kTokTypeof = 144;
inline constexpr int kTokVar = 145;
inline constexpr int kTokVoid = 146;
inline constexpr int kTokWhile = 147;
inline constexpr int kTokWith = 148;
inline constexpr int kTokCase = 149;
inline constexpr int kTokCatch = 150;
inline constexpr int kTokClass = 151;
inline constexpr int kTokConst = 152;
inline constexpr int kTokDebugger = 153;
inline constexpr int kTokDefault = 154;
inline constexpr int kTokDo = 155;
inline constexpr int kTokEnum = 156;
inline constexpr int kTokExport = 157;
inline constexpr int kTokExtends = 158;
inline constexpr int kTokFinally = 159;
inline constexpr int kTokImport = 160;
inline constexpr int kTokSuper = 161;
inline constexpr int kTokSwitch = 162;
inline constexpr int kTokThrow = 163;
inline constexpr int kTokTry = 164;
inline constexpr int kTokNull = 165;
inline constexpr int kTokTrue = 166;
inline constexpr int kTokFalse = 167;

// Multi-character operators.
inline constexpr int kTokEq = 168;         // ==
inline constexpr int kTokNe = 169;         // !=
inline constexpr int kTokLe = 170;         // <=
inline constexpr int kTokGe = 171;         // >=
inline constexpr int kTokAndAnd = 172;     // &&
inline constexpr int kTokOrOr = 173;       // ||
inline constexpr int kTokInc = 174;        // ++
inline constexpr int kTokDec = 175;        // --
inline constexpr int kTokMulAssign = 176;  // *=
inline constexpr int kTokDivAssign = 177;  // /=
inline constexpr int kTokModAssign = 178;  // %=
inline constexpr int kTokAddAssign = 179;  // +=
inline constexpr int kTokSubAssign = 180;  // -=
inline constexpr int kTokAndAssign = 181;  // &=
inline constexpr int kTokXorAssign = 182;  // ^=
inline constexpr int kTokOrAssign = 183;   // |=
inline constexpr int kTokShlAssign = 184;  // <<=
inline constexpr int kTokShl = 185;        // <<
inline constexpr int kTokShr = 186;        // >>
inline constexpr int kTokUshr = 187;       // >>>
inline constexpr int kTokShrAssign = 188;  // >>=
inline constexpr int kTokUshrAssign = 189; // >>>=
inline constexpr int kTokStrictEq = 190;   // ===
inline constexpr int kTokStrictNe = 191;   // !==

// Keywords added after the operators.
inline constexpr int kTokUndefined = 192;
inline constexpr int kTokStruct = 193;
inline constexpr int kTokDllimport = 194;
inline constexpr int kTokAs = 195;

// One token. `text` holds the name of an identifier or the single-byte text
// of a string literal; `integer` and `number` the value of a literal.
struct Token {
    int kind = kTokEnd;
    int line = 1;
    int64_t integer = 0;
    double number = 0;
    std::string text;
};

// A regular-expression literal as the lexer reads it: the pattern text and
// the flags global (bit 0), ignore case (bit 1) and multi-line (bit 2), the
// kRegExp* bits of the image's regular-expression constants.
struct RegExpLiteral {
    std::string pattern;
    uint8_t flags = 0;
};


// The spelling of a token kind, for messages of tests and listings.
const char* tokenSpelling(int kind);

} // namespace quill
