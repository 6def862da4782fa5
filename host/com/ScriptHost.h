#pragma once
// ScriptHost: code of installed Active Scripting languages run from Quill.

#include "script/Quill.h"

namespace paloma::host {

// Registers ScriptHost (Windows only).
void registerScriptHostClass(quill::Engine& engine);

} // namespace paloma::host
