#pragma once
// Helpers shared by the Array, String, RegExp, Number, Math and Date classes
// beyond the class kit (script/ClassKit.h), which they are written with.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "script/ClassKit.h"
#include "script/values/Engine.h"

namespace quill {

// The interned ids of a class's member names, in the class's own order.
class MemberTable {
public:
    MemberTable(Engine& engine, const char* const* names, int count);
    // The position of the id in the table, or -1.
    int find(SymbolId id) const {
        auto it = index_.find(id);
        return it == index_.end() ? -1 : it->second;
    }
    SymbolId id(int position) const { return ids_[size_t(position)]; }

private:
    std::vector<SymbolId> ids_;
    std::unordered_map<SymbolId, int> index_;
};

// The raw argument count of a call: array literals pass a negative count
// (-n literal elements); every other caller passes n >= 0. argCount() (the
// class kit) reads it as a member does.
inline std::int64_t rawArgCount(ArgList args) {
    return args.values && args.values[0].isInteger() ? args.values[0].asInteger() : 0;
}

// The receiver text of a String method (self points at the String Value).
std::u16string_view receiverText(void* self);

// A new class with the usual prototype, bound to the global `name`. The class
// object is a NativeObject of the class without native data.
NativeClass* registerClass(Engine& engine, const char* name);
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

// Owned class data of the plain-heap kind: classData is a T created with new,
// freed by the class's freeClassData.
template <class T>
void setClassData(NativeClass* cls, T* data) {
    cls->classData = data;
    cls->freeClassData = [](void* p) { delete static_cast<T*>(p); };
}
template <class T>
T& classData(NativeClass* cls) {
    return *static_cast<T*>(cls->classData);
}

} // namespace quill

namespace quill {

// Calls a Function or a callable Native with `this` Null and the given
// arguments. A failing call (a runtime error or a throw inside it) returns
// false with the message in errorText; it does not unwind the caller.
bool callCallable(Engine& engine, const Value& callee, std::initializer_list<Value> arguments, Value& result);

} // namespace quill
