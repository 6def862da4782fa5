#pragma once
// Dialogs and FontObject: the system's common dialogs for scripts (Windows).

#include "script/Quill.h"

namespace paloma::host {

void registerDialogsClass(quill::Engine& engine);
void registerFontObjectClass(quill::Engine& engine);

} // namespace paloma::host
