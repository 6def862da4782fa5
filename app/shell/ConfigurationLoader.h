#pragma once
// Start-up's reading of the packaged configuration: the identity record that
// names the per-user settings store, and the runtime settings through that
// store (current while its "crc" copy equals the package's CS resource).

#include "app/MovieList.h"
#include "app/RuntimeSettings.h"
#include "app/shell/SettingsStore.h"

#include <windows.h>

#include <optional>

namespace paloma {

inline constexpr const char* kSettingsSection = "SSettings";
inline constexpr const char* kCrcEntry = "crc";
inline constexpr const char* kOptionsEntry = "Options";

// The store named by the ID resource of `module`: registry key and profile
// name; nothing when the record is missing or its digest is wrong.
// `applicationName` is the profile name of a record without "/".
std::optional<SettingsStore> readIdentityStore(const std::u16string& applicationName, HMODULE module = nullptr);

// How the settings were found.
enum class SettingsOrigin {
    Store,    // read back from "Options"
    Package,  // read from the ST resource and written to "Options"
};

// Reads the runtime settings and the movie list as start-up does. The
// resources missing altogether throw CKelBaseException; a bad block (shown in
// an error box while there is a main window) or a record that does not
// decode leaves the record zeroed.
SettingsOrigin loadConfiguration(const SettingsStore& store, RuntimeSettings& settings, MovieList& movies,
                                 HMODULE module = nullptr);

// Writes the whole record to "Options" (with the content of each file its
// paths name embedded).
bool saveRuntimeSettings(const SettingsStore& store, const RuntimeSettings& settings);

} // namespace paloma
