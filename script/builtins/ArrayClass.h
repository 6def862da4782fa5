#pragma once
// The Array class: construction, `length`, and the methods of Array Values.

#include <string>

#include "script/values/Engine.h"

namespace quill {

void registerArrayClass(Engine& engine);

// join of an array with a separator, as Array.join and ToString give it.
std::u16string joinArrayText(Engine& engine, ArrayBody* array, std::u16string_view separator);
// The same as a String Value.
Value joinArray(Engine& engine, ArrayBody* array, std::u16string_view separator);

} // namespace quill
