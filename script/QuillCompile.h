#pragma once
// Compiling Quill source into a compiled image's sections: the part of the
// compiler that embedders and tools call (Quill.h). The compiler's own
// stages (instruction lists, emission) are in script/compiler/Compiler.h.
//
// Messages are lines "error: line N: text" and "warning: line N: text", each
// ended by CR LF. The first error ends the compilation: the result then holds
// the warnings so far and that error, and no sections.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "script/image/Image.h"

namespace quill {

// Bits of the option word.
inline constexpr uint32_t kCompileLineTable = 1u << 2;      // write the line table
inline constexpr uint32_t kCompileWarnSemicolon = 1u << 20; // warn at inserted semicolons
inline constexpr uint32_t kCompileEcmaWarnings = 1u << 21;  // line terminators in strings

struct CompileOptions {
    uint32_t flags = 0;
    // The line table's source name: the script file's name, or "string" for
    // source compiled from memory.
    std::string sourceName = kStringSourceName;
};

struct CompileResult {
    bool ok = false;
    SectionSet sections;  // valid when ok
    std::string messages; // warnings and the error, single-byte text
};

// Compiles single-byte (ANSI code page) source text.
CompileResult compileScript(std::string_view source, const CompileOptions& options = {});
// Compiles UTF-16 text, converted to the ANSI code page first.
CompileResult compileScript(std::u16string_view source, const CompileOptions& options = {});

// Compiles a script file read in binary mode; the line table's source name
// is the file's name. A file that cannot be read fails with the message
// "can't open the script file: " + name + "\n".
CompileResult compileFile(const std::filesystem::path& path, const CompileOptions& options = {});

} // namespace quill
