#pragma once
// The native entry points: how the shell, the bridge, the built-ins and the
// host classes call into script code. The public ones (callValue,
// callWithThis, callMethodByName, constructByName, runAsEntryPoint) are
// declared in script/QuillRun.h; the engine's own services follow.

#include <string>
#include <string_view>

#include "script/QuillRun.h"

namespace quill {

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

// The source name and line of the code the engine last saved its position
// in, for error reports; false when that function has no line table.
bool currentSourceLine(Engine& engine, std::string& sourceName, uint32_t& line);
// The name of the function whose code holds the engine's saved position;
// ".main" when there is none.
std::string currentFunctionName(Engine& engine);

} // namespace quill
