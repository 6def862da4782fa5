#pragma once
// The Quill compiler's entry points: source text in, the sections of a
// compiled image and the messages out. compileScript() and compileFile() are
// public (script/QuillCompile.h); the stages below are for the compiler's
// tests and the tools' listings.

#include "script/QuillCompile.h"
#include "script/compiler/Instructions.h"

#include <string>
#include <string_view>

namespace quill {

// The optimised instruction list of a script, before emission; for tests and
// listings.
struct InstructionResult {
    bool ok = false;
    InstrList list;
    std::string messages;
};
InstructionResult compileInstructions(std::string_view source, const CompileOptions& options = {},
                                      bool optimise = true);

// Writes an instruction list as image sections: code bytes, the constant pool
// (entries created in the order of first use), the function table and, when
// asked, the line table.
SectionSet emitSections(const InstrList& list, const CompileOptions& options);

} // namespace quill
