#pragma once
// The Number class (also the class of Integer, Float and NaN Values) and the
// Math singleton.

#include "script/values/Engine.h"

namespace quill {

void registerNumberClass(Engine& engine);
void registerMathClass(Engine& engine);

} // namespace quill
