// String Values.
#include "script/values/String.h"
#include "script/values/Messages.h"

#include <algorithm>
#include <cstring>

#include "base/TextCodec.h"

namespace quill {

std::u16string TextView::wide() const {
    if (!oneByte)
        return std::u16string(units(), length);
    std::u16string out(length, u'\0');
    copyTo(out.data(), false);
    return out;
}

namespace {

StringBody* newBody(Engine& engine, size_t length, bool oneByte) {
    if (length > kMaxStringLength)
        engine.raiseError(kErrOutOfMemory);
    // One block: the body, then the characters.
    auto* s = static_cast<StringBody*>(
        engine.gcAlloc(StringBody::inlineSize(length, oneByte ? 1 : sizeof(char16_t))));
    s->flags = StringBody::kInlineChars | (oneByte ? StringBody::kOneByte : 0);
    s->length = static_cast<uint32_t>(length);
    return s;
}

} // namespace

Value newString(Engine& engine, const TextView& text) {
    bool oneByte = text.fitsOneByte();
    StringBody* s = newBody(engine, text.length, oneByte);
    text.copyTo(s->rawChars(), oneByte);
    return Value::string(s);
}

Value newString(Engine& engine, const char16_t* chars, size_t length) {
    return newString(engine, TextView(chars, length));
}

Value newStringToFill(Engine& engine, size_t length, char16_t*& chars) {
    StringBody* s = newBody(engine, length, false);
    chars = length ? s->units() : nullptr;
    return Value::string(s);
}

Value newOneByteStringToFill(Engine& engine, size_t length, unsigned char*& chars) {
    StringBody* s = newBody(engine, length, true);
    chars = length ? s->bytes() : nullptr;
    return Value::string(s);
}

Value newStringToWrite(Engine& engine, size_t length, bool oneByte, TextWriter& writer) {
    StringBody* s = newBody(engine, length, oneByte);
    writer = TextWriter(s->rawChars(), oneByte);
    return Value::string(s);
}

Value concatTexts(Engine& engine, const TextView& a, const TextView& b) {
    TextWriter out;
    Value v = newStringToWrite(engine, a.length + b.length, a.fitsOneByte() && b.fitsOneByte(), out);
    out.put(a);
    out.put(b);
    return v;
}

namespace {

// Results shorter than this are made as ordinary strings.
constexpr size_t kBufferFrom = 64;

// The in-use count (in units) of a character buffer sits in its last four bytes.
uint32_t& bufferUsed(void* chars) {
    return *reinterpret_cast<uint32_t*>(static_cast<char*>(chars) + Heap::blockSize(chars) - sizeof(uint32_t));
}
size_t bufferCapacity(const void* chars, size_t unitSize) {
    return (Heap::blockSize(chars) - sizeof(uint32_t)) / unitSize;
}

// The head's buffer when it can take the tail in place (making the text
// `length` units long): the head is what was last written to it, there is
// room, and the tail fits its width; null otherwise.
void* bufferTaking(const StringBody* head, const TextView& tail, size_t length) {
    if (!head->hasSharedChars())
        return nullptr;
    void* chars = head->charsPointer();
    if (bufferUsed(chars) != head->length || bufferCapacity(chars, head->unitSize()) < length ||
        (head->isOneByte() && !tail.fitsOneByte()))
        return nullptr;
    return chars;
}

// Writes the tail after the buffer's first `at` units and records the use.
void putInBuffer(void* chars, size_t at, const TextView& tail, bool oneByte) {
    tail.copyTo(static_cast<char*>(chars) + at * (oneByte ? 1 : sizeof(char16_t)), oneByte);
    bufferUsed(chars) = static_cast<uint32_t>(at + tail.length);
}

} // namespace

Value appendToString(Engine& engine, StringBody* head, const TextView& tail) {
    size_t length = size_t(head->length) + tail.length;
    if (length > kMaxStringLength)
        engine.raiseError(kErrOutOfMemory);
    TextView headText = textOf(head);
    if (length < kBufferFrom)
        return concatTexts(engine, headText, tail);
    auto* body = static_cast<StringBody*>(engine.gcAlloc(StringBody::kPointerSize));
    void* chars = bufferTaking(head, tail, length);
    bool oneByte = head->isOneByte();
    if (!chars) {
        // A new buffer five eighths as large again as the head, so a chain
        // of appends copies each character a bounded number of times; an
        // append that more than doubles the text (s = s + s) gets just what
        // it needs, as the next one will not fit in the room either way.
        // It is one byte a unit when the whole text fits.
        oneByte = headText.fitsOneByte() && tail.fitsOneByte();
        size_t room = std::max(length, size_t(head->length) + head->length / 8 * 5);
        size_t bytes = room * (oneByte ? 1 : sizeof(char16_t)) + sizeof(uint32_t);
        chars = engine.gcAlloc(bytes);
        headText.copyTo(chars, oneByte);
    }
    putInBuffer(chars, head->length, tail, oneByte);
    body->flags = StringBody::kSharedChars | (oneByte ? StringBody::kOneByte : 0);
    body->length = static_cast<uint32_t>(length);
    body->setCharsPointer(chars);
    return Value::string(body);
}

bool lengthenSoleString(StringBody* s, const TextView& tail) {
    QUILL_ASSERT(s->isSoleHeld());
    size_t length = size_t(s->length) + tail.length;
    void* chars = length <= kMaxStringLength ? bufferTaking(s, tail, length) : nullptr;
    if (!chars)
        return false;
    putInBuffer(chars, s->length, tail, s->isOneByte());
    s->length = static_cast<uint32_t>(length);
    return true;
}

void makeStringCharsPrivate(Engine& engine, StringBody* s) {
    if (!s->hasSharedChars())
        return;
    size_t bytes = size_t(s->length) * s->unitSize();
    void* chars = engine.gcAlloc(bytes);
    std::memcpy(chars, s->charsPointer(), bytes);
    s->setCharsPointer(chars);
    s->flags &= ~StringBody::kSharedChars;
}

void widenString(Engine& engine, StringBody* s) {
    if (!s->isOneByte())
        return;
    char16_t* chars = nullptr;
    if (s->length) {
        chars = static_cast<char16_t*>(engine.gcAlloc(size_t(s->length) * sizeof(char16_t)));
        textOf(s).copyTo(chars, false);
    }
    s->setCharsPointer(chars);
    s->flags &= ~(StringBody::kSharedChars | StringBody::kOneByte);
}

std::u16string_view stringView(Engine& engine, StringBody* s) {
    widenString(engine, s);
    return s->length ? std::u16string_view(s->units(), s->length) : std::u16string_view();
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

std::string stringToAnsi(const StringBody* s) {
    TextView t = textOf(s);
    if (!t.oneByte)
        return paloma::utf16ToAnsi(t.unitView());
    return paloma::utf16ToAnsi(t.wide());
}

std::u16string stringToWide(const StringBody* s) { return textOf(s).wide(); }

namespace {

template <typename A, typename B>
int compareUnits(const A* a, const B* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<uint16_t>(a[i]);
        auto cb = static_cast<uint16_t>(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return 0;
}

} // namespace

int compareTexts(TextView a, TextView b) {
    size_t n = a.length < b.length ? a.length : b.length;
    int c;
    if (a.oneByte && b.oneByte) {
        c = n ? std::memcmp(a.data, b.data, n) : 0;
        c = c < 0 ? -1 : c > 0 ? 1 : 0;
    } else if (a.oneByte) {
        c = compareUnits(a.bytes(), b.units(), n);
    } else if (b.oneByte) {
        c = compareUnits(a.units(), b.bytes(), n);
    } else {
        c = compareUnits(a.units(), b.units(), n);
    }
    if (c || a.length == b.length)
        return c;
    return a.length < b.length ? -1 : 1;
}

int compareStrings(const StringBody* a, const StringBody* b) { return compareTexts(textOf(a), textOf(b)); }

bool textsEqual(TextView a, TextView b) {
    if (a.length != b.length)
        return false;
    if (a.oneByte == b.oneByte)
        return a.length == 0 || std::memcmp(a.data, b.data, a.length * (a.oneByte ? 1 : sizeof(char16_t))) == 0;
    return (a.oneByte ? compareUnits(a.bytes(), b.units(), a.length)
                      : compareUnits(a.units(), b.bytes(), a.length)) == 0;
}

bool stringsEqual(const StringBody* a, const StringBody* b) { return textsEqual(textOf(a), textOf(b)); }

} // namespace quill
