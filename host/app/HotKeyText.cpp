// Hot-key text in both directions.
#include "host/app/HotKeyText.h"

#include <cctype>

namespace paloma::host {

namespace {

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

uint16_t parseHotKeyText(std::string_view text) {
    uint8_t flags = 0;
    uint8_t key = 0;
    bool extended = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t plus = text.find('+', start);
        std::string_view part = text.substr(start, plus == std::string_view::npos ? std::string_view::npos : plus - start);
        start = plus == std::string_view::npos ? text.size() + 1 : plus + 1;
        if (sameText(part, "CTRL")) {
            flags |= kHotKeyCtrlFlag;
        } else if (sameText(part, "SHIFT")) {
            flags |= kHotKeyShiftFlag;
        } else if (sameText(part, "ALT")) {
            flags |= kHotKeyAltFlag;
        } else if (!part.empty()) {
            // The last key part wins, with its own extended flag.
            extended = false;
            if (sameText(part, "ins")) {
                key = 0x2D, extended = true;
            } else if (sameText(part, "home")) {
                key = 0x24, extended = true;
            } else if (sameText(part, "end")) {
                key = 0x23, extended = true;
            } else if (part.size() == 5 && sameText(part.substr(0, 4), "num ") && part[4] >= '0' && part[4] <= '9') {
                key = uint8_t(0x60 + (part[4] - '0'));
            } else if ((part.size() == 2 || part.size() == 3) && (part[0] == 'f' || part[0] == 'F') &&
                       std::isdigit(static_cast<unsigned char>(part[1])) &&
                       (part.size() == 2 || std::isdigit(static_cast<unsigned char>(part[2]))) &&
                       std::stoi(std::string(part.substr(1))) >= 1 && std::stoi(std::string(part.substr(1))) <= 12) {
                key = uint8_t(0x70 + std::stoi(std::string(part.substr(1))) - 1);
            } else {
                key = uint8_t(std::toupper(static_cast<unsigned char>(part[0])));
            }
        }
    }
    if (extended)
        flags |= kHotKeyExtendedFlag;
    return makeHotKey(key, flags);
}

std::string hotKeyText(uint16_t hotKey, const KeyNamer& keyName) {
    if (hotKey == 0)
        return "None";
    uint8_t flags = hotKeyFlags(hotKey);
    std::string text;
    auto add = [&text](const char* part) {
        if (!text.empty())
            text += '+';
        text += part;
    };
    if (flags & kHotKeyCtrlFlag)
        add("CTRL");
    if (flags & kHotKeyShiftFlag)
        add("SHIFT");
    if (flags & kHotKeyAltFlag)
        add("ALT");
    if (uint8_t key = hotKeyCode(hotKey)) {
        std::string name = keyName ? keyName(key, (flags & kHotKeyExtendedFlag) != 0) : std::string();
        text += '+';
        text += name;
    }
    return text;
}

} // namespace paloma::host
