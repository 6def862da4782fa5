// Temporary directory choice, run folder names and temporary file names.
#include "app/TempPaths.h"

#include <gtest/gtest.h>

#include <set>

using namespace paloma;

TEST(TempPaths, TemporaryDirectoryFollowsTmpThenTempThenWindows) {
    EXPECT_EQ(chooseTempDirectory("C:\\T", "C:\\U", "C:\\WINDOWS"), "C:\\T\\");
    EXPECT_EQ(chooseTempDirectory(std::nullopt, "C:\\U\\", "C:\\WINDOWS"), "C:\\U\\");
    EXPECT_EQ(chooseTempDirectory("", "C:\\U", "C:\\WINDOWS"), "C:\\U\\");
    EXPECT_EQ(chooseTempDirectory(std::nullopt, std::nullopt, "C:\\WINDOWS"), "C:\\WINDOWS\\");
    // A trailing slash becomes a backslash.
    EXPECT_EQ(chooseTempDirectory("C:/T/", std::nullopt, "W"), "C:/T\\");
    // 259 characters still count, 260 do not.
    std::string ok(259, 'a'), tooLong(260, 'b');
    EXPECT_EQ(chooseTempDirectory(ok, "C:\\U", "W"), ok + "\\");
    EXPECT_EQ(chooseTempDirectory(tooLong, "C:\\U", "W"), "C:\\U\\");
    EXPECT_EQ(chooseTempDirectory(tooLong, tooLong, "W"), "W\\");
}

TEST(TempPaths, RunFolderIsTheGuidBelowTheDirectoryWithTrailingBackslash) {
    const char* guid = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
    EXPECT_EQ(runFolderName("C:\\T\\", guid), std::string("C:\\T\\") + guid + "\\");
    EXPECT_EQ(runFolderName("C:\\T", guid), std::string("C:\\T\\") + guid + "\\");
}

TEST(TempPaths, FileNamesUseTicksInHexAndACounter) {
    EXPECT_EQ(formatTempFileName("C:\\T\\", 0x1A, 0, kTempSuffixTmp), "C:\\T\\001A0.tmp");
    EXPECT_EQ(formatTempFileName("C:\\T\\", 0xABCDEF12, 17, kTempSuffixCab), "C:\\T\\ABCDEF1217.cab");

    std::set<std::string> taken = {"X\\00FF0.tmp", "X\\00FF1.tmp"};
    auto exists = [&](const std::string& p) { return taken.count(p) > 0; };
    auto free = findFreeTempFileName("X\\", 0xFF, kTempSuffixTmp, exists);
    ASSERT_TRUE(free.has_value());
    EXPECT_EQ(*free, "X\\00FF2.tmp");

    int asked = 0;
    auto none = findFreeTempFileName("X\\", 1, kTempSuffixTmp, [&](const std::string&) {
        ++asked;
        return true;
    });
    EXPECT_FALSE(none.has_value());
    EXPECT_EQ(asked, kTempCounterLimit);
}

TEST(TempPaths, RunFolderNamesAreBracedGuidsOnly) {
    EXPECT_TRUE(isRunFolderName("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
    EXPECT_TRUE(isRunFolderName("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}"));
    for (const char* name : {"", "{}", "3F2504E0-4F89-11D3-9A0C-0305E82C3301", "{3F2504E0-4F89-11D3-9A0C-0305E82C330}",
                             "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}x", "{3F2504E0_4F89-11D3-9A0C-0305E82C3301}",
                             "{3F2504E0-4F89-11D3-9A0C-0305E82C33G1}", "{..\\..\\Windows\\System32\\drivers\\}"})
        EXPECT_FALSE(isRunFolderName(name)) << name;
}
