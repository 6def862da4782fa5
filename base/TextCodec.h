#pragma once
// Text conversion at the boundary where text leaves the engine: UTF-16 (the
// engine's text) to and from the ANSI code page (the operating system's and the
// stored formats' text), and UTF-8 for terminals and files of the tools.
//
// On Windows the ANSI code page is the system's; elsewhere it is Windows-1252,
// the default of an English Windows. A character the code page cannot hold
// becomes '?', as the system's own conversion does.

#include <string>
#include <string_view>

namespace paloma {

std::u16string ansiToUtf16(std::string_view text);
std::string utf16ToAnsi(std::u16string_view text);

// Portable Windows-1252 conversion, used by the POSIX build for the ANSI code
// page and available everywhere for stored formats that fix that code page.
std::u16string cp1252ToUtf16(std::string_view text);
std::string utf16ToCp1252(std::u16string_view text);

// UTF-8. Invalid sequences and unpaired surrogates become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

} // namespace paloma
