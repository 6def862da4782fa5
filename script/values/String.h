#pragma once
// String Values: construction from wide, static and ANSI text, copies out,
// and the code-unit ordering used by comparisons and sorting.

#include <string>
#include <string_view>

#include "script/values/Engine.h"

namespace quill {

// A copy of the characters (not static).
Value newString(Engine& engine, const char16_t* chars, size_t length);
Value newString(Engine& engine, std::u16string_view text);
// A new string of `length` units whose characters the caller fills in
// through `chars` before the next collection point (null when length is 0).
Value newStringToFill(Engine& engine, size_t length, char16_t*& chars);
// Points at the text, which must outlive the engine's use of it; static.
Value newStaticString(Engine& engine, const char16_t* chars, size_t length);
// From ANSI text (the ANSI code page).
Value newStringFromAnsi(Engine& engine, std::string_view text);

inline std::u16string_view stringView(const StringBody* s) {
    return s->length ? std::u16string_view(s->chars, s->length) : std::u16string_view();
}
// ANSI copy (unrepresentable characters become '?').
std::string stringToAnsi(const StringBody* s);
std::u16string stringToWide(const StringBody* s);

// Code unit by code unit as unsigned 16-bit numbers over the common length;
// when those are equal the shorter string is less. Returns <0, 0 or >0.
int compareStrings(const StringBody* a, const StringBody* b);
bool stringsEqual(const StringBody* a, const StringBody* b);

} // namespace quill
