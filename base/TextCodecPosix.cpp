// ANSI code page outside Windows: Windows-1252.
#include "base/TextCodec.h"

namespace paloma {

std::u16string ansiToUtf16(std::string_view text) { return cp1252ToUtf16(text); }
std::string utf16ToAnsi(std::u16string_view text) { return utf16ToCp1252(text); }

} // namespace paloma
