// The Function class: `new Function(p1, ..., body)` compiles a function from
// text, and the toString and valueOf of Function Values. Calling Function
// without `new` is not possible (the class has no call hook).
#include "script/builtins/Builtins.h"
#include "script/builtins/BuiltinSupport.h"


#include "script/Quill.h"

namespace quill {

namespace {

// 1. The parameter names are the String arguments among all but the last,
//    separated by ", " (other kinds are skipped).
// 2. The body is the last argument when it is a String, else empty.
// 3. "function (" + names + ") {" + body + "}" is compiled as a script; its
//    one anonymous function is bound as "@F_n" with n the engine's function
//    count before loading, and that global is the result.
// 4. Text that does not compile (or does not load) gives Null.
void functionConstruct(Engine& engine, NativeClass*, ArgList args, Value& result) {
    int64_t n = args.count();
    std::string source = "function (";
    bool first = true;
    for (int64_t i = 1; i < n; ++i) {
        if (!args[i].isString())
            continue;
        if (!first)
            source += ", ";
        source += stringToAnsi(args[i].asString());
        first = false;
    }
    source += ") {";
    if (n >= 1 && args[n].isString())
        source += stringToAnsi(args[n].asString());
    source += "}";

    result = Value::null();
    uint32_t count = engine.functionCount;
    CompileResult compiled = compileScript(source);
    if (!compiled.ok) {
        engine.setErrorText(compiled.messages);
        return;
    }
    // The nested load is an entry point of its own; keep our caller's
    // error text and result as they were.
    Value savedResult = engine.lastResult;
    if (!runImage(engine, compiled.sections))
        return;
    engine.lastResult = savedResult;
    std::string name = "@F_" + std::to_string(count);
    SymbolId id;
    if (engine.findName(name, id) && engine.global(id).isFunction())
        result = engine.global(id);
}

int toStringMember(MemberCall& c) {
    c.result = staticTextResult(c.engine, u"[object Function]");
    return 1;
}

int valueOfMember(MemberCall& c) {
    c.result = c.receiver() ? *c.receiver() : classValue(c.engine, c.cls);
    return 1;
}

constexpr Member kFunctionMembers[] = {Member::method("toString", toStringMember),
                                       Member::method("valueOf", valueOfMember)};

} // namespace

void registerFunctionClass(Engine& engine) {
    NativeClass* cls = defineClass(engine, {.globalNames = {"Function"},
                                            .members = kFunctionMembers,
                                            .accessProperty = kitAccessProperty, // handles no name
                                            .construct = functionConstruct});
    engine.setKindClass(Kind::Function, cls);
}

} // namespace quill
