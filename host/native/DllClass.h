#pragma once
// Dll and DllParam: DLL functions registered as script functions, raw memory
// reads, and the descriptors of structure-typed parameters.

#include "script/Quill.h"

namespace paloma::host {

// Registers DllParam and Dll (the global `Dll` object and the class of the
// function values it makes).
void registerDllClasses(quill::Engine& engine);

} // namespace paloma::host
