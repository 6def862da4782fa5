// Command ids for script menu items.
#include "host/window/MenuCommands.h"

namespace paloma::host {

uint32_t textIdHash(std::string_view textId) {
    uint32_t h = 0;
    for (char c : textId)
        h = (h >> 7) ^ (h >> 16) ^ uint32_t(static_cast<unsigned char>(c)) ^ (h << 5);
    return h;
}

std::optional<uint32_t> MenuCommandTable::allocate(std::string_view textId, uintptr_t icon) {
    std::optional<uint32_t> chosen;
    for (uint32_t n = textIdHash(textId) % kMenuHashStride + kFirstMenuCommand; n <= kLastHashedMenuCommand;
         n += kMenuHashStride) {
        if (!contains(n)) {
            chosen = n;
            break;
        }
    }
    for (uint32_t n = kLastHashedMenuCommand + 1; !chosen && n <= kLastMenuCommand; ++n)
        if (!contains(n))
            chosen = n;
    if (chosen)
        commands_[*chosen] = MenuCommand{std::string(textId), icon};
    return chosen;
}

const MenuCommand* MenuCommandTable::find(uint32_t id) const {
    auto it = commands_.find(id);
    return it == commands_.end() ? nullptr : &it->second;
}

} // namespace paloma::host
