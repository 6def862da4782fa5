// The interpreter loop, call frames, error frames, the trace output and the
// hook polling.
#include "script/vm/Interpreter.h"

#include <chrono>
#include <limits>
#include <cstdio>
#include <cstring>
#include <thread>

#include "script/values/Array.h"
#include "script/values/Convert.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/Property.h"
#include "script/values/String.h"
#include "script/vm/Access.h"
#include "script/vm/Calls.h"
#include "script/values/Messages.h"
#include "script/vm/Operators.h"

#if defined(__GNUC__)
#define QUILL_LIKELY(x) __builtin_expect(!!(x), 1)
#define QUILL_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define QUILL_LIKELY(x) (x)
#define QUILL_UNLIKELY(x) (x)
#endif

namespace quill {

// Values that must stay free below any frame and below the locals.
constexpr ptrdiff_t kStackReserve = 10;

// ============================================================================
// State, error frames, trace output
// ============================================================================

VmState& vmState(Engine& engine) { return *engine.vm; }

ErrorFrame* pushErrorFrame(Engine& engine) {
    VmState& vm = vmState(engine);
    std::unique_ptr<ErrorFrame> f;
    if (!vm.spareFrames.empty()) {
        f = std::move(vm.spareFrames.back());
        vm.spareFrames.pop_back();
        *f = ErrorFrame{};
    } else {
        f = std::make_unique<ErrorFrame>();
    }
    ErrorFrame* raw = f.release();
    raw->next = engine.errorFrames;
    engine.errorFrames = raw;
    return raw;
}

void popErrorFrame(Engine& engine) {
    ErrorFrame* f = engine.errorFrames;
    if (!f)
        return;
    engine.errorFrames = f->next;
    VmState& vm = vmState(engine);
    if (vm.spareFrames.size() < 64)
        vm.spareFrames.emplace_back(f);
    else
        delete f;
}

void setTraceSink(Engine& engine, TraceSink sink) { vmState(engine).trace = std::move(sink); }

bool hasTraceSink(Engine& engine) { return bool(vmState(engine).trace); }

void writeTrace(Engine& engine, std::string_view line) {
    VmState& vm = vmState(engine);
    if (vm.trace)
        vm.trace(line);
}

void reportWarning(Engine& engine, const char* format, std::string_view name) {
    std::string text;
    const char* at = std::strstr(format, "%s");
    if (at) {
        text.assign(format, at);
        text.append(name);
        text.append(at + 2);
    } else {
        text = format;
    }
    engine.setErrorText(text);
    writeTrace(engine, text);
}

// ============================================================================
// Raising, hook polling, collection points
// ============================================================================

namespace {

// The raise hook of the values layer: errorText already holds
// "Runtime error: ..."; a script try handler receives it as a String.
[[noreturn]] void raiseRuntimeError(Engine& engine) {
    VmState& vm = vmState(engine);
    ErrorFrame* f = engine.errorFrames;
    if (f && f->script && !vm.raising) {
        vm.raising = true;
        try {
            f->thrown = newStringFromAnsi(engine, engine.errorText);
        } catch (...) {
            f->thrown = Value::undefined();
        }
        vm.raising = false;
    }
    throw RuntimeError();
}

void traceFrames(Engine& engine, void*) {
    VmState& vm = vmState(engine);
    markCodePosition(engine, static_cast<const Insn*>(engine.codePosition));
    for (const Insn* pc : vm.suspendedPositions)
        markCodePosition(engine, pc);
    if (!engine.stackPosition)
        return;
    Value* end = engine.stackEnd();
    for (Value* p = engine.stackPosition + 1; p < end; ++p) {
        if (p->kind != Kind::ArgCount || p - 2 <= engine.stackPosition)
            continue;
        const Value& resume = p[-2];
        if (resume.kind == Kind::FrameLink)
            markCodePosition(engine, static_cast<const Insn*>(resume.payload.pointer));
    }
    for (ErrorFrame* f = engine.errorFrames; f; f = f->next)
        markValue(engine, f->thrown);
}

bool callFunctionHook(Engine& engine, const Value& thisValue, const Value& function, ArgList args,
                      Value& result) {
    return callWithThis(engine, thisValue, function, args) ? (result = engine.lastResult, true) : false;
}

} // namespace

void attachVm(Engine& engine) {
    engine.vm = std::make_shared<VmState>();
    engine.raiseHook = raiseRuntimeError;
    engine.callFunction = callFunctionHook;
    engine.addRootTracer(traceFrames, nullptr);
    VmState& vm = vmState(engine);
    for (int k = 0; k < 16; ++k) {
        const char* name = typeofName(static_cast<Kind>(k));
        static const char16_t* const kWide[] = {u"undefined", u"object", u"boolean", u"number",
                                                u"string",    u"function", u""};
        const char16_t* wide = u"";
        size_t n = std::strlen(name);
        for (const char16_t* w : kWide) {
            size_t len = std::char_traits<char16_t>::length(w);
            bool same = len == n;
            for (size_t i = 0; same && i < n; ++i)
                same = w[i] == char16_t(name[i]);
            if (same) {
                wide = w;
                break;
            }
        }
        vm.typeNames[k] = newStaticString(engine, wide, n);
        engine.addConstant(vm.typeNames[k]); // keeps the bodies alive
    }
}

void pollHook(Engine& engine) {
    if (!engine.hook)
        return;
    int r = engine.hook(2, engine.hookData);
    if (r != 0) {
        char text[64];
        std::snprintf(text, sizeof text, kErrHookBreak, r);
        engine.raiseError(text);
    }
}

void collectionPoint(Engine& engine) {
    if (engine.heap.allocatedSinceSweep() >= engine.heap.threshold) {
        engine.collectGarbage();
        pollHook(engine);
    }
}

// ============================================================================
// The interpreter loop
// ============================================================================

namespace {

struct RunState {
    Value* sp;
    Value* fp;
    const Insn* pc;
    Value result;
};

inline uint32_t passedSlots(const Value* fp) { return uint32_t(fp[-1].payload.bits); }
inline uint32_t addedSlots(const Value* fp) { return uint32_t(fp[-1].payload.bits >> 32); }
inline uint64_t argSlots(const Value* fp) { return uint64_t(passedSlots(fp)) + addedSlots(fp); }
inline WithScopeList* withList(const Value* fp) { return static_cast<WithScopeList*>(fp[-2].payload.pointer); }

inline CompiledFunction* compiledOf(const Value& f) {
    return reinterpret_cast<CompiledFunction*>(f.asFunction()->compiled);
}

// Pushes a frame below `sp` (which points at `this`) for a call of `fn`
// with `passed` argument slots; returns the new frame pointer. Raises
// "stack overflow" when the callee's stack would not fit.
inline Value* enterFrame(Engine& engine, Value* sp, Value* callerFp, const Insn* resume, CompiledFunction* fn,
                         uint32_t passed) {
    if (QUILL_UNLIKELY(sp - engine.stack < ptrdiff_t(4 + fn->maxStack) + kStackReserve))
        engine.raiseError(kErrStackOverflow);
    QUILL_ASSERT(sp < engine.stackEnd() && (!callerFp || callerFp > sp));
    Value* fp = sp - 1;
    fp[0] = Value::raw(Kind::FrameLink, uint64_t(reinterpret_cast<uintptr_t>(callerFp)));
    fp[-1] = Value::raw(Kind::ArgCount, passed);
    fp[-2] = Value::raw(Kind::FrameLink, 0);
    fp[-3] = Value::raw(Kind::FrameLink, uint64_t(reinterpret_cast<uintptr_t>(resume)));
    return fp;
}

// Appends a with-scope to the frame's list.
void appendWith(Engine& engine, Value* fp, const Value& scope) {
    WithScopeList* list = withList(fp);
    if (!list || list->count == list->capacity) {
        uint64_t cap = list ? list->capacity * 2 : 4;
        auto* grown = static_cast<WithScopeList*>(engine.gcAlloc(sizeof(WithScopeList) + cap * sizeof(Value)));
        grown->count = list ? list->count : 0;
        grown->capacity = cap;
        if (list)
            std::memcpy(grown->values(), list->values(), list->count * sizeof(Value));
        list = grown;
        fp[-2].payload.pointer = list;
    }
    list->values()[list->count++] = scope;
}

// Drops the try handlers that a returning frame leaves behind.
inline void dropFrameHandlers(Engine& engine, const Value* fp) {
    while (engine.errorFrames && engine.errorFrames->script && engine.errorFrames->fp == fp)
        popErrorFrame(engine);
}

Value globalValue(Engine& engine, SymbolId id) {
    Value v = engine.globals[id];
    if (v.isUndefined())
        v = Value::undefined();
    return v;
}

void warnUndefinedVariable(Engine& engine, SymbolId id) {
    if (engine.warningsOn())
        reportWarning(engine, kWarnUndefinedVariable, engine.nameOf(id));
}

// The argument count of a call at `sp` (sp[0] the callee or receiver,
// sp[1] the count): it must be an Integer whose arguments lie inside the
// calling frame's own values. An array literal passes the negated count of
// its elements to the Array constructor; `slots` is the magnitude.
inline bool validArgCount(const Value* sp, const Value* fp, int64_t& argc, int64_t& slots) {
    if (QUILL_UNLIKELY(!sp[1].isInteger()))
        return false;
    argc = sp[1].asInteger();
    if (QUILL_UNLIKELY(argc < 0)) {
        if (argc == std::numeric_limits<int64_t>::min())
            return false;
        slots = -argc;
    } else {
        slots = argc;
    }
    return slots <= (fp - 4) - (sp + 1);
}

[[noreturn]] void badBytecode(Engine& engine) { engine.raiseError(kErrBadBytecode); }

// Outcome of offering a method call to natives and property objects.
enum class MethodCall { Native, Script, None };

// Finds what a `callmethod` on the receiver runs. For a native answer the
// result is stored in `result`; for a script function in `function`.
MethodCall resolveMethod(Engine& engine, const Value& receiver, SymbolId id, ArgList args, Value& result,
                         Value& function) {
    switch (receiver.kind) {
    case Kind::Native: {
        NativeObject* n = receiver.asNative();
        NativeClass* cls = n->cls;
        if (offerMethod(engine, cls, receiver, id, args, result))
            return MethodCall::Native;
        ObjectRecord* holder = n->props ? n->props : cls->prototype;
        Value f;
        if (holder && objectGet(engine, holder, id, f) && f.isFunction()) {
            function = f;
            return MethodCall::Script;
        }
        return MethodCall::None;
    }
    case Kind::Object: {
        Value f;
        if (objectGet(engine, receiver.asObject(), id, f)) {
            if (f.isFunction()) {
                function = f;
                return MethodCall::Script;
            }
            return MethodCall::None;
        }
        if (offerMethod(engine, engine.classOf(Kind::Object), receiver, id, args, result))
            return MethodCall::Native;
        return MethodCall::None;
    }
    default: {
        NativeClass* cls = engine.classOf(receiver.kind);
        if (!cls)
            return MethodCall::None;
        if (offerMethod(engine, cls, receiver, id, args, result))
            return MethodCall::Native;
        if (ObjectRecord* own = ownPropertyObject(engine, receiver, false)) {
            Value f;
            if (objectGet(engine, own, id, f) && f.isFunction()) {
                function = f;
                return MethodCall::Script;
            }
        }
        return MethodCall::None;
    }
    }
}

// `callname`'s offer to one with-scope.
MethodCall offerScope(Engine& engine, const Value& scope, SymbolId id, ArgList args, Value& result,
                      Value& function) {
    switch (scope.kind) {
    case Kind::Object: {
        Value f;
        if (objectGet(engine, scope.asObject(), id, f) && f.isFunction()) {
            function = f;
            return MethodCall::Script;
        }
        if (offerMethod(engine, engine.classOf(Kind::Object), scope, id, args, result))
            return MethodCall::Native;
        return MethodCall::None;
    }
    case Kind::Native:
        if (offerMethod(engine, scope.asNative()->cls, scope, id, args, result))
            return MethodCall::Native;
        return MethodCall::None;
    default: return resolveMethod(engine, scope, id, args, result, function);
    }
}

// Runs the loop until the run's outermost frame returns or `end`.
//
// GCC merges the indirect jumps of a threaded loop into one shared jump and
// then keeps the loop's registers in vector registers around it; keeping
// the jumps apart keeps sp, fp and pc in general registers.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-gcse", "no-crossjumping", "no-tree-slp-vectorize", "no-tree-vectorize")))
#endif
void execute(Engine& engine, RunState& st) {
    // ORDER OP: the table is indexed by opcode byte.
    static const void* const labels[256] = {
#define QUILL_LABEL_BAD(n) &&op_bad,
        // 0..32
        QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(1) QUILL_LABEL_BAD(2) QUILL_LABEL_BAD(3) QUILL_LABEL_BAD(4)
        QUILL_LABEL_BAD(5) QUILL_LABEL_BAD(6) QUILL_LABEL_BAD(7) QUILL_LABEL_BAD(8) QUILL_LABEL_BAD(9)
        QUILL_LABEL_BAD(10) QUILL_LABEL_BAD(11) QUILL_LABEL_BAD(12) QUILL_LABEL_BAD(13) QUILL_LABEL_BAD(14)
        QUILL_LABEL_BAD(15) QUILL_LABEL_BAD(16) QUILL_LABEL_BAD(17) QUILL_LABEL_BAD(18) QUILL_LABEL_BAD(19)
        QUILL_LABEL_BAD(20) QUILL_LABEL_BAD(21) QUILL_LABEL_BAD(22) QUILL_LABEL_BAD(23) QUILL_LABEL_BAD(24)
        QUILL_LABEL_BAD(25) QUILL_LABEL_BAD(26) QUILL_LABEL_BAD(27) QUILL_LABEL_BAD(28) QUILL_LABEL_BAD(29)
        QUILL_LABEL_BAD(30) QUILL_LABEL_BAD(31) QUILL_LABEL_BAD(32)
#define QUILL_LABEL_OP(id, mnemonic, number, operand, pops, effect, meaning) &&op_##id,
        QUILL_OPCODES(QUILL_LABEL_OP)
#undef QUILL_LABEL_OP
#define QUILL_LABEL_FUSED(id, number, sequence) &&op_Fused##id,
        // 113..127: fused cells (FusedOp)
        QUILL_FUSED_OPCODES_LOW(QUILL_LABEL_FUSED)
        // 128..160
#define QUILL_BAD16 QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) \
    QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) \
    QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0) \
    QUILL_LABEL_BAD(0) QUILL_LABEL_BAD(0)
        QUILL_LABEL_BAD(0) QUILL_BAD16 QUILL_BAD16
        // 161..240: the same opcodes with Insn::kChecked set
#define QUILL_LABEL_CHECKED(id, mnemonic, number, operand, pops, effect, meaning) &&op_checked,
        QUILL_OPCODES(QUILL_LABEL_CHECKED)
#undef QUILL_LABEL_CHECKED
        // 241..254: fused cells (FusedOp)
        QUILL_FUSED_OPCODES_HIGH(QUILL_LABEL_FUSED)
#undef QUILL_LABEL_FUSED
        // 255
        QUILL_LABEL_BAD(0)
#undef QUILL_BAD16
#undef QUILL_LABEL_BAD
    };
    static_assert(sizeof(labels) / sizeof(labels[0]) == 256);

