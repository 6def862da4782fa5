// The CD autorun policy a full-screen run changes and restores.
#include "app/shell/ScreenSaverOptions.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>

#include <optional>

using namespace paloma;

namespace {

const wchar_t* kPolicy = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

std::optional<DWORD> policyValue() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPolicy, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0, size = sizeof value, type = 0;
    LONG rc = RegQueryValueExW(key, L"NoDriveTypeAutoRun", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::optional<DWORD>(value) : std::nullopt;
}

void setPolicyValue(std::optional<DWORD> value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kPolicy, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (value)
        RegSetValueExW(key, L"NoDriveTypeAutoRun", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*value), sizeof(DWORD));
    else
        RegDeleteValueW(key, L"NoDriveTypeAutoRun");
    RegCloseKey(key);
}

} // namespace

TEST(ScreenSaverOptions, CdAutorunBitIsSetForTheRunAndRestoredAfterwards) {
    auto before = policyValue();
    setPolicyValue(0x91);
    bool wasEnabled = setCdAutorun(false); // the run disables autorun
    EXPECT_TRUE(wasEnabled);
    EXPECT_EQ(policyValue(), std::optional<DWORD>(0xB1));
    EXPECT_FALSE(setCdAutorun(wasEnabled)); // exit passes the report back
    EXPECT_EQ(policyValue(), std::optional<DWORD>(0x91));

    // Already disabled: the run keeps it so, and so does the restore.
    setPolicyValue(0xB5);
    wasEnabled = setCdAutorun(false);
    EXPECT_FALSE(wasEnabled);
    setCdAutorun(wasEnabled);
    EXPECT_EQ(policyValue(), std::optional<DWORD>(0xB5));

    // An absent value is neither created nor changed.
    setPolicyValue(std::nullopt);
    EXPECT_TRUE(setCdAutorun(false));
    EXPECT_FALSE(policyValue().has_value());
    setPolicyValue(before);
}

TEST(ScreenSaverOptions, MuteNotWantedChangesNothing) {
    MuteState state;
    state.changed = true;
    EXPECT_FALSE(applyMute(false, state));
    EXPECT_FALSE(state.changed);
}

TEST(ScreenSaverOptions, MuteWithoutAMixerDeviceDoesNothing) {
    if (mixerGetNumDevs() != 0)
        GTEST_SKIP() << "this machine has a mixer device";
    MuteState state;
    EXPECT_FALSE(applyMute(true, state));
    EXPECT_FALSE(state.changed);
    restoreMute(state); // no device: nothing to set, and no failure
    EXPECT_EQ(mixerGetNumDevs(), 0u);
}
