// The Object class: `Object(...)`, `new Object(...)`, and the toString,
// toSource and valueOf that every Object Value answers.
#include "script/builtins/Builtins.h"
#include "script/builtins/BuiltinSupport.h"

#include "script/values/Convert.h"
#include "script/values/Native.h"
#include "script/values/Object.h"

namespace quill {

namespace {

// Object(): a new empty Object for no argument or one Undefined or Null
// argument; otherwise ToObject of the first argument.
void objectCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    int64_t n = args.count();
    if (n == 0 || (n == 1 && (args[1].isUndefined() || args[1].isNull()))) {
        result = Value::object(newObject(engine));
        return;
    }
    result = toObject(engine, args[1]);
}

// new Object(): an Object argument (and any kind not listed) is returned
// unchanged; the primitive kinds go through ToObject.
void objectConstruct(Engine& engine, NativeClass*, ArgList args, Value& result) {
    if (args.count() == 0 || args[1].isUndefined() || args[1].isNull()) {
        result = Value::object(newObject(engine));
        return;
    }
    const Value& a = args[1];
    switch (a.kind) {
    case Kind::Boolean:
    case Kind::Integer:
    case Kind::String:
    case Kind::Float:
    case Kind::Array:
    case Kind::Native:
    case Kind::Function:
    case Kind::NaN: result = toObject(engine, a); return;
    default: result = a; return;
    }
}

int objectCallMethod(Engine& engine, NativeClass* cls, void* self, SymbolId member, Value& result, ArgList) {
    const Value* receiver = static_cast<const Value*>(self);
    switch (member) {
    case Engine::kToSourceId:
        result = receiver ? Value::undefined() : staticTextResult(engine, u"new Object()");
        return 1;
    case Engine::kToStringId:
        result = receiver ? staticTextResult(engine, u"[object Object]") : staticTextResult(engine, u"[type Function]");
        return 1;
    case Engine::kValueOfId:
        result = receiver ? *receiver : classValue(engine, cls);
        return 1;
    default: return 0;
    }
}

} // namespace

// Shared by Object, Boolean and Function: handles no property.
int noPropertyAccess(Engine&, NativeClass*, void*, SymbolId, int put, Value& value) {
    if (!put)
        value = Value::undefined();
    return 0;
}

void registerObjectClass(Engine& engine) {
    NativeClass* cls = registerClass(engine, "Object");
    cls->call = objectCall;
    cls->construct = objectConstruct;
    cls->callMethod = objectCallMethod;
    cls->accessProperty = noPropertyAccess;
    engine.setKindClass(Kind::Object, cls);
}

} // namespace quill
