// Script paths to operating-system paths.
#include "base/HostPath.h"

#include "base/TextCodec.h"

namespace paloma {

std::filesystem::path hostPath(std::u16string_view text) {
#ifdef _WIN32
    std::u16string wide = ansiToUtf16(utf16ToAnsi(text));
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    return std::filesystem::path(utf16ToUtf8(text));
#endif
}

} // namespace paloma
