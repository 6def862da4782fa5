// The compiler's message stream.
#include "script/compiler/Diagnostics.h"

namespace quill {

void Diagnostics::append(const char* kind, int line, std::string_view text) {
    if (text.size() > kMaxMessageText)
        text = text.substr(0, kMaxMessageText);
    messages_ += kind;
    messages_ += ": line ";
    messages_ += std::to_string(line);
    messages_ += ": ";
    messages_ += text;
    messages_ += "\r\n";
}

void Diagnostics::error(int line, std::string_view text) {
    append("error", line, text);
    throw CompileError(std::string(text));
}

void Diagnostics::syntaxError(int line, std::string_view text) {
    std::string full = "syntax error: ";
    full += text;
    error(line, full);
}

void Diagnostics::warning(int line, std::string_view text) {
    append("warning", line, text);
    ++warnings_;
}

} // namespace quill
