#pragma once
// The class kit: how every native class (the built-in classes and the host
// classes alike) declares its members, reads its arguments and makes its
// results.
//
// A class lists each member once, in one table: its name, its kind (method,
// property or event property) and its handler. defineClass() interns the
// names, builds the id -> member index (constant-time lookup) and installs
// the kit's callMethod/accessProperty hooks, which find the member and call
// its handler with a MemberCall:
//
//     int charAt(MemberCall& c) {                 // a built-in, untyped handler
//         const Value* s = c.receiver();           // per-kind class: self is a Value*
//         if (!s || !s->isString()) return 0;      // 0: not handled here
//         if (auto i = integerArg(c.args, 1)) ...  // the readers below
//         c.result = ...;
//         return 1;
//     }
//     constexpr Member kStringMembers[] = {
//         Member::method("charAt", charAt),
//         Member::property("length", lengthProperty),
//         Member::method("anchor", htmlTag, int(HtmlTag::Anchor)), // tag: one handler, many members
//     };
//     defineClass(engine, {.globalNames = {"String"}, .members = kStringMembers, .call = ...});
//
// Host classes use the typed layer in host/framework/HostClass.h on top of
// this (handlers that get the live native object, failure results declared
// per member).
//
// Dispatch rules the kit applies:
//   - a method call of a Method member: result is preset to the member's
//     `neutral` result, then the handler runs; its return value (1 handled,
//     0 not) is the hook's. A name that is not a Method member is not
//     handled, except `toString` of a class with a className, which answers
//     "[object <className>]" (a table entry named toString takes precedence);
//   - a property read or write of a Property or Event member: the handler
//     gets put 0 (read into c.value, preset to undefined) or 1 (write from
//     c.value). Other names are not handled (a read leaves undefined).
//
// Arguments (ArgList: element 0 the 64-bit Integer count, then the
// arguments) follow one set of rules everywhere:
//   - the minimum number of arguments is tested on the 64-bit count;
//   - a string is only a String Value, taken as an ANSI copy;
//   - a number is an Integer, or a Float truncated toward zero;
//   - a boolean is a Boolean (some members also take an Integer, non-zero
//     meaning true);
//   - a function (a callback) is only a Function Value.
// A call with too few arguments or an argument of the wrong kind does
// nothing: the member leaves its neutral result and is still handled.

#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/values/Engine.h"
#include "script/values/Native.h"
#include "script/values/Records.h"
#include "script/values/String.h"
#include "script/values/Value.h"

