#pragma once
// The portable core of the Encryption object: key derivation from a password,
// Blowfish and Triple-DES encryption of texts with Base64 transport, MD5
// digests of texts and files, and Blowfish encryption of whole files.
//
// The byte functions work on ANSI bytes; the text functions take the
// engine's UTF-16 text, convert it with the ANSI code page before any byte is
// hashed or encrypted, and convert results back the same way.
//
// Framing of the text ciphers: the plaintext's n bytes are encrypted as
// ceil(n / 8) blocks in ECB mode, the last one zero-padded, and the
// ciphertext travels as Base64. Decryption decodes, decrypts ceil(d / 8)
// blocks (a short last block zero-padded first) and keeps the bytes up to the
// first zero byte, so the padding disappears.
//
// Encrypted files: the source in 4096-byte chunks, each chunk zero-padded to
// whole blocks, then an 8-byte trailer with the source length (64-bit little
// endian, not encrypted).

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace paloma::host {

using FoldedKey = std::array<uint8_t, 8>;
using BlowfishKey = std::array<uint8_t, 56>;
using TripleDesKey = std::array<uint8_t, 24>;

// Eight bytes folded from a password (no parity step, no hashing).
FoldedKey foldPassword(std::string_view password);
// The 56-byte Blowfish key: MD5 of the fold, MD5 of the password, that MD5
// with each half encrypted under the fixed Triple-DES key, then the fold.
BlowfishKey deriveBlowfishKey(std::string_view password);
// The 24-byte Triple-DES key: MD5 of the password, then the fold; every byte
// set to odd parity.
TripleDesKey deriveTripleDesKey(std::string_view password);

// On ANSI bytes.
std::string blowfishEncodeBytes(std::string_view password, std::string_view plain);
std::string blowfishDecodeBytes(std::string_view password, std::string_view base64);
std::string desEncodeBytes(std::string_view password, std::string_view plain);
std::string desDecodeBytes(std::string_view password, std::string_view base64);
// 32 lower-case hexadecimal digits.
std::string md5HexOfBytes(std::string_view bytes);

// On the engine's text.
std::u16string blowfishEncode(std::u16string_view password, std::u16string_view text);
std::u16string blowfishDecode(std::u16string_view password, std::u16string_view text);
std::u16string desEncode(std::u16string_view password, std::u16string_view text);
std::u16string desDecode(std::u16string_view password, std::u16string_view text);
std::u16string md5Hex(std::u16string_view text);

// Files. md5OfFile is empty when the file cannot be opened. encryptFile and
// decryptFile answer false when any file operation fails (a partly written
// destination stays) and refuse a destination that is the source itself.
std::optional<std::u16string> md5OfFile(const std::filesystem::path& path);
bool encryptFile(std::string_view password, const std::filesystem::path& source,
                 const std::filesystem::path& destination);
bool decryptFile(std::string_view password, const std::filesystem::path& source,
                 const std::filesystem::path& destination);

} // namespace paloma::host
