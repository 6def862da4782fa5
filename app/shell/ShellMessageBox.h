#pragma once
// Message boxes of the shell.
//
// When the environment variable PALOMA_MESSAGE_LOG names a file, no box is
// shown: each box appends one line "<title>\t<text>\n" (UTF-8) to that file
// and counts as answered with its default button (IDOK, or IDYES for yes/no
// boxes). Unattended runs and the end-to-end tests use this; nothing else
// changes.

#include <windows.h>

#include <string_view>

namespace paloma {

inline constexpr const wchar_t* kMessageLogVariable = L"PALOMA_MESSAGE_LOG";

int showMessageBox(HWND owner, std::wstring_view text, std::wstring_view title, UINT type);

} // namespace paloma
