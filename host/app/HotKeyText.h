#pragma once
// The hot key of the screen saver as text, in both directions: "CTRL+ALT+F5".
// A hot key is 16 bits: the virtual-key code in the low byte, the modifier
// flags in the high byte (SHIFT 1, CTRL 2, ALT 4, extended key 8).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace paloma::host {

constexpr uint16_t kHotKeyShiftFlag = 0x01;
constexpr uint16_t kHotKeyCtrlFlag = 0x02;
constexpr uint16_t kHotKeyAltFlag = 0x04;
constexpr uint16_t kHotKeyExtendedFlag = 0x08;

inline uint16_t makeHotKey(uint8_t key, uint8_t flags) { return uint16_t(key | flags << 8); }
inline uint8_t hotKeyCode(uint16_t hotKey) { return uint8_t(hotKey & 0xFF); }
inline uint8_t hotKeyFlags(uint16_t hotKey) { return uint8_t(hotKey >> 8); }

// Parses hot-key text: parts split at "+", compared without regard to case;
// CTRL, SHIFT and ALT add their flags, any other part is the key (the last
// one wins): "ins", "home", "end" (extended keys), "num 0".."num 9", "f1"..
// "f12", else the upper-case code of its first character.
uint16_t parseHotKeyText(std::string_view text);

// The keyboard's own name of a key: (virtual-key code, extended) -> name.
using KeyNamer = std::function<std::string(uint8_t key, bool extended)>;

// "None" for 0; else the set modifiers in the order CTRL, SHIFT, ALT joined
// by "+", then "+" and the key's name when the key byte is not zero.
std::string hotKeyText(uint16_t hotKey, const KeyNamer& keyName);

#ifdef _WIN32
// The keyboard layout's own name of a key ("F5", "Home").
std::string keyboardKeyName(uint8_t key, bool extended);
#endif

} // namespace paloma::host
