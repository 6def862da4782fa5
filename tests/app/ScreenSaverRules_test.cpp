// The wake-up table, the preview's bitmap placement and the swatch label.
#include "app/ScreenSaverRules.h"

#include "app/RuntimeSettings.h"

#include <gtest/gtest.h>

using namespace paloma;

TEST(ScreenSaverRules, MouseMoveWakesOnlyAfterTheReferencePositionAndOnAnyDifference) {
    WakePoint first;
    EXPECT_FALSE(wakesOnMouse(WakeMouse::Move, {100, 200}, kWakeMouseMove, first));
    EXPECT_EQ(first, (WakePoint{100, 200}));
    EXPECT_FALSE(wakesOnMouse(WakeMouse::Move, {100, 200}, kWakeMouseMove, first));
    EXPECT_TRUE(wakesOnMouse(WakeMouse::Move, {101, 200}, kWakeMouseMove, first));
    EXPECT_TRUE(wakesOnMouse(WakeMouse::Move, {100, 199}, kWakeMouseMove, first));
    // Without the bit a move never wakes, but the reference is still taken.
    WakePoint other;
    EXPECT_FALSE(wakesOnMouse(WakeMouse::Move, {5, 5}, kWakeKeyStroke, other));
    EXPECT_FALSE(wakesOnMouse(WakeMouse::Move, {50, 50}, kWakeKeyStroke, other));
    EXPECT_EQ(other, (WakePoint{5, 5}));
}

TEST(ScreenSaverRules, ButtonsByTheirBitsTheMiddleAlways) {
    WakePoint first;
    EXPECT_TRUE(wakesOnMouse(WakeMouse::LeftDown, {1, 1}, kWakeLeftButton, first));
    EXPECT_FALSE(wakesOnMouse(WakeMouse::LeftDown, {1, 1}, kWakeRightButton, first));
    EXPECT_TRUE(wakesOnMouse(WakeMouse::RightDown, {1, 1}, kWakeRightButton, first));
    EXPECT_FALSE(wakesOnMouse(WakeMouse::RightDown, {1, 1}, kWakeLeftButton | kWakeMouseMove, first));
    EXPECT_TRUE(wakesOnMouse(WakeMouse::MiddleDown, {1, 1}, 0, first));
    // Mask 0: only the middle button.
    for (WakeMouse m : {WakeMouse::Move, WakeMouse::LeftDown, WakeMouse::RightDown})
        EXPECT_FALSE(wakesOnMouse(m, {9, 9}, 0, first));
    for (uint32_t key : {27u, 0x41u, 0x7Bu})
        EXPECT_FALSE(wakesOnKey(key, 0, 0x7B, kHotKeyCtrl, kHotKeyCtrl));
}

TEST(ScreenSaverRules, KeysAnyEscAndTheHotKeyWithItsNamedModifiers) {
    EXPECT_TRUE(wakesOnKey(0x41, kWakeKeyStroke, 0, 0, 0));
    EXPECT_TRUE(wakesOnKey(27, kWakeEsc, 0, 0, 0));
    EXPECT_FALSE(wakesOnKey(0x41, kWakeEsc, 0, 0, 0));

    const uint16_t f12 = 0x7B;
    const uint32_t hot = kWakeHotKey;
    EXPECT_TRUE(wakesOnKey(f12, hot, f12, kHotKeyCtrl, kHotKeyCtrl));
    EXPECT_TRUE(wakesOnKey(f12, hot, f12, kHotKeyCtrl, kHotKeyCtrl | kHotKeyShift));
    EXPECT_FALSE(wakesOnKey(f12, hot, f12, kHotKeyCtrl, 0));
    EXPECT_FALSE(wakesOnKey(f12, hot, f12, kHotKeyCtrl, kHotKeyShift | kHotKeyAlt));
    EXPECT_FALSE(wakesOnKey(0x7A, hot, f12, kHotKeyCtrl, kHotKeyCtrl));
    EXPECT_FALSE(wakesOnKey(27, hot, f12, kHotKeyCtrl, kHotKeyCtrl));
    // All named modifiers are needed; the extended-key flag names none.
    EXPECT_FALSE(wakesOnKey(f12, hot, f12, kHotKeyCtrl | kHotKeyAlt, kHotKeyCtrl));
    EXPECT_TRUE(wakesOnKey(f12, hot, f12, kHotKeyCtrl | kHotKeyAlt | kHotKeyExtended, kHotKeyCtrl | kHotKeyAlt));
    EXPECT_TRUE(wakesOnKey(f12, hot, f12, 0, kHotKeyShift));
}

TEST(ScreenSaverRules, PreviewBitmapIsCentredWhereSmallerAndFillsWhereNot) {
    PixelRect box{10, 20, 162, 132}; // 152 x 112
    EXPECT_EQ(previewBitmapRect(box, 52, 12), (PixelRect{60, 70, 112, 82}));
    EXPECT_EQ(previewBitmapRect(box, 400, 12), (PixelRect{10, 70, 162, 82}));
    EXPECT_EQ(previewBitmapRect(box, 52, 112), (PixelRect{60, 20, 112, 132}));
    EXPECT_EQ(previewBitmapRect(box, 152, 500), box);
}

TEST(ScreenSaverRules, SwatchTextAndItsContrastingColour) {
    EXPECT_EQ(swatchText(0xFFFFFF), "0xFFFFFF");
    EXPECT_EQ(swatchText(0x336699), "0x336699");
    EXPECT_EQ(swatchText(0), "0x000000");
    EXPECT_EQ(swatchTextColour(0xFFFFFF), 0u);
    EXPECT_EQ(swatchTextColour(0), 0xFFFFFFu);
    // Red 0x99 and blue 0x33 on either side of 127; 127 itself counts as bright.
    EXPECT_EQ(swatchTextColour(0x33667F), 0xFFFF00u);
    EXPECT_EQ(swatchTextColour(0x7E7F80), 0xFF0000u);
}

TEST(ScreenSaverRules, AboutPageVersionLineAndMailTarget) {
    EXPECT_EQ(versionLine(u"2.0"), u"Version 2.0");
    EXPECT_EQ(versionLine(u"Version 3 beta"), u"Version 3 beta");
    EXPECT_EQ(versionLine(u"VERSION 4"), u"VERSION 4");
    EXPECT_EQ(versionLine(u"Vers 5"), u"Version Vers 5");
    EXPECT_EQ(versionLine(u""), u"Version ");
    EXPECT_EQ(mailTarget(u"me@example.com"), u"mailto:me@example.com");
    EXPECT_EQ(mailTarget(u"MailTo:me@example.com"), u"MailTo:me@example.com");
    EXPECT_EQ(mailTarget(u"mailto"), u"mailto:mailto");
}
