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
    // Add one character (a surrogate pair counts as one) at a time while the
    // ANSI form still leaves room for the NUL.
    size_t used = 0, n = 0;
    while (n < text.size()) {
        size_t step = 1;
        if (text[n] >= 0xD800 && text[n] <= 0xDBFF && n + 1 < text.size() && text[n + 1] >= 0xDC00 &&
            text[n + 1] <= 0xDFFF)
            step = 2;
        size_t bytes = ansiLength(text.substr(n, step));
        if (used + bytes >= fieldBytes)
            break;
        used += bytes;
        n += step;
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
