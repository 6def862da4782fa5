#pragma once
// The Number class (also the class of Integer, Float and NaN Values) and the
// Math singleton.

#include "script/values/Engine.h"

namespace quill {

void registerNumberClass(Engine& engine);
// Whether the class is the Number class registered above, whose toString of
// an Integer gives its decimal digits (with '-' when negative). Callers use
// it to format integers without going through the class.
bool isNumberClass(const NativeClass* cls);
void registerMathClass(Engine& engine);

} // namespace quill
