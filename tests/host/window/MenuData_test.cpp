// The portable parts of Menu: command ids from text ids and the MENUS
// resource reader.
#include <gtest/gtest.h>

#include "host/window/MenuCommands.h"
#include "app/MenusResource.h"
#include "tools/pack/Manifest.h"

using namespace paloma;
using namespace paloma::host;

TEST(MenuCommands, TextIdsHashIntoTheRangeAndCollisionsStep191Apart) {
    EXPECT_EQ(textIdHash(""), 0u);
    EXPECT_EQ(textIdHash("a"), 97u);
    EXPECT_EQ(textIdHash("ab"), (97u << 5) ^ 98u);
    // Two text ids whose hashes agree modulo 191.
    std::string first = "item0", second;
    for (int i = 1; second.empty(); ++i) {
        std::string candidate = "item" + std::to_string(i);
        if (textIdHash(candidate) % 191 == textIdHash(first) % 191)
            second = candidate;
    }
    MenuCommandTable table;
    auto a = table.allocate(first), b = table.allocate(second);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, textIdHash(first) % 191 + 47000);
    EXPECT_EQ(*b, *a + 191);
    EXPECT_EQ(table.find(*b)->textId, second);
    EXPECT_EQ(table.find(12345), nullptr);
}

TEST(MenuCommands, FullHashedRangeFallsBackThenRunsOut) {
    MenuCommandTable table;
    // The same text id again and again fills its chain, then 54000 on.
    std::vector<uint32_t> ids;
    for (int i = 0; i < 10001; ++i) {
        auto id = table.allocate("same");
        if (!id)
            break;
        ids.push_back(*id);
    }
    uint32_t chain = (53999 - (textIdHash("same") % 191 + 47000)) / 191 + 1;
    ASSERT_GT(ids.size(), chain);
    EXPECT_EQ(ids[chain], 54000u);
    EXPECT_EQ(ids.back(), 56999u);
    EXPECT_EQ(ids.size(), chain + 3000);
    EXPECT_FALSE(table.allocate("same")) << "every id taken";
    int destroyed = 0;
    table.clear([&](uintptr_t) { ++destroyed; });
    EXPECT_EQ(table.size(), 0u);
}

TEST(MenusResource, ReadsWhatIsWrittenAndRefusesBrokenBytes) {
    std::vector<MenuItemRecord> items(2);
    items[0].flags = kMenuItemPopup;
    items[0].caption = u"&File";
    items[0].items.resize(2);
    items[0].items[0].textId = u"open";
    items[0].items[0].caption = u"&Open\tCtrl+O";
    items[0].items[1].flags = kMenuItemSeparator;
    items[1].flags = kMenuItemChecked | kMenuItemDefault;
    items[1].textId = u"help";
    items[1].caption = u"Help";
    items[1].iconFile = u"icons/help.ico";
    std::vector<uint8_t> bytes = writeMenusResource(items);
    auto back = readMenusResource(bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0].items[0].caption, u"&Open\tCtrl+O");
    EXPECT_EQ((*back)[0].items[1].flags, kMenuItemSeparator);
    EXPECT_EQ((*back)[1].iconFile, u"icons/help.ico");

    // Every cut is refused; a count beyond the bytes is refused.
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(readMenusResource(std::span<const uint8_t>(bytes.data(), n))) << n;
    std::vector<uint8_t> lying = bytes;
    lying[12] = 0xFF; // the first header string's count
    EXPECT_FALSE(readMenusResource(lying));
    // Popups nested past the limit are refused, not recursed into.
    std::vector<uint8_t> deep(24, 0);
    for (int i = 0; i <= kMaxMenuDepth + 1; ++i) {
        uint8_t item[] = {1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        deep.insert(deep.end(), item, item + 4); // count 1
        deep.insert(deep.end(), item + 4, item + 28);
    }
    deep.insert(deep.end(), {0, 0, 0, 0});
    EXPECT_FALSE(readMenusResource(deep));
}

TEST(MenusResource, ManifestMenusBecomeItemsAndBadOnesNameTheField) {
    std::string error;
    auto m = paloma::pack::parseManifest(R"({
        "identity": "A/B", "movie": "m.swf",
        "menus": {"MAIN": [{"caption": "&File", "items": [
            {"id": "open", "caption": "&Open\tCtrl+O", "icon": "open.ico"},
            {"separator": true},
            {"id": "quit", "caption": "E&xit", "default": true, "grayed": true}]},
            {"id": "help", "caption": "Help", "checked": true, "disabled": true}]}
    })", ".", error);
    ASSERT_TRUE(m) << error;
    ASSERT_EQ(m->menus.size(), 1u);
    EXPECT_EQ(m->menus[0].name, u"MAIN");
    const auto& items = m->menus[0].items;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].flags, kMenuItemPopup);
    ASSERT_EQ(items[0].items.size(), 3u);
    EXPECT_EQ(items[0].items[0].iconFile, u"open.ico");
    EXPECT_EQ(items[0].items[1].flags, kMenuItemSeparator);
    EXPECT_EQ(items[0].items[2].flags, kMenuItemDefault | kMenuItemGrayed);
    EXPECT_EQ(items[1].flags, kMenuItemChecked | kMenuItemDisabled);
    // What the packager stores reads back to the same items.
    auto back = readMenusResource(writeMenusResource(items));
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)[0].items[2].textId, u"quit");

    EXPECT_FALSE(paloma::pack::parseManifest(R"({"identity": "A/B", "movie": "m.swf",
        "menus": {"MAIN": [{"caption": "no id"}]}})", ".", error));
    EXPECT_NE(error.find("menus.MAIN[0]"), std::string::npos) << error;
    EXPECT_FALSE(paloma::pack::parseManifest(R"({"identity": "A/B", "movie": "m.swf",
        "menus": {"MAIN": [{"id": "x", "colour": 1}]}})", ".", error));
    EXPECT_NE(error.find("colour"), std::string::npos) << error;
}