namespace quill {

// ---- arguments -------------------------------------------------------------------

// The argument count: the 64-bit Integer in element 0; 0 when absent or
// negative (array literals pass -n; no member reads those as arguments).
inline int64_t argCount(ArgList args) {
    int64_t n = args.values && args.values[0].isInteger() ? args.values[0].asInteger() : 0;
    return n < 0 ? 0 : n;
}
// At least `minimum` arguments were passed.
inline bool hasArgs(ArgList args, int64_t minimum) { return argCount(args) >= minimum; }
// Argument i (1-based) when the call has it.
inline std::optional<Value> argAt(ArgList args, int64_t i) {
    if (i < 1 || argCount(args) < i)
        return std::nullopt;
    return args.values[i];
}

// The conversions of one Value by the rules above; nothing when its kind is
// wrong. A Float too large for a 64-bit integer, or infinite, is no number.
// (Inline: they sit on every member's path.)
std::optional<std::string> stringFrom(const Value& v);
inline std::optional<int64_t> numberFrom(const Value& v) {
    if (v.isInteger())
        return v.asInteger();
    if (v.isFloat()) {
        double d = std::trunc(v.asFloat());
        // Converting a double outside the 64-bit range is undefined; such a
        // number (and an infinity) is not taken as a number at all.
        constexpr double kLimit = 9223372036854775808.0; // 2^63
        if (!(d >= -kLimit && d < kLimit))
            return std::nullopt;
        return static_cast<int64_t>(d);
    }
    return std::nullopt;
}
inline std::optional<bool> booleanFrom(const Value& v, bool acceptInteger = false) {
    if (v.isBoolean())
        return v.asBoolean();
    if (acceptInteger && v.isInteger())
        return v.asInteger() != 0;
    return std::nullopt;
}
inline std::optional<Value> functionFrom(const Value& v) {
    if (!v.isFunction())
        return std::nullopt;
    return v;
}

// The same for argument i; nothing when the call has fewer arguments.
std::optional<std::string> stringArg(ArgList args, int64_t i);
inline std::optional<int64_t> numberArg(ArgList args, int64_t i) {
    if (i < 1 || argCount(args) < i)
        return std::nullopt;
    return numberFrom(args.values[i]);
}
inline std::optional<bool> booleanArg(ArgList args, int64_t i, bool acceptInteger = false) {
    if (i < 1 || argCount(args) < i)
        return std::nullopt;
    return booleanFrom(args.values[i], acceptInteger);
}
inline std::optional<Value> functionArg(ArgList args, int64_t i) {
    if (i < 1 || argCount(args) < i)
        return std::nullopt;
    return functionFrom(args.values[i]);
}

// The built-in classes' own number rules: argument i when it is an Integer
// (a Float is not taken), and as a double when it is an Integer or a Float.
inline std::optional<int64_t> integerArg(ArgList args, int64_t i) {
    if (i < 1 || argCount(args) < i || !args.values[i].isInteger())
        return std::nullopt;
    return args.values[i].asInteger();
}
inline std::optional<double> numericArg(ArgList args, int64_t i) {
    if (i < 1 || argCount(args) < i)
        return std::nullopt;
    const Value& v = args.values[i];
    if (v.isInteger())
        return double(v.asInteger());
    if (v.isFloat())
        return v.asFloat();
    return std::nullopt;
}

// ---- results -----------------------------------------------------------------------

inline Value integerResult(int64_t v) { return Value::integer(v); }
// A 32-bit result of the system (a DWORD, an int), sign-extended.
inline Value integerResult32(uint32_t bits) { return Value::integer(static_cast<int64_t>(static_cast<int32_t>(bits))); }
inline Value booleanResult(bool v) { return Value::boolean(v); }
inline Value nullResult() { return Value::null(); }
// A Float, or NaN when the double is not a number.
Value floatResult(double d);
// Text that is not copied: the characters must live as long as the engine
// (a literal); the String is marked unchangeable.
Value staticTextResult(Engine& engine, std::u16string_view text);
// Text from ANSI (converted with the ANSI code page).
Value ansiTextResult(Engine& engine, std::string_view text);
// Text of ASCII characters (each byte one code unit; digits, formats).
Value asciiTextResult(Engine& engine, std::string_view text);
// Text copied from a wide buffer.
Value wideTextResult(Engine& engine, std::u16string_view text);
Value wideTextResult(Engine& engine, const char16_t* chars, size_t count);
#if WCHAR_MAX <= 0xFFFF
// The system's wide text (16-bit wchar_t).
Value wideTextResult(Engine& engine, const wchar_t* chars, size_t count);
#endif

// Structured results (an address record, a list of names). Building one
// allocates without collecting: the collector only runs at the
// interpreter's collection points, after the hook has returned its result.
// A new empty object, as `new Object()` makes it.
Value objectResult(Engine& engine);
// Sets a field of an object made by objectResult().
void setField(Engine& engine, const Value& object, std::string_view name, const Value& v);
// A new empty array, and appending at its end (index = length).
Value arrayResult(Engine& engine);
void appendElement(Engine& engine, const Value& array, const Value& v);

// Keeps a list of Values alive while native code holds them and calls into
// script code (where the collector may run). Scope-bound. (One Value:
// ValueRoot.)
class RootedValues {
public:
    explicit RootedValues(Engine& engine);
    ~RootedValues();
    RootedValues(const RootedValues&) = delete;
    RootedValues& operator=(const RootedValues&) = delete;

