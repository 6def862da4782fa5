#pragma once
// Running scripts from native code: the trace output, loading and running
// compiled images, and the native entry points through which the shell, the
// bridge, the built-ins and the host classes call into script code. Part of
// the embedding interface (Quill.h); the virtual machine implements it
// (script/vm).
//
// Each entry point runs under its own catch point: it clears errorText and
// lastResult, and before returning restores the engine's stack position and
// frees every catch point left above its own. It returns false when the call
// failed, with the message in errorText; on success the callee's result is
// in lastResult. Runtime errors and throws inside the call end at the entry
// point; a script `try` inside the callee catches them first.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "script/image/Image.h"
#include "script/values/Engine.h"

namespace quill {

// ---- trace output and warnings ------------------------------------------------

// Where the trace output goes: each call receives one line without its end;
// the sink adds "\r\n" (or whatever its medium needs).
using TraceSink = std::function<void(std::string_view line)>;

// Writes one line to the trace output (nothing when none is open).
void writeTrace(Engine& engine, std::string_view line);
// A warning: the text (with %s replaced by `name` when given) goes to
// errorText and, as one line, to the trace output. Execution continues.
void reportWarning(Engine& engine, const char* format, std::string_view name = {});

// ---- images ---------------------------------------------------------------------

// A section set with what its first load into an engine left behind: an
// image that runs again in the same engine reuses the constants appended by
// its first run.
class LoadedImage {
public:
    explicit LoadedImage(SectionSet sections) : sections_(std::move(sections)) {}
    const SectionSet& sections() const { return sections_; }

private:
    friend bool runImage(Engine& engine, LoadedImage& image);
    SectionSet sections_;
    const Engine* engine_ = nullptr;
    size_t constantBase_ = 0;
};

// Loading a compiled image into an engine and running it: constants are
// appended to the engine's pool, every function is linked and bound to the
// global of its name (anonymous functions renumbered so that separately
// compiled images never share a name), then ".main" runs. On success
// lastResult holds the value the run ended with; on failure errorText holds
// the message ("Runtime error: Unimplemented Quill Script bytecode" for code
// or constants the loader refuses).
bool runImage(Engine& engine, LoadedImage& image);
bool runImage(Engine& engine, const SectionSet& sections);

// Whether the loader would accept the image's code (every function links);
// false with *error set to "Unimplemented Quill Script bytecode" otherwise.
bool checkImage(const SectionSet& sections, std::string* error = nullptr);

// ---- calls into script code ---------------------------------------------------

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

// Runs `body` as an entry point does (catch point, cleared errorText and
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

} // namespace quill
