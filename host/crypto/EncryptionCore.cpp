// The portable core of the Encryption object: key derivation, text and file
// ciphers, digests.
#include "host/crypto/EncryptionCore.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <share.h>
#endif

#include "base/Base64.h"
#include "base/Blowfish.h"
#include "base/StdFile.h"
#include "base/Md5.h"
#include "base/TextCodec.h"
#include "base/TripleDes.h"

namespace paloma::host {

namespace {

// The program's own Triple-DES key, used only inside Blowfish key derivation.
// Changing it makes every encrypted text and file unreadable.
constexpr std::array<uint8_t, 24> kFixedKey = {
    0x5b, 0x2e, 0x91, 0xc4, 0x37, 0xa8, 0x6d, 0xf0, 0x1c, 0x83, 0x4a, 0xe9,
    0x76, 0x0d, 0xb2, 0x58, 0xcf, 0x64, 0x19, 0xae, 0x3b, 0xd7, 0x85, 0x20,
};

constexpr size_t kChunk = 4096; // file reads and writes

std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

uint8_t reverseBits(uint8_t c) {
    uint8_t r = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (c & (1u << bit))
            r |= uint8_t(0x80u >> bit);
    return r;
}

// A byte whose bit count is even gets its lowest bit flipped.
uint8_t oddParity(uint8_t b) {
    int bits = 0;
    for (uint8_t v = b; v; v &= uint8_t(v - 1))
        ++bits;
    return bits % 2 == 0 ? uint8_t(b ^ 1) : b;
}

TripleDes fixedCipher() {
    std::array<uint8_t, 24> key = kFixedKey;
    for (uint8_t& b : key)
        b = oddParity(b);
    return TripleDes(key);
}

std::string upToFirstZero(const std::vector<uint8_t>& bytes) {
    size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(bytes.data()), n);
}

std::vector<uint8_t> zeroPadded(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> buffer(bytes.begin(), bytes.end());
    buffer.resize(buffer.size() + (8 - buffer.size() % 8) % 8, 0);
    return buffer;
}

void tripleDesBlocks(const TripleDes& cipher, std::vector<uint8_t>& data, bool decrypt) {
    for (size_t at = 0; at < data.size(); at += 8) {
        DesBlock block;
        std::memcpy(block.data(), data.data() + at, 8);
        block = decrypt ? cipher.decrypt(block) : cipher.encrypt(block);
        std::memcpy(data.data() + at, block.data(), 8);
    }
}

// Reading: others may read but not write. Writing: created or truncated,
// nobody else may open it meanwhile.
File openFile(const std::filesystem::path& path, bool write) {
#ifdef _WIN32
    return File(_wfsopen(path.c_str(), write ? L"wb" : L"rb", write ? _SH_DENYRW : _SH_DENYWR));
#else
    return File(std::fopen(path.c_str(), write ? "wb" : "rb"));
#endif
}

// Closes explicitly so that a failing final write is seen.
bool closeFile(File& file) {
    return std::fclose(file.release()) == 0;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

std::string hexOf(const Md5Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : digest) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

} // namespace

FoldedKey foldPassword(std::string_view password) {
    FoldedKey fold{};
    for (size_t i = 0; i < password.size(); ++i) {
        auto c = static_cast<uint8_t>(password[i]);
        if (i % 16 < 8)
            fold[i % 8] ^= uint8_t(c << 1);
        else
            fold[7 - i % 8] ^= reverseBits(c);
    }
    return fold;
}

BlowfishKey deriveBlowfishKey(std::string_view password) {
    BlowfishKey key{};
    FoldedKey fold = foldPassword(password);
    Md5Digest ofFold = Md5::of(fold);
    Md5Digest ofPassword = Md5::of(bytesOf(password));
    std::memcpy(key.data(), ofFold.data(), 16);
    std::memcpy(key.data() + 16, ofPassword.data(), 16);
    TripleDes cipher = fixedCipher();
    for (size_t half = 0; half < 2; ++half) {
        DesBlock block;
        std::memcpy(block.data(), ofPassword.data() + 8 * half, 8);
        block = cipher.encrypt(block);
        std::memcpy(key.data() + 32 + 8 * half, block.data(), 8);
    }
    std::memcpy(key.data() + 48, fold.data(), 8);
    return key;
}

TripleDesKey deriveTripleDesKey(std::string_view password) {
    TripleDesKey key{};
    Md5Digest digest = Md5::of(bytesOf(password));
    FoldedKey fold = foldPassword(password);
    std::memcpy(key.data(), digest.data(), 16);
    std::memcpy(key.data() + 16, fold.data(), 8);
    for (uint8_t& b : key)
        b = oddParity(b);
    return key;
}

std::string blowfishEncodeBytes(std::string_view password, std::string_view plain) {
    if (plain.empty())
        return {};
    std::vector<uint8_t> data = zeroPadded(bytesOf(plain));
    Blowfish(deriveBlowfishKey(password)).encryptBlocks(data);
    return base64Encode(data);
}

std::string blowfishDecodeBytes(std::string_view password, std::string_view base64) {
    std::vector<uint8_t> data = zeroPadded(base64Decode(base64));
    if (data.empty())
        return {};
    Blowfish(deriveBlowfishKey(password)).decryptBlocks(data);
    return upToFirstZero(data);
}

std::string desEncodeBytes(std::string_view password, std::string_view plain) {
    if (plain.empty())
        return {};
    std::vector<uint8_t> data = zeroPadded(bytesOf(plain));
    tripleDesBlocks(TripleDes(deriveTripleDesKey(password)), data, false);
    return base64Encode(data);
}

std::string desDecodeBytes(std::string_view password, std::string_view base64) {
    std::vector<uint8_t> data = zeroPadded(base64Decode(base64));
    if (data.empty())
        return {};
    tripleDesBlocks(TripleDes(deriveTripleDesKey(password)), data, true);
    return upToFirstZero(data);
}

std::string md5HexOfBytes(std::string_view bytes) { return hexOf(Md5::of(bytesOf(bytes))); }

std::u16string blowfishEncode(std::u16string_view password, std::u16string_view text) {
    return ansiToUtf16(blowfishEncodeBytes(utf16ToAnsi(password), utf16ToAnsi(text)));
}

std::u16string blowfishDecode(std::u16string_view password, std::u16string_view text) {
    return ansiToUtf16(blowfishDecodeBytes(utf16ToAnsi(password), utf16ToAnsi(text)));
}

std::u16string desEncode(std::u16string_view password, std::u16string_view text) {
    return ansiToUtf16(desEncodeBytes(utf16ToAnsi(password), utf16ToAnsi(text)));
}

std::u16string desDecode(std::u16string_view password, std::u16string_view text) {
    return ansiToUtf16(desDecodeBytes(utf16ToAnsi(password), utf16ToAnsi(text)));
}

std::u16string md5Hex(std::u16string_view text) { return ansiToUtf16(md5HexOfBytes(utf16ToAnsi(text))); }

std::optional<std::u16string> md5OfFile(const std::filesystem::path& path) {
    File file = openFile(path, false);
    if (!file)
        return std::nullopt;
    Md5 md5;
    uint8_t buffer[kChunk];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        md5.update({buffer, n});
    if (std::ferror(file.get()))
        return std::nullopt;
    return ansiToUtf16(hexOf(md5.finish()));
}

bool encryptFile(std::string_view password, const std::filesystem::path& source,
                 const std::filesystem::path& destination) {
    // Without the sharing rules of Windows, opening the destination would
    // truncate a source that is the same file.
    if (sameFile(source, destination))
        return false;
    File in = openFile(source, false);
    if (!in)
        return false;
    File out = openFile(destination, true);
    if (!out)
        return false;
    Blowfish cipher(deriveBlowfishKey(password));
    uint8_t buffer[kChunk];
    uint64_t length = 0;
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        length += n;
        std::memset(buffer + n, 0, sizeof buffer - n);
        cipher.encryptBlocks(buffer);
        size_t whole = (n + 7) / 8 * 8;
        if (std::fwrite(buffer, 1, whole, out.get()) != whole)
            return false;
    }
    if (std::ferror(in.get()))
        return false;
    uint8_t trailer[8];
    for (int i = 0; i < 8; ++i)
        trailer[i] = uint8_t(length >> (8 * i));
    if (std::fwrite(trailer, 1, 8, out.get()) != 8)
        return false;
    return closeFile(out);
}

