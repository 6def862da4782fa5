#pragma once
// The RegExp class: compiled patterns as NativeObjects, the class-wide input
// and match table, and the searches the String methods use.

#include <cstdint>
#include <string>
#include <string_view>

#include "script/builtins/BuiltinSupport.h"
#include "script/builtins/RegExpPattern.h"
#include "script/values/Engine.h"
#include "script/values/String.h"

namespace quill {

// Native data of a RegExp instance.
struct RegExpData {
    std::u16string source; // "^" for an empty pattern
    std::uint32_t flags = 0;
    RegExpPattern pattern;
    std::uint32_t lastIndex = 0;

    bool global() const { return (flags & kRegExpFlagGlobal) != 0; }
};

// Class data, one per engine.
struct RegExpClassData {
    explicit RegExpClassData(Engine& engine);
    ~RegExpClassData();
    RegExpClassData(const RegExpClassData&) = delete;
    RegExpClassData& operator=(const RegExpClassData&) = delete;

    Engine& engine;
    Value input;      // the text of the last search
    MatchTable table; // positions of the last match in input
    SymbolId indexId, inputId;
    // Where "RegExp runtime error: " lines go (the engine's trace output).
    void (*traceLine)(Engine& engine, std::string_view line) = nullptr;
};

void registerRegExpClass(Engine& engine);

// The RegExp class of an engine, or null before it is registered. It is
// remembered under a global name no script can write, so replacing the
// global `RegExp` does not lose it.
NativeClass* regExpClass(Engine& engine);

// The instance data when v is a RegExp object of this engine, else null.
RegExpData* regExpData(Engine& engine, const Value& v);

// A new RegExp object; Null (after writing the library's message to the
// trace output) when the pattern does not compile.
Value newRegExp(Engine& engine, std::u16string_view pattern, std::uint32_t flags);

// regExpExec over a String's text, of either width.
bool regExpExecText(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex, TextView text,
                    MatchTable& table);

// exec on a String: the search from lastIndex; the result Array (whole match
// and leading groups, with `index` and `input`), or Null. The class-wide
// input must already be `text`.
Value regExpExecString(Engine& engine, RegExpData& re, const Value& text);

} // namespace quill
