// Texts of the configuration records and their fixed fields.
#include "app/FieldText.h"

#include "base/TextCodec.h"

namespace paloma {

size_t ansiLength(std::u16string_view text) { return utf16ToAnsi(text).size(); }

std::u16string fitToField(std::u16string_view text, size_t fieldBytes) {
    if (fieldBytes == 0)
        return {};
    if (ansiLength(text) < fieldBytes)
        return std::u16string(text);
    // Every unit takes at least one byte, so no more than fieldBytes - 1
    // units can fit; shorten from there.
    size_t n = std::min(text.size(), fieldBytes - 1);
    while (n > 0) {
        if (n < text.size() && text[n] >= 0xDC00 && text[n] <= 0xDFFF && text[n - 1] >= 0xD800 &&
            text[n - 1] <= 0xDBFF) {
            --n; // keep a surrogate pair together
            continue;
        }
        if (ansiLength(text.substr(0, n)) < fieldBytes)
            break;
        --n;
    }
    return std::u16string(text.substr(0, n));
}

std::filesystem::path pathOf(std::u16string_view text) {
#ifdef _WIN32
    return std::filesystem::path(std::wstring(text.begin(), text.end()));
#else
    return std::filesystem::path(utf16ToUtf8(text));
#endif
}

Text fitToField(const Text& text, size_t fieldBytes) {
    if (!text)
        return std::nullopt;
    return fitToField(std::u16string_view(*text), fieldBytes);
}

} // namespace paloma
