#pragma once
// For tools only (the `quill` command), beside Quill.h: compiled images as
// text for people (the listing and the disassembly), which brings in the
// instruction set. The runtime, the packager and the host classes never
// include this header.

#include "script/Quill.h"
#include "script/image/Disasm.h"
