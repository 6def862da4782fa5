#pragma once
// The virtual machine's state and its view of the operand stack: call
// frames, error frames (the catch points of try handlers and of the native
// entry points), the trace output and the interpreter loop.
//
// Call frames
// -----------
// The stack grows toward lower addresses; `sp` points at the top Value. A
// call pushes four slots below the callee's arguments; `fp` points at the
// highest of them:
//
//     fp[2 + n]   ...               the arguments (slot 2 + i = argument i)
//     fp[2]       Integer argc      argument slot 1: the count passed
//     fp[1]       this              argument slot 0
//     fp[0]       FrameLink         the caller's frame (null: outermost)
//     fp[-1]      ArgCount          passed slots | added slots << 32
//     fp[-2]      FrameLink         the frame's WithScopeList (null: none)
//     fp[-3]      FrameLink         where the caller resumes (an Insn*)
//     fp[-4 - k]  local slot k
//
// Argument slot i is fp[1 + i]. "Passed slots" counts `this`, the count and
// the arguments; `args` adds Undefined slots above the last argument by
// moving the frame down and records how many in the ArgCount slot, and `ret`
// moves the passed slots back before it stores the result in fp[0]'s place.
// The collector recognises a frame by its ArgCount slot (the with-scope list
// lies just below it) and the VM's root tracer marks the code of every
// frame's resume position.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/QuillRun.h"
#include "script/values/Engine.h"
#include "script/vm/Code.h"

namespace quill {

// A catch point. Script try handlers restore the saved stack, frame and
// with-scope depth and continue at `target` with the thrown Value pushed;
// a native entry point's frame (script == false) makes the entry point
// return failure.
struct ErrorFrame {
    ErrorFrame* next = nullptr;
    Value thrown;
    bool script = false;
    Value* sp = nullptr; // top of the stack when the handler was installed
    Value* fp = nullptr;
    uint64_t withCount = 0;
    const Insn* target = nullptr;
};

struct VmState {
    TraceSink trace;
    std::vector<std::unique_ptr<ErrorFrame>> spareFrames;
    // Code positions of the runs that a nested run interrupted.
    std::vector<const Insn*> suspendedPositions;
    int runDepth = 0;
    // Calls and backward jumps left before the host hook is polled.
    uint32_t ticks = kTickInterval;
    static constexpr uint32_t kTickInterval = 1u << 14;
    bool raising = false;
    // Type names pushed by `typeof`, as static strings.
    Value typeNames[16];
    // Makes the Value of a regular-expression constant (set by the RegExp
    // class; without it the pattern loads as a String).
    Value (*regExpConstant)(Engine& engine, std::u16string_view pattern, uint8_t flags) = nullptr;
};

// Sets up the virtual machine on a new engine: its state, the raise and
// call hooks the values layer calls, and the root tracer of call frames.
void attachVm(Engine& engine);
VmState& vmState(Engine& engine);

// ---- error frames -----------------------------------------------------------
ErrorFrame* pushErrorFrame(Engine& engine);
void popErrorFrame(Engine& engine); // frees the innermost frame

// ---- trace output and warnings ------------------------------------------------
void setTraceSink(Engine& engine, TraceSink sink);
bool hasTraceSink(Engine& engine);
// writeTrace() and reportWarning() are public (script/QuillRun.h).

// ---- running ------------------------------------------------------------------
// Starts `function` (a Function Value) with `this` and the arguments on the
// stack below the current position and runs until its outermost frame
// returns. The result is stored in `result`. Runtime errors propagate as
// RuntimeError with errorText set; the caller is an entry point that catches
// them (Calls.h).
void runFunction(Engine& engine, const Value& thisValue, const Value& function, ArgList args,
                 Value& result);

// The hook the interpreter polls: calls the host hook when there is one and
// raises "hook break %d" when it returns non-zero.
void pollHook(Engine& engine);
// A collection point: collects when the allocation counter has reached the
// threshold, then polls the host hook.
void collectionPoint(Engine& engine);

} // namespace quill
