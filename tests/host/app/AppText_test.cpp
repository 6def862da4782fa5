// The portable parts of the Application object: hot-key text in both
// directions and the command-line items.
#include <gtest/gtest.h>

#include "host/app/CommandItems.h"
#include "host/app/HotKeyText.h"

using namespace paloma::host;

namespace {

std::string namer(uint8_t key, bool extended) {
    return (extended ? "ext-" : "") + std::to_string(key);
}

} // namespace

TEST(HotKeyText, PartsGiveModifiersAndTheLastKeyWins) {
    EXPECT_EQ(parseHotKeyText("ctrl+alt+f5"), makeHotKey(0x74, kHotKeyCtrlFlag | kHotKeyAltFlag));
    EXPECT_EQ(parseHotKeyText("Shift+F12"), makeHotKey(0x7B, kHotKeyShiftFlag));
    EXPECT_EQ(parseHotKeyText("CTRL+ins"), makeHotKey(0x2D, kHotKeyCtrlFlag | kHotKeyExtendedFlag));
    EXPECT_EQ(parseHotKeyText("home"), makeHotKey(0x24, kHotKeyExtendedFlag));
    EXPECT_EQ(parseHotKeyText("END"), makeHotKey(0x23, kHotKeyExtendedFlag));
    EXPECT_EQ(parseHotKeyText("alt+num 7"), makeHotKey(0x67, kHotKeyAltFlag));
    EXPECT_EQ(parseHotKeyText("ctrl+q"), makeHotKey('Q', kHotKeyCtrlFlag));
    EXPECT_EQ(parseHotKeyText("ctrl+space"), makeHotKey('S', kHotKeyCtrlFlag)) << "first character in upper case";
    EXPECT_EQ(parseHotKeyText("a+ins+f1"), makeHotKey(0x70, 0)) << "the last key wins, without the earlier extended flag";
    EXPECT_EQ(parseHotKeyText("f13"), makeHotKey('F', 0));
    EXPECT_EQ(parseHotKeyText(""), 0);
    EXPECT_EQ(parseHotKeyText("ctrl+"), makeHotKey(0, kHotKeyCtrlFlag));
}

TEST(HotKeyText, ReadsModifiersInOrderThenTheKeyboardsName) {
    EXPECT_EQ(hotKeyText(0, namer), "None");
    EXPECT_EQ(hotKeyText(parseHotKeyText("alt+shift+ctrl+f5"), namer), "CTRL+SHIFT+ALT+116");
    EXPECT_EQ(hotKeyText(parseHotKeyText("ctrl+home"), namer), "CTRL+ext-36");
    EXPECT_EQ(hotKeyText(makeHotKey(0, kHotKeyAltFlag), namer), "ALT");
    // Round trip through the text.
    uint16_t key = parseHotKeyText("ctrl+alt+f5");
    EXPECT_EQ(parseHotKeyText(hotKeyText(key, [](uint8_t, bool) { return std::string("F5"); })), key);
}

TEST(CommandItems, QuotesSpacesAndTabsFollowTheRule) {
    EXPECT_TRUE(commandItems("\"C:\\Program Files\\app.exe\"").empty());
    EXPECT_TRUE(commandItems("app.exe   ").empty());
    EXPECT_EQ(commandItems("\"C:\\a b\\app.exe\" /s 'two words' \"x y\" plain"),
              (std::vector<std::string>{"/s", "two words", "x y", "plain"}));
    // A tab does not end an unquoted item, but is skipped between items.
    EXPECT_EQ(commandItems("app.exe \ta\tb c"), (std::vector<std::string>{"a\tb", "c"}));
    // An unclosed quote runs to the end; empty quoted items are left out.
    EXPECT_EQ(commandItems("app.exe \"\" 'open ended"), (std::vector<std::string>{"open ended"}));
    EXPECT_EQ(commandItems("app.exe \"a\"b"), (std::vector<std::string>{"a", "b"}));
}
