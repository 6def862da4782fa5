#pragma once
// Value: the tagged value every Quill computation works with.
//
// The representation
// ------------------
// A Value is two fields: a 32-bit signed kind and a 64-bit payload. It is
// plain data. Copying a Value copies those two fields and never the record the
// payload points to; records live on the engine's collected heap (Heap.h) and
// stay alive as long as the collector can reach a Value that points at them.
//
//     offset 0        4        8                               16
//            +--------+--------+-------------------------------+
//            |  kind  | (pad)  |            payload            |
//            +--------+--------+-------------------------------+
//
// The payload is read according to the kind:
//
//     kind  name       payload
//     0     Undefined  none (zero)
//     1     Null       none (zero)
//     2     Boolean    32-bit integer 0 or 1 (low half)
//     3     Integer    signed 64-bit integer
//     4     String     StringBody*
//     5     Float      IEEE double
//     6     Array      ArrayBody*
//     7     Object     ObjectRecord*
//     8, 9  reserved   never produced; conversions treat them as unknown
//     10    Symbol     symbol id (an interned name)
//     11    Native     NativeObject*
//     12    Function   FunctionRef*
//     13    NaN        none: "not a number" is a kind of its own, never a Float
//     14    FrameLink  stack only: a link slot of a call frame
//     15    ArgCount   stack only: the argument-count slot of a call frame
//
// The kind numbers are fixed: compiled images store them and the engine's
// class table is indexed by them. A pointer payload occupies the low bytes of
// the 64-bit field on both 32-bit and 64-bit targets; the unused high bytes
// are zero, so two Values with the same kind and payload bits are the same
// Value. Numbers come in two kinds, Integer (exact, 64-bit) and Float;
// arithmetic keeps integers integral where it can.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "script/values/Assert.h"

namespace quill {

struct StringBody;
struct ArrayBody;
struct ObjectRecord;
struct NativeObject;
struct FunctionRef;

// Interned name: a dense id counted from 0 in order of first interning.
using SymbolId = uint32_t;

enum class Kind : int32_t {
    Undefined = 0,
    Null = 1,
    Boolean = 2,
    Integer = 3,
    String = 4,
    Float = 5,
    Array = 6,
    Object = 7,
    Reserved8 = 8,
    Reserved9 = 9,
    Symbol = 10,
    Native = 11,
    Function = 12,
    NaN = 13,
    FrameLink = 14,
    ArgCount = 15,
};

// Number of entries of the class table (kinds 0 to 14 may have a class).
inline constexpr int kKindClassCount = 15;

struct Value {
    Kind kind = Kind::Undefined;
    union Payload {
        uint64_t bits;
        int64_t integer;
        double number;
        int32_t boolean;
        SymbolId symbol;
        StringBody* string;
        ArrayBody* array;
        ObjectRecord* object;
        NativeObject* native;
        FunctionRef* function;
        void* pointer;
    } payload{0};

    // ---- construction --------------------------------------------------
    static Value undefined() { return Value{}; }
    static Value null() { return make(Kind::Null); }
    static Value nan() { return make(Kind::NaN); }
    static Value boolean(bool b) {
        Value v = make(Kind::Boolean);
        v.payload.boolean = b ? 1 : 0;
        return v;
    }
    static Value integer(int64_t i) {
        Value v = make(Kind::Integer);
        v.payload.integer = i;
        return v;
    }
    static Value floating(double d) {
        Value v = make(Kind::Float);
        v.payload.number = d;
        return v;
    }
    static Value symbol(SymbolId id) {
        Value v = make(Kind::Symbol);
        v.payload.symbol = id;
        return v;
    }
    static Value string(StringBody* s) { return pointerValue(Kind::String, s); }
    static Value array(ArrayBody* a) { return pointerValue(Kind::Array, a); }
    static Value object(ObjectRecord* o) { return pointerValue(Kind::Object, o); }
    static Value native(NativeObject* n) { return pointerValue(Kind::Native, n); }
    static Value function(FunctionRef* f) { return pointerValue(Kind::Function, f); }
    // A raw kind and payload, as the image loader and the call-frame code
    // build them.
    static Value raw(Kind k, uint64_t bits) {
        Value v = make(k);
        v.payload.bits = bits;
        return v;
    }

    // ---- tests ---------------------------------------------------------
    bool isUndefined() const { return kind == Kind::Undefined; }
    bool isNull() const { return kind == Kind::Null; }
    bool isBoolean() const { return kind == Kind::Boolean; }
    bool isInteger() const { return kind == Kind::Integer; }
    bool isFloat() const { return kind == Kind::Float; }
    bool isNaN() const { return kind == Kind::NaN; }
    bool isNumber() const { return isInteger() || isFloat() || isNaN(); }
    bool isString() const { return kind == Kind::String; }
    bool isArray() const { return kind == Kind::Array; }
    bool isObject() const { return kind == Kind::Object; }
    bool isSymbol() const { return kind == Kind::Symbol; }
    bool isNative() const { return kind == Kind::Native; }
    bool isFunction() const { return kind == Kind::Function; }

    // ---- payload access (the caller has checked the kind) ---------------
    // The record accessors check, where assertions are on, that the kind is
    // the one asked for and that the record is a live block of the heap
    // (Assert.h: checkRecord).
    bool asBoolean() const { return payload.boolean != 0; }
    int64_t asInteger() const { return payload.integer; }
    double asFloat() const { return payload.number; }
    SymbolId asSymbol() const { return payload.symbol; }
    StringBody* asString() const { return checked(Kind::String), payload.string; }
    ArrayBody* asArray() const { return checked(Kind::Array), payload.array; }
    ObjectRecord* asObject() const { return checked(Kind::Object), payload.object; }
    NativeObject* asNative() const { return checked(Kind::Native), payload.native; }
    FunctionRef* asFunction() const { return checked(Kind::Function), payload.function; }

    // Same kind and same payload bits (identity, not equality of content).
    bool sameAs(const Value& o) const { return kind == o.kind && payload.bits == o.payload.bits; }

private:
    void checked([[maybe_unused]] Kind k) const {
        QUILL_ASSERT(kind == k);
        QUILL_ASSERT(checkRecord(payload.pointer, k == Kind::Native));
    }
    static Value make(Kind k) {
        Value v;
        v.kind = k;
        return v;
    }
    static Value pointerValue(Kind k, const void* p) {
        Value v = make(k);
        v.payload.bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
        return v;
    }
};

static_assert(sizeof(int32_t) == sizeof(Kind), "the kind is a 32-bit signed integer");
static_assert(sizeof(Value::Payload) == 8, "the payload is 64 bits wide");
static_assert(sizeof(Value) == 16, "a Value is a kind and an 8-byte aligned payload");
static_assert(offsetof(Value, payload) == 8, "the payload follows the kind and its padding");
static_assert(std::is_trivially_copyable_v<Value>, "Values are plain data");
static_assert(sizeof(void*) <= sizeof(uint64_t), "a pointer fits in the payload");
static_assert(static_cast<int>(Kind::NaN) == 13 && static_cast<int>(Kind::Function) == 12 &&
                  static_cast<int>(Kind::Native) == 11 && static_cast<int>(Kind::Symbol) == 10,
              "kind numbers are stored in images and must not move");

} // namespace quill
