#pragma once
// Property and element access on any Value, as the interpreter performs it:
// the property read of every kind (objects, natives, and the per-kind
// classes of the other kinds), the write through a with-scope, `setprop`,
// `getelem`, `setelem`, the deletes and the for-in step.
//
// Hooks of native classes may run script code and raise runtime errors; the
// interpreter saves its stack and code position before calling in here.

#include "script/values/Engine.h"

namespace quill {

// The own property object of a String or Array, or the property object of a
// Function; created on first use when `create` (its `__proto__` is the
// kind's class prototype). Null for other kinds or when absent.
ObjectRecord* ownPropertyObject(Engine& engine, const Value& v, bool create);

// Property read on any Value. Not found: out is Undefined, returns false.
bool readProperty(Engine& engine, const Value& receiver, SymbolId id, Value& out);

// The write of `setvar` through one with-scope: only an existing property
// is updated. Returns whether the scope took the write.
bool writeThroughScope(Engine& engine, const Value& scope, SymbolId id, const Value& v);

// `setprop`: the property write on any receiver, with its warnings.
void writeProperty(Engine& engine, const Value& receiver, SymbolId id, const Value& v);

// `getelem` and `setelem`.
Value readElement(Engine& engine, const Value& receiver, const Value& key);
void writeElement(Engine& engine, const Value& receiver, const Value& key, const Value& v);

// `delprop`, `delelem` and `delvar`'s removal from one scope object.
void deleteProperty(Engine& engine, const Value& receiver, SymbolId id);
void deleteElement(Engine& engine, const Value& receiver, const Value& key);

// `nextkey`: the i-th key of a for-in loop over the receiver; false when
// there is none.
bool nextKey(Engine& engine, const Value& receiver, const Value& position, Value& key);

// `delglobal`, `dellocal`, `delarg`: releases a native handle held in the
// variable and makes it Undefined.
void deleteVariable(Value& variable);

} // namespace quill
