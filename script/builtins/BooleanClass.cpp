// The Boolean class: `Boolean(x)` and `new Boolean(x)` both give a Boolean
// Value (there are no wrapper objects), and the toString and valueOf of
// Boolean Values.
#include "script/builtins/Builtins.h"
#include "script/builtins/BuiltinSupport.h"

#include "script/values/Convert.h"
#include "script/values/Native.h"

namespace quill {

namespace {

void booleanCall(Engine&, NativeClass*, void*, Value& result, ArgList args) {
    result = Value::boolean(args.count() > 0 && toBoolean(args[1]));
}

void booleanConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    booleanCall(engine, cls, nullptr, result, args);
}

int toStringMember(MemberCall& c) {
    const Value* receiver = c.receiver();
    if (!receiver)
        c.result = staticTextResult(c.engine, u"[type Function]");
    else
        c.result = staticTextResult(c.engine, toBoolean(*receiver) ? u"true" : u"false");
    return 1;
}

int valueOfMember(MemberCall& c) {
    c.result = c.receiver() ? *c.receiver() : classValue(c.engine, c.cls);
    return 1;
}

constexpr Member kBooleanMembers[] = {Member::method("toString", toStringMember),
                                      Member::method("valueOf", valueOfMember)};

} // namespace

void registerBooleanClass(Engine& engine) {
    // An accessProperty that handles no name: no property of a Boolean is
    // the class's, but its own fields are still read.
    NativeClass* cls = defineClass(engine, {.globalNames = {"Boolean"},
                                            .members = kBooleanMembers,
                                            .call = booleanCall,
                                            .accessProperty = kitAccessProperty,
                                            .construct = booleanConstruct});
    engine.setKindClass(Kind::Boolean, cls);
}

} // namespace quill
