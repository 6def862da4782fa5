// Bounds-checked little-endian reader.
#include "base/ByteReader.h"

namespace paloma {

bool ByteReader::take(size_t n) {
    if (!ok_ || n > remaining()) {
        ok_ = false;
        return false;
    }
    return true;
}

uint8_t ByteReader::u8() {
    if (!take(1))
        return 0;
    return bytes_[pos_++];
}

uint16_t ByteReader::u16() {
    if (!take(2))
        return 0;
    uint16_t v = uint16_t(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

uint32_t ByteReader::u32() {
    if (!take(4))
        return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | bytes_[pos_ + i];
    pos_ += 4;
    return v;
}

uint64_t ByteReader::u64() {
    uint64_t lo = u32();
    uint64_t hi = u32();
    return ok_ ? lo | (hi << 32) : 0;
}

std::span<const uint8_t> ByteReader::bytes(size_t n) {
    if (!take(n))
        return {};
    auto out = bytes_.subspan(pos_, n);
    pos_ += n;
    return out;
}

void ByteReader::skip(size_t n) {
    if (take(n))
        pos_ += n;
}

std::optional<std::u16string> ByteReader::string16() {
    uint32_t count = u32();
    if (!ok_ || count == 0)
        return std::nullopt;
    if (count > remaining() / 2) {
        ok_ = false;
        return std::nullopt;
    }
    std::u16string text;
    text.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        text.push_back(char16_t(u16()));
    // The count includes the terminating NUL; a text that holds an earlier
    // NUL ends there, as a C string would.
    size_t nul = text.find(u'\0');
    text.resize(nul == std::u16string::npos ? text.size() : nul);
    return text;
}

} // namespace paloma
