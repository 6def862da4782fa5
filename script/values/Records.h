#pragma once
// The records Values point to: strings, arrays, objects, function references,
// native objects and classes, and the small records of the call machinery
// (argument lists, with-scope lists, pinned values). Each record notes beside
// its fields what the collector traces.

#include <cstdint>
#include <cstring>

#include "script/values/Heap.h"
#include "script/values/Value.h"

namespace quill {

struct Engine;
struct NativeClass;

// ---------------------------------------------------------------------------
// StringBody (payload of kind String): code units, not NUL-terminated.
//
// Scripts see UTF-16 code units. A body stores them either two bytes a unit
// or, with kOneByte set, one byte a unit (every unit is then at most 0xFF);
// the two forms of a text are the same text everywhere (equality, order,
// property keys). Static characters are always two bytes a unit.
//
// The body is the flags and the length; what follows them in the body's
// block depends on where the characters are:
//   - inline (kInlineChars, how new strings are made): the characters
//     themselves, so a short string is one small block;
//   - static, shared or a block of their own: a pointer to the characters
//     (null when the length is 0).
// Every inline body's block has room for that pointer (an empty one too),
// so a string whose characters have to move out (an element store beyond
// its end, a one-byte body widened in place) keeps its body. Readers go
// through units() (two-byte bodies only), bytes() (one-byte bodies only) or
// textOf() in String.h, which serves both.
//
// The few strings that get an own property object (`s.foo = 1`,
// `s.__proto__`) keep it in the engine's side table (Engine::stringProps),
// with kOwnProperties set here; the collector marks it with the body and
// drops the entries of bodies that died before their memory is reused.
// Traced: the body; its characters unless static or inline; the own
// property object.
struct StringBody {
    static constexpr uint32_t kStatic = 1; // characters not owned, never changed
    static constexpr uint32_t kInlineChars = 2;
    // The characters are a growable buffer (String.h, appendToString) that
    // other bodies may share: each reads only its own length of it, the
    // buffer records how much of it is in use, and a body writes to its
    // characters only after taking a private copy.
    static constexpr uint32_t kSharedChars = 4;
    // The body has an entry in the engine's table of string property objects.
    static constexpr uint32_t kOwnProperties = 8;
    // One byte a code unit (Latin-1); never together with kStatic.
    static constexpr uint32_t kOneByte = 16;
    // Made by an append into a local (script/vm/Code.h) and held by that
    // local alone: no cell has read it from there since, so lengthening it
    // in place changes no other holder's string.
    static constexpr uint32_t kSoleHolder = 32;
    uint32_t flags;
    uint32_t length; // code units

    // The block size of a body: inline characters, or the pointer.
    static constexpr size_t inlineSize(size_t length, size_t unitSize = sizeof(char16_t)) {
        size_t bytes = sizeof(StringBody) + length * unitSize;
        return bytes < kPointerSize ? kPointerSize : bytes;
    }
    static constexpr size_t kPointerSize = 2 * sizeof(uint32_t) + sizeof(char16_t*);

    bool isStatic() const { return (flags & kStatic) != 0; }
    bool hasInlineChars() const { return (flags & kInlineChars) != 0; }
    bool hasSharedChars() const { return (flags & kSharedChars) != 0; }
    bool hasOwnProperties() const { return (flags & kOwnProperties) != 0; }
    bool isOneByte() const { return (flags & kOneByte) != 0; }
    bool isSoleHeld() const { return (flags & kSoleHolder) != 0; }
    size_t unitSize() const { return isOneByte() ? 1 : sizeof(char16_t); }