    Engine& e = engine;
    Value* sp = st.sp;
    Value* fp = st.fp;
    const Insn* pc = st.pc;
    VmState& vm = vmState(e);
    Value callee;      // the function a call instruction enters
    int64_t argc = 0; // and the number of its arguments
    int64_t argSlotCount = 0; // the values argc stands for (|argc|)

#define DISPATCH() goto* labels[pc->word & 0xFF]
#define NEXT()                                                                                                 \
    do {                                                                                                       \
        ++pc;                                                                                                  \
        DISPATCH();                                                                                            \
    } while (0)
#define ARG (pc->arg)
#define PUSH(v) (*--sp = (v))
// Stores that write the kind and the payload only (a whole-Value store
// would also carry the padding between them along).
#define SET_INT(slot, x)                                                                                       \
    do {                                                                                                       \
        Value& s_ = (slot);                                                                                    \
        s_.kind = Kind::Integer;                                                                               \
        s_.payload.integer = (x);                                                                              \
    } while (0)
#define SET_BOOL(slot, b)                                                                                      \
    do {                                                                                                       \
        Value& s_ = (slot);                                                                                    \
        s_.kind = Kind::Boolean;                                                                               \
        s_.payload.bits = (b) ? 1 : 0;                                                                         \
    } while (0)
// Copies a Value as two 8-byte words: the values the loop moves were
// mostly just written as two words, and a 16-byte load of them would wait
// for both stores.
#define COPY_VALUE(dst, src)                                                                                   \
    do {                                                                                                       \
        uint64_t w0_, w1_;                                                                                     \
        std::memcpy(&w0_, &(src), 8);                                                                          \
        std::memcpy(&w1_, reinterpret_cast<const char*>(&(src)) + 8, 8);                                       \
        std::memcpy(static_cast<void*>(&(dst)), &w0_, 8);                                                     \
        std::memcpy(reinterpret_cast<char*>(static_cast<void*>(&(dst))) + 8, &w1_, 8);                        \
    } while (0)
#define PUSH_INT(x)                                                                                            \
    do {                                                                                                       \
        --sp;                                                                                                  \
        SET_INT(sp[0], (x));                                                                                   \
    } while (0)
#define SAVE() (e.stackPosition = sp - 1, e.codePosition = pc)
#define TICK()                                                                                                 \
    do {                                                                                                       \
        if (QUILL_UNLIKELY(--vm.ticks == 0)) {                                                                 \
            vm.ticks = VmState::kTickInterval;                                                                 \
            SAVE();                                                                                            \
            pollHook(e);                                                                                       \
        }                                                                                                      \
    } while (0)
// Jumps by the operand; backward jumps count toward the hook's polling.
#define JUMP()                                                                                                 \
    do {                                                                                                       \
        int32_t d_ = ARG;                                                                                      \
        if (d_ < 0)                                                                                            \
            TICK();                                                                                            \
        pc += 1 + d_;                                                                                          \
        DISPATCH();                                                                                            \
    } while (0)
#define COLLECT()                                                                                              \
    do {                                                                                                       \
        if (QUILL_UNLIKELY(e.heap.allocatedSinceSweep() >= e.heap.threshold)) {                                \
            SAVE();                                                                                            \
            collectionPoint(e);                                                                                \
        }                                                                                                      \
    } while (0)
// The moves of setlocal, setglobal and slide, each with the operand given.
#define SET_LOCAL(arg)                                                                                         \
    do {                                                                                                       \
        Value* slot_ = fp - 4 - uint32_t(arg);                                                                 \
        if (QUILL_LIKELY(slot_ > sp))                                                                          \
            COPY_VALUE(*slot_, sp[0]);                                                                         \
        ++sp;                                                                                                  \
    } while (0)
#define SET_GLOBAL(arg)                                                                                        \
    do {                                                                                                       \
        Value v_ = *sp++;                                                                                      \
        if (v_.isUndefined())                                                                                  \
            v_ = Value::undefined();                                                                           \
        e.globals[arg] = v_;                                                                                   \
    } while (0)
#define SLIDE(n)                                                                                               \
    do {                                                                                                       \
        uint32_t n_ = uint32_t(n);                                                                             \
        COPY_VALUE(sp[n_], sp[0]);                                                                             \
        sp += n_;                                                                                              \
    } while (0)
// A collection point whose value on top the next instructions only move
// into a local or a global (`x = x + y`, `x = f(...)`: an optional `slide`,
// then a plain `setlocal` or `setglobal`; a checked cell is left to run in
// turn): they run first, so the value the store replaces is not kept by
// this collection for one more round. pc is left on the store.
#define STORE_THEN_COLLECT()                                                                                   \
    do {                                                                                                       \
        if (QUILL_UNLIKELY(e.heap.allocatedSinceSweep() >= e.heap.threshold)) {                                \
            const Insn* q_ = pc + 1;                                                                           \
            uint32_t slide_ = 0;                                                                               \
            if (cellOpcode(*q_) == uint8_t(Op::Slide))                                                         \
                slide_ = uint32_t((q_++)->arg);                                                                \
            uint32_t op_ = cellOpcode(*q_);                                                                    \
            if (op_ == uint8_t(Op::SetLocal) || op_ == uint8_t(Op::SetGlobal)) {                               \
                SLIDE(slide_);                                                                                 \
                if (op_ == uint8_t(Op::SetLocal))                                                              \
                    SET_LOCAL(q_->arg);                                                                        \
                else                                                                                           \
                    SET_GLOBAL(q_->arg);                                                                       \
                pc = q_;                                                                                       \
            }                                                                                                  \
            SAVE();                                                                                            \
            collectionPoint(e);                                                                                \
        }                                                                                                      \
    } while (0)

