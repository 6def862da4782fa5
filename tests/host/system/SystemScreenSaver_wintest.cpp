// Installing an executable as the system screen saver.
#include "host/system/SystemScreenSaver.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace paloma;

TEST(SystemScreenSaver, SetsTheDesktopEntryToTheShortPath) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = std::wstring(temp) + L"Paloma Screen Saver Folder";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring exe = folder + L"\\My Long Screen Saver Name.scr";
    HANDLE h = CreateFileW(exe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    wchar_t shortPath[MAX_PATH + 1];
    ASSERT_GT(GetShortPathNameW(exe.c_str(), shortPath, MAX_PATH + 1), 0u);

    ASSERT_TRUE(makeSystemScreenSaver(exe));
    EXPECT_EQ(currentSystemScreenSaver(), std::wstring(shortPath));
    EXPECT_TRUE(screenSaverActive());

    // A path with no short form (nothing there) changes nothing.
    EXPECT_FALSE(makeSystemScreenSaver(folder + L"\\missing.scr"));
    EXPECT_EQ(currentSystemScreenSaver(), std::wstring(shortPath));

    DeleteFileW(exe.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(SystemScreenSaver, TimeoutAndActiveFlagRoundTrip) {
    int before = screenSaverTimeout();
    ASSERT_TRUE(setScreenSaverTimeout(420));
    EXPECT_EQ(screenSaverTimeout(), 420);
    setScreenSaverTimeout(before > 0 ? before : 600);
    ASSERT_TRUE(setScreenSaverActive(false));
    EXPECT_FALSE(screenSaverActive());
    ASSERT_TRUE(setScreenSaverActive(true));
    EXPECT_TRUE(screenSaverActive());
}
