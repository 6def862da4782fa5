// The process-wide state of the shell.
#include "app/shell/ShellContext.h"

#include <string>
#include <vector>

namespace paloma {

namespace {
HWND gMainWindow = nullptr;
} // namespace

RuntimeSettings& runtimeSettings() {
    static RuntimeSettings settings;
    return settings;
}

MovieList& movieList() {
    static MovieList list;
    return list;
}

ShellContext& shellContext() {
    static ShellContext context;
    return context;
}

HWND shellMainWindow() {
    return gMainWindow && IsWindow(gMainWindow) ? gMainWindow : nullptr;
}

void setShellMainWindow(HWND window) {
    gMainWindow = window;
}

std::wstring modulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        DWORD n = GetModuleFileNameW(module, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        if (buffer.size() > 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace paloma