    std::vector<Value> values;

private:
    static void trace(Engine& engine, void* data);
    Engine& engine_;
};

// ---- members -------------------------------------------------------------------------

enum class MemberKind : uint8_t { Method, Property, Event };

// A result a member declares instead of computing it: its neutral result (a
// call with too few or wrong arguments) and, for host objects, its result
// once the object is closed.
enum class Fallback : uint8_t { Undefined, Null, False, True, Zero, MinusOne, EmptyText };
Value fallbackValue(Engine& engine, Fallback f);

struct Member;

// One dispatch to a member: a method call (put is 0, args the arguments,
// result the call's value) or a property access (put 0 reads into value, put
// 1 writes from value; args empty). `result` and `value` are the same Value.
struct MemberCall {
    Engine& engine;
    NativeClass* cls;
    void* self; // native data; a Value* for a per-kind class; null for the class object
    const Member& member;
    ArgList args;
    Value& result;
    int put;
    Value& value = result;

    // The receiving Value of a per-kind class (String, Number...); null for
    // the class object.
    const Value* receiver() const { return static_cast<const Value*>(self); }
    bool isWrite() const { return put != 0; }

    // The argument readers, for this call's arguments.
    int64_t count() const { return argCount(args); }
    bool has(int64_t minimum) const { return argCount(args) >= minimum; }
    // Argument i, or undefined when the call has fewer.
    Value arg(int64_t i) const { return i >= 1 && i <= argCount(args) ? args.values[i] : Value::undefined(); }
    std::optional<std::string> string(int64_t i) const { return stringArg(args, i); }
    std::optional<int64_t> number(int64_t i) const { return numberArg(args, i); }
    std::optional<bool> boolean(int64_t i, bool acceptInteger = false) const {
        return booleanArg(args, i, acceptInteger);
    }
    std::optional<Value> function(int64_t i) const { return functionArg(args, i); }
};

// A member's handler: 1 when handled, 0 when not (the engine then falls back
// to the object's own fields and the unknown-member warning).
using MemberHandler = int (*)(MemberCall& call);

// One row of a class's member table.
struct Member {
    const char* name;
    MemberKind kind;
    MemberHandler handler;
    int tag = 0;                           // free for the handler (one handler serving several members)
    Fallback neutral = Fallback::Undefined; // preset result of a method call
    Fallback closed = Fallback::False;      // host objects: a method's result once the object is closed

    static constexpr Member method(const char* name, MemberHandler h, int tag = 0,
                                   Fallback neutral = Fallback::Undefined) {
        return {name, MemberKind::Method, h, tag, neutral};
    }
    static constexpr Member property(const char* name, MemberHandler h, int tag = 0) {
        return {name, MemberKind::Property, h, tag};
    }
    static constexpr Member event(const char* name, MemberHandler h, int tag = 0) {
        return {name, MemberKind::Event, h, tag};
    }
};

// A named integer constant, set as a global at registration (`$FD_READ`).
struct IntegerConstant {
    const char* name;
    int64_t value;
};

// The class data the kit keeps for every class it defines: the members and
// their interned ids, the id -> member index, the class's text, and the
// class's own state (data, freed with the class).
class MemberIds {
public:
    MemberIds(Engine& engine, std::string_view className, std::span<const Member> members);
    // A table of names only (members without handlers), for classes that
    // dispatch in hooks of their own.
    MemberIds(Engine& engine, std::string_view className, std::span<const char* const> names);
    ~MemberIds();
    MemberIds(const MemberIds&) = delete;
    MemberIds& operator=(const MemberIds&) = delete;

    // The position of the id among the members, or -1. Constant time.
    int find(SymbolId id) const {
        if (id >= index_.size())
            return -1;
        return static_cast<int>(index_[id]) - 1;
    }
    // The member of that id, or null.
    const Member* member(SymbolId id) const {
        int at = find(id);
        return at < 0 ? nullptr : &members_[static_cast<size_t>(at)];
    }
    const Member& at(size_t position) const { return members_[position]; }
    SymbolId id(size_t position) const { return ids_[position]; }
    size_t size() const { return ids_.size(); }
    const std::string& className() const { return className_; }
    // "[object <className>]"; empty without a className. Lives as long as the class.
    std::u16string_view text() const { return text_; }

