// The command-line grammar and the screen-saver switch match.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

using paloma::chooseRunMode;
using paloma::matchesSwitch;
using paloma::RunMode;

namespace {
RunMode mode(std::vector<std::string> args) {
    return chooseRunMode(args);
}
} // namespace

TEST(CommandLine, SwitchMatchDropsOneDashOrSlashAndIgnoresCase) {
    for (const char* arg : {"c", "C", "/c", "-c", "/C", "/c:1234", "-config", "c:4711"})
        EXPECT_TRUE(matchesSwitch(arg, 'c')) << arg;
    for (const char* arg : {"", "/", "-", "//c", "-/c", "x", "/p", " c", "--c"})
        EXPECT_FALSE(matchesSwitch(arg, 'c')) << arg;
    EXPECT_TRUE(matchesSwitch("/S", 's'));
    EXPECT_TRUE(matchesSwitch("-p", 'P'));
}

TEST(CommandLine, InstallerHooksAndSetDefaultNeedTheWholeArgument) {
    EXPECT_EQ(mode({"/AfterInstall"}), RunMode::AfterInstall);
    EXPECT_EQ(mode({"/afterinstall", "more"}), RunMode::AfterInstall);
    EXPECT_EQ(mode({"/BEFOREUNINST"}), RunMode::BeforeUninst);
    EXPECT_EQ(mode({"-setdefault"}), RunMode::SetDefault);
    EXPECT_EQ(mode({"-SetDefault"}), RunMode::SetDefault);
    // Not whole: they fall through to the switch letters or to the end.
    EXPECT_EQ(mode({"/AfterInstallX"}), RunMode::End);
    EXPECT_EQ(mode({"-AfterInstall"}), RunMode::End);
    EXPECT_EQ(mode({"/setdefault"}), RunMode::FullScreen); // "s" after the slash
    EXPECT_EQ(mode({"-setdefaults"}), RunMode::FullScreen);
    EXPECT_EQ(paloma::hookScriptName(RunMode::AfterInstall), "AfterInstall");
    EXPECT_EQ(paloma::hookScriptName(RunMode::BeforeUninst), "BeforeUninst");
    EXPECT_TRUE(paloma::hookScriptName(RunMode::FullScreen).empty());
}

TEST(CommandLine, ScreenSaverModesInTheirOrder) {
    EXPECT_EQ(mode({}), RunMode::Settings);
    EXPECT_EQ(mode({"/c:4711"}), RunMode::Settings);
    EXPECT_EQ(mode({"/p", "1234"}), RunMode::Preview);
    EXPECT_EQ(mode({"/S"}), RunMode::FullScreen);
    EXPECT_EQ(mode({"/s"}), RunMode::FullScreen);
    EXPECT_EQ(mode({"/x"}), RunMode::End);
    EXPECT_EQ(mode({""}), RunMode::End);
    // Only the first argument selects.
    EXPECT_EQ(mode({"/x", "/s"}), RunMode::End);
    // Any word starting with a switch letter matches it.
    EXPECT_EQ(mode({"calm"}), RunMode::Settings);
    EXPECT_EQ(mode({"/play"}), RunMode::Preview);
    EXPECT_EQ(mode({"screen"}), RunMode::FullScreen);
}

TEST(CommandLine, PreviewHandleIsTheSecondArgumentInDecimal) {
    EXPECT_EQ(paloma::parsePreviewHandle({"/p", "1234"}), 1234u);
    EXPECT_EQ(paloma::parsePreviewHandle({"/p", "0"}), 0u);
    EXPECT_EQ(paloma::parsePreviewHandle({"/p"}), 0u);
    EXPECT_EQ(paloma::parsePreviewHandle({"/p", ""}), 0u);
    EXPECT_EQ(paloma::parsePreviewHandle({"/p", "12ab"}), 0u);
    EXPECT_EQ(paloma::parsePreviewHandle({"/p", "-5"}), 0u);
    EXPECT_EQ(paloma::parsePreviewHandle({"/p", "18446744073709551615"}), 18446744073709551615ull);
    EXPECT_EQ(paloma::parsePreviewHandle({"/p", "18446744073709551616"}), 0u);
}
