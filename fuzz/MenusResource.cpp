// Fuzz target: MENUS resources from arbitrary bytes. A resource that reads
// writes back to bytes that read to the same items.
#include "app/MenusResource.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool same(const std::vector<paloma::MenuItemRecord>& a, const std::vector<paloma::MenuItemRecord>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        bool popup = a[i].flags & paloma::kMenuItemPopup;
        if (a[i].flags != b[i].flags || a[i].textId != b[i].textId || a[i].caption != b[i].caption ||
            a[i].iconFile != b[i].iconFile || (popup && !same(a[i].items, b[i].items)))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto items = paloma::readMenusResource(std::span<const uint8_t>(data, size));
    if (!items)
        return 0;
    auto again = paloma::readMenusResource(paloma::writeMenusResource(*items));
    if (!again || !same(*items, *again))
        std::abort();
    return 0;
}