    // The class's own state, owned from here on (freed with the class).
    template <class T>
    void setState(T* state) {
        freeState();
        state_ = state;
        freeState_ = [](void* p) { delete static_cast<T*>(p); };
    }
    template <class T>
    T* state() const {
        return static_cast<T*>(state_);
    }

private:
    void buildIndex();
    void freeState();

    std::vector<Member> members_;
    std::vector<SymbolId> ids_;
    std::vector<uint16_t> index_; // by id: position + 1, 0 for none
    std::string className_;
    std::u16string text_;
    void* state_ = nullptr;
    void (*freeState_)(void*) = nullptr;
};

// The MemberIds of a class made by defineClass().
inline MemberIds& memberIds(NativeClass* cls) { return *static_cast<MemberIds*>(cls->classData); }
// Its state.
template <class T>
T& classState(NativeClass* cls) {
    return *memberIds(cls).state<T>();
}

// Everything defineClass() needs to know about a class.
struct ClassDefinition {
    // The name in the class's text "[object <className>]"; null: the class
    // answers toString itself (the built-in classes).
    const char* className = nullptr;
    // The globals the class object is bound to; empty: className alone.
    // A class may be bound under two names (Stream and FileStream).
    std::initializer_list<const char*> globalNames = {};
    std::span<const Member> members = {};
    // Member names only, for a class with hooks of its own (members empty).
    std::span<const char* const> names = {};
    // Hooks the class has (the others stay null). callMethod and
    // accessProperty are normally left null: the kit dispatches through the
    // member table (accessProperty only when the table has properties or
    // events: a class without it has no readable properties at all).
    CallHook call = nullptr;
    CallMethodHook callMethod = nullptr;
    AccessPropertyHook accessProperty = nullptr;
    ConstructHook construct = nullptr;
    DestroyDataHook destroyData = nullptr;
    MarkDataHook markData = nullptr;
    // The class's `$` constants.
    std::span<const IntegerConstant> constants = {};
};

// Registers a class: interns its members into a MemberIds table (the class
// data, freed with the class), makes the class record with the kit's or the
// given hooks, binds a data-less object of it to each global name
// (replacing what those globals held) and sets its constants.
NativeClass* defineClass(Engine& engine, const ClassDefinition& definition);

// The kit's dispatch hooks (what defineClass installs).
int kitCallMethod(Engine& engine, NativeClass* cls, void* self, SymbolId member, Value& result, ArgList args);
int kitAccessProperty(Engine& engine, NativeClass* cls, void* self, SymbolId member, int put, Value& value);

// In a callMethod hook of its own: when the member is `toString`, stores the
// class's text as a static String and returns true.
bool answerToString(Engine& engine, NativeClass* cls, SymbolId member, Value& result);

// Sets integer globals.
void setIntegerConstants(Engine& engine, std::span<const IntegerConstant> constants);

// The class object (a data-less NativeObject of the class) as a Value.
Value classValue(Engine& engine, NativeClass* cls);

// ---- host objects ----------------------------------------------------------------------

// The class of the object now bound to a global name, or null when that
// global holds no native object.
NativeClass* classBoundTo(Engine& engine, std::string_view globalName);

// Makes `out` a new object of the class bound to the global name, holding
// `data`. False (out null, data untouched) when the global holds no class:
// the caller still owns the data then.
bool newHostObject(Engine& engine, std::string_view globalName, void* data, Value& out);

// The native data of v when it is an instance of the class bound to the
// global name (null for the data-less class object itself), else null.
// (isInstanceOf(v, engine, globalName) is the engine's own test.)
void* instanceData(const Value& v, Engine& engine, std::string_view globalName);

} // namespace quill
