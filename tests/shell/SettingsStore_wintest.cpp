// The per-user profile in the registry.
#include "app/shell/SettingsStore.h"

#include <gtest/gtest.h>

#include <windows.h>

using paloma::SettingsStore;

namespace {
const wchar_t* kRoot = L"Software\\Paloma Store Test";
} // namespace

TEST(SettingsStore, BinaryValuesRoundTripBelowKeyAndProfile) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    SettingsStore store("Paloma Store Test", "Product\\V1.0");
    EXPECT_EQ(store.sectionPath("SSettings"), L"Software\\Paloma Store Test\\Product\\V1.0\\SSettings");

    EXPECT_FALSE(store.readBinary("SSettings", "crc").has_value());
    std::vector<uint8_t> bytes = {1, 2, 3, 0, 255};
    ASSERT_TRUE(store.writeBinary("SSettings", "crc", bytes));
    auto back = store.readBinary("SSettings", "crc");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, bytes);

    // Empty values are values too; rewriting replaces.
    ASSERT_TRUE(store.writeBinary("SSettings", "Options", {}));
    ASSERT_TRUE(store.readBinary("SSettings", "Options").has_value());
    EXPECT_TRUE(store.readBinary("SSettings", "Options")->empty());
    ASSERT_TRUE(store.writeBinary("SSettings", "crc", {9}));
    EXPECT_EQ(*store.readBinary("SSettings", "crc"), std::vector<uint8_t>{9});

    // Another profile does not see them.
    SettingsStore other("Paloma Store Test", "Product\\V2.0");
    EXPECT_FALSE(other.readBinary("SSettings", "crc").has_value());
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
}

TEST(SettingsStore, ValueOfAnotherTypeCountsAsMissing) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    SettingsStore store("Paloma Store Test", "P");
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, store.sectionPath("SSettings").c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t text[] = L"not binary";
    RegSetValueExW(key, L"Options", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(key);
    EXPECT_FALSE(store.readBinary("SSettings", "Options").has_value());
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
}
