#pragma once
// createControl and ActiveXControl: ActiveX controls hosted in a window.

#include "script/Quill.h"

namespace paloma::host {

// Binds the global function createControl and the class ActiveXControl
// (Windows only).
void registerActiveXControlClasses(quill::Engine& engine);

} // namespace paloma::host
