// Fuzz target: the whole compiler (lexer, parser, code generator, optimiser,
// emitter) on arbitrary bytes. A compilation either fails with an error
// message or produces an image that reads back to the same sections.
#include "script/compiler/Compiler.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view src(reinterpret_cast<const char*>(data), size);
    quill::CompileOptions options;
    if (size > 0)
        options.flags = (data[0] & 1 ? quill::kCompileLineTable : 0) |
                        (data[0] & 2 ? quill::kCompileWarnSemicolon : 0) |
                        (data[0] & 4 ? quill::kCompileEcmaWarnings : 0);
    quill::CompileResult r = quill::compileScript(src, options);
    if (!r.ok) {
        if (r.messages.find("error: line ") == std::string::npos)
            std::abort(); // a failure always says why
        return 0;
    }
    if (r.messages.find("error: ") != std::string::npos)
        std::abort(); // success never carries an error
    std::vector<uint8_t> image = quill::writeImage(r.sections, 1);
    std::optional<quill::SectionSet> back = quill::loadImage(image);
    if (!back || !(*back == r.sections))
        std::abort();
    return 0;
}