    DISPATCH();

op_bad:
    SAVE();
    badBytecode(e);

    // An instruction that some path reaches with too few values pushed.
op_checked: {
    Op real = static_cast<Op>(pc->word & 0x7F);
    if (QUILL_UNLIKELY(sp + stackNeeds(real, ARG) > fp - 3)) {
        SAVE();
        badBytecode(e);
    }
    goto* labels[pc->word & 0x7F];
}

    // ---- variables ------------------------------------------------------------
op_GetGlobal: {
    --sp;
    COPY_VALUE(sp[0], e.globals[uint32_t(ARG)]);
    if (QUILL_UNLIKELY(sp[0].isUndefined())) {
        sp[0] = Value::undefined();
        SAVE();
        warnUndefinedVariable(e, SymbolId(ARG));
    }
    NEXT();
}
op_SetGlobal: {
    SET_GLOBAL(ARG);
    NEXT();
}
op_GetVar: {
    SymbolId id = SymbolId(ARG);
    SAVE();
    if (WithScopeList* list = withList(fp)) {
        for (uint64_t i = 0; i < list->count; ++i) {
            Value found;
            Value scope = list->values()[i];
            if (readProperty(e, scope, id, found)) {
                PUSH(found);
                // A property holding Undefined warns as an undefined global does.
                if (found.isUndefined()) {
                    SAVE();
                    warnUndefinedVariable(e, id);
                }
                NEXT();
            }
            list = withList(fp);
            if (!list)
                break;
        }
    }
    Value v = globalValue(e, id);
    PUSH(v);
    if (v.isUndefined()) {
        SAVE();
        warnUndefinedVariable(e, id);
    }
    NEXT();
}
op_SetVar: {
    SymbolId id = SymbolId(ARG);
    Value v = sp[0];
    if (v.isUndefined())
        v = Value::undefined();
    sp[0] = v; // stays on the stack (and so alive) while scopes are tried
    bool stored = false;
    for (uint64_t i = 0;; ++i) {
        WithScopeList* list = withList(fp);
        if (!list || i >= list->count)
            break;
        if (i > 0)
            COLLECT();
        SAVE();
        Value scope = list->values()[i];
        if (putPropertyInScope(e, scope, id, v)) {
            stored = true;
            break;
        }
    }
    if (!stored)
        e.globals[id] = v;
    ++sp;
    NEXT();
}
op_With: {
    Value scope = sp[0];
    SAVE();
    appendWith(e, fp, scope);
    ++sp;
    NEXT();
}
op_Unwith: {
    if (WithScopeList* list = withList(fp))
        list->count -= std::min<uint64_t>(list->count, uint32_t(ARG));
    NEXT();
}
op_GetLocal: {
    const Value* slot = fp - 4 - uint32_t(ARG);
    --sp;
    if (QUILL_LIKELY(slot > sp))
        COPY_VALUE(sp[0], *slot);
    else
        sp[0] = Value::undefined();
    NEXT();
}
op_SetLocal: {
    SET_LOCAL(ARG);
    NEXT();
}
op_GetArg: {
    uint32_t n = uint32_t(ARG);
    --sp;
    if (QUILL_LIKELY(n < argSlots(fp)))
        COPY_VALUE(sp[0], fp[1 + n]);
    else
        sp[0] = Value::undefined();
    NEXT();
}
op_SetArg: {
    Value v = *sp++;
    uint32_t n = uint32_t(ARG);
    if (QUILL_LIKELY(n < argSlots(fp)))
        fp[1 + n] = v;
    NEXT();
}
op_GetArgN: {
    Value& top = sp[0];
    if (top.isInteger() && top.asInteger() >= 0 && uint64_t(top.asInteger()) < argSlots(fp))
        top = fp[1 + top.asInteger()];
    else
        top = Value::undefined();
    NEXT();
}
op_Args:
    ++sp; // the passed count the prologue computed; the frame records it
args_body: {
    uint32_t passed = passedSlots(fp);
    uint32_t want = uint32_t(ARG);
    if (passed < want && addedSlots(fp) == 0) {
        uint32_t d = want - passed;
        size_t count = size_t((fp + passed) - sp) + 1;
        std::memmove(sp - d, sp, count * sizeof(Value));
        // The frame's catch points move with it (an image may pad the
        // arguments after a try).
        for (ErrorFrame* f = e.errorFrames; f && f->script && f->fp == fp; f = f->next) {
            f->fp -= d;
            f->sp -= d;
        }
        sp -= d;
        fp -= d;
        for (uint32_t k = passed; k < want; ++k)
            fp[1 + k] = Value::undefined();
        fp[-1].payload.bits = uint64_t(passed) | uint64_t(d) << 32;
    }
    NEXT();
}
op_Locals: {
    uint32_t n = uint32_t(ARG);
    if (QUILL_UNLIKELY(sp - e.stack < ptrdiff_t(n) + kStackReserve)) {
        SAVE();
        e.raiseError(kErrStackOverflow);
    }
    for (uint32_t i = 0; i < n; ++i)
        PUSH(Value::undefined());
    NEXT();
}
op_DelGlobal: {
    deleteVariable(e.globals[ARG]);
    sp[0] = Value::undefined();
    NEXT();
}
op_DelLocal: {
    Value* slot = fp - 4 - uint32_t(ARG);
    if (slot > sp) // sp[0] is the null the compiler pushed
        deleteVariable(*slot);
    sp[0] = Value::undefined();
    NEXT();
}
op_DelArg: {
    uint32_t n = uint32_t(ARG);
    if (n < argSlots(fp))
        deleteVariable(fp[1 + n]);
    sp[0] = Value::undefined();
    NEXT();
}
op_DelVar: {
    SymbolId id = SymbolId(ARG);
    SAVE();
    if (WithScopeList* list = withList(fp)) {
        for (uint64_t i = 0; i < list->count; ++i) {
            Value scope = list->values()[i];
            if (scope.isObject() && objectHas(e, scope.asObject(), id)) {
                objectDelete(e, scope.asObject(), id);
                break;
            }
        }
    }
    sp[0] = Value::undefined();
    NEXT();
}

