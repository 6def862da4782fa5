#pragma once
// Property writes and element access on any Value, as the interpreter
// performs them: `setprop` with its warnings, `getelem`, `setelem`, the
// deletes and the for-in step. The property read, the write through a
// with-scope and the own property objects are script/values/Property.h.
//
// Hooks of native classes may run script code and raise runtime errors; the
// interpreter saves its stack and code position before calling in here.

#include "script/values/Engine.h"

namespace quill {

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
