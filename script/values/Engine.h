#pragma once
// Engine: one Quill interpreter instance and everything it owns: the operand
// stack, symbols, globals, the constant pool, the class table, the error
// channel (errorText, lastResult, the error-frame chain), pinned values and the
// collected heap. Several Engines may exist side by side; they share nothing.
//
// The surface below is what the virtual machine, the built-ins and the host
// classes build on. Fields are public because the interpreter reads them in
// its inner loop; the comments say who writes what.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "script/values/Heap.h"
#include "script/values/HeapChunks.h"
#include "script/values/Records.h"
#include "script/values/Value.h"

namespace quill {

struct ErrorFrame; // the catch points of the virtual machine

// Thrown by Engine::raiseError when no raise hook is installed. errorText
// holds the message ("Runtime error: ..." ).
class RuntimeError : public std::exception {
public:
    const char* what() const noexcept override { return "quill runtime error"; }
};

struct EngineOptions {
    size_t stackSize = 4096; // in Values; fixed for the engine's life
    struct Engine* parent = nullptr;
    uint32_t flags = 4; // Engine::kFlagWarnings
    // Host hook called after every collection at a collection point (the
    // interpreter calls it); a non-zero return stops the script.
    int (*hook)(int reason, void* data) = nullptr;
    void* hookData = nullptr;
    // Registers the classes of a new engine in their fixed order; eval and
    // evals are bound after it. Null: the built-in classes only.
    void (*registerClasses)(struct Engine& engine) = nullptr;
};

// Keeps one Value alive while C++ code holds it across a collection point.
// A guard must not outlive its engine.
class ValueRoot {
public:
    ValueRoot(struct Engine& engine, const Value& v = Value::undefined());
    ~ValueRoot();
    ValueRoot(const ValueRoot&) = delete;
    ValueRoot& operator=(const ValueRoot&) = delete;

    Value value;

private:
    friend struct Engine;
    struct Engine& engine_;
    ValueRoot* prev_;
    ValueRoot* next_;
};

struct Engine {
    explicit Engine(const EngineOptions& options = {});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // ---- flags ----------------------------------------------------------
    static constexpr uint32_t kFlagWarnings = 4; // report undefined variables and properties
    Engine* parent = nullptr;
    uint32_t flags = kFlagWarnings;
    bool warningsOn() const { return (flags & kFlagWarnings) != 0; }

    // ---- well-known names, interned first and in this order --------------
    static constexpr SymbolId kProtoId = 0;     // __proto__
    static constexpr SymbolId kPrototypeId = 1; // prototype
    static constexpr SymbolId kToSourceId = 2;  // toSource
    static constexpr SymbolId kToStringId = 3;  // toString
    static constexpr SymbolId kValueOfId = 4;   // valueOf

    // ---- operand stack ---------------------------------------------------
    // Grows toward lower addresses. stackPosition designates the next free
    // slot; the top Value lies just above it. The collector marks
    // (stackPosition, stackEnd()). The interpreter saves stackPosition and
    // codePosition whenever native code is entered.
    // Zeroed memory from the system (all-zero bytes are Undefined): the
    // pages of the deep end are not made resident until a script needs them.
    struct StackFree {
        size_t bytes;
        void operator()(Value* v) const { freeZeroedMemory(v, bytes); }
    };
    std::unique_ptr<Value[], StackFree> stackStorage;
    Value* stack = nullptr;
    size_t stackSize = 0;
    Value* stackPosition = nullptr;
    const void* codePosition = nullptr;
    Value* stackEnd() const { return stack + stackSize; }
    // Empty stack: the next free slot is the highest one.
    void resetStack() { stackPosition = stack + stackSize - 1; }

    // ---- symbols -----------------------------------------------------------
    // Interning a name also makes sure it has its global slot (Undefined
    // until set).
    SymbolId internName(std::string_view name);
    // The id of a name already interned; false when it never was.
    bool findName(std::string_view name, SymbolId& id) const;
    // As above for a name given as UTF-16 text (a String key): the name is
    // its ANSI conversion. ASCII text needs no conversion and is hashed and
    // compared as it stands.
    SymbolId internName(std::u16string_view name);
    bool findName(std::u16string_view name, SymbolId& id) const;
    // Interns a name met as a property key: the same id, but no global slot
    // yet (global() adds it when the name is used as a global after all),
    // so a dictionary of many keys does not also grow the globals.
    SymbolId internKey(std::u16string_view name);
    SymbolId internKey(std::string_view name);
    // The name of an id; "???" for an id that has no name. The text stays
    // valid for the engine's life.
    const char* nameOf(SymbolId id) const;
    size_t symbolCount() const { return symbolNames_.size(); }

