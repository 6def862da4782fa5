// String Values.
#include "script/values/String.h"
#include "script/values/Messages.h"

#include <algorithm>
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
    if (length > kMaxStringLength)
        engine.raiseError(kErrOutOfMemory);
    // One block: the body, then the characters.
    auto* s = static_cast<StringBody*>(engine.gcAlloc(StringBody::inlineSize(length)));
    s->flags = StringBody::kInlineChars;
    s->length = static_cast<uint32_t>(length);
    chars = length ? s->inlineChars() : nullptr;
    return Value::string(s);
}

namespace {

// Results shorter than this are made as ordinary strings.
constexpr size_t kBufferFrom = 64;

// The in-use count of a character buffer sits in its last four bytes.
uint32_t& bufferUsed(char16_t* chars) {
    return *reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(chars) + Heap::blockSize(chars) - sizeof(uint32_t));
}
size_t bufferCapacity(const char16_t* chars) { return (Heap::blockSize(chars) - sizeof(uint32_t)) / sizeof(char16_t); }

} // namespace

Value appendToString(Engine& engine, StringBody* head, const char16_t* tail, size_t tailLength) {
    size_t length = size_t(head->length) + tailLength;
    if (length > kMaxStringLength)
        engine.raiseError(kErrOutOfMemory);
    if (length < kBufferFrom) {
        char16_t* chars;
        Value v = newStringToFill(engine, length, chars);
        if (head->length)
            std::memcpy(chars, head->chars(), head->length * sizeof(char16_t));
        if (tailLength)
            std::memcpy(chars + head->length, tail, tailLength * sizeof(char16_t));
        return v;
    }
    auto* body = static_cast<StringBody*>(engine.gcAlloc(StringBody::kPointerSize));
    char16_t* chars = head->hasSharedChars() ? head->charsPointer() : nullptr;
    // The head's buffer takes the tail in place when the head is what was
    // last written to it and there is room.
    if (!chars || bufferUsed(chars) != head->length || bufferCapacity(chars) < length) {
        // A new buffer five eighths as large again as the head, so a chain
        // of appends copies each character a bounded number of times; an
        // append that more than doubles the text (s = s + s) gets just what
        // it needs, as the next one will not fit in the room either way.
        size_t room = std::max(length, size_t(head->length) + head->length / 8 * 5);
        size_t bytes = room * sizeof(char16_t) + sizeof(uint32_t);
        chars = static_cast<char16_t*>(engine.gcAlloc(bytes));
        if (head->length)
            std::memcpy(chars, head->chars(), head->length * sizeof(char16_t));
    }
    if (tailLength)
        std::memcpy(chars + head->length, tail, tailLength * sizeof(char16_t));
    bufferUsed(chars) = static_cast<uint32_t>(length);
    body->flags = StringBody::kSharedChars;
    body->length = static_cast<uint32_t>(length);
    body->setCharsPointer(chars);
    return Value::string(body);
}

void makeStringCharsPrivate(Engine& engine, StringBody* s) {
    if (!s->hasSharedChars())
        return;
    auto* chars = static_cast<char16_t*>(engine.gcAlloc(size_t(s->length) * sizeof(char16_t)));
    std::memcpy(chars, s->charsPointer(), size_t(s->length) * sizeof(char16_t));
    s->setCharsPointer(chars);
    s->flags &= ~StringBody::kSharedChars;
}

Value newString(Engine& engine, std::u16string_view text) { return newString(engine, text.data(), text.size()); }

Value newStaticString(Engine& engine, const char16_t* chars, size_t length) {
    if (length > 0xFFFFFFFFu)
        engine.raiseError(kErrOutOfMemory);
    auto* s = static_cast<StringBody*>(engine.gcAlloc(StringBody::kPointerSize));
    s->flags = StringBody::kStatic;
    s->length = static_cast<uint32_t>(length);
    s->setCharsPointer(length ? const_cast<char16_t*>(chars) : nullptr);
    return Value::string(s);
}

Value newStringFromAnsi(Engine& engine, std::string_view text) {
    return newString(engine, paloma::ansiToUtf16(text));
}

std::string stringToAnsi(const StringBody* s) { return paloma::utf16ToAnsi(stringView(s)); }

std::u16string stringToWide(const StringBody* s) { return std::u16string(stringView(s)); }

int compareStrings(const StringBody* a, const StringBody* b) {
    uint32_t n = a->length < b->length ? a->length : b->length;
    const char16_t* ac = a->chars();
    const char16_t* bc = b->chars();
    for (uint32_t i = 0; i < n; ++i) {
        auto ca = static_cast<uint16_t>(ac[i]);
        auto cb = static_cast<uint16_t>(bc[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a->length == b->length)
        return 0;
    return a->length < b->length ? -1 : 1;
}

bool stringsEqual(const StringBody* a, const StringBody* b) {
    return a->length == b->length &&
           (a->length == 0 || std::memcmp(a->chars(), b->chars(), a->length * sizeof(char16_t)) == 0);
}

} // namespace quill
