#pragma once
// The Ini class: profile files for scripts.

#include "script/Quill.h"

namespace paloma::host {

void registerIniClass(quill::Engine& engine);

} // namespace paloma::host