    // ---- globals -----------------------------------------------------------
    // Indexed by symbol id; it covers every id internName returned (so
    // code may index it with the ids of its names) and grows in steps of
    // 1024, so a reference into it is valid only until the next intern or
    // the next global() of an id beyond it.
    std::vector<Value> globals;
    Value& global(SymbolId id) {
        if (id >= globals.size())
            coverGlobal(id);
        return globals[id];
    }

    // ---- constant pool -------------------------------------------------------
    // Loaded images append their constants and remember where they begin.
    std::vector<Value> constants;
    size_t addConstant(const Value& v);
    // Storage for the characters of static string constants, owned by the
    // engine until it is destroyed.
    const char16_t* keepConstantText(std::u16string_view text);
    // Functions loaded so far (renumbers anonymous functions of later images).
    uint32_t functionCount = 0;

    // ---- class table -----------------------------------------------------------
    // One class per Value kind 0..14; the built-ins fill the entries of
    // Boolean, Integer, Float, NaN (Number), String, Array, Object and
    // Function through setKindClass.
    NativeClass* classes[kKindClassCount] = {};
    NativeClass* classOf(Kind kind) const {
        int k = static_cast<int>(kind);
        return k >= 0 && k < kKindClassCount ? classes[k] : nullptr;
    }
    void setKindClass(Kind kind, NativeClass* cls);
    // Element access with an Integer key on instances of a native class that
    // takes it (StructArray): put 0 reads element `index` into value, put 1
    // writes it from value. Other native classes read Undefined for an
    // Integer key and refuse writes with the invalid-index warning.
    using ElementHook = void (*)(Engine& engine, NativeClass* cls, void* data, int64_t index, int put,
                                 Value& value);
    std::vector<std::pair<const NativeClass*, ElementHook>> elementHooks;
    ElementHook elementHookOf(const NativeClass* cls) const {
        for (const auto& [c, hook] : elementHooks)
            if (c == cls)
                return hook;
        return nullptr;
    }

    // ---- error channel -----------------------------------------------------------
    ErrorFrame* errorFrames = nullptr; // innermost first; owned by the virtual machine
    static constexpr size_t kErrorTextSize = 1024;
    char errorText[kErrorTextSize] = {};
    void setErrorText(std::string_view text); // truncated to 1023 characters
    // Raises a runtime error: errorText becomes "Runtime error: " + message,
    // then the raise hook runs (it must not return: it passes control to the
    // innermost catch point); without a hook a RuntimeError is thrown.
    [[noreturn]] void raiseError(std::string_view message);
    void (*raiseHook)(Engine& engine) = nullptr;
    // The Value left by the last call made through the call services.
    Value lastResult;

    // ---- calls into script code ------------------------------------------------
    // Installed by the virtual machine: runs a Function Value with `this`
    // and the ArgList; returns false (with the message in errorText) when the
    // call failed. The conversions use it to call toString and valueOf. The
    // arguments are copied onto the operand stack before anything can
    // collect, so the caller need not root the ArgList itself.
    bool (*callFunction)(Engine& engine, const Value& thisValue, const Value& function, ArgList args,
                         Value& result) = nullptr;

    // ---- host hook -------------------------------------------------------------
    int (*hook)(int reason, void* data) = nullptr;
    void* hookData = nullptr;

    // ---- pinned values -------------------------------------------------------
    PinnedValue* pinnedValues = nullptr; // doubly linked, newest first
    PinnedValue* pin(const Value& v);
    // Unpins a live record. A Native's destroyData runs at once on its native
    // data, whose pointer is then cleared. Unknown records are ignored.
    // Returns whether the record was live.
    bool unpin(PinnedValue* record);
    // Resolves a handle that came from outside (the movie): the live record
    // with that address, or null. Never reads memory at an unknown address.
    PinnedValue* findPinned(int64_t handle) const;
    static int64_t handleOf(const PinnedValue* record) {
        return static_cast<int64_t>(reinterpret_cast<uintptr_t>(record));
    }
    size_t pinnedCount() const { return pinnedSet_.size(); }

    // ---- memory ------------------------------------------------------------
    // Process heap; "Out of memory" is raised when it refuses.
    void* engineAlloc(size_t size);
    void* engineRealloc(void* p, size_t size);
    void engineFree(void* p);

    // Collected heap; "Out of memory" is raised when a chunk cannot be had.
    Heap heap;
    void* gcAlloc(size_t size);
    void* gcAllocZeroed(size_t size);
    void* gcAllocZeroedWithFinaliser(size_t size);
    void* gcRealloc(void* block, size_t size);
    void gcFree(void* block) { heap.free(block); }
    // Sets the block's mark bit; returns whether it was already set.
    static bool gcMark(void* block) { return Heap::mark(block); }
    // A zeroed block that begins with a GcObject of the given type.
    GcObject* gcAllocObject(size_t size, const GcType* type);

