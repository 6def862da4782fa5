#pragma once
// The one place where the tool calls the compiler: source text in, section
// set and messages out.

#include <cstdint>
#include <optional>
#include <string>

#include "script/compiler/Image.h"

namespace quill::tool {

// Bits of the compile option word.
inline constexpr uint32_t kCompileLines = 1u << 2;         // write the line table
inline constexpr uint32_t kCompileWarnSemicolon = 1u << 20; // warn "missing ;" on inserted semicolons
inline constexpr uint32_t kCompileEcma = 1u << 21;          // ECMAScript-conformance warnings

struct CompileOutcome {
    std::optional<SectionSet> sections; // nothing when compilation failed
    std::string messages;               // warnings and the error, CR LF ended
};

// `sourceName` goes into the line table when kCompileLines is set.
CompileOutcome compileSource(const std::string& source, const std::string& sourceName,
                             uint32_t options);

} // namespace quill::tool
