// The native entry points.
#include "script/vm/Calls.h"

#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/String.h"
#include "script/vm/Interpreter.h"
#include "script/values/Messages.h"

namespace quill {

namespace {

// Whether the catch point is still on the engine's chain (an entry point's
// own frame must be when it ends).
[[maybe_unused]] bool onChain(const Engine& engine, const ErrorFrame* frame) {
    for (const ErrorFrame* f = engine.errorFrames; f; f = f->next)
        if (f == frame)
            return true;
    return false;
}

// Whether a saved stack position lies inside the operand stack.
[[maybe_unused]] bool onStack(const Engine& engine, const Value* position) {
    return position >= engine.stack && position < engine.stackEnd();
}

} // namespace

EntryScope::EntryScope(Engine& e) : engine(e), savedStack(e.stackPosition), savedCode(e.codePosition) {
    if (!engine.stackPosition)
        engine.resetStack();
    savedStack = engine.stackPosition;
    QUILL_ASSERT(onStack(engine, savedStack));
    engine.errorText[0] = 0;
    engine.lastResult = Value::undefined();
    own = pushErrorFrame(engine);
}

EntryScope::~EntryScope() {
    QUILL_ASSERT(onChain(engine, own));
    while (engine.errorFrames && engine.errorFrames != own)
        popErrorFrame(engine);
    popErrorFrame(engine);
    engine.stackPosition = savedStack;
    engine.codePosition = savedCode;
}

void EntryScope::fail() {
    std::string text = kRuntimeErrorPrefix;
    text += kErrOutOfMemory;
    engine.setErrorText(text);
}

RepeatedCall::RepeatedCall(Engine& engine, const Value& function)
    : engine_(engine), function_(function), this_(Value::null()), savedStack_(nullptr), savedCode_(engine.codePosition) {
    if (!engine_.stackPosition)
        engine_.resetStack();
    savedStack_ = engine_.stackPosition;
    QUILL_ASSERT(onStack(engine_, savedStack_));
    own_ = pushErrorFrame(engine_);
}

RepeatedCall::~RepeatedCall() {
    restore();
    popErrorFrame(engine_);
}

// What the end of an entry point does, short of dropping its own frame.
void RepeatedCall::restore() {
    QUILL_ASSERT(onChain(engine_, own_));
    while (engine_.errorFrames && engine_.errorFrames != own_)
        popErrorFrame(engine_);
    engine_.stackPosition = savedStack_;
    engine_.codePosition = savedCode_;
}

bool RepeatedCall::call(const Value& first, const Value& second, Value& result) {
    engine_.errorText[0] = 0;
    engine_.lastResult = Value::undefined();
    result = Value::undefined();
    // The arguments are copied onto the operand stack before anything can
    // collect, so the block can live here unrooted.
    Value block[3] = {Value::integer(2), first, second};
    bool ok = false;
    try {
        runFunction(engine_, this_, function_, ArgList{block}, result);
        engine_.lastResult = result;
        ok = true;
    } catch (const RuntimeError&) {
    } catch (...) {
        std::string text = kRuntimeErrorPrefix;
        text += kErrOutOfMemory;
        engine_.setErrorText(text);
    }
    restore();
    // After a failure (or a callee that unwound past it) the next call starts
    // from a fresh frame, as the next entry point would.
    if (!ok || engine_.errorFrames != own_) {
        if (engine_.errorFrames == own_)
            popErrorFrame(engine_);
        own_ = pushErrorFrame(engine_);
    }
    if (!ok)
        result = Value::undefined();
    return ok;
}

namespace {

// Runs a callable Value; the result goes to lastResult.
void invoke(Engine& engine, const Value& thisValue, const Value& function, ArgList args) {
    Value argsStorage[1] = {Value::integer(0)};
    if (!args.values)
        args.values = argsStorage;
    if (function.isFunction()) {
        Value result;
        runFunction(engine, thisValue, function, args, result);
        engine.lastResult = result;
        return;
    }
    if (function.isNative() && function.asNative()->cls->call) {
        NativeObject* n = function.asNative();
        Value result;
        n->cls->call(engine, n->cls, n->data, result, args);
        engine.lastResult = result;
        return;
    }
    engine.setErrorText(kWarnUndefinedFunction);
    throw RuntimeError();
}

} // namespace

bool callValue(Engine& engine, const char* globalName, const Value& function, ArgList args) {
    return runAsEntryPoint(engine, [&] {
        Value f = function;
        if (globalName) {
            SymbolId id;
            f = engine.findName(globalName, id) ? engine.global(id) : Value::undefined();
        }
        invoke(engine, Value::null(), f, args);
    });
}

bool callWithThis(Engine& engine, const Value& thisValue, const Value& function, ArgList args) {
    return runAsEntryPoint(engine, [&] { invoke(engine, thisValue, function, args); });
}

bool callMethodByName(Engine& engine, const Value& target, std::string_view method, ArgList args) {
    return runAsEntryPoint(engine, [&] {
        Value argsStorage[1] = {Value::integer(0)};
        if (!args.values)
            args.values = argsStorage;
        SymbolId id = engine.internName(method);
        auto notFound = [&] {
            std::string_view format = kWarnUnknownMethod;
            size_t at = format.find("%s");
            std::string text(format.substr(0, at));
            text.append(method);
            text.append(format.substr(at + 2));
            engine.setErrorText(text);
            throw RuntimeError();
        };
        Value result;
        if (target.isNative()) {
            if (!offerMethod(engine, target.asNative()->cls, target, id, args, result))
                notFound();
            engine.lastResult = result;
            return;
        }
        if (target.isObject()) {
            Value f;
            if (!objectGet(engine, target.asObject(), id, f) || !f.isFunction())
                notFound();
            runFunction(engine, target, f, args, result);
            engine.lastResult = result;
            return;
        }
        if (!offerMethod(engine, engine.classOf(target.kind), target, id, args, result))
            notFound();
        engine.lastResult = result;
    });
}

bool constructByName(Engine& engine, std::string_view globalName, ArgList args) {
    return runAsEntryPoint(engine, [&] {
        Value argsStorage[1] = {Value::integer(0)};
        if (!args.values)
            args.values = argsStorage;
        SymbolId id;
        Value g = engine.findName(globalName, id) ? engine.global(id) : Value::undefined();
        if (!g.isNative() || !g.asNative()->cls->construct) {
            engine.setErrorText(kWarnInvalidConstructor);
            throw RuntimeError();
        }
        NativeClass* cls = g.asNative()->cls;
        Value result = Value::null();
        cls->construct(engine, cls, args, result);
        engine.lastResult = result;
    });
}

bool currentSourceLine(Engine& engine, std::string& sourceName, uint32_t& line) {
    auto* pc = static_cast<const Insn*>(engine.codePosition);
    if (!pc)
        return false;
    CompiledFunction* f = CompiledFunction::owning(pc);
    if (!f->hasLines())
        return false;
    sourceName = f->sourceName ? f->sourceName : kUnknownSourceName;
    line = f->lineAt(pc->index());
    return true;
}

std::string currentFunctionName(Engine& engine) {
    auto* pc = static_cast<const Insn*>(engine.codePosition);
    if (!pc)
        return kMainFunctionName;
    CompiledFunction* f = CompiledFunction::owning(pc);
    return f->name ? f->name : kMainFunctionName;
}

} // namespace quill
