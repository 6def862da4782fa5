// The embedding interface: engines, compiling, running, native classes.
#include "script/Quill.h"

#include "script/builtins/Builtins.h"
#include "script/compiler/Compiler.h"
#include "script/vm/Calls.h"
#include "script/vm/Interpreter.h"
#include "script/vm/Loader.h"
#include "script/values/Messages.h"

namespace quill {

std::unique_ptr<Engine> createEngine(const EngineOptions& options) {
    auto engine = std::make_unique<Engine>(options);
    attachVm(*engine);
    bool ok = runAsEntryPoint(*engine, [&] {
        if (options.registerClasses)
            options.registerClasses(*engine);
        else
            registerBuiltins(*engine);
        registerEvalFunctions(*engine);
    });
    if (!ok)
        return nullptr;
    return engine;
}

void setTraceOutput(Engine& engine, TraceSink sink) { setTraceSink(engine, std::move(sink)); }

bool evalSource(Engine& engine, std::string_view source, std::string_view sourceName, uint32_t options) {
    CompileResult compiled = compileScript(source, CompileOptions{options, std::string(sourceName)});
    if (!compiled.ok) {
        engine.errorText[0] = 0;
        engine.lastResult = Value::undefined();
        engine.setErrorText(compiled.messages);
        return false;
    }
    return runImage(engine, compiled.sections);
}

void bindClass(Engine& engine, std::string_view name, NativeClass* cls) {
    Value v;
    bindNativeObject(engine, v, cls, nullptr);
    engine.global(engine.internName(name)) = v;
}

NativeClass* defineGlobalFunction(Engine& engine, std::string_view name, CallHook hook) {
    NativeClass* cls = newNativeClass(engine);
    cls->call = hook;
    bindClass(engine, name, cls);
    return cls;
}

std::string valueToText(Engine& engine, const Value& v) {
    if (v.isString())
        return stringToAnsi(v.asString());
    Value s = toString(engine, v);
    return stringToAnsi(s.asString());
}

// ---- eval and evals -----------------------------------------------------------------

namespace {

// eval(text): a String is compiled and run as a new image in this engine; the
// result is lastResult after the run. Any other Value is returned unchanged.
void evalCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    if (args.count() < 1) {
        result = Value::undefined();
        return;
    }
    if (!args[1].isString()) {
        result = args[1];
        return;
    }
    std::string source = stringToAnsi(args[1].asString());
    CompileResult compiled = compileScript(source);
    if (compiled.ok)
        runImage(engine, compiled.sections);
    else
        engine.setErrorText(compiled.messages);
    result = engine.lastResult;
}

// evals(text): as eval, with line information in the image; no argument or
// a non-String gives Undefined.
void evalsCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    if (args.count() < 1 || !args[1].isString()) {
        result = Value::undefined();
        return;
    }
    std::string source = stringToAnsi(args[1].asString());
    CompileResult compiled = compileScript(source, CompileOptions{kCompileLineTable, kStringSourceName});
    if (compiled.ok)
        runImage(engine, compiled.sections);
    else
        engine.setErrorText(compiled.messages);
    result = engine.lastResult;
}

} // namespace

void registerEvalFunctions(Engine& engine) {
    defineGlobalFunction(engine, "eval", evalCall);
    defineGlobalFunction(engine, "evals", evalsCall);
}

} // namespace quill
