#pragma once
// Writing a host class: one member table, typed handlers, one registration.
//
// A host class is a real object T (a stream, a socket) held by the script
// object through NativeHandle<T> (NativeHandle.h). Each member is one row of
// a table and one short handler; the kit does the rest (toString, the bare
// class object, the closed object, the argument count):
//
//     struct Socket {                        // the real object
//         EventSlots<kEventCount> events;     // when it has event properties
//         void markValues(quill::Engine& e) const { events.mark(e); }
//         ...
//     };
//
//     // Instance members get the live object; they always handle the call.
//     // The result is preset to the member's neutral result (undefined
//     // unless the row says otherwise): a handler whose arguments do not
//     // fit just returns.
//     void send(Socket& s, MemberCall& c) {
//         auto text = c.string(1);            // String only, ANSI copy
//         if (!text) return;                   // neutral result
//         c.result = integerResult(s.send(*text));
//     }
//     void error(Socket& s, MemberCall& c) {  // a property: c.put 0 reads
//         if (!c.put) c.value = integerResult(s.lastError);  // into c.value,
//     }                                        // 1 writes from it
//     void exists(MemberCall& c) { ... }       // also on the bare class object
//
//     constexpr Member kSocketMembers[] = {
//         method<send>("send", Fallback::MinusOne),      // neutral result -1
//         property<error>("error"),
//         event<Socket, kReceiveEvent>("onReceive"),     // stores functions only
//         classMethod<exists>("exists"),
//     };
//
//     void registerSocketClass(quill::Engine& engine) {
//         registerHostClass(engine, {.className = "Socket",      // "[object Socket]"
//                                    .members = kSocketMembers,
//                                    .call = socketCall,        // Socket(...) without new
//                                    .construct = socketConstruct,
//                                    .destroyData = destroyHandle<Socket>,
//                                    .markData = markHandle<Socket>,   // only with Values inside
//                                    .constants = kSocketConstants});  // `$` globals
//     }
//
// construct makes the real object first and binds it with bindHandle() (a
// failure leaves null and binds nothing); an object with events then calls
// events.setSelf(result). `close` is closeHandle<T>(c.self): after it every
// instance member answers its `closed` result (false unless the row says
// otherwise) and properties read undefined, without reaching the handler.
// A name that is not in the table is not handled: the engine then looks in
// the object's own fields and reports "Warning: unknown method ..." itself.
// A class of another data shape writes untyped rows (quill::Member with an
// int (*)(MemberCall&) handler, ClassKit.h) and reads c.self itself.

#include <cstddef>

#include "host/framework/Arguments.h"
#include "host/framework/NativeHandle.h"
#include "script/Quill.h"

namespace paloma::host {

using quill::ClassDefinition;
using quill::Fallback;
using quill::IntegerConstant;
using quill::Member;
using quill::MemberCall;
using quill::MemberIds;
using quill::MemberKind;
using quill::answerToString;
using quill::memberIds;
using quill::setIntegerConstants;

// Registers a host class (quill::defineClass): interns its member table
// (the class data, freed with the class), installs the kit's dispatch, binds
// a data-less object of the class to each global name (replacing what those
// globals held) and sets its constants. Returns the class.
inline quill::NativeClass* registerHostClass(quill::Engine& engine, const ClassDefinition& definition) {
    return quill::defineClass(engine, definition);
}

// A global host function is quill::defineGlobalFunction(engine, name, hook):
// a class with only the `call` hook, bound to the function's name.

namespace detail {

template <class F>
struct HandlerOf;
template <class T>
struct HandlerOf<void (*)(T&, MemberCall&)> {
    using Object = T;
};

template <auto F>
int instanceMember(MemberCall& c) {
    using T = typename HandlerOf<decltype(F)>::Object;
    if (!c.self)
        return 0; // the bare class object has no instance members
    T* object = liveObject<T>(c.self);
    if (!object) {
        // Closed: the member still belongs to the class, but fails; a
        // property reads undefined (preset) and takes no writes.
        if (c.member.kind == MemberKind::Method)
            c.result = quill::fallbackValue(c.engine, c.member.closed);
        return 1;
    }
    F(*object, c);
    return 1;
}

template <auto F>
int classMember(MemberCall& c) {
    F(c);
    return 1;
}

template <class T, size_t Slot>
int eventMember(MemberCall& c) {
    if (!c.self)
        return 0;
    if (T* object = liveObject<T>(c.self))
        object->events.access(Slot, c.put, c.value);
    return 1;
}

} // namespace detail

// An instance method: void F(T& object, MemberCall& c). `neutral` is the
// preset result, `closed` the result once the object is closed.
template <auto F>
constexpr Member method(const char* name, Fallback neutral = Fallback::Undefined,
                        Fallback closed = Fallback::False) {
    return {name, MemberKind::Method, detail::instanceMember<F>, 0, neutral, closed};
}

// An instance property: void F(T& object, MemberCall& c), c.put 0 reads
// into c.value (preset undefined), 1 writes from c.value.
template <auto F>
constexpr Member property(const char* name) {
    return {name, MemberKind::Property, detail::instanceMember<F>};
}

// An event property kept in slot `Slot` of T::events (EventSlots).
template <class T, size_t Slot>
constexpr Member event(const char* name) {
    return {name, MemberKind::Event, detail::eventMember<T, Slot>};
}

// Members that also answer on the bare class object (and on a closed
// object): void F(MemberCall& c); c.self is the native data block or null.
template <auto F>
constexpr Member classMethod(const char* name, Fallback neutral = Fallback::Undefined) {
    return {name, MemberKind::Method, detail::classMember<F>, 0, neutral};
}
template <auto F>
constexpr Member classProperty(const char* name) {
    return {name, MemberKind::Property, detail::classMember<F>};
}

} // namespace paloma::host
