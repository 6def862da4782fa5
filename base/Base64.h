#pragma once
// Base64 (the standard alphabet "A"-"Z", "a"-"z", "0"-"9", "+", "/" with "="
// padding) as the encrypted texts of scripts carry it. The encoder writes no
// line breaks. The decoder is lenient in a fixed way: it stops at the first
// "=" or at the end of the text, skips CR and LF, and copies any other
// character outside the alphabet to the output unchanged.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace paloma {

std::string base64Encode(std::span<const uint8_t> data);
std::vector<uint8_t> base64Decode(std::string_view text);

} // namespace paloma
