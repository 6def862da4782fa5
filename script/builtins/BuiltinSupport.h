#pragma once
// Helpers shared by the Array, String, RegExp, Number, Math and Date classes
// beyond the class kit (script/ClassKit.h), which they are written with.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/ClassKit.h"
#include "script/values/Engine.h"

namespace quill {

// The raw argument count of a call: array literals pass a negative count
// (-n literal elements); every other caller passes n >= 0. argCount() (the
// class kit) reads it as a member does.
inline std::int64_t rawArgCount(ArgList args) {
    return args.values && args.values[0].isInteger() ? args.values[0].asInteger() : 0;
}

// The value of a hexadecimal digit, or -1.
inline int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace quill

namespace quill {

// Calls a Function or a callable Native with `this` Null and the given
// arguments. A failing call (a runtime error or a throw inside it) returns
// false with the message in errorText; it does not unwind the caller.
bool callCallable(Engine& engine, const Value& callee, std::initializer_list<Value> arguments, Value& result);

} // namespace quill