    // ---- constants and stack shuffles ---------------------------------------------
op_PushInt:
    PUSH_INT(ARG);
    NEXT();
op_Push0:
    PUSH_INT(0);
    NEXT();
op_Push1:
    PUSH_INT(1);
    NEXT();
op_Push2:
    PUSH_INT(2);
    NEXT();
op_Push3:
    PUSH_INT(3);
    NEXT();
op_PushUndef:
    PUSH(Value::undefined());
    NEXT();
op_PushFalse:
    PUSH(Value::boolean(false));
    NEXT();
op_PushTrue:
    PUSH(Value::boolean(true));
    NEXT();
op_PushNull:
    PUSH(Value::null());
    NEXT();
op_PushConst:
    PUSH(e.constants[uint32_t(ARG)]);
    NEXT();
op_Pop:
    ++sp;
    NEXT();
op_PopN:
    sp += uint32_t(ARG);
    NEXT();
op_Dup:
    --sp;
    COPY_VALUE(sp[0], sp[1]);
    NEXT();
op_Swap: {
    Value t;
    COPY_VALUE(t, sp[0]);
    COPY_VALUE(sp[0], sp[1]);
    COPY_VALUE(sp[1], t);
    NEXT();
}
op_Slide: {
    SLIDE(ARG);
    NEXT();
}
op_Rot: {
    int32_t n = ARG;
    if (n >= 2) {
        Value t = sp[0];
        std::memmove(sp, sp + 1, size_t(n - 1) * sizeof(Value));
        sp[n - 1] = t;
    } else if (n <= -2) {
        int32_t m = -n;
        Value t = sp[m - 1];
        std::memmove(sp + 1, sp, size_t(m - 1) * sizeof(Value));
        sp[0] = t;
    }
    NEXT();
}
op_Nop:
    NEXT();

    // ---- arithmetic ---------------------------------------------------------------
#define QUILL_INT_BINARY(label, opName, expr)                                                                  \
    label : {                                                                                                  \
        Value& a = sp[1];                                                                                      \
        const Value& b = sp[0];                                                                                \
        if (QUILL_LIKELY(a.isInteger() && b.isInteger())) {                                                    \
            int64_t x = a.asInteger(), y = b.asInteger();                                                      \
            SET_INT(a, expr);                                                                                  \
            ++sp;                                                                                              \
            NEXT();                                                                                            \
        }                                                                                                      \
        SAVE();                                                                                                \
        Value r = arithmetic(e, ArithOp::opName, a, b);                                                        \
        sp[1] = r;                                                                                             \
        ++sp;                                                                                                  \
        NEXT();                                                                                                \
    }
    QUILL_INT_BINARY(op_Sub, Sub, int64_t(uint64_t(x) - uint64_t(y)))
    QUILL_INT_BINARY(op_Mul, Mul, int64_t(uint64_t(x) * uint64_t(y)))
    QUILL_INT_BINARY(op_And, And, x & y)
    QUILL_INT_BINARY(op_Or, Or, x | y)
    QUILL_INT_BINARY(op_Xor, Xor, x ^ y)
#undef QUILL_INT_BINARY
op_Add: {
    Value& a = sp[1];
    const Value& b = sp[0];
    if (QUILL_LIKELY(a.isInteger() && b.isInteger())) {
        a.payload.integer = int64_t(uint64_t(a.asInteger()) + uint64_t(b.asInteger()));
        ++sp;
        NEXT();
    }
    SAVE();
    Value r = arithmetic(e, ArithOp::Add, a, b);
    sp[1] = r;
    ++sp;
    STORE_THEN_COLLECT();
    NEXT();
}

// Operators with no integer fast path: the general arithmetic on both values.
#define QUILL_SLOW_BINARY(label, opName)                                                                       \
    label : {                                                                                                  \
        SAVE();                                                                                                \
        Value r = arithmetic(e, ArithOp::opName, sp[1], sp[0]);                                                \
        sp[1] = r;                                                                                             \
        ++sp;                                                                                                  \
        NEXT();                                                                                                \
    }
QUILL_SLOW_BINARY(op_Div, Div)
QUILL_SLOW_BINARY(op_Mod, Mod)
QUILL_SLOW_BINARY(op_Shl, Shl)
QUILL_SLOW_BINARY(op_Shr, Shr)
QUILL_SLOW_BINARY(op_Ushr, Ushr)
#undef QUILL_SLOW_BINARY
op_Neg: {
    if (sp[0].isInteger()) {
        sp[0] = Value::integer(int64_t(0 - uint64_t(sp[0].asInteger())));
        NEXT();
    }
    SAVE();
    Value r = negate(e, sp[0]);
    sp[0] = r;
    NEXT();
}
op_Not:
    sp[0] = Value::boolean(!toBoolean(sp[0]));
    NEXT();
op_Inc:
    if (QUILL_LIKELY(sp[0].isInteger())) {
        sp[0].payload.integer = int64_t(uint64_t(sp[0].asInteger()) + 1);
    } else {
        SAVE();
        Value r = arithmetic(e, ArithOp::Add, sp[0], Value::integer(1));
        sp[0] = r;
    }
    NEXT();
op_Add2:
    if (QUILL_LIKELY(sp[0].isInteger())) {
        sp[0].payload.integer = int64_t(uint64_t(sp[0].asInteger()) + 2);
    } else {
        SAVE();
        Value r = arithmetic(e, ArithOp::Add, sp[0], Value::integer(2));
        sp[0] = r;
    }
    NEXT();

