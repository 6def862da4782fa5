// The identity record and its digest.
#include "app/Identity.h"

#include "base/ByteReader.h"
#include "base/ByteWriter.h"
#include "base/TripleDes.h"

#include <algorithm>

namespace paloma {

// Shared by the runtime and the packager; changing it invalidates every
// package built before.
const std::array<uint8_t, 24> kIdentityKey = {
    0x5A, 0x3C, 0x91, 0xE7, 0x0D, 0x62, 0xB4, 0x18, 0xC9, 0x7F, 0x26, 0x83,
    0x4E, 0xD1, 0x9B, 0x35, 0xA0, 0x6C, 0x12, 0xF8, 0x57, 0xEB, 0x3D, 0x84,
};

namespace {
constexpr size_t kUnusedBytes = 16;
constexpr size_t kDigestBytes = 16;
} // namespace

Md5Digest identityDigest(std::span<const uint8_t> bytes) {
    Md5Digest hash = Md5::of(bytes);
    TripleDes cipher(kIdentityKey);
    Md5Digest out;
    for (size_t half = 0; half < 2; ++half) {
        DesBlock block;
        std::copy_n(hash.begin() + 8 * half, 8, block.begin());
        block = cipher.encrypt(block);
        std::copy(block.begin(), block.end(), out.begin() + 8 * half);
    }
    return out;
}

std::optional<Identity> readIdentity(std::span<const uint8_t> record, std::u16string_view applicationName) {
    if (record.size() <= kUnusedBytes + kDigestBytes)
        return std::nullopt;
    size_t signedSize = record.size() - kDigestBytes;
    Md5Digest digest = identityDigest(record.first(signedSize));
    if (!std::equal(digest.begin(), digest.end(), record.begin() + signedSize))
        return std::nullopt;
    // The text must end (NUL included) before the 16 unused bytes.
    ByteReader r(record.first(signedSize - kUnusedBytes));
    Identity id;
    for (;;) {
        char16_t c = char16_t(r.u16());
        if (!r.ok())
            return std::nullopt;
        if (c == 0)
            break;
        id.text.push_back(c);
    }
    size_t slash = id.text.find(u'/');
    if (slash == std::u16string::npos) {
        id.registryKey = id.text;
        id.profileName = applicationName;
    } else {
        id.registryKey = id.text.substr(0, slash);
        id.profileName = id.text.substr(slash + 1);
    }
    return id;
}

std::vector<uint8_t> writeIdentity(std::u16string_view text) {
    ByteWriter w;
    for (char16_t c : text)
        w.u16(c);
    w.u16(0);
    w.zeros(kUnusedBytes);
    Md5Digest digest = identityDigest(w.data());
    w.bytes(digest);
    return w.take();
}

} // namespace paloma
