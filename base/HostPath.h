#pragma once
// A path given by a script, as the operating system sees it. On Windows the
// text passes through the ANSI code page (a character it cannot hold becomes
// '?', as with the system's ANSI file functions); elsewhere file names are
// UTF-8.

#include <filesystem>
#include <string_view>

namespace paloma {

std::filesystem::path hostPath(std::u16string_view text);

} // namespace paloma