    // ---- comparison -----------------------------------------------------------------
#define QUILL_COMPARE(label, opName, cmp)                                                                      \
    label : {                                                                                                  \
        Value& a = sp[1];                                                                                      \
        const Value& b = sp[0];                                                                                \
        if (QUILL_LIKELY(a.isInteger() && b.isInteger())) {                                                    \
            bool r_ = a.asInteger() cmp b.asInteger();                                                         \
            SET_BOOL(a, r_);                                                                                   \
            ++sp;                                                                                              \
            NEXT();                                                                                            \
        }                                                                                                      \
        SAVE();                                                                                                \
        Value r = compare(e, CompareOp::opName, a, b);                                                         \
        sp[1] = r;                                                                                             \
        ++sp;                                                                                                  \
        NEXT();                                                                                                \
    }
    QUILL_COMPARE(op_Lt, Lt, <)
    QUILL_COMPARE(op_Le, Le, <=)
    QUILL_COMPARE(op_Gt, Gt, >)
    QUILL_COMPARE(op_Ge, Ge, >=)
#undef QUILL_COMPARE
op_StrictEq: {
    bool r = strictEquals(sp[1], sp[0]);
    sp[1] = Value::boolean(r);
    ++sp;
    NEXT();
}
op_StrictNe: {
    bool r = !strictEquals(sp[1], sp[0]);
    sp[1] = Value::boolean(r);
    ++sp;
    NEXT();
}
op_Eq: {
    SAVE();
    bool r = looseEquals(e, sp[1], sp[0]);
    sp[1] = Value::boolean(r);
    ++sp;
    NEXT();
}
op_Ne: {
    SAVE();
    bool r = !looseEquals(e, sp[1], sp[0]);
    sp[1] = Value::boolean(r);
    ++sp;
    NEXT();
}
op_Typeof: {
    int k = int(sp[0].kind);
    sp[0] = (k >= 0 && k < 16) ? vm.typeNames[k] : vm.typeNames[8];
    COLLECT();
    NEXT();
}

    // ---- fused cells -------------------------------------------------------------------
    // Each runs its whole sequence when the operands are Integers that lie
    // where the plain instructions would read them without touching the
    // values pushed meanwhile (a local at or above the starting sp); any
    // other case runs the first instruction alone, and the rest follow.
#define FUSED_OPERAND(cell, out)                                                                               \
    [&](const Insn& c_, int64_t& o_) {                                                                         \
        switch (static_cast<Op>(c_.word & 0x7F)) {                                                             \
        case Op::GetLocal: {                                                                                   \
            const Value* s_ = fp - 4 - uint32_t(c_.arg);                                                       \
            if (s_ < sp || !s_->isInteger())                                                                   \
                return false;                                                                                  \
            o_ = s_->asInteger();                                                                              \
            return true;                                                                                       \
        }                                                                                                      \
        case Op::GetArg: {                                                                                     \
            uint32_t n_ = uint32_t(c_.arg);                                                                    \
            if (n_ >= argSlots(fp) || !fp[1 + n_].isInteger())                                                 \
                return false;                                                                                  \
            o_ = fp[1 + n_].asInteger();                                                                       \
            return true;                                                                                       \
        }                                                                                                      \
        case Op::PushConst: {                                                                                  \
            const Value& k_ = e.constants[uint32_t(c_.arg)];                                                   \
            if (!k_.isInteger())                                                                               \
                return false;                                                                                  \
            o_ = k_.asInteger();                                                                               \
            return true;                                                                                       \
        }                                                                                                      \
        default: o_ = c_.arg; return true; /* pushint, push0..push3 */                                         \
        }                                                                                                      \
    }(cell, out)
#define FUSED_LOCAL(x)                                                                                         \
    [&](int64_t& o_) {                                                                                         \
        const Value* s_ = fp - 4 - uint32_t(ARG);                                                              \
        if (s_ < sp || !s_->isInteger())                                                                       \
            return false;                                                                                      \
        o_ = s_->asInteger();                                                                                  \
        return true;                                                                                           \
    }(x)
#define FUSED_ARG(x)                                                                                           \
    [&](int64_t& o_) {                                                                                         \
        uint32_t n_ = uint32_t(ARG);                                                                           \
        if (n_ >= argSlots(fp) || !fp[1 + n_].isInteger())                                                     \
            return false;                                                                                      \
        o_ = fp[1 + n_].asInteger();                                                                           \
        return true;                                                                                           \
    }(x)
#define FUSED_COMPARE(cell, x, y)                                                                              \
    [](const Insn& c_, int64_t a_, int64_t b_) {                                                               \
        switch (static_cast<Op>(c_.word & 0x7F)) {                                                             \
        case Op::Lt: return a_ < b_;                                                                           \
        case Op::Le: return a_ <= b_;                                                                          \
        case Op::Gt: return a_ > b_;                                                                           \
        default: return a_ >= b_;                                                                              \
        }                                                                                                      \
    }(cell, x, y)
#define FUSED_ARITH(cell, x, y)                                                                                \
    (static_cast<Op>((cell).word & 0x7F) == Op::Add ? int64_t(uint64_t(x) + uint64_t(y))                      \
                                                     : int64_t(uint64_t(x) - uint64_t(y)))
// Compare-and-branch and add/subtract on a local or an argument: FETCH reads
// it, FALLBACK runs the unfused cells when an operand is not an integer.
#define FUSED_CMP_JF(FETCH, FALLBACK)                                                                          \
    {                                                                                                          \
        int64_t x, y;                                                                                          \
        if (QUILL_LIKELY(FETCH(x) && FUSED_OPERAND(pc[1], y))) {                                               \
            bool r = FUSED_COMPARE(pc[2], x, y);                                                               \
            pc += 3;                                                                                           \
            if (!r)                                                                                            \
                JUMP();                                                                                        \
            NEXT();                                                                                            \
        }                                                                                                      \
        goto FALLBACK;                                                                                         \
    }
#define FUSED_ARITH_PUSH(FETCH, FALLBACK)                                                                      \
    {                                                                                                          \
        int64_t x, y;                                                                                          \
        if (QUILL_LIKELY(FETCH(x) && FUSED_OPERAND(pc[1], y))) {                                               \
            PUSH_INT(FUSED_ARITH(pc[2], x, y));                                                                \
            pc += 2;                                                                                           \
            NEXT();                                                                                            \
        }                                                                                                      \
        goto FALLBACK;                                                                                         \
    }
op_FusedCmpJfLocal:
    FUSED_CMP_JF(FUSED_LOCAL, op_GetLocal)
op_FusedCmpJfArg:
    FUSED_CMP_JF(FUSED_ARG, op_GetArg)
op_FusedArithSetLocal: {
    int64_t x, y;
    Value* dst = fp - 4 - uint32_t(pc[3].arg);
    if (QUILL_LIKELY(dst >= sp && FUSED_LOCAL(x) && FUSED_OPERAND(pc[1], y))) {
        SET_INT(*dst, FUSED_ARITH(pc[2], x, y));
        pc += 3;
        NEXT();
    }
    goto op_GetLocal;
}
op_FusedArithLocal:
    FUSED_ARITH_PUSH(FUSED_LOCAL, op_GetLocal)
op_FusedArithArg:
    FUSED_ARITH_PUSH(FUSED_ARG, op_GetArg)

