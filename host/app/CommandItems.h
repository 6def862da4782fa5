#pragma once
// The items of a command line after the program name (Application.cmdItems).

#include <string>
#include <string_view>
#include <vector>

namespace paloma::host {

// Skips the first item; then each item either starts with a quote (" or ')
// and runs to the matching quote or the end, without the quotes, or runs to
// the next space (a tab does not end it). Spaces and tabs between items are
// skipped; empty items are left out.
std::vector<std::string> commandItems(std::string_view commandLine);

} // namespace paloma::host
