// The system's message texts for status codes.
#include "host/system/SystemErrorWin.h"

#include <cstring>

namespace paloma::host {

std::string systemMessage(DWORD code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : "Error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

void reportSystemError(quill::Engine& engine, DWORD code) {
    std::string message = systemMessage(code);
    size_t n = std::min(message.size(), quill::Engine::kErrorTextSize - 1);
    std::memcpy(engine.errorText, message.data(), n);
    engine.errorText[n] = 0;
}

} // namespace paloma::host