    // Typed cells: the opcode tells where the operands lie and which
    // operator applies; an integer operand is its cell's operand.
#define INT_OPERAND(y) ((y) = int64_t(pc[1].arg), true)
#define LOCAL_OPERAND(y)                                                                                       \
    [&](int64_t& o_) {                                                                                         \
        const Value* s_ = fp - 4 - uint32_t(pc[1].arg);                                                        \
        if (s_ < sp || !s_->isInteger())                                                                       \
            return false;                                                                                      \
        o_ = s_->asInteger();                                                                                  \
        return true;                                                                                           \
    }(y)
#define PLUS(x, y) int64_t(uint64_t(x) + uint64_t(y))
#define MINUS(x, y) int64_t(uint64_t(x) - uint64_t(y))
#define TYPED_CMP_JF(label, FETCH, cmp, FALLBACK)                                                              \
    label : {                                                                                                  \
        int64_t x;                                                                                             \
        if (QUILL_LIKELY(FETCH(x))) {                                                                          \
            bool r = x cmp int64_t(pc[1].arg);                                                                 \
            pc += 3;                                                                                           \
            if (!r)                                                                                            \
                JUMP();                                                                                        \
            NEXT();                                                                                            \
        }                                                                                                      \
        goto FALLBACK;                                                                                         \
    }
    TYPED_CMP_JF(op_FusedLtJfLocalInt, FUSED_LOCAL, <, op_GetLocal)
    TYPED_CMP_JF(op_FusedLeJfLocalInt, FUSED_LOCAL, <=, op_GetLocal)
    TYPED_CMP_JF(op_FusedGtJfLocalInt, FUSED_LOCAL, >, op_GetLocal)
    TYPED_CMP_JF(op_FusedGeJfLocalInt, FUSED_LOCAL, >=, op_GetLocal)
    TYPED_CMP_JF(op_FusedLtJfArgInt, FUSED_ARG, <, op_GetArg)
    TYPED_CMP_JF(op_FusedLeJfArgInt, FUSED_ARG, <=, op_GetArg)
    TYPED_CMP_JF(op_FusedGtJfArgInt, FUSED_ARG, >, op_GetArg)
    TYPED_CMP_JF(op_FusedGeJfArgInt, FUSED_ARG, >=, op_GetArg)
#define TYPED_ARITH_SET(label, OPERAND, ARITH)                                                                 \
    label : {                                                                                                  \
        int64_t x, y;                                                                                          \
        Value* dst = fp - 4 - uint32_t(pc[3].arg);                                                             \
        if (QUILL_LIKELY(dst >= sp && FUSED_LOCAL(x) && OPERAND(y))) {                                         \
            SET_INT(*dst, ARITH(x, y));                                                                        \
            pc += 3;                                                                                           \
            NEXT();                                                                                            \
        }                                                                                                      \
        goto op_GetLocal;                                                                                      \
    }
    TYPED_ARITH_SET(op_FusedAddSetLocalInt, INT_OPERAND, PLUS)
    TYPED_ARITH_SET(op_FusedSubSetLocalInt, INT_OPERAND, MINUS)
    TYPED_ARITH_SET(op_FusedAddSetLocalLocal, LOCAL_OPERAND, PLUS)
    TYPED_ARITH_SET(op_FusedSubSetLocalLocal, LOCAL_OPERAND, MINUS)

    // Appends into a local (script/vm/Code.h). Another cell's read of the
    // local may hand its string on, which is then no longer held alone.
op_FusedGetLocalShared: {
    const Value* slot = fp - 4 - uint32_t(ARG);
    if (slot >= sp && slot->isString())
        slot->asString()->flags &= ~StringBody::kSoleHolder;
    goto op_GetLocal;
}
    // The add of `s = s + value`; the setlocal cell after it names the local.
op_FusedAppendSetLocal: {
    Value* slot = fp - 4 - uint32_t(pc[1].arg);
    const Value& s = sp[1];
    if (QUILL_UNLIKELY(!s.isString() || slot <= sp + 1))
        goto op_Add;
    StringBody* head = s.asString();
    if (slot->isString() && slot->asString() == head && head->isSoleHeld() && appendInPlace(e, head, sp[0])) {
        sp += 2;
        pc += 1;
        NEXT();
    }
    SAVE();
    Value r = appendForLocal(e, s, sp[0]);
    *slot = r;
    sp += 2;
    pc += 1;
    COLLECT();
    NEXT();
}
#define TYPED_ARITH_PUSH(label, FETCH, ARITH, FALLBACK)                                                        \
    label : {                                                                                                  \
        int64_t x;                                                                                             \
        if (QUILL_LIKELY(FETCH(x))) {                                                                          \
            PUSH_INT(ARITH(x, int64_t(pc[1].arg)));                                                            \
            pc += 2;                                                                                           \
            NEXT();                                                                                            \
        }                                                                                                      \
        goto FALLBACK;                                                                                         \
    }
    TYPED_ARITH_PUSH(op_FusedAddLocalInt, FUSED_LOCAL, PLUS, op_GetLocal)
    TYPED_ARITH_PUSH(op_FusedSubLocalInt, FUSED_LOCAL, MINUS, op_GetLocal)
    TYPED_ARITH_PUSH(op_FusedAddArgInt, FUSED_ARG, PLUS, op_GetArg)
    TYPED_ARITH_PUSH(op_FusedSubArgInt, FUSED_ARG, MINUS, op_GetArg)
    // A counted loop's step, its jump back and its test in one cell: the
    // local steps by the integer, then the test's integer decides between
    // the loop body (after the test's jf) and the jf's target.
#define INC_LOOP(label, cmp)                                                                                   \
    label : {                                                                                                  \
        Value* slot = fp - 4 - uint32_t(ARG);                                                                  \
        if (QUILL_LIKELY(slot >= sp && slot->isInteger())) {                                                   \
            int64_t x = PLUS(slot->asInteger(), pc[1].arg);                                                    \
            SET_INT(*slot, x);                                                                                 \
            pc += 4; /* the jmp */                                                                             \
            const Insn* test = pc + 1 + ARG;                                                                   \
            if (ARG < 0)                                                                                       \
                TICK();                                                                                        \
            if (x cmp int64_t(test[1].arg)) {                                                                  \
                pc = test + 4;                                                                                 \
                DISPATCH();                                                                                    \
            }                                                                                                  \
            pc = test + 3; /* the jf, taken */                                                                 \
            JUMP();                                                                                            \
        }                                                                                                      \
        goto op_GetLocal;                                                                                      \
    }
    INC_LOOP(op_FusedIncLoopLt, <)
    INC_LOOP(op_FusedIncLoopLe, <=)
op_FusedPrologue:
    // getarg 1; add2; args n: the count the first two push is popped
    // unread by args, so the cell runs args' work alone.
    if (QUILL_LIKELY(argSlots(fp) > 1 && fp[2].isInteger())) {
        pc += 2;
        goto args_body;
    }
    goto op_GetArg;

