#pragma once
// Property read and scope write on any Value, through the per-kind classes,
// native classes and own property objects.

#include "script/values/Engine.h"

namespace quill {

// Member read through the hooks, own property objects and prototypes of
// every kind. Not found: out Undefined.
bool getProperty(Engine& engine, const Value& target, SymbolId id, Value& out);

// The read of `getprop`, `getvar` and `callname`'s scope lookup: getProperty,
// except that a native class without an accessProperty hook has no readable
// properties at all (not even `__proto__`).
bool readProperty(Engine& engine, const Value& receiver, SymbolId id, Value& out);

// Offers a property write to the class's accessProperty hook (put 1): a
// Native receiver passes its native data as `self`, any other kind a pointer
// to a copy of the Value. True when the class handled the name.
bool offerPropertyWrite(Engine& engine, NativeClass* cls, const Value& receiver, SymbolId id, const Value& v);

// Assignment through a `with` scope: only an existing property is updated.
// Returns whether the scope took the write.
bool putPropertyInScope(Engine& engine, const Value& scope, SymbolId id, const Value& v);

// The own property object of a String or Array, the property object of a
// Function, the own property object of a Native; null for other kinds or
// when there is none yet (or it is pending, see deferPropertyObject).
ObjectRecord* propertyObject(Engine& engine, const Value& v);
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
// The own property object of a String or Array, or the property object of a
// Function; created on first use when `create` (or when a pending one is
// due). Null for other kinds or when absent.
ObjectRecord* ownPropertyObject(Engine& engine, const Value& v, bool create);
// Replaces the own (function) property object of a String, Array or Function,
// or relinks a Native as a `__proto__` write does. False for other kinds.
bool replacePropertyObject(Engine& engine, const Value& v, ObjectRecord* object);

} // namespace quill