    // The characters of either width.
    void* rawChars() const {
        return hasInlineChars() ? const_cast<StringBody*>(this + 1) : charsPointer();
    }
    // The two-byte units; only for a body without kOneByte.
    char16_t* units() const {
        QUILL_ASSERT(!isOneByte());
        return static_cast<char16_t*>(rawChars());
    }
    // The one-byte units; only for a body with kOneByte.
    unsigned char* bytes() const {
        QUILL_ASSERT(isOneByte());
        return static_cast<unsigned char*>(rawChars());
    }
    // The pointer of a body whose characters are not inline.
    void* charsPointer() const {
        void* p;
        std::memcpy(&p, this + 1, sizeof p);
        return p;
    }
    // Makes the characters those at p (not inline from now on).
    void setCharsPointer(void* p) {
        std::memcpy(this + 1, &p, sizeof p);
        flags &= ~kInlineChars;
    }
};
static_assert(sizeof(StringBody) == 8 && alignof(StringBody) == 4, "a body is its flags and length");

// ---------------------------------------------------------------------------
// ArrayBody (payload of kind Array): a sparse array with a 64-bit length.
//
// Elements are addressed by 64-bit index. The observable order of elements
// (gathering for sort, the bridge's XML output) is bucket order: bucket
// (index mod 127) from 0 to 126, inside a bucket the most recently added
// element first. Array.h has the services; the fields below are theirs.
//
// Two forms hold the elements:
//   - compact: `storage` is a block of Values for the indices 0 .. capacity-1
//     (the capacity is the block's size; kind -1 marks a hole), or null.
//     It holds only arrays whose elements were added in ascending index
//     order, so index order is insertion order and no sequence numbers are
//     needed. `top` is one past the highest index holding an element; the
//     slots from top up to the capacity hold nothing defined.
//   - bucketed (`top` == kArrayBucketed): `storage` is an ArrayStore, a dense
//     vector for the indices near 0 and an open-addressed table for the rest;
//     every element carries the sequence number of its insertion so bucket
//     order can be reproduced.
// An array starts compact and becomes bucketed for good when an element is
// added out of order or far beyond the others.
//
// A compact array may lend its block to a sort (`top` has kArrayLent set
// beside the real top; Array.h, arrayLend): the sort reads the elements in
// place while its comparisons run, and the first change to the elements
// gives the array a copy of its own, so the lent block keeps the elements
// the sort began with. The inline fast paths refuse a lent array (its top
// reads as 2^31 or more), so every change goes through Array.cpp.
// Traced: the body, the storage block (and the store's dense and sparse
// blocks), every element Value, the own property object.
inline constexpr uint64_t kArrayBuckets = 127;
inline constexpr uint32_t kArrayBucketed = 0xFFFFFFFFu;
// Set in a compact array's `top` while its block is lent to a sort; a
// compact top is below 2^26, so it never reads as kArrayBucketed.
inline constexpr uint32_t kArrayLent = 0x80000000u;

struct ArrayElement {
    Value value;  // kind -1 marks a hole in the dense part / an empty sparse cell
    uint64_t seq; // insertion order
};

struct SparseElement {
    uint64_t index;
    ArrayElement element; // element.value.kind -1: empty cell, -2: removed cell
};

struct ArrayStore {
    ArrayElement* dense; // indices 0 .. denseCapacity-1
    uint64_t denseCapacity;
    SparseElement* sparse; // open-addressed, power-of-two capacity or null
    uint64_t sparseCapacity;
    uint64_t sparseUsed; // cells holding an element or a removed mark
    uint64_t nextSeq;
};

struct ArrayBody {
    uint64_t length;
    // Own property object, created on first use. With the low bit set it is
    // pending: the array behaves as if it had one whose only slot is
    // `__proto__` = this pointer without the bit (Property.h).
    ObjectRecord* props;
    void* storage;       // compact Values or ArrayStore (see above); may be null
    uint32_t count;      // elements present
    uint32_t top;        // compact: one past the highest element (| kArrayLent); else kArrayBucketed
};

// ---------------------------------------------------------------------------
// ObjectRecord (payload of kind Object): slots in creation order.
//
// A slot's id is a symbol id, or -1 for a deleted slot that the next new
// property reuses. `__proto__` (id 0) is an ordinary slot; the last slot named
// `__proto__` whose Value is an Object continues the lookup chain.
//
// Lookups by id do not scan the slots: an open-addressed id index (built
// once the object has more than a few slots) maps every id except 0 to its
// slot, and the positions of the slots with id 0 are kept in order beside it.
// The name hash (128 buckets with counts) serves lookups by name string and
// enumeration, and is built on first use by name. The aids live in a record
// of their own.
//
// A small object is one block: the record is followed by room for the
// slots its creator expects (an object literal's properties; a constructed
// object's `__proto__` and the names its constructor stores into `this`),
// and `slots` points at that room. When the object outgrows it, its slots
// move to a block of their own for good; the room is then unused. An
// object with two properties is thus 24 + 2 * 16 bytes and the header.
// Traced: the record, its slot block when it is one of its own, index
// blocks, name hash buckets, counts and entries, every slot Value.
//
// A slot is its Value's kind and payload with the id in between, where a
// Value has padding: 16 bytes. Slots are read and written through value()
// and setValue(), never by copying a Value over them. (A slot has no
// attribute word: nothing would read it.)
struct PropertySlot {
    Kind kind;     // of the Value
    int32_t id;    // -1: deleted
    uint64_t bits; // the Value's payload

    static PropertySlot make(int32_t id, const Value& v) { return PropertySlot{v.kind, id, v.payload.bits}; }
    Value value() const { return Value::raw(kind, bits); }
    void setValue(const Value& v) {
        kind = v.kind;
        bits = v.payload.bits;
    }
};
static_assert(sizeof(PropertySlot) == 16, "a slot is as large as a Value");

struct NameHashEntry {
    NameHashEntry* next;
    uint32_t slot;
    uint32_t nameLength;
};

inline constexpr uint32_t kNameHashBuckets = 128;

struct ObjectLookupAids {
    NameHashEntry** nameHash; // 128 bucket heads, or null
    uint32_t* bucketCounts;   // 128 counts, or null
    uint32_t* idIndex; // slot positions (the id is the slot's); idIndexCapacity, a power of two
    uint32_t idIndexCapacity;
    uint32_t idIndexUsed;
    uint32_t* protoSlots; // ascending positions of the slots with id 0
    uint32_t protoCount;
    uint32_t protoCapacity;
    uint32_t* deleted; // max-heap of the positions of deleted slots
    uint32_t deletedCount;
    uint32_t deletedCapacity;
};

struct ObjectRecord {
    uint32_t slotCount;
    uint32_t slotCapacity;
    PropertySlot* slots;    // inlineSlots() or a block of its own; null when empty
    ObjectLookupAids* aids; // created when first needed (Object.cpp)

