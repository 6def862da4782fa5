#pragma once
// String Values: construction from wide, static and ANSI text, copies out,
// and the code-unit ordering used by comparisons and sorting.

#include <cstring>
#include <string>
#include <string_view>

#include "script/values/Engine.h"

namespace quill {

// The longest String made at run time, in code units; making a longer one
// raises "Out of memory".
inline constexpr size_t kMaxStringLength = 0x3FFFFFFF;

// A view of a string's characters of either width: valid until the body
// is next changed (an element store, widening) or collected. Indexing gives
// the code unit.
struct TextView {
    const void* data = nullptr;
    size_t length = 0;
    bool oneByte = false;

    TextView() = default;
    TextView(const char16_t* units, size_t n) : data(units), length(n) {}
    TextView(std::u16string_view units) : data(units.data()), length(units.size()) {}
    static TextView ofBytes(const unsigned char* bytes, size_t n) {
        TextView v;
        v.data = bytes;
        v.length = n;
        v.oneByte = true;
        return v;
    }

    size_t size() const { return length; }
    bool empty() const { return length == 0; }
    char16_t operator[](size_t i) const {
        return oneByte ? char16_t(static_cast<const unsigned char*>(data)[i]) : static_cast<const char16_t*>(data)[i];
    }
    const unsigned char* bytes() const { return static_cast<const unsigned char*>(data); }
    const char16_t* units() const { return static_cast<const char16_t*>(data); }
    // The one-byte characters as chars (for the standard string algorithms).
    std::string_view byteView() const { return {reinterpret_cast<const char*>(data), length}; }
    std::u16string_view unitView() const { return {units(), length}; }
    TextView substr(size_t pos, size_t n) const {
        TextView v = *this;
        v.data = static_cast<const char*>(data) + pos * (oneByte ? 1 : 2);
        v.length = n;
        return v;
    }
    // Whether every unit is at most 0xFF (scans two-byte text).
    inline bool fitsOneByte() const;
    // A two-byte copy.
    std::u16string wide() const;
    // Copies the units to `out`, of the given width (a one-byte `out` only
    // when fitsOneByte()).
    inline void copyTo(void* out, bool outOneByte) const;
};

inline TextView textOf(const StringBody* s) {
    if (s->isOneByte())
        return TextView::ofBytes(static_cast<const unsigned char*>(s->rawChars()), s->length);
    return TextView(static_cast<const char16_t*>(s->rawChars()), s->length);
}

// Whether every unit of text is at most 0xFF.
inline bool unitsFitOneByte(const char16_t* units, size_t length) {
    char16_t all = 0;
    for (size_t i = 0; i < length; ++i)
        all |= units[i];
    return all <= 0xFF;
}

bool TextView::fitsOneByte() const { return oneByte || unitsFitOneByte(units(), length); }

void TextView::copyTo(void* out, bool outOneByte) const {
    if (oneByte == outOneByte) {
        if (length)
            std::memcpy(out, data, length * (oneByte ? 1 : sizeof(char16_t)));
    } else if (outOneByte) {
        auto* o = static_cast<unsigned char*>(out);
        const char16_t* in = units();
        for (size_t i = 0; i < length; ++i)
            o[i] = static_cast<unsigned char>(in[i]);
    } else {
        auto* o = static_cast<char16_t*>(out);
        const unsigned char* in = bytes();
        for (size_t i = 0; i < length; ++i)
            o[i] = in[i];
    }
}

// A copy of the characters (not static); one byte a unit when they fit.
Value newString(Engine& engine, const char16_t* chars, size_t length);
Value newString(Engine& engine, std::u16string_view text);
Value newString(Engine& engine, const TextView& text);
// A new string of `length` units whose characters the caller fills in
// through `chars` before the next collection point (null when length is 0):
// two bytes a unit, or with the second form one byte a unit (each at most
// 0xFF).
Value newStringToFill(Engine& engine, size_t length, char16_t*& chars);
Value newOneByteStringToFill(Engine& engine, size_t length, unsigned char*& chars);
// Writes texts one after another into a new string's characters.
class TextWriter {
public:
    TextWriter() = default;
    TextWriter(void* chars, bool oneByte) : at_(static_cast<char*>(chars)), oneByte_(oneByte) {}
    void put(const TextView& text) {
        text.copyTo(at_, oneByte_);
        at_ += text.length * (oneByte_ ? 1 : sizeof(char16_t));
    }

private:
    char* at_ = nullptr;
    bool oneByte_ = false;
};
// A new string of `length` units, one byte a unit when oneByte (every unit
// written must then be at most 0xFF), whose characters the caller writes
// through `writer` before the next collection point.
Value newStringToWrite(Engine& engine, size_t length, bool oneByte, TextWriter& writer);
// The concatenation of a String and further characters. Long results keep
// their characters in a growable buffer; appending to the string that last
// grew a buffer reuses its spare room, so building a text by repeated
// `s = s + piece` costs time linear in its final length.
Value appendToString(Engine& engine, StringBody* head, const TextView& tail);
inline Value appendToString(Engine& engine, StringBody* head, const char16_t* tail, size_t tailLength) {
    return appendToString(engine, head, TextView(tail, tailLength));
}
// Lengthens a string held alone (StringBody::kSoleHolder) by tail in
// place: only when it is what its buffer last took, the buffer has room
// and the tail fits its width; false (the string unchanged) otherwise.
bool lengthenSoleString(StringBody* s, const TextView& tail);
// The concatenation of two texts as a new string (never a buffer).
Value concatTexts(Engine& engine, const TextView& a, const TextView& b);
// Before writing into a string's characters: gives a string whose
// characters are shared a private copy of them.
void makeStringCharsPrivate(Engine& engine, StringBody* s);
// Makes a one-byte string two bytes a unit, in place: its characters move
// to a private two-byte block; the body stays where it is.
void widenString(Engine& engine, StringBody* s);
// Points at the text, which must outlive the engine's use of it; static.
Value newStaticString(Engine& engine, const char16_t* chars, size_t length);
// From ANSI text (the ANSI code page).
Value newStringFromAnsi(Engine& engine, std::string_view text);

// The text as UTF-16 units in place: a one-byte string is widened first
// (widenString). For readers that need the units for long or hand them on;
// a reader that only looks uses textOf().
std::u16string_view stringView(Engine& engine, StringBody* s);
// Calls f(std::u16string_view) with the text's units; a one-byte text is
// widened into a temporary (on the stack when short). For readers that only
// look.
template <typename F>
decltype(auto) withUnits(TextView text, F&& f) {
    if (!text.oneByte)
        return f(text.unitView());
    constexpr size_t kShort = 64;
    if (text.length <= kShort) {
        char16_t units[kShort];
        text.copyTo(units, false);
        return f(std::u16string_view(units, text.length));
    }
    std::u16string units = text.wide();
    return f(std::u16string_view(units));
}
inline TextView asText(std::u16string_view units) { return TextView(units); }
inline TextView asText(std::string_view bytes) {
    return TextView::ofBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// Calls f(subject, pattern) with both texts as views of one width: as
// std::string_view (the chars being the units) when the subject is one
// byte a unit and so is every unit of the pattern, else as
// std::u16string_view (one-byte texts widened into temporaries).
template <typename F>
decltype(auto) withSameWidth(TextView subject, TextView pattern, F&& f) {
    if (subject.oneByte && pattern.oneByte)
        return f(subject.byteView(), pattern.byteView());
    if (subject.oneByte && pattern.fitsOneByte()) {
        std::string narrow(pattern.length, '\0');
        pattern.copyTo(narrow.data(), true);
        return f(subject.byteView(), std::string_view(narrow));
    }
    return withUnits(subject, [&](std::u16string_view s) {
        return withUnits(pattern, [&](std::u16string_view p) { return f(s, p); });
    });
}

// ANSI copy (unrepresentable characters become '?').
std::string stringToAnsi(const StringBody* s);
std::u16string stringToWide(const StringBody* s);

// Code unit by code unit as unsigned 16-bit numbers over the common length;
// when those are equal the shorter string is less. Returns <0, 0 or >0.
int compareStrings(const StringBody* a, const StringBody* b);
int compareTexts(TextView a, TextView b);
bool stringsEqual(const StringBody* a, const StringBody* b);
bool textsEqual(TextView a, TextView b);

} // namespace quill
