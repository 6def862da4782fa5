#pragma once
// The hyperlink control (window class "KELURL") of the settings sheet's
// "About me" page: its text in a colour and font of its own, underlined while
// the pointer is over it, opening its target with the shell's "open" verb
// when clicked. Its record lives in the window's user data.

#include <windows.h>

#include <string>

namespace paloma::shell {

inline constexpr wchar_t kHyperlinkClass[] = L"KELURL";
// Where a control without a record leads.
inline constexpr wchar_t kHyperlinkDefaultTarget[] = L"https://paloma.invalid/";

// State word bits; a state of 1 is "neither".
inline constexpr unsigned kLinkHovering = 0x02;
inline constexpr unsigned kLinkPressed = 0x04;

struct HyperlinkRecord {
    COLORREF colour = 0xFF0000;
    LOGFONTW font{};
    std::wstring target;
    unsigned state = 1;
};

// Registers the window class once; start-up calls it.
bool registerHyperlinkClass();

// Puts the text in the window, gives it its record and resizes it to the
// text's width in that font plus 6 pixels, keeping its height.
void setUpHyperlink(HWND link, const std::wstring& text, COLORREF colour, const LOGFONTW& font,
                    const std::wstring& target);

// The control's record, null before set-up.
const HyperlinkRecord* hyperlinkRecord(HWND link);

} // namespace paloma::shell
