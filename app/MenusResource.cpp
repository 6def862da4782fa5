// Reading and writing the MENUS resource.
#include "app/MenusResource.h"

namespace paloma {

namespace {

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool u32(uint32_t& out) {
        if (bytes_.size() - at_ < 4)
            return false;
        out = uint32_t(bytes_[at_]) | uint32_t(bytes_[at_ + 1]) << 8 | uint32_t(bytes_[at_ + 2]) << 16 |
              uint32_t(bytes_[at_ + 3]) << 24;
        at_ += 4;
        return true;
    }
    bool text(std::u16string& out) {
        uint32_t count = 0;
        if (!u32(count) || (bytes_.size() - at_) / 2 < count)
            return false;
        out.resize(count);
        for (uint32_t i = 0; i < count; ++i, at_ += 2)
            out[i] = char16_t(bytes_[at_] | bytes_[at_ + 1] << 8);
        return true;
    }
    size_t left() const { return bytes_.size() - at_; }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

bool readItems(Reader& r, std::vector<MenuItemRecord>& items, int depth) {
    uint32_t count = 0;
    if (depth > kMaxMenuDepth || !r.u32(count))
        return false;
    // Each item takes at least 24 bytes: a count beyond that is a lie.
    if (count > r.left() / 24)
        return false;
    items.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        MenuItemRecord item;
        uint32_t unused = 0;
        if (!r.u32(item.flags) || !r.u32(unused) || !r.u32(unused) || !r.text(item.textId) ||
            !r.text(item.caption) || !r.text(item.iconFile))
            return false;
        if ((item.flags & kMenuItemPopup) && !readItems(r, item.items, depth + 1))
            return false;
        items.push_back(std::move(item));
    }
    return true;
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void putText(std::vector<uint8_t>& out, const std::u16string& text) {
    putU32(out, uint32_t(text.size()));
    for (char16_t c : text) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
}

void writeItems(std::vector<uint8_t>& out, const std::vector<MenuItemRecord>& items) {
    putU32(out, uint32_t(items.size()));
    for (const MenuItemRecord& item : items) {
        putU32(out, item.flags);
        putU32(out, 0);
        putU32(out, 0);
        putText(out, item.textId);
        putText(out, item.caption);
        putText(out, item.iconFile);
        if (item.flags & kMenuItemPopup)
            writeItems(out, item.items);
    }
}

} // namespace

std::optional<std::vector<MenuItemRecord>> readMenusResource(std::span<const uint8_t> bytes) {
    Reader r(bytes);
    uint32_t unused = 0;
    std::u16string ignored;
    for (int i = 0; i < 3; ++i)
        if (!r.u32(unused))
            return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (!r.text(ignored))
            return std::nullopt;
    std::vector<MenuItemRecord> items;
    if (!readItems(r, items, 0))
        return std::nullopt;
    return items;
}

std::vector<uint8_t> writeMenusResource(const std::vector<MenuItemRecord>& items) {
    std::vector<uint8_t> out;
    for (int i = 0; i < 3; ++i)
        putU32(out, 0);
    for (int i = 0; i < 3; ++i)
        putU32(out, 0);
    writeItems(out, items);
    return out;
}

} // namespace paloma
