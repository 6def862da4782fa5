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

int toSourceMember(MemberCall& c) {
    c.result = c.receiver() ? Value::undefined() : staticTextResult(c.engine, u"new Object()");
    return 1;
}

int toStringMember(MemberCall& c) {
    c.result = staticTextResult(c.engine, c.receiver() ? u"[object Object]" : u"[type Function]");
    return 1;
}

int valueOfMember(MemberCall& c) {
    c.result = c.receiver() ? *c.receiver() : classValue(c.engine, c.cls);
    return 1;
}

constexpr Member kObjectMembers[] = {Member::method("toSource", toSourceMember),
                                     Member::method("toString", toStringMember),
                                     Member::method("valueOf", valueOfMember)};

} // namespace

void registerObjectClass(Engine& engine) {
    NativeClass* cls = defineClass(engine, {.globalNames = {"Object"},
                                            .members = kObjectMembers,
                                            .call = objectCall,
                                            .accessProperty = kitAccessProperty, // handles no name
                                            .construct = objectConstruct});
    engine.setKindClass(Kind::Object, cls);
}

} // namespace quill