    // ---- collection ----------------------------------------------------------
    // Marks every root and sweeps; returns the bytes kept.
    size_t collectGarbage();
    // Collects when the allocation counter has reached the threshold.
    bool collectIfNeeded();
    // A native object just made owns this many bytes outside the heap.
    void noteNativeBytes(size_t bytes) { heap.noteExternal(bytes); }
    // Extra roots of upper layers (compiled-script caches, frames the
    // interpreter keeps elsewhere): called during marking.
    using RootTracer = void (*)(Engine& engine, void* data);
    void addRootTracer(RootTracer tracer, void* data);
    void removeRootTracer(RootTracer tracer, void* data);

    // ---- string property objects ------------------------------------------
    // The own property objects of the few strings that have one, by body
    // (the body's kOwnProperties flag says it has an entry). Property.h
    // reads and sets them; the collector marks an entry with its body and
    // removes the entries of dead bodies before the sweep.
    std::unordered_map<const StringBody*, ObjectRecord*> stringProps;

    // ---- collector internals (Collector.cpp) ----------------------------------
    struct GrayItem {
        int tag;
        void* record;
        uint64_t from = 0; // an array: the first element still to mark
    };
    std::vector<GrayItem> gray;
    ValueRoot* roots = nullptr;

private:
    friend class ValueRoot;
    void markRoots();
    void drainGray();
    void dropDeadStringProps();

    // Symbol table: names by id, and an open-addressed table of cells
    // (hash, id) with a power-of-two capacity kept at most half full.
    struct SymbolCell {
        uint32_t hash;
        SymbolId id; // kNoSymbol: empty cell
    };
    static constexpr SymbolId kNoSymbol = 0xFFFFFFFFu;
    template <typename Char>
    const SymbolCell* probeSymbol(const Char* name, size_t length, uint32_t hash) const;
    // The id of a name, with its hash for a following addSymbol.
    template <typename Char>
    bool lookupSymbol(const Char* name, size_t length, uint32_t& hash, SymbolId& id) const;
    SymbolId addSymbol(std::string_view name, uint32_t hash);
    void coverGlobal(SymbolId id);
    // Names by id, packed into blocks that never move (a name costs its
    // own length and a few bytes, not a string object). A name is its
    // length, the characters and a NUL, 4-byte aligned; the length is one
    // byte below 255, else the byte 255 and a 32-bit length. A name is
    // found by a 32-bit reference: its block's index above kNameOffsetBits,
    // below them its offset in the block in units of 4 bytes (a name longer
    // than a block has a block of its own, at offset 0).
    static constexpr uint32_t kNameOffsetBits = 12;
    std::vector<uint32_t> symbolNames_;
    const char* nameRecord(uint32_t ref) const {
        return nameBlocks_[ref >> kNameOffsetBits].get() + size_t(ref & ((1u << kNameOffsetBits) - 1)) * 4;
    }

    std::vector<std::unique_ptr<char[]>> nameBlocks_;
    char* nameNext_ = nullptr;
    size_t nameRoom_ = 0;
    uint32_t keepName(std::string_view name);
    std::vector<SymbolCell, BulkAllocator<SymbolCell>> symbolTable_;
    std::unordered_set<const PinnedValue*> pinnedSet_;
    std::vector<std::pair<RootTracer, void*>> rootTracers_;
    std::vector<std::unique_ptr<char16_t[]>> constantText_;

public:
    // ======================================================================
    // Members added by the virtual machine go below this line.
    // ======================================================================
    // Interpreter state: trace output, spare error frames, nested runs
    // (script/vm/Interpreter.h). Set by attachVm().
    std::shared_ptr<struct VmState> vm;
};

// ---- marking services for trace and markData hooks --------------------------
void markValue(Engine& engine, const Value& v);
// Whether a Value of this kind refers to a collected record, that is whether
// markValue has anything to do for it; loops over many Values test this
// first instead of calling markValue for every number (and hole mark).
inline bool refersToRecord(Kind kind) {
    constexpr uint32_t kinds = 1u << int(Kind::String) | 1u << int(Kind::Array) | 1u << int(Kind::Object) |
                               1u << int(Kind::Function) | 1u << int(Kind::Native);
    auto k = static_cast<uint32_t>(kind);
    return k < 32 && ((kinds >> k) & 1) != 0;
}
void markObject(Engine& engine, ObjectRecord* object);
// Marks a plain block (no references of its own).
void markBlock(Engine& engine, void* block);
// Marks a block that begins with a GcObject and traces it through its type.
void markGcObject(Engine& engine, GcObject* object);
// Name hash of symbols and object name hashes.
uint32_t nameHash(std::string_view name);

} // namespace quill
