#pragma once
// ActiveXObject (COM automation objects for scripts) and Enumerator (walking
// a collection through its _NewEnum enumerator).

#include "script/Quill.h"

#ifdef _WIN32
#include <windows.h>
#include <oaidl.h>
#endif

namespace paloma::host {

// Registers ActiveXObject; on Windows it also initialises COM (OLE) for the
// calling thread, the user-interface thread, once per process.
void registerActiveXObjectClass(quill::Engine& engine);
void registerEnumeratorClass(quill::Engine& engine);

#ifdef _WIN32

// A new ActiveXObject holding its own reference to `dispatch`; null when
// `dispatch` is null or no ActiveXObject class is bound.
quill::Value newActiveXObject(quill::Engine& engine, IDispatch* dispatch);

// The dispatch interface of a live ActiveXObject (no reference added), or
// null for any other Value.
IDispatch* dispatchOf(quill::Engine& engine, const quill::Value& v);

#endif

} // namespace paloma::host
