#pragma once
// The String class: `length` and the methods of String Values.

#include "script/values/Engine.h"

namespace quill {

void registerStringClass(Engine& engine);

} // namespace quill
