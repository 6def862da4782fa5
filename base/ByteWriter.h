#pragma once
// Little-endian writer that appends to a growing byte buffer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace paloma {

class ByteWriter {
public:
    void u8(uint8_t v) { out_.push_back(v); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    void bytes(std::span<const uint8_t> data);
    void zeros(size_t n) { out_.insert(out_.end(), n, 0); }

    // A stored string (see ByteReader::string16): count including the NUL,
    // then the units and the NUL. An absent string writes a count of 0.
    void string16(const std::optional<std::u16string>& text);
    void string16(std::u16string_view text);

    // Overwrites a u32 written earlier at offset.
    void patchU32(size_t offset, uint32_t v);

    size_t size() const { return out_.size(); }
    const std::vector<uint8_t>& data() const { return out_; }
    std::vector<uint8_t> take() { return std::move(out_); }

private:
    std::vector<uint8_t> out_;
};

} // namespace paloma
