// The Boolean class: `Boolean(x)` and `new Boolean(x)` both give a Boolean
// Value (there are no wrapper objects), and the toString and valueOf of
// Boolean Values.
#include "script/builtins/Builtins.h"
#include "script/builtins/BuiltinSupport.h"

#include "script/values/Convert.h"
#include "script/values/Native.h"

namespace quill {

int noPropertyAccess(Engine&, NativeClass*, void*, SymbolId, int put, Value& value);

namespace {

void booleanCall(Engine&, NativeClass*, void*, Value& result, ArgList args) {
    result = Value::boolean(args.count() > 0 && toBoolean(args[1]));
}

void booleanConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    booleanCall(engine, cls, nullptr, result, args);
}

int booleanCallMethod(Engine& engine, NativeClass* cls, void* self, SymbolId member, Value& result, ArgList) {
    const Value* receiver = static_cast<const Value*>(self);
    switch (member) {
    case Engine::kToStringId:
        if (!receiver)
            result = staticTextResult(engine, u"[type Function]");
        else
            result = toBoolean(*receiver) ? staticTextResult(engine, u"true") : staticTextResult(engine, u"false");
        return 1;
    case Engine::kValueOfId:
        result = receiver ? *receiver : classValue(engine, cls);
        return 1;
    default: return 0;
    }
}

} // namespace

void registerBooleanClass(Engine& engine) {
    NativeClass* cls = registerClass(engine, "Boolean");
    cls->call = booleanCall;
    cls->construct = booleanConstruct;
    cls->callMethod = booleanCallMethod;
    cls->accessProperty = noPropertyAccess;
    engine.setKindClass(Kind::Boolean, cls);
}

} // namespace quill
