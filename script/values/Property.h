#pragma once
// Property read and scope write on any Value, through the per-kind classes,
// native classes and own property objects.

#include "script/values/Engine.h"

namespace quill {

// Member read (also the scope lookup of `with`). Not found: out Undefined.
bool getProperty(Engine& engine, const Value& target, SymbolId id, Value& out);

// Assignment through a `with` scope: only an existing property is updated.
// Returns whether the scope took the write.
bool putPropertyInScope(Engine& engine, const Value& scope, SymbolId id, const Value& v);

// The own property object of a String or Array, the property object of a
// Function, the own property object of a Native; null for other kinds or
// when there is none yet (or it is pending, see deferPropertyObject).
ObjectRecord* propertyObject(const Value& v);
// Gives a new Array the own property object whose `__proto__` is the class
// prototype, as ensurePropertyObject would, but makes it only when
// something needs it: until then the array holds the prototype it will link
// to. Every service here (and ensurePropertyObject) answers as if it existed.
void deferPropertyObject(Engine& engine, const Value& array);
// The prototype a pending own property object will link to, else null.
inline ObjectRecord* arrayPendingPrototype(const ArrayBody* a) {
    auto bits = reinterpret_cast<uintptr_t>(a->props);
    return (bits & 1) ? reinterpret_cast<ObjectRecord*>(bits & ~uintptr_t(1)) : nullptr;
}
// As above, creating it for a String, Array or Function on first use with
// `__proto__` = the class prototype of the kind (Null without a class).
ObjectRecord* ensurePropertyObject(Engine& engine, const Value& v);
// Replaces the own (function) property object of a String, Array or Function,
// or relinks a Native as a `__proto__` write does. False for other kinds.
bool replacePropertyObject(Engine& engine, const Value& v, ObjectRecord* object);

} // namespace quill