    // The room inside the record's own block, just after the record.
    PropertySlot* inlineSlots() { return reinterpret_cast<PropertySlot*>(this + 1); }
    bool hasInlineSlots() { return slots == inlineSlots(); }
};
static_assert(sizeof(ObjectRecord) % alignof(PropertySlot) == 0, "inline slots follow the record aligned");

// ---------------------------------------------------------------------------
// FunctionRef (payload of kind Function).
//
// `compiled` is the function record of the virtual machine (code, name, line
// table): a collected block that begins with a GcObject, allocated with
// gcAllocObject, so the collector marks it and reaches what it holds through
// its GcType. `props` serves as the prototype of objects the function
// constructs and holds properties assigned to the function.
// Traced: the reference, the compiled function, the property object.
struct FunctionRef {
    GcObject* compiled;
    ObjectRecord* props;
};

// ---------------------------------------------------------------------------
// ArgList: a contiguous array of Values; element 0 is an Integer holding the
// argument count n, elements 1..n are the arguments.
struct ArgList {
    Value* values = nullptr;

    int64_t count() const { return values && values[0].isInteger() ? values[0].asInteger() : 0; }
    // Argument i (1-based), or Undefined when the call has fewer arguments.
    Value arg(int64_t i) const { return i >= 1 && i <= count() ? values[i] : Value::undefined(); }
    Value& operator[](int64_t i) const { return values[i]; }
};

// ---------------------------------------------------------------------------
// NativeClass: the hook record through which built-in and host classes give
// behaviour to Values. Fields in this order (ORDER NATIVECLASS).
//
// `self` is the instance's native data when the receiver is a NativeObject,
// a pointer to the receiving Value when the class is the per-kind class of a
// non-native Value, and null when the class object itself is the receiver.
using CallHook = void (*)(Engine& engine, NativeClass* cls, void* data, Value& result, ArgList args);
using CallMethodHook = int (*)(Engine& engine, NativeClass* cls, void* self, SymbolId member, Value& result,
                               ArgList args);
// put 0: read into value (set it to Undefined and return 0 when not handled);
// put 1: write from value.
using AccessPropertyHook = int (*)(Engine& engine, NativeClass* cls, void* self, SymbolId member, int put,
                                   Value& value);
using ConstructHook = void (*)(Engine& engine, NativeClass* cls, ArgList args, Value& result);
using DestroyDataHook = void (*)(NativeClass* cls, void* data);
// Marks the Values the native data holds, with markValue(engine, v).
using MarkDataHook = void (*)(Engine& engine, NativeClass* cls, void* data);
using FreeClassDataHook = void (*)(void* classData);

struct NativeClass {
    const GcType* finaliser; // calls freeClassData(classData) at engine teardown
    CallHook call;
    CallMethodHook callMethod;
    AccessPropertyHook accessProperty;
    ConstructHook construct;
    DestroyDataHook destroyData;
    MarkDataHook markData;
    void* classData;
    FreeClassDataHook freeClassData;
    ObjectRecord* prototype; // created with the class; its __proto__ is null
};

// NativeObject (payload of kind Native). Its finaliser calls the class's
// destroyData with the native data when the collector frees it.
// Traced: the record, its class and the class prototype, the own property
// object, then the class's markData hook.
struct NativeObject {
    const GcType* finaliser;
    NativeClass* cls;
    void* data;          // opaque, owned by the instance
    ObjectRecord* props; // null when data is null
};

// ---------------------------------------------------------------------------
// With-scope list of a call frame: a collected block holding a count, the
// capacity, then that many Values in the order `with` appended them. The
// payload of the frame's with-scope FrameLink slot points at it.
struct WithScopeList {
    uint64_t count;
    uint64_t capacity;
    Value* values() { return reinterpret_cast<Value*>(this + 1); }
};

// ---------------------------------------------------------------------------
// PinnedValue: keeps a Value alive while native code or the movie holds it.
// The movie knows it by the record's address (its handle); a handle from
// outside is only ever resolved through Engine::findPinned, which looks the
// address up among the live records before touching it.
struct PinnedValue {
    static constexpr uint32_t kTag = 0x6E6F6465;
    Value value;
    uint32_t tag;
    PinnedValue* self;
    PinnedValue* prev;
    PinnedValue* next;
};

} // namespace quill
