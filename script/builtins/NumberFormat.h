#pragma once
// Number to text: integers in any radix, floats in the "%g" form, and the
// printf-style `format` of the Number class done without trusting the format.

#include <cstdint>
#include <string>
#include <string_view>

#include "script/values/Convert.h"

namespace quill::numberformat {

// Digits 0-9 and a-z. Radix 10 writes a minus sign; other radices write a
// negative value as its unsigned 64-bit two's complement. A radix outside
// 2..36 counts as 10.
std::string integerToString(std::int64_t value, int radix);

// The "%g" form, as every number of the engine is written.
inline std::string floatToString(double value) { return formatFloat(value); }

// The value handed to `format`: an Integer or a Float.
struct FormatNumber {
    bool isInteger = true;
    std::int64_t integer = 0;
    double real = 0;
};

inline constexpr std::size_t kFormatMaxLength = 255;

// Format number with the printf-style format fmt. Every conversion takes the
// number converted to the type it expects (%d and %i the low 32 bits, %I64d
// and %lld all 64, %f %e %g %a a double, %c a code unit, %s the number's own
// text); conversions that would read anything else (%n, %p, '*' widths) and
// malformed ones are copied as text. At most kFormatMaxLength units.
std::u16string format(std::u16string_view fmt, const FormatNumber& number);

} // namespace quill::numberformat
