#pragma once
// Resource blocks: the compressed container of every configuration resource
// and compiled resource script.
//
//   offset 0   "P" "B"        magic
//          2   u16 1          version (checked together with the magic)
//          4   u32            plain size
//          8   u32            packed size
//         12   u32            CRC-32 of the plain data (written, not checked)
//         16   packed bytes   zlib stream (RFC 1950)
//
// The reader trusts nothing: a block shorter than its header or its packed
// size, a wrong magic and every zlib failure end in a CZipException whose
// message is one of the texts below.

#include "app/ShellErrors.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace paloma {

constexpr size_t kResourceBlockHeaderSize = 16;

inline constexpr const char* kZipBadLength = "Bad compressed data length";
inline constexpr const char* kZipBadHeader = "Bad compressed data header";
inline constexpr const char* kZipBufError = "There was not enough room in the compress(uncompress) output buffer";
inline constexpr const char* kZipMemError = "There was not enough memory for compress(uncompress)";
inline constexpr const char* kZipDataError = "The compress(uncompress) input data was corrupted";
inline constexpr const char* kZipStreamError = "The compress level parameter is invalid";
inline constexpr const char* kZipOtherError = "Compression or uncompression failed";

// The message for a zlib error code (Z_BUF_ERROR, Z_MEM_ERROR, ...).
const char* zipErrorMessage(int zlibCode);

// Decompresses a block; throws CZipException. The result holds the data
// the stream produced, at most the block's plain size.
std::vector<uint8_t> readResourceBlock(std::span<const uint8_t> block);

// The same without throwing: false (and the message, when asked for) on
// failure, with `out` left empty.
bool tryReadResourceBlock(std::span<const uint8_t> block, std::vector<uint8_t>& out,
                          std::string* message = nullptr);

// Builds a block of `plain` with its header, CRC and a zlib stream.
std::vector<uint8_t> writeResourceBlock(std::span<const uint8_t> plain);

} // namespace paloma
