#pragma once
// String Values: construction from wide, static and ANSI text, copies out,
// and the code-unit ordering used by comparisons and sorting.

#include <string>
#include <string_view>

#include "script/values/Engine.h"

namespace quill {

// The longest String made at run time, in code units; making a longer one
// raises "Out of memory".
inline constexpr size_t kMaxStringLength = 0x3FFFFFFF;

// A copy of the characters (not static).
Value newString(Engine& engine, const char16_t* chars, size_t length);
Value newString(Engine& engine, std::u16string_view text);
// A new string of `length` units whose characters the caller fills in
// through `chars` before the next collection point (null when length is 0).
Value newStringToFill(Engine& engine, size_t length, char16_t*& chars);
// The concatenation of a String and further characters. Long results keep
// their characters in a growable buffer; appending to the string that last
// grew a buffer reuses its spare room, so building a text by repeated
// `s = s + piece` costs time linear in its final length.
Value appendToString(Engine& engine, StringBody* head, const char16_t* tail, size_t tailLength);
// Before writing into a string's characters: gives a string whose
// characters are shared a private copy of them.
void makeStringCharsPrivate(Engine& engine, StringBody* s);
// Points at the text, which must outlive the engine's use of it; static.
Value newStaticString(Engine& engine, const char16_t* chars, size_t length);
// From ANSI text (the ANSI code page).
Value newStringFromAnsi(Engine& engine, std::string_view text);

inline std::u16string_view stringView(const StringBody* s) {
    return s->length ? std::u16string_view(s->chars(), s->length) : std::u16string_view();
}
// ANSI copy (unrepresentable characters become '?').
std::string stringToAnsi(const StringBody* s);
std::u16string stringToWide(const StringBody* s);

// Code unit by code unit as unsigned 16-bit numbers over the common length;
// when those are equal the shorter string is less. Returns <0, 0 or >0.
int compareStrings(const StringBody* a, const StringBody* b);
bool stringsEqual(const StringBody* a, const StringBody* b);

} // namespace quill
