// The screen saver's window-free decisions.
#include "app/ScreenSaverRules.h"

#include "app/RuntimeSettings.h"

#include <cstdio>

namespace paloma {

namespace {
constexpr uint32_t kEscKey = 27;
} // namespace

bool wakesOnMouse(WakeMouse input, WakePoint at, uint32_t mask, WakePoint& first) {
    switch (input) {
    case WakeMouse::Move:
        if (first == WakePoint{})
            first = at;
        return at != first && (mask & kWakeMouseMove) != 0;
    case WakeMouse::LeftDown:
        return (mask & kWakeLeftButton) != 0;
    case WakeMouse::RightDown:
        return (mask & kWakeRightButton) != 0;
    case WakeMouse::MiddleDown:
        return true;
    }
    return false;
}

bool wakesOnKey(uint32_t virtualKey, uint32_t mask, uint16_t hotKeyCode, uint16_t hotKeyModifiers,
                uint16_t modifiersDown) {
    if (mask & kWakeKeyStroke)
        return true;
    if ((mask & kWakeEsc) && virtualKey == kEscKey)
        return true;
    if ((mask & kWakeHotKey) && virtualKey == hotKeyCode) {
        uint16_t named = hotKeyModifiers & (kHotKeyShift | kHotKeyCtrl | kHotKeyAlt);
        return (modifiersDown & named) == named;
    }
    return false;
}

PixelRect previewBitmapRect(const PixelRect& box, int width, int height) {
    PixelRect r = box;
    int boxWidth = box.right - box.left;
    int boxHeight = box.bottom - box.top;
    if (width < boxWidth) {
        r.left = box.left + (boxWidth - width) / 2;
        r.right = r.left + width;
    }
    if (height < boxHeight) {
        r.top = box.top + (boxHeight - height) / 2;
        r.bottom = r.top + height;
    }
    return r;
}

uint32_t swatchTextColour(uint32_t colourRef) {
    uint32_t text = 0;
    for (int shift = 0; shift < 24; shift += 8)
        if (((colourRef >> shift) & 0xFF) < 127)
            text |= 0xFFu << shift;
    return text;
}

std::string swatchText(uint32_t colourRef) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", unsigned(colourRef));
    return text;
}

namespace {

bool startsWithNoCase(const std::u16string& text, std::u16string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char16_t a = text[i], b = prefix[i];
        if (a >= u'A' && a <= u'Z')
            a = char16_t(a - u'A' + u'a');
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

std::u16string versionLine(const std::u16string& version) {
    return startsWithNoCase(version, u"version") ? version : u"Version " + version;
}

std::u16string mailTarget(const std::u16string& address) {
    return startsWithNoCase(address, u"mailto:") ? address : u"mailto:" + address;
}

} // namespace paloma
