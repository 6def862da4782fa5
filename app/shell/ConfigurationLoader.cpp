// Start-up's reading of the packaged configuration.
#include "app/shell/ConfigurationLoader.h"

#include "app/Identity.h"
#include "app/shell/ModuleResources.h"
#include "base/WinText.h"

namespace paloma {

namespace {

std::string ansi(const std::u16string& text) {
    return utf16ToAnsi(text);
}

} // namespace

std::optional<SettingsStore> readIdentityStore(const std::u16string& applicationName, HMODULE module) {
    auto record = readPlainResource(L"ID", kTypePaloma, module);
    if (!record)
        return std::nullopt;
    auto identity = readIdentity(*record, applicationName);
    if (!identity)
        return std::nullopt;
    return SettingsStore(ansi(identity->registryKey), ansi(identity->profileName));
}

bool saveRuntimeSettings(const SettingsStore& store, const RuntimeSettings& settings) {
    return store.writeBinary(kSettingsSection, kOptionsEntry, writeRuntimeSettings(settings, loadLocalFile));
}

SettingsOrigin loadConfiguration(const SettingsStore& store, RuntimeSettings& settings, MovieList& movies,
                                 HMODULE module) {
    settings = RuntimeSettings{};
    movies.clear();
    movies.name.reset();

    std::vector<uint8_t> fingerprint = loadResourceBytes(L"CS", kTypePaloma, module);
    auto storedFingerprint = store.readBinary(kSettingsSection, kCrcEntry);
    bool current = storedFingerprint && *storedFingerprint == fingerprint;
    if (!current)
        store.writeBinary(kSettingsSection, kCrcEntry, fingerprint);

    SettingsOrigin origin = SettingsOrigin::Package;
    if (current) {
        // A stored copy that does not decode counts as stale: the package's
        // record replaces it.
        auto options = store.readBinary(kSettingsSection, kOptionsEntry);
        RuntimeSettings fromStore;
        if (options && readRuntimeSettings(*options, fromStore)) {
            settings = std::move(fromStore);
            origin = SettingsOrigin::Store;
        }
    }
    if (origin == SettingsOrigin::Package) {
        std::vector<uint8_t> data;
        if (readBlockResource(L"ST", kTypePaloma, data, module)) {
            RuntimeSettings fromPackage;
            if (readRuntimeSettings(data, fromPackage))
                settings = std::move(fromPackage);
        }
        saveRuntimeSettings(store, settings);
    }

    if (!movies.name || movies.name->empty()) {
        std::vector<uint8_t> data;
        if (readBlockResource(L"ML", kTypePaloma, data, module))
            readMovieList(data, movies);
    }
    return origin;
}

} // namespace paloma
