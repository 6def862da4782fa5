// Little-endian writer.
#include "base/ByteWriter.h"

namespace paloma {

void ByteWriter::u16(uint16_t v) {
    out_.push_back(uint8_t(v));
    out_.push_back(uint8_t(v >> 8));
}

void ByteWriter::u32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out_.push_back(uint8_t(v >> (8 * i)));
}

void ByteWriter::u64(uint64_t v) {
    u32(uint32_t(v));
    u32(uint32_t(v >> 32));
}

void ByteWriter::bytes(std::span<const uint8_t> data) {
    out_.insert(out_.end(), data.begin(), data.end());
}

void ByteWriter::string16(const std::optional<std::u16string>& text) {
    if (!text) {
        u32(0);
        return;
    }
    string16(std::u16string_view(*text));
}

void ByteWriter::string16(std::u16string_view text) {
    u32(uint32_t(text.size() + 1));
    for (char16_t c : text)
        u16(uint16_t(c));
    u16(0);
}

void ByteWriter::patchU32(size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out_.at(offset + i) = uint8_t(v >> (8 * i));
}

} // namespace paloma
