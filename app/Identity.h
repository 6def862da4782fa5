#pragma once
// The identity record (plain resource "ID"): a NUL-terminated UTF-16LE text
// "registry key/profile name", 16 unused bytes, and a 16-byte digest of
// every byte before it. The digest is the MD5 hash of those bytes with each
// 8-byte half enciphered on its own by Triple-DES (ECB) under kIdentityKey,
// a constant the runtime and the packager share. A record of 32 bytes or
// less, without a NUL before the last 32 bytes, or with a wrong digest is
// refused.

#include "base/Md5.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace paloma {

extern const std::array<uint8_t, 24> kIdentityKey;

// The digest of `bytes` as the record stores it.
Md5Digest identityDigest(std::span<const uint8_t> bytes);

struct Identity {
    std::u16string text;        // the whole stored text
    std::u16string registryKey; // before the first "/", or the whole text
    std::u16string profileName; // after it, or the application's name
};

// Checks and decodes a record; nullopt when missing, too short or forged.
std::optional<Identity> readIdentity(std::span<const uint8_t> record, std::u16string_view applicationName);

// Builds a record for `text` (registry key, "/", profile name).
std::vector<uint8_t> writeIdentity(std::u16string_view text);

} // namespace paloma
