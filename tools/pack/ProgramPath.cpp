// The running program's full path.
#include "tools/pack/ProgramPath.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>

namespace paloma::pack {

std::filesystem::path programPath(const char* argv0) {
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n > 0 && n < buffer.size()) {
        buffer.resize(n);
        return std::filesystem::path(buffer);
    }
#else
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty())
        return self;
#endif
    std::error_code error;
    return std::filesystem::absolute(argv0 ? argv0 : "", error);
}

} // namespace paloma::pack
