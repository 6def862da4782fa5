// The tool's call into the compiler.
#include "tools/quill/CompilerBridge.h"

#include "script/compiler/Compiler.h"

namespace quill::tool {

CompileOutcome compileSource(const std::string& source, const std::string& sourceName, uint32_t options) {
    quill::CompileResult result = quill::compileScript(source, CompileOptions{options, sourceName});
    CompileOutcome outcome;
    if (result.ok)
        outcome.sections = std::move(result.sections);
    outcome.messages = std::move(result.messages);
    return outcome;
}

} // namespace quill::tool
