#pragma once
// MCI and Sound: the multimedia layer for scripts (Windows).

#include "script/Quill.h"

namespace paloma::host {

void registerMCIClass(quill::Engine& engine);
void registerSoundClass(quill::Engine& engine);

} // namespace paloma::host
