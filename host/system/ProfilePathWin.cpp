// Profile file paths on Windows: a bare file name is in the Windows directory.
#include "host/system/ProfilePath.h"

#include <windows.h>

#include "base/HostPath.h"

namespace paloma::host {

std::filesystem::path profilePath(std::u16string_view name) {
    std::filesystem::path path = hostPath(name);
    if (name.find(u'\\') != std::u16string_view::npos || name.find(u'/') != std::u16string_view::npos)
        return path;
    wchar_t windows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return path;
    return std::filesystem::path(std::wstring(windows, n)) / path;
}

} // namespace paloma::host