    // Element cells: the locals are read where they lie, and the sequence
    // runs at once when the array's compact form answers without
    // allocating (arrayCompactSlot, arrayCompactStoreSlot); any other case
    // runs the first getlocal alone, and the rest follow.
op_FusedSetElemLocals: {
    const Value* v = fp - 4 - uint32_t(ARG);
    const Value* array = fp - 4 - uint32_t(pc[1].arg);
    const Value* index = fp - 4 - uint32_t(pc[2].arg);
    if (QUILL_LIKELY(v >= sp && array >= sp && index >= sp && array->kind == Kind::Array &&
                     index->kind == Kind::Integer)) {
        if (Value* slot = arrayCompactStoreSlot(array->payload.array, uint64_t(index->payload.integer))) {
            // The kind and the payload as they were written (a just
            // stepped counter has its kind and payload stored apart).
            slot->kind = v->kind;
            slot->payload.bits = v->payload.bits;
            pc += 3; // the setelem, which is a collection point
            COLLECT();
            NEXT();
        }
    }
    goto op_GetLocal;
}
op_FusedGetElemLocals: {
    const Value* array = fp - 4 - uint32_t(ARG);
    const Value* index = fp - 4 - uint32_t(pc[1].arg);
    if (QUILL_LIKELY(array >= sp && index >= sp && array->kind == Kind::Array && index->kind == Kind::Integer)) {
        if (const Value* v = arrayCompactSlot(array->payload.array, uint64_t(index->payload.integer))) {
            --sp;
            COPY_VALUE(sp[0], *v);
            pc += 2;
            NEXT();
        }
    }
    goto op_GetLocal;
}
op_FusedAddElemSetLocal: {
    const Value* x = fp - 4 - uint32_t(ARG);
    const Value* array = fp - 4 - uint32_t(pc[1].arg);
    const Value* index = fp - 4 - uint32_t(pc[2].arg);
    Value* dst = fp - 4 - uint32_t(pc[5].arg);
    if (QUILL_LIKELY(x >= sp && array >= sp && index >= sp && dst >= sp && x->kind == Kind::Integer &&
                     array->kind == Kind::Array && index->kind == Kind::Integer)) {
        const Value* v = arrayCompactSlot(array->payload.array, uint64_t(index->payload.integer));
        if (v && v->kind == Kind::Integer) {
            SET_INT(*dst, PLUS(x->asInteger(), v->asInteger()));
            pc += 5;
            NEXT();
        }
    }
    goto op_GetLocal;
}
#undef INT_OPERAND
#undef LOCAL_OPERAND
#undef PLUS
#undef MINUS
#undef TYPED_CMP_JF
#undef TYPED_ARITH_SET
#undef TYPED_ARITH_PUSH
#undef INC_LOOP
#undef FUSED_CMP_JF
#undef FUSED_ARITH_PUSH
#undef FUSED_OPERAND
#undef FUSED_LOCAL
#undef FUSED_ARG
#undef FUSED_COMPARE
#undef FUSED_ARITH

    // ---- jumps ----------------------------------------------------------------------
op_Jmp:
    JUMP();
op_Jt: {
    bool taken = uint32_t(sp[0].payload.bits) != 0;
    ++sp;
    if (taken)
        JUMP();
    NEXT();
}
op_Jf: {
    bool taken = uint32_t(sp[0].payload.bits) == 0;
    ++sp;
    if (taken)
        JUMP();
    NEXT();
}
op_JTrue: {
    bool taken = toBoolean(sp[0]);
    ++sp;
    if (taken)
        JUMP();
    NEXT();
}
op_JFalse: {
    bool taken = !toBoolean(sp[0]);
    ++sp;
    if (taken)
        JUMP();
    NEXT();
}

    // ---- properties and elements --------------------------------------------------------
op_GetProp: {
    SymbolId id = SymbolId(ARG);
    Value out;
    bool found;
    if (QUILL_LIKELY(sp[0].isObject())) {
        ObjectRecord* o = sp[0].asObject();
        if (PropertySlot* slot = cachedOwnSlot(o, id, CompiledFunction::cacheOf(pc))) {
            sp[0] = slot->value();
            NEXT();
        }
        found = objectGetCached(e, o, id, CompiledFunction::cacheOf(pc), out);
    } else {
        SAVE();
        found = readProperty(e, sp[0], id, out);
    }
    sp[0] = out;
    if (QUILL_UNLIKELY(!found)) {
        SAVE();
        reportWarning(e, kWarnUndefinedProperty, e.nameOf(id));
    }
    NEXT();
}
op_SetProp: {
    SymbolId id = SymbolId(ARG);
    if (QUILL_LIKELY(sp[0].isObject())) {
        ObjectRecord* o = sp[0].asObject();
        uint32_t& cache = CompiledFunction::cacheOf(pc);
        if (PropertySlot* slot = cachedOwnSlot(o, id, cache)) {
            slot->setValue(sp[1]);
            sp += 2;
            COLLECT();
            NEXT();
        }
        SAVE();
        objectPutCached(e, o, id, cache, sp[1]);
    } else {
        SAVE();
        writeProperty(e, sp[0], id, sp[1]);
    }
    sp += 2;
    COLLECT();
    NEXT();
}
op_GetElem: {
    if (sp[1].kind == Kind::Array && sp[0].kind == Kind::Integer) {
        if (const Value* v = arrayCompactSlot(sp[1].payload.array, uint64_t(sp[0].payload.integer))) {
            COPY_VALUE(sp[1], *v);
            ++sp;
            NEXT();
        }
    }
    SAVE();
    Value r = readElement(e, sp[1], sp[0]);
    sp[1] = r;
    ++sp;
    NEXT();
}
op_SetElem: {
    if (sp[1].kind == Kind::Array && sp[0].kind == Kind::Integer) {
        // Replacing an element of a compact array, or appending at its top
        // while its block has room, allocates nothing.
        if (Value* slot = arrayCompactStoreSlot(sp[1].payload.array, uint64_t(sp[0].payload.integer))) {
            slot->kind = sp[2].kind;
            slot->payload.bits = sp[2].payload.bits;
            sp += 3;
            COLLECT();
            NEXT();
        }
    }
    SAVE();
    writeElement(e, sp[1], sp[0], sp[2]);
    sp += 3;
    COLLECT();
    NEXT();
}
op_DelProp:
    SAVE();
    deleteProperty(e, sp[0], SymbolId(ARG));
    sp[0] = Value::undefined();
    NEXT();
op_DelElem:
    SAVE();
    deleteElement(e, sp[1], sp[0]);
    ++sp;
    sp[0] = Value::undefined();
    NEXT();
op_NextKey: {
    SAVE();
    Value key;
    bool more = nextKey(e, sp[1], sp[0], key);
    sp[1] = key;
    sp[0] = Value::boolean(more);
    NEXT();
}

