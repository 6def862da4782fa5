#pragma once
// Loading a compiled image into an engine and running it: constants are
// appended to the engine's pool, every function is linked and bound to the
// global of its name (anonymous functions renumbered so that separately
// compiled images never share a name), then ".main" runs. LoadedImage,
// runImage() and checkImage() are public (script/QuillRun.h).

#include "script/QuillRun.h"

namespace quill {

// Makes a Function Value of a compiled function.
Value newFunctionValue(Engine& engine, struct CompiledFunction* compiled);

} // namespace quill
