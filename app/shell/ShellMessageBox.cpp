// Message boxes of the shell, with the unattended log.
#include "app/shell/ShellMessageBox.h"

#include "base/TextCodec.h"
#include "host/framework/WinHandles.h"

#include <string>

namespace paloma {

namespace {

std::string utf8(std::wstring_view w) {
    return utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
}

bool appendToLog(const std::wstring& logPath, std::wstring_view text, std::wstring_view title) {
    UniqueHandle file(CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    std::string line = utf8(title) + "\t" + utf8(text) + "\n";
    DWORD written = 0;
    return WriteFile(file.get(), line.data(), DWORD(line.size()), &written, nullptr) && written == line.size();
}

} // namespace

int showMessageBox(HWND owner, std::wstring_view text, std::wstring_view title, UINT type) {
    wchar_t logPath[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableW(kMessageLogVariable, logPath, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH && appendToLog(logPath, text, title)) {
        UINT buttons = type & MB_TYPEMASK;
        return (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
    }
    std::wstring t(text), c(title);
    return MessageBoxW(owner, t.c_str(), c.c_str(), type);
}

} // namespace paloma
