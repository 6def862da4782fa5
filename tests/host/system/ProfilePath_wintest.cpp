// Profile file paths on Windows: a bare name lives in the Windows directory,
// a path with a folder stays as given.
#include "host/system/ProfilePath.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace paloma::host {
namespace {

TEST(ProfilePath, BareNamesAreInTheWindowsDirectory) {
    wchar_t windows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(profilePath(u"app.ini"), std::filesystem::path(std::wstring(windows, n)) / L"app.ini");
    EXPECT_EQ(profilePath(u".\\app.ini"), std::filesystem::path(L".\\app.ini"));
    EXPECT_EQ(profilePath(u"C:/data/app.ini"), std::filesystem::path(L"C:/data/app.ini"));
}

} // namespace
} // namespace paloma::host
