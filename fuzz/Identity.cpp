// Fuzz target: the identity record check.
#include "app/Identity.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto id = paloma::readIdentity({data, size}, u"app");
    // Also try the input as a text with a correct digest, so the text
    // scanner sees more than forged records.
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char16_t c = char16_t(data[i] | data[i + 1] << 8);
        if (c == 0)
            break;
        text.push_back(c);
    }
    auto signedRecord = paloma::writeIdentity(text);
    auto back = paloma::readIdentity(signedRecord, u"app");
    if (!back || back->text != text)
        std::abort();
    if (id && id->registryKey.size() > id->text.size())
        std::abort();
    return 0;
}
