#pragma once
// The system's message text for an error code (the text the system gives for
// GetLastError() and the like), without its line end; "Error <n>" when the
// system has none. Windows only.

#include <windows.h>

#include <string>

namespace paloma::host {

std::wstring systemErrorText(DWORD error);

} // namespace paloma::host
