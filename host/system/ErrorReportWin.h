#pragma once
// Reporting a failure of the system into the engine's error text, where host
// classes leave the system's message for a status code (Windows only).

#include <windows.h>

#include "script/Quill.h"

namespace paloma::host {

// Puts the system's message for `code` (ANSI) into engine.errorText.
void reportSystemError(quill::Engine& engine, DWORD code);

} // namespace paloma::host
