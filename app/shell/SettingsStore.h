#pragma once
// The per-user profile in the registry:
// HKEY_CURRENT_USER\Software\<registry key>\<profile name>\<section>, binary
// values by entry name.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paloma {

class SettingsStore {
public:
    SettingsStore() = default;
    SettingsStore(std::string registryKey, std::string profileName);

    const std::string& registryKey() const { return registryKey_; }
    const std::string& profileName() const { return profileName_; }

    // The key path below HKEY_CURRENT_USER of a section.
    std::wstring sectionPath(std::string_view section) const;

    // A binary value, or nothing when the key or value is missing or of
    // another type.
    std::optional<std::vector<uint8_t>> readBinary(std::string_view section, std::string_view entry) const;
    // Creates the keys as needed.
    bool writeBinary(std::string_view section, std::string_view entry, const std::vector<uint8_t>& bytes) const;

private:
    std::string registryKey_;
    std::string profileName_;
};

} // namespace paloma
