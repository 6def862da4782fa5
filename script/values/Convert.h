#pragma once
// Conversions between Value kinds, the integer scanner shared with parseInt
// and the lexer's callers, `typeof` names.

#include <cstdint>
#include <string>
#include <string_view>

#include "script/values/Engine.h"

namespace quill {

bool toBoolean(const Value& v);
// Integer, Float or NaN.
Value toNumber(Engine& engine, const Value& v);
// Signed 64-bit: Integer itself, Float truncated toward zero (infinities
// give 0, values beyond the 64-bit range the lowest 64-bit integer), else 0.
int64_t toInteger(Engine& engine, const Value& v);
// The shift-count variant: the low 32 bits of an Integer, the truncated Float.
int64_t toInteger32(Engine& engine, const Value& v);

enum class Hint { Number, String };
// Raises "Can't convert to primitive type" when there is no primitive.
Value toPrimitive(Engine& engine, const Value& v, Hint hint);
// Always a String.
Value toString(Engine& engine, const Value& v);
// ToString as UTF-16 text.
std::u16string toText(Engine& engine, const Value& v);
// Raises "Can't convert to object" for Undefined, Null, Symbol and the
// reserved kinds; a String gives a fresh non-static copy.
Value toObject(Engine& engine, const Value& v);

// `typeof` name by kind.
const char* typeofName(Kind kind);

// Integer scanner: skip white space, one optional sign, white space again;
// radix 0 chooses 16 for "0x"/"0X" (skipped), 8 for a leading "0", else 10;
// radix 16 skips an "0x" prefix. Results that do not fit 63 bits become a
// double (radix 10 reparsed as decimal text; power-of-two radices built bit
// by bit to 53 significant bits, rounding half up; other radices
// accumulated in long double).
struct ScanResult {
    enum Type { None, Integer, Double } type = None;
    int64_t integer = 0;
    double number = 0;
    size_t end = 0; // position after the digits; 0 when there were none
};
ScanResult scanInteger(std::u16string_view text, int radix);

// The runtime library's wide-string-to-double conversion: white space, sign,
// decimal digits with an optional fraction and an exponent introduced by
// e, E, d or D. Returns the number of code units consumed (0: none).
size_t parseDecimal(std::u16string_view text, double& out);

// printf "%g" (six significant digits); infinities "inf" and "-inf". The
// one float-to-text conversion of the engine.
std::string formatFloat(double d);

// The decimal text of an integer written as UTF-16 (or one byte a unit)
// into the buffer's tail: returns where it begins; it ends at the end of the
// buffer. The one integer-to-text conversion of the engine.
inline constexpr std::size_t kDecimalDigitsMax = 20; // "-9223372036854775808"
char16_t* decimalDigits(std::int64_t value, char16_t (&buffer)[kDecimalDigitsMax]);
unsigned char* decimalDigits(std::int64_t value, unsigned char (&buffer)[kDecimalDigitsMax]);

} // namespace quill
