#pragma once
// Native classes and native objects: the records through which built-in and
// host classes give behaviour to Values.

#include <string_view>

#include "script/values/Engine.h"

namespace quill {

// A zeroed class with its finaliser and a fresh prototype object whose
// `__proto__` is null. Class records live until the engine is destroyed,
// when freeClassData runs once with classData.
NativeClass* newNativeClass(Engine& engine);

// Makes `out` a NativeObject of the class. With non-null data it also creates
// the own property object, whose `__proto__` is the class prototype.
void bindNativeObject(Engine& engine, Value& out, NativeClass* cls, void* data);

// True when v is a NativeObject whose class is the class of the NativeObject
// now held by the global of that name.
bool isInstanceOf(const Value& v, Engine& engine, std::string_view globalName);

// Runs destroyData on the object's native data (once) and clears the pointer.
void releaseNativeData(NativeObject* object);

// Offers a method call on `receiver` to the class's callMethod hook: a Native
// receiver passes its native data as `self`, any other kind a pointer to a
// copy of the Value. True, with the hook's result in `result`, when the class
// handled the name; false (result untouched) when it did not or has no hook.
bool offerMethod(Engine& engine, NativeClass* cls, const Value& receiver, SymbolId id, ArgList args,
                 Value& result);

} // namespace quill
