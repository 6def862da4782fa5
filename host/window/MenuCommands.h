#pragma once
// Command ids of script menu items, derived from their text ids, and the
// process-wide table that maps them back. Ids are allocated in 47000-56999,
// the range the main window forwards to the script menus.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace paloma::host {

constexpr uint32_t kFirstMenuCommand = 47000;
constexpr uint32_t kLastHashedMenuCommand = 53999;
constexpr uint32_t kLastMenuCommand = 56999;
constexpr uint32_t kMenuHashStride = 191;

// h = (h >> 7) ^ (h >> 16) ^ c ^ (h << 5) over the bytes, from 0.
uint32_t textIdHash(std::string_view textId);

// One entry: the text id and an opaque icon handle (0: none).
struct MenuCommand {
    std::string textId;
    uintptr_t icon = 0;
};

class MenuCommandTable {
public:
    // Allocates the id of a text id: (hash mod 191) + 47000, then steps of
    // 191 up to 53999, the first not in use; else the first free id from
    // 54000 to 56999. Nothing when every id is taken.
    std::optional<uint32_t> allocate(std::string_view textId, uintptr_t icon = 0);
    const MenuCommand* find(uint32_t id) const;
    bool contains(uint32_t id) const { return commands_.count(id) != 0; }
    size_t size() const { return commands_.size(); }
    // Forgets every entry; each icon is handed to `destroyIcon` first.
    template <class F>
    void clear(F&& destroyIcon) {
        for (auto& [id, command] : commands_)
            if (command.icon)
                destroyIcon(command.icon);
        commands_.clear();
    }

private:
    std::map<uint32_t, MenuCommand> commands_;
};

} // namespace paloma::host