    // ---- calls ----------------------------------------------------------------------------
op_Call: {
    if (QUILL_UNLIKELY(!validArgCount(sp, fp, argc, argSlotCount))) {
        SAVE();
        badBytecode(e);
    }
    COPY_VALUE(callee, sp[0]);
    sp[0] = Value::null();
    if (QUILL_LIKELY(callee.isFunction()))
        goto enter_function;
    if (callee.isNative() && callee.asNative()->cls->call) {
        NativeObject* n = callee.asNative();
        SAVE();
        Value r;
        n->cls->call(e, n->cls, n->data, r, ArgList{sp + 1});
        PUSH(r);
        NEXT();
    }
    PUSH(Value::undefined());
    SAVE();
    reportWarning(e, kWarnUndefinedFunction);
    NEXT();
}
op_CallMethod: {
    if (QUILL_UNLIKELY(!validArgCount(sp, fp, argc, argSlotCount))) {
        SAVE();
        badBytecode(e);
    }
    SymbolId id = SymbolId(ARG);
    const Value& receiver = sp[0]; // stays there as `this`
    if (QUILL_LIKELY(receiver.isObject()) &&
        objectGetCached(e, receiver.asObject(), id, CompiledFunction::cacheOf(pc), callee) && callee.isFunction())
        goto enter_function;
    SAVE();
    Value r;
    switch (resolveMethod(e, receiver, id, ArgList{sp + 1}, r, callee)) {
    case MethodCall::Script: goto enter_function;
    case MethodCall::Native:
        PUSH(r);
        STORE_THEN_COLLECT();
        NEXT();
    case MethodCall::None: break;
    }
    PUSH(Value::undefined());
    SAVE();
    reportWarning(e, kWarnUnknownMethod, e.nameOf(id));
    NEXT();
}
op_CallName: {
    if (QUILL_UNLIKELY(!validArgCount(sp, fp, argc, argSlotCount))) {
        SAVE();
        badBytecode(e);
    }
    SymbolId id = SymbolId(ARG);
    SAVE();
    for (uint64_t i = 0;; ++i) {
        WithScopeList* list = withList(fp);
        if (!list || i >= list->count)
            break;
        Value scope = list->values()[i];
        Value r;
        switch (offerScope(e, scope, id, ArgList{sp + 1}, r, callee)) {
        case MethodCall::Script:
            sp[0] = scope;
            goto enter_function;
        case MethodCall::Native:
            PUSH(r);
            STORE_THEN_COLLECT();
            NEXT();
        case MethodCall::None: break;
        }
    }
    goto op_Call;
}
op_New: {
    if (QUILL_UNLIKELY(!validArgCount(sp, fp, argc, argSlotCount))) {
        SAVE();
        badBytecode(e);
    }
    Value ctor = sp[0];
    if (ctor.isFunction()) {
        SAVE();
        FunctionRef* ref = ctor.asFunction();
        if (!ref->props) {
            ObjectRecord* props = newObject(e, 1);
            NativeClass* objectClass = e.classOf(Kind::Object);
            if (objectClass && objectClass->prototype)
                objectPut(e, props, Engine::kProtoId, Value::object(objectClass->prototype));
            ref->props = props;
        }
        // Room for the `__proto__` link and what the constructor stores.
        ObjectRecord* obj = newObject(e, 1 + compiledOf(ctor)->thisProperties);
        objectPut(e, obj, Engine::kProtoId, Value::object(ref->props));
        sp[0] = Value::object(obj);
        callee = ctor;
        goto enter_function;
    }
    NativeClass* cls = ctor.isNative() ? ctor.asNative()->cls : e.classOf(ctor.kind);
    if (cls && cls->construct) {
        SAVE();
        Value r = Value::null();
        // An object literal: the linker counted its properties (Code.h).
        if (ARG > 0 && argc == 0 && cls == e.classOf(Kind::Object))
            r = Value::object(newObject(e, uint32_t(ARG)));
        else
            cls->construct(e, cls, ArgList{sp + 1}, r);
        sp[0] = r;
        PUSH(Value::undefined());
        COLLECT();
        NEXT();
    }
    PUSH(Value::null());
    SAVE();
    reportWarning(e, kWarnInvalidConstructor);
    NEXT();
}
    // Enters `callee` (a Function) with `this` at sp[0] and argc arguments.
enter_function: {
    TICK();
    CompiledFunction* fn = compiledOf(callee);
    SAVE();
    fp = enterFrame(e, sp, fp, pc + 1, fn, uint32_t(argSlotCount + 2));
    sp = fp - 3;
    pc = fn->code();
    DISPATCH();
}
op_Ret: {
    QUILL_ASSERT(fp[-1].kind == Kind::ArgCount && sp < fp && sp > e.stack);
    Value v;
    COPY_VALUE(v, sp[0]);
    if (QUILL_UNLIKELY(sp >= fp - 3))
        v = Value::undefined(); // nothing pushed in this frame
    if (QUILL_UNLIKELY(e.errorFrames && e.errorFrames->script))
        dropFrameHandlers(e, fp);
    Value* caller = static_cast<Value*>(fp[0].payload.pointer);
    if (!caller) {
        st.result = v;
        st.sp = sp;
        return;
    }
    uint32_t added = addedSlots(fp);
    if (QUILL_UNLIKELY(added)) {
        uint32_t passed = passedSlots(fp);
        std::memmove(fp + 1 + added, fp + 1, size_t(passed) * sizeof(Value));
    }
    Value* base = fp + added;
    pc = static_cast<const Insn*>(fp[-3].payload.pointer);
    COPY_VALUE(*base, v);
    sp = base;
    fp = caller;
    DISPATCH();
}
op_End: {
    st.result = sp < fp - 3 ? sp[0] : Value::undefined();
    st.sp = sp;
    return;
}
op_Idle:
    for (;;) {
        SAVE();
        pollHook(e);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    // ---- exceptions -------------------------------------------------------------------------
op_Try: {
    SAVE();
    QUILL_ASSERT(sp > e.stack && sp < fp && fp[-1].kind == Kind::ArgCount);
    ErrorFrame* f = pushErrorFrame(e);
    f->script = true;
    f->sp = sp;
    f->fp = fp;
    WithScopeList* list = withList(fp);
    f->withCount = list ? list->count : 0;
    f->target = pc + 1 + ARG;
    NEXT();
}
op_Untry: {
    for (uint32_t n = uint32_t(ARG); n > 0 && e.errorFrames && e.errorFrames->script; --n)
        popErrorFrame(e);
    NEXT();
}
op_Throw: {
    Value v = *sp++;
    ErrorFrame* f = e.errorFrames;
    if (f && f->script) {
        QUILL_ASSERT(f->fp[-1].kind == Kind::ArgCount && f->sp < f->fp); // the handler's frame is intact
        sp = f->sp;
        fp = f->fp;
        if (WithScopeList* list = withList(fp))
            list->count = std::min(list->count, f->withCount);
        pc = f->target;
        popErrorFrame(e);
        PUSH(v);
        DISPATCH();
    }
    SAVE();
    PUSH(v); // keeps it alive while it is converted
    SAVE();
    Value text = toString(e, v);
    e.setErrorText(stringToAnsi(text.asString()));
    throw RuntimeError();
}

#undef DISPATCH
#undef NEXT
#undef ARG
#undef PUSH
#undef PUSH_INT
#undef COPY_VALUE
#undef SET_INT
#undef SET_BOOL
#undef SAVE
#undef TICK
#undef JUMP
#undef COLLECT
#undef STORE_THEN_COLLECT
#undef SET_LOCAL
#undef SET_GLOBAL
#undef SLIDE
}

// Lands a runtime error in the innermost script try handler. False when the
// innermost catch point is not one.
bool landInHandler(Engine& engine, RunState& st) {
    ErrorFrame* f = engine.errorFrames;
    if (!f || !f->script)
        return false;
    QUILL_ASSERT(f->fp[-1].kind == Kind::ArgCount && f->sp < f->fp); // the handler's frame is intact
    st.sp = f->sp;
    st.fp = f->fp;
    if (WithScopeList* list = withList(st.fp))
        list->count = std::min(list->count, f->withCount);
    st.pc = f->target;
    Value thrown = f->thrown;
    popErrorFrame(engine);
    *--st.sp = thrown;
    return true;
}

} // namespace

// (Kept from merging the moves below into 16-byte ones, as execute.)
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-slp-vectorize")))
#endif
void runFunction(Engine& engine, const Value& thisValue, const Value& function, ArgList args, Value& result) {
    VmState& vm = vmState(engine);
    Value* sp = engine.stackPosition + 1;
    // An ArgList may carry a negated count (an array literal's); its
    // magnitude is the number of arguments either way.
    int64_t argc = args.count();
    int64_t slots = argc < 0 ? (argc == std::numeric_limits<int64_t>::min() ? 0 : -argc) : argc;
    if (sp - engine.stack < slots + 3 + kStackReserve + 4)
        engine.raiseError(kErrStackOverflow);
    // The function Value, then the arguments from the last down to the
    // count, then `this`. Values are moved as their kind and payload: a
    // caller (or the loop, for the result) that just built one wrote it that
    // way, and a wider load would wait for the stores to finish.
    auto copyWords = [](Value& dst, const Value& src) {
        dst.kind = src.kind;
        dst.payload.bits = src.payload.bits;
    };
    copyWords(*--sp, function);
    for (int64_t i = slots; i >= 1; --i)
        copyWords(*--sp, args.values[i]);
    *--sp = Value::integer(slots == 0 ? 0 : argc);
    copyWords(*--sp, thisValue);
    engine.stackPosition = sp - 1;
    CompiledFunction* fn = compiledOf(function);
    Value* fp = enterFrame(engine, sp, nullptr, nullptr, fn, uint32_t(slots + 2));

    RunState st{fp - 3, fp, fn->code(), Value::undefined()};
    vm.suspendedPositions.push_back(static_cast<const Insn*>(engine.codePosition));
    ++vm.runDepth;
    struct Leave {
        VmState& vm;
        Engine& engine;
        ~Leave() {
            --vm.runDepth;
            engine.codePosition = vm.suspendedPositions.back();
            vm.suspendedPositions.pop_back();
        }
    } leave{vm, engine};
    for (;;) {
        try {
            execute(engine, st);
            break;
        } catch (const RuntimeError&) {
            if (!landInHandler(engine, st))
                throw;
        }
    }
    copyWords(result, st.result);
    // The outermost run ends with a full collection; nested runs leave it to
    // the collection points, since the native code below them may hold
    // Values the collector cannot see.
    if (vm.runDepth == 1) {
        engine.stackPosition = st.sp - 1;
        ValueRoot keep(engine, result);
        engine.collectGarbage();
    }
}

} // namespace quill
