#pragma once
// The Encryption object: text and file ciphers and MD5 digests for scripts.

#include "script/Quill.h"

namespace paloma::host {

void registerEncryptionClass(quill::Engine& engine);

} // namespace paloma::host
