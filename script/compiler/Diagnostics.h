#pragma once
// The compiler's message stream: warnings are collected, the first error is
// collected and ends the compilation by unwinding to the compile entry point.
//
// Each message is one line, "error: line N: text" or "warning: line N: text",
// ended by CR LF; the text part is cut to 255 bytes.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quill {

// Thrown by Diagnostics::error; caught only by the compile entry point.
struct CompileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Diagnostics {
public:
    // The longest message text, without the "error: line N: " prefix.
    static constexpr size_t kMaxMessageText = 255;

    [[noreturn]] void error(int line, std::string_view text);
    void warning(int line, std::string_view text);

    // "syntax error: " + text, the form of almost every parser error.
    [[noreturn]] void syntaxError(int line, std::string_view text);

    const std::string& messages() const { return messages_; }
    int warningCount() const { return warnings_; }

private:
    void append(const char* kind, int line, std::string_view text);

    std::string messages_;
    int warnings_ = 0;
};

} // namespace quill
