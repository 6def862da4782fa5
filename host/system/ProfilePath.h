#pragma once
// Where a profile file named by a script lives. On Windows, as with the
// system's profile functions, a bare file name (no "\" or "/") is a file in
// the Windows directory; elsewhere the path is taken as given.

#include <filesystem>
#include <string_view>

namespace paloma::host {

std::filesystem::path profilePath(std::u16string_view name);

} // namespace paloma::host
