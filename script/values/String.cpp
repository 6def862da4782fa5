// String Values.
#include "script/values/String.h"

#include <cstring>

#include "base/TextCodec.h"

namespace quill {

Value newString(Engine& engine, const char16_t* chars, size_t length) {
    char16_t* copy;
    Value v = newStringToFill(engine, length, copy);
    if (length)
        std::memcpy(copy, chars, length * sizeof(char16_t));
    return v;
}

Value newStringToFill(Engine& engine, size_t length, char16_t*& chars) {
    if (length > 0x3FFFFFFFu)
        engine.raiseError("Out of memory");
    // One block: the body, then the characters.
    auto* s = static_cast<StringBody*>(engine.gcAlloc(sizeof(StringBody) + length * sizeof(char16_t)));
    s->flags = StringBody::kInlineChars;
    s->length = static_cast<uint32_t>(length);
    chars = length ? reinterpret_cast<char16_t*>(s + 1) : nullptr;
    s->chars = chars;
    s->props = nullptr;
    return Value::string(s);
}

Value newString(Engine& engine, std::u16string_view text) { return newString(engine, text.data(), text.size()); }

Value newStaticString(Engine& engine, const char16_t* chars, size_t length) {
    if (length > 0xFFFFFFFFu)
        engine.raiseError("Out of memory");
    auto* s = static_cast<StringBody*>(engine.gcAllocZeroed(sizeof(StringBody)));
    s->flags = StringBody::kStatic;
    s->chars = length ? const_cast<char16_t*>(chars) : nullptr;
    s->length = static_cast<uint32_t>(length);
    return Value::string(s);
}

Value newStringFromAnsi(Engine& engine, std::string_view text) {
    return newString(engine, paloma::ansiToUtf16(text));
}

std::string stringToAnsi(const StringBody* s) { return paloma::utf16ToAnsi(stringView(s)); }

std::u16string stringToWide(const StringBody* s) { return std::u16string(stringView(s)); }

int compareStrings(const StringBody* a, const StringBody* b) {
    uint32_t n = a->length < b->length ? a->length : b->length;
    for (uint32_t i = 0; i < n; ++i) {
        auto ca = static_cast<uint16_t>(a->chars[i]);
        auto cb = static_cast<uint16_t>(b->chars[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a->length == b->length)
        return 0;
    return a->length < b->length ? -1 : 1;
}

bool stringsEqual(const StringBody* a, const StringBody* b) {
    return a->length == b->length &&
           (a->length == 0 || std::memcmp(a->chars, b->chars, a->length * sizeof(char16_t)) == 0);
}

} // namespace quill
