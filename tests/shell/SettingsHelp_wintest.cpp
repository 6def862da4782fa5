// The settings' help file: HTML help through the system's library, loaded on
// first use and released at exit; other endings open nothing.
#include "app/shell/SettingsSheet.h"

#include <gtest/gtest.h>

using namespace paloma::shell;

TEST(SettingsHelp, HtmlHelpLibraryIsLoadedOnFirstUseAndReleased) {
    ASSERT_EQ(GetModuleHandleW(L"hhctrl.ocx"), nullptr);
    EXPECT_FALSE(openSettingsHelp(nullptr, L"guide.txt"));
    EXPECT_FALSE(openSettingsHelp(nullptr, L"chm"));
    EXPECT_EQ(GetModuleHandleW(L"hhctrl.ocx"), nullptr);

    // A help file that is not there: the library is asked and opens nothing.
    EXPECT_FALSE(openSettingsHelp(nullptr, L"C:\\no-such-folder\\Guide.CHM"));
    HMODULE library = GetModuleHandleW(L"hhctrl.ocx");
    EXPECT_NE(library, nullptr);
    EXPECT_FALSE(openSettingsHelp(nullptr, L"again.chm"));
    EXPECT_EQ(GetModuleHandleW(L"hhctrl.ocx"), library);
    releaseHtmlHelp();
    EXPECT_EQ(GetModuleHandleW(L"hhctrl.ocx"), nullptr);
    releaseHtmlHelp(); // twice is harmless
}
