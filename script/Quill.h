#pragma once
// The embedding interface of the Quill script engine: everything the shell,
// the bridge, the host classes and the tools use. Nothing else under script/
// needs to be included by them; the `quill` command's listing and
// disassembly include script/QuillTools.h as well.
//
// What it pulls in is the public surface and nothing of the interpreter, the
// loader or the compiler: QuillRun.h (trace output, images, calls into
// scripts), QuillCompile.h (compiling source), ClassKit.h (native classes),
// image/Image.h (the image format's readers), and the values layer that
// native code works with (Value, Engine, strings, arrays, objects, native
// objects, conversions).
//
// Engines
//   createEngine() makes an engine with the built-in classes registered;
//   setTraceOutput() opens the trace output (trace() lines and warnings).
//
// Running scripts
//   compileScript() turns source text into a section set (or messages);
//   runImage() loads a section set and runs its ".main"; evalSource() does
//   both. lastResult holds the result, errorText the message of a failure.
//
// Calling into scripts (native entry points; QuillRun.h)
//   callValue, callWithThis, callMethodByName, constructByName: each returns
//   false on failure with the message in errorText, and leaves the callee's
//   result in lastResult.
//
// Native classes (how built-in and host classes give behaviour to Values)
//   Classes are written with the class kit (ClassKit.h): one member table,
//   defineClass(), the argument readers and result makers. Underneath:
//   1. newNativeClass(engine) gives a class with a fresh prototype object.
//   2. Set the hooks the class has (NativeClass in Records.h, in this order:
//      call, callMethod, accessProperty, construct, destroyData, markData)
//      and classData/freeClassData (usually the class's MemberIds table).
//   3. bindClass(engine, "Name", cls) binds the class object to a global.
//      A built-in class that also serves a Value kind (Boolean, Number,
//      String, Array, Object, Function) is installed for that kind with
//      engine.setKindClass(kind, cls).
//   Hook conventions:
//      callMethod(engine, cls, self, member, result, args) returns 1 when it
//      handled the member id (compare with ids from internName, e.g. the
//      engine's kToStringId) and stores its result; 0 lets the engine fall
//      back (own property object, then the warning). `self` is the native
//      data for a NativeObject receiver, a Value* for a per-kind class, null
//      for the class object itself.
//      ArgList: args[0] is the Integer count n, args[1..n] the arguments;
//      args.count() and args.arg(i) read them safely.
//   A global function is a class with only the `call` hook:
//      defineGlobalFunction(engine, "name", hook).
//   Errors: engine.raiseError("message") raises "Runtime error: message"
//   (script try handlers catch it as a String); warnings go through
//   reportWarning(engine, text), which writes one line to the trace output.
//   Values that native code keeps across calls into the engine must be
//   pinned (engine.pin) or rooted (ValueRoot) or marked by markData.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "script/ClassKit.h"
#include "script/QuillCompile.h"
#include "script/QuillRun.h"
#include "script/image/Image.h"
#include "script/values/Array.h"
#include "script/values/Convert.h"
#include "script/values/Engine.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/Records.h"
#include "script/values/String.h"
#include "script/values/Value.h"

namespace quill {

// ---- engines ----------------------------------------------------------------

// A new engine (default: a stack of 4096 Values, warnings on) with the
// virtual machine attached and its classes registered: by
// options.registerClasses when set (the host's fixed order), otherwise the
// built-in classes alone; eval and evals are bound last. Returns null when
// the engine could not be set up.
std::unique_ptr<Engine> createEngine(const EngineOptions& options = {});

// The built-in classes in groups, for a host that registers its own classes
// between them. ORDER CLASSES: kBuiltinOrder is the built-ins' own order.
enum class BuiltinGroup {
    GlobalValues,    // NaN, Infinity
    GlobalFunctions, // parseInt ... trace
    Date,
    Math,
    RegExp,
    Array,
    Boolean,
    Function,
    Number,
    String,
    Object,
    UriFunctions, // encodeURI ... decodeURIComponent, bound with the host's functions
};
inline constexpr BuiltinGroup kBuiltinOrder[] = {
    BuiltinGroup::GlobalValues, BuiltinGroup::GlobalFunctions, BuiltinGroup::Date,   BuiltinGroup::Math,
    BuiltinGroup::RegExp,       BuiltinGroup::Array,           BuiltinGroup::Boolean, BuiltinGroup::Function,
    BuiltinGroup::Number,       BuiltinGroup::String,          BuiltinGroup::Object,  BuiltinGroup::UriFunctions,
};
void registerBuiltinGroup(Engine& engine, BuiltinGroup group);

// Opens the trace output: `sink` receives each line (trace() output and
// warnings) without its end; pass an empty sink to close it.
void setTraceOutput(Engine& engine, TraceSink sink);

// ---- compiling and running ------------------------------------------------------

// compileScript(source, CompileOptions{flags, sourceName}) (QuillCompile.h)
// turns source text into a section set; its option bits are
// kCompileLineTable, kCompileWarnSemicolon and kCompileEcmaWarnings.

// Compiles and runs source text in the engine as a new image. Compilation
// failures leave the compiler's messages in errorText.
bool evalSource(Engine& engine, std::string_view source, std::string_view sourceName = kStringSourceName,
                uint32_t options = kCompileLineTable);

// ---- native classes ---------------------------------------------------------------

// Binds a NativeObject of the class, with no native data, to a global name.
void bindClass(Engine& engine, std::string_view name, NativeClass* cls);

// Registers a global function: a class with only the `call` hook.
NativeClass* defineGlobalFunction(Engine& engine, std::string_view name, CallHook hook);

// The text form of a Value (ToString converted to ANSI).
std::string valueToText(Engine& engine, const Value& v);

} // namespace quill