bool decryptFile(std::string_view password, const std::filesystem::path& source,
                 const std::filesystem::path& destination) {
    if (sameFile(source, destination))
        return false;
    File in = openFile(source, false);
    if (!in)
        return false;
    File out = openFile(destination, true);
    if (!out)
        return false;
    Blowfish cipher(deriveBlowfishKey(password));
    uint8_t buffer[kChunk];
    uint64_t sourceLength = 0;
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        sourceLength += n;
        size_t whole = n / 8 * 8;
        cipher.decryptBlocks({buffer, whole});
        if (std::fwrite(buffer, 1, whole, out.get()) != whole)
            return false;
    }
    if (std::ferror(in.get()))
        return false;
    // The plain length from the trailer: the source's last 8 bytes.
    uint8_t trailer[8];
    if (sourceLength < 8 || std::fseek(in.get(), -8, SEEK_END) != 0 || std::fread(trailer, 1, 8, in.get()) != 8)
        return false;
    uint64_t plainLength = 0;
    for (int i = 7; i >= 0; --i)
        plainLength = plainLength << 8 | trailer[i];
    if (!closeFile(out))
        return false;
    if (plainLength < sourceLength) {
        std::error_code ec;
        std::filesystem::resize_file(destination, plainLength, ec);
        if (ec)
            return false;
    }
    return true;
}

} // namespace paloma::host
