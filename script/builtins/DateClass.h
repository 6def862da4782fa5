#pragma once
// The Date class: instances hold one time value.

#include "script/values/Engine.h"

namespace quill {

void registerDateClass(Engine& engine);

} // namespace quill
