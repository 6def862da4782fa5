// The keyboard layout's names of keys, for hot-key texts.
#include "host/app/HotKeyText.h"

#include <windows.h>

namespace paloma::host {

std::string keyboardKeyName(uint8_t key, bool extended) {
    UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    LONG lParam = LONG(scan << 16 | (extended ? 1u << 24 : 0u));
    char name[64] = {};
    int n = GetKeyNameTextA(lParam, name, sizeof name);
    return std::string(name, n > 0 ? size_t(n) : 0);
}

} // namespace paloma::host
