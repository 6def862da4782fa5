// Message boxes logged instead of shown for unattended runs.
#include "app/shell/ShellMessageBox.h"

#include <gtest/gtest.h>

#include <string>

TEST(ShellMessageBox, LogVariableTurnsBoxesIntoLinesWithTheDefaultAnswer) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring log = std::wstring(temp) + L"paloma-boxes-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(paloma::kMessageLogVariable, log.c_str());

    EXPECT_EQ(paloma::showMessageBox(nullptr, L"Invalid application data", L"Product V1.0", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(paloma::showMessageBox(nullptr, L"Caf\u00e9?", L"T", MB_YESNO), IDYES);
    SetEnvironmentVariableW(paloma::kMessageLogVariable, nullptr);

    HANDLE f = CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    char buffer[256] = {};
    DWORD got = 0;
    ReadFile(f, buffer, sizeof buffer - 1, &got, nullptr);
    CloseHandle(f);
    DeleteFileW(log.c_str());
    EXPECT_EQ(std::string(buffer, got), "Product V1.0\tInvalid application data\nT\tCaf\xc3\xa9?\n");
}
