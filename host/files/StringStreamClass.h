#pragma once
// The StringStream class: an in-memory binary stream for scripts.

#include "script/Quill.h"

namespace paloma::host {

void registerStringStreamClass(quill::Engine& engine);

} // namespace paloma::host
