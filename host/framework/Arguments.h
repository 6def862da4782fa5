#pragma once
// Arguments and results of host class members.
//
// Arguments come in an ArgList: element 0 the Integer count, then the
// arguments. Every member follows the same rules:
//   - the minimum number of arguments is tested on the 64-bit count;
//   - a string is only a String Value, taken as an ANSI copy;
//   - a number is an Integer, or a Float truncated toward zero;
//   - a boolean is a Boolean (some members also take an Integer, non-zero
//     meaning true);
//   - a function (a callback) is only a Function Value.
// A call with too few arguments or an argument of the wrong kind does
// nothing: the member leaves its neutral result (undefined unless it says
// false, null or -1) and its hook still returns 1.
//
// Results are Integer (64-bit; 32-bit results sign-extended), Boolean,
// String (from ANSI or copied from a wide buffer), null, or a new object of a
// host class bound to a global name.

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "script/Quill.h"

namespace paloma::host {

// ---- arguments -----------------------------------------------------------------

// The argument count: the 64-bit Integer in element 0 (0 when absent).
int64_t argCount(quill::ArgList args);
// At least `minimum` arguments were passed.
inline bool hasArgs(quill::ArgList args, int64_t minimum) { return argCount(args) >= minimum; }
// Argument i (1-based) when the call has it.
std::optional<quill::Value> argAt(quill::ArgList args, int64_t i);

// The conversions of one Value by the rules above; nothing when its kind is
// wrong. A Float too large for a 64-bit integer, or infinite, is no number.
std::optional<std::string> stringFrom(const quill::Value& v);
std::optional<int64_t> numberFrom(const quill::Value& v);
std::optional<bool> booleanFrom(const quill::Value& v, bool acceptInteger = false);
std::optional<quill::Value> functionFrom(const quill::Value& v);

// The same for argument i; nothing when the call has fewer arguments.
std::optional<std::string> stringArg(quill::ArgList args, int64_t i);
std::optional<int64_t> numberArg(quill::ArgList args, int64_t i);
std::optional<bool> booleanArg(quill::ArgList args, int64_t i, bool acceptInteger = false);
std::optional<quill::Value> functionArg(quill::ArgList args, int64_t i);

// ---- results ---------------------------------------------------------------------

inline quill::Value integerResult(int64_t v) { return quill::Value::integer(v); }
// A 32-bit result of the system (a DWORD, an int), sign-extended.
inline quill::Value integerResult32(uint32_t bits) {
    return quill::Value::integer(static_cast<int64_t>(static_cast<int32_t>(bits)));
}
inline quill::Value booleanResult(bool v) { return quill::Value::boolean(v); }
inline quill::Value nullResult() { return quill::Value::null(); }
// Text that is not copied: the characters must live as long as the engine
// (a literal); the String is marked unchangeable.
quill::Value staticTextResult(quill::Engine& engine, std::u16string_view text);
// Text from ANSI (converted with the ANSI code page).
quill::Value ansiTextResult(quill::Engine& engine, std::string_view text);
// Text copied from a wide buffer.
quill::Value wideTextResult(quill::Engine& engine, std::u16string_view text);
quill::Value wideTextResult(quill::Engine& engine, const char16_t* chars, size_t count);
#if WCHAR_MAX <= 0xFFFF
// The system's wide text (16-bit wchar_t).
quill::Value wideTextResult(quill::Engine& engine, const wchar_t* chars, size_t count);
#endif

// Structured results (an address record, a list of names). Building one
// allocates without collecting: the collector only runs at the
// interpreter's collection points, after the hook has returned its result.
// A new empty object, as `new Object()` makes it.
quill::Value objectResult(quill::Engine& engine);
// Sets a field of an object made by objectResult().
void setField(quill::Engine& engine, const quill::Value& object, std::string_view name, const quill::Value& v);
// A new empty array, and appending at its end (index = length).
quill::Value arrayResult(quill::Engine& engine);
void appendElement(quill::Engine& engine, const quill::Value& array, const quill::Value& v);

// ---- host objects ------------------------------------------------------------------

// The class of the object now bound to a global name, or null when that
// global holds no native object.
quill::NativeClass* classBoundTo(quill::Engine& engine, std::string_view globalName);

// Makes `out` a new object of the class bound to the global name, holding
// `data`. False (out null, data untouched) when the global holds no class:
// the caller still owns the data then.
bool newHostObject(quill::Engine& engine, std::string_view globalName, void* data, quill::Value& out);

// The instance test is the engine's own: quill::isInstanceOf(v, engine,
// globalName) is true when v is a native object of the class now bound to
// the global name. It follows the current binding: once a script assigns
// something else to that global, no object is an instance of it any more.

// The native data of v when it is an instance of the class bound to the
// global name (null for the data-less class object itself), else null.
void* instanceData(const quill::Value& v, quill::Engine& engine, std::string_view globalName);

} // namespace paloma::host
