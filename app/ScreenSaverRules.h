#pragma once
// The screen saver's decisions that need no window: which input wakes a
// full-screen run, where the preview draws a packaged bitmap, and how the
// settings sheet's colour swatch labels its colour.

#include <cstdint>
#include <string>

namespace paloma {

// A client position; (-1, -1) is "no mouse position seen yet".
struct WakePoint {
    int x = -1;
    int y = -1;
    bool operator==(const WakePoint&) const = default;
};

enum class WakeMouse { Move, LeftDown, RightDown, MiddleDown };

// A mouse message under the wake-up methods `mask`. The first move only
// records `first` (when it is still (-1, -1)); any later position that
// differs from it wakes when the mask has the mouse-move bit. The middle
// button always wakes.
bool wakesOnMouse(WakeMouse input, WakePoint at, uint32_t mask, WakePoint& first);

// A key-down: any key (0x08), Esc (0x10), or the hot key (0x20) with every
// modifier named in its flags down; `modifiersDown` uses the same flags
// (kHotKeyShift, kHotKeyCtrl, kHotKeyAlt). Modifiers the hot key does not
// name are not checked.
bool wakesOnKey(uint32_t virtualKey, uint32_t mask, uint16_t hotKeyCode, uint16_t hotKeyModifiers,
                uint16_t modifiersDown);

struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const PixelRect&) const = default;
};

// Where a bitmap of width x height goes in `box`: centred in each direction
// in which it is smaller than the box, filling the box in each direction in
// which it is not.
PixelRect previewBitmapRect(const PixelRect& box, int width, int height);

// The swatch's text colour for a COLORREF: per channel 255 where the
// colour's channel is below 127, else 0.
uint32_t swatchTextColour(uint32_t colourRef);
// The swatch's text: the colour's value as "0x%06X".
std::string swatchText(uint32_t colourRef);

// The "About me" page's version line: "Version " and the text, unless the
// text already begins with "Version" (case ignored).
std::u16string versionLine(const std::u16string& version);

// The e-mail line's target: the address with "mailto:" in front unless it
// already starts with it (case ignored).
std::u16string mailTarget(const std::u16string& address);

} // namespace paloma
