// Fuzz target: decoding of encrypted texts (the lenient Base64 decoder, then
// Blowfish and Triple-DES decryption with the zero-byte cut), password and
// text both taken from the input.
#include "base/Base64.h"
#include "host/crypto/EncryptionCore.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t split = bytes.find('\n');
    std::string_view password = split == std::string_view::npos ? std::string_view() : bytes.substr(0, split);
    std::string_view text = split == std::string_view::npos ? bytes : bytes.substr(split + 1);

    std::vector<uint8_t> decoded = paloma::base64Decode(text);
    if (decoded.size() > text.size())
        std::abort(); // every output byte needs at least one input character
    std::string plain = paloma::host::blowfishDecodeBytes(password, text);
    if (plain.find('\0') != std::string::npos || plain.size() > (decoded.size() + 7) / 8 * 8)
        std::abort();
    std::string des = paloma::host::desDecodeBytes(password, text);
    if (des.find('\0') != std::string::npos)
        std::abort();
    // Whatever decoded without a zero byte encrypts back to a text that
    // decodes to it again.
    if (paloma::host::blowfishDecodeBytes(password, paloma::host::blowfishEncodeBytes(password, plain)) != plain)
        std::abort();
    return 0;
}
