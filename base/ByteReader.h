#pragma once
// Bounds-checked little-endian reader over a byte range that it does not own.
//
// Reading past the end never touches memory outside the range: the read
// yields zero (or nothing), and the reader remembers the failure. Decoders
// read a whole record and test ok() once at the end, or test it after a
// read whose value steers what comes next.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace paloma {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    uint64_t u64();

    // The next n bytes, or an empty span (and a failure) when fewer remain.
    std::span<const uint8_t> bytes(size_t n);
    // Advances by n bytes; fails when fewer remain.
    void skip(size_t n);

    // A stored string: u32 count of UTF-16 units including the terminating
    // NUL, then the units. Count 0 is an absent string (nullopt); the NUL is
    // not part of the result. A count that reaches past the end fails.
    std::optional<std::u16string> string16();

    bool ok() const { return ok_; }
    void fail() { ok_ = false; }
    size_t position() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    size_t size() const { return bytes_.size(); }

private:
    bool take(size_t n);

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace paloma
