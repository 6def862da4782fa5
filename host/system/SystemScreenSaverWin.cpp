// The system's screen-saver entry.
#include "host/system/SystemScreenSaver.h"

#include "host/framework/WinHandles.h"

#include <vector>

namespace paloma {

namespace {

constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";
constexpr const wchar_t* kScreenSaverValue = L"SCRNSAVE.EXE";

bool isWin9x() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info))
        return false;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

std::wstring shortPathOf(const std::wstring& longPath) {
    DWORD n = GetShortPathNameW(longPath.c_str(), nullptr, 0);
    if (n == 0)
        return {};
    std::vector<wchar_t> buffer(n + 1);
    n = GetShortPathNameW(longPath.c_str(), buffer.data(), DWORD(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return {};
    return std::wstring(buffer.data(), n);
}

} // namespace

bool makeSystemScreenSaver(const std::wstring& longPath) {
    setScreenSaverActive(true);
    std::wstring shortPath = shortPathOf(longPath);
    if (shortPath.empty())
        return false;
    if (isWin9x())
        return WritePrivateProfileStringW(L"boot", kScreenSaverValue, longPath.c_str(), L"SYSTEM.INI") != FALSE;

    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    DWORD bytes = DWORD((shortPath.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(key.get(), kScreenSaverValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(shortPath.c_str()),
                       bytes) != ERROR_SUCCESS)
        return false;
    key.reset();
    // A window that does not answer within a second is not waited for.
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, &result);
    setScreenSaverActive(true);
    return true;
}

std::wstring currentSystemScreenSaver() {
    std::wstring path;
    if (isWin9x()) {
        wchar_t buffer[MAX_PATH + 1] = {};
        GetPrivateProfileStringW(L"boot", kScreenSaverValue, L"", buffer, MAX_PATH + 1, L"SYSTEM.INI");
        path = buffer;
    }
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS) {
        wchar_t buffer[MAX_PATH + 1] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
        if (RegQueryValueExW(key.get(), kScreenSaverValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
                ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ))
            path = buffer;
    }
    return path;
}

bool screenSaverActive() {
    BOOL active = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active != FALSE;
}

bool setScreenSaverActive(bool active) {
    return SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr, SPIF_SENDCHANGE) != FALSE;
}

int screenSaverTimeout() {
    int seconds = 0;
    SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    return seconds;
}

bool setScreenSaverTimeout(int seconds) {
    return SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, UINT(seconds), nullptr, SPIF_SENDCHANGE) != FALSE;
}

} // namespace paloma
