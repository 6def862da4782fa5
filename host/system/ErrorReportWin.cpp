// The system's message for a status code, into the engine's error text.
#include "host/system/ErrorReportWin.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/TextCodec.h"
#include "host/framework/SystemError.h"

namespace paloma::host {

void reportSystemError(quill::Engine& engine, DWORD code) {
    std::wstring wide = systemErrorText(code);
    std::string message = utf16ToAnsi(std::u16string(wide.begin(), wide.end()));
    size_t n = std::min(message.size(), quill::Engine::kErrorTextSize - 1);
    std::memcpy(engine.errorText, message.data(), n);
    engine.errorText[n] = 0;
}

} // namespace paloma::host
