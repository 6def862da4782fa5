// The per-user profile in the registry.
#include "app/shell/SettingsStore.h"

#include "base/WinText.h"
#include "host/framework/WinHandles.h"

namespace paloma {

SettingsStore::SettingsStore(std::string registryKey, std::string profileName)
    : registryKey_(std::move(registryKey)), profileName_(std::move(profileName)) {}

std::wstring SettingsStore::sectionPath(std::string_view section) const {
    return L"Software\\" + widen(registryKey_) + L"\\" + widen(profileName_) + L"\\" + widen(section);
}

std::optional<std::vector<uint8_t>> SettingsStore::readBinary(std::string_view section,
                                                               std::string_view entry) const {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, sectionPath(section).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring name = widen(entry);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return std::nullopt;
    std::vector<uint8_t> bytes(size);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

bool SettingsStore::writeBinary(std::string_view section, std::string_view entry,
                                const std::vector<uint8_t>& bytes) const {
    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, sectionPath(section).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), widen(entry).c_str(), 0, REG_BINARY, bytes.data(), DWORD(bytes.size())) ==
           ERROR_SUCCESS;
}

} // namespace paloma
