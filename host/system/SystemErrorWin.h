#pragma once
// The system's message text for a status code, and reporting it into the
// engine's error text (where host classes leave failures; Windows only).

#include <windows.h>

#include <string>

#include "script/Quill.h"

namespace paloma::host {

// The system's message for `code`, without its trailing line end.
std::string systemMessage(DWORD code);
// Puts the system's message for `code` into engine.errorText.
void reportSystemError(quill::Engine& engine, DWORD code);

} // namespace paloma::host
