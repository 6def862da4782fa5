#pragma once
// The MENUS resource: a menu stored in the executable, read as a
// little-endian stream.
//
//   header   three u32 and three strings (read, not used)
//   u32      item count, then the items
//   item     u32 flags, two u32 (not used), three strings: text id, caption,
//            icon file; with flag bit 1 (popup) a u32 count and that many
//            sub-items follow
//   string   u32 count of UTF-16 units, then the units (0: absent)
//
// Item flags: bit 0 separator, 1 popup, 2 disabled, 3 check mark, 4 grayed,
// 6 default item.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace paloma {

constexpr uint32_t kMenuItemSeparator = 0x01;
constexpr uint32_t kMenuItemPopup = 0x02;
constexpr uint32_t kMenuItemDisabled = 0x04;
constexpr uint32_t kMenuItemChecked = 0x08;
constexpr uint32_t kMenuItemGrayed = 0x10;
constexpr uint32_t kMenuItemDefault = 0x40;

struct MenuItemRecord {
    uint32_t flags = 0;
    std::u16string textId, caption, iconFile;
    std::vector<MenuItemRecord> items; // a popup's sub-items
};

// Nesting deeper than this is refused (a hostile resource would otherwise
// recurse without end).
constexpr int kMaxMenuDepth = 32;

// The items of a MENUS resource; nothing when the bytes end early, a count
// runs past them, or the nesting is too deep.
std::optional<std::vector<MenuItemRecord>> readMenusResource(std::span<const uint8_t> bytes);

// The packager's side: the bytes of a MENUS resource for these items.
std::vector<uint8_t> writeMenusResource(const std::vector<MenuItemRecord>& items);

} // namespace paloma
