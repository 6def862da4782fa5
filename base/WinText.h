#pragma once
// The shell's text at the Win32 boundary: records and paths are ANSI text
// (as the stored formats are); the wide Win32 calls take UTF-16. Conversion
// goes through base/TextCodec.h only.

#include "base/TextCodec.h"

#include <string>
#include <string_view>

namespace paloma {

inline std::wstring widen(std::string_view ansi) {
    std::u16string u = ansiToUtf16(ansi);
    return std::wstring(u.begin(), u.end());
}

inline std::string narrow(std::wstring_view wide) {
    return utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

} // namespace paloma
