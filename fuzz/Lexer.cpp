// Fuzz target: the Quill lexer on arbitrary bytes, tokens and regular
// expressions alternating as the parser may ask for them.
#include "script/compiler/Lexer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view src(reinterpret_cast<const char*>(data), size);
    quill::Diagnostics diag;
    quill::Lexer lexer(src, diag, size > 0 && (data[0] & 1));
    try {
        int lastLine = 1;
        for (size_t n = 0; n <= size + 1; ++n) {
            quill::Token t = lexer.next();
            if (t.line < lastLine)
                std::abort(); // lines never go back
            lastLine = t.line;
            if (t.kind == quill::kTokEnd)
                return 0;
            if (t.kind == '/')
                lexer.readRegExp();
        }
        std::abort(); // every token consumes at least one byte
    } catch (const quill::CompileError&) {
        if (diag.messages().find("error: line ") == std::string::npos)
            std::abort(); // a failure always leaves its message
    }
    return 0;
}
