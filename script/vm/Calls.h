#pragma once
// The native entry points: how the shell, the bridge, the built-ins and the
// host classes call into script code.
//
// Each entry point runs under its own ErrorFrame: it clears errorText and
// lastResult, and before returning restores the engine's stack position and
// frees every ErrorFrame left above its own. It returns false when the call
// failed, with the message in errorText; on success the callee's result is
// in lastResult. Runtime errors and throws inside the call end at the entry
// point; a script `try` inside the callee catches them first.

#include <string_view>

#include "script/values/Engine.h"

namespace quill {

// Calls a Function (with `this` Null) or a Native whose class has a `call`
// hook. With a global name the Value of that global is called instead of
// `function`. Anything else fails with "Warning: call a undefined function".
bool callValue(Engine& engine, const char* globalName, const Value& function, ArgList args);

// As callValue with an explicit `this` (how host objects fire events).
bool callWithThis(Engine& engine, const Value& thisValue, const Value& function, ArgList args);

// Calls a method: a Native's class `callMethod`; an Object's property of that
// name (through the chain) when it holds a Function, with `this` the object;
// another kind's per-kind class. A method not found or not handled fails with
// "Warning: unknown method \"name\"".
bool callMethodByName(Engine& engine, const Value& target, std::string_view method, ArgList args);

// `new` on the class bound to a global name: the global must hold a Native
// whose class has a `construct` hook.
bool constructByName(Engine& engine, std::string_view globalName, ArgList args);

// Calls one Function again and again from native code (a sort's comparison).
// Each call behaves as callWithThis with `this` Null: errorText and
// lastResult are cleared first, the stack position and the error frames are
// restored after it, and a failure leaves its message in errorText. The
// entry point's own error frame is set up once for the whole series instead
// of once per call.
class RepeatedCall {
public:
    RepeatedCall(Engine& engine, const Value& function);
    ~RepeatedCall();
    RepeatedCall(const RepeatedCall&) = delete;
    RepeatedCall& operator=(const RepeatedCall&) = delete;
    // Calls the function with two arguments; false when the call failed.
    bool call(const Value& first, const Value& second, Value& result);

private:
    void restore();
    Engine& engine_;
    Value function_;
    Value this_; // Null, built once: a just-built Value is slow to read back whole
    Value* savedStack_;
    const void* savedCode_;
    struct ErrorFrame* own_;
};

// Runs `body` as an entry point does (error frame, cleared errorText and
// lastResult, restored stack); returns whether it completed without a
// runtime error or throw. The body stores its result in lastResult itself.
template <class Body>
bool runAsEntryPoint(Engine& engine, Body&& body);

// ---- implementation of the template ---------------------------------------
struct EntryScope {
    explicit EntryScope(Engine& engine);
    ~EntryScope();
    void fail(); // records a caught error (also an out-of-memory exception)
    Engine& engine;
    Value* savedStack;
    const void* savedCode;
    struct ErrorFrame* own;
};

template <class Body>
bool runAsEntryPoint(Engine& engine, Body&& body) {
    EntryScope scope(engine);
    try {
        body();
        return true;
    } catch (const RuntimeError&) {
    } catch (...) {
        scope.fail();
    }
    return false;
}

// The source name and line of the code the engine last saved its position
// in, for error reports; false when that function has no line table.
bool currentSourceLine(Engine& engine, std::string& sourceName, uint32_t& line);
// The name of the function whose code holds the engine's saved position;
// ".main" when there is none.
std::string currentFunctionName(Engine& engine);

} // namespace quill
