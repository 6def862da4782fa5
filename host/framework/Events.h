#pragma once
// Events: the script handlers a host object keeps and calls back.
//
// An event property (`onReceive`, `onPing`) is handled by the class's
// accessProperty: a write stores the Value only when it is a Function (any
// other kind is ignored and the previous handler stays); a read gives the
// stored Function, or undefined when none is set. The object keeps its
// handlers in fixed slots and, beside them, a copy of its own script Value,
// which it passes as `this` when it fires an event through callWithThis.
// The handler's result is left in the engine's lastResult; a handler that
// fails leaves its message in errorText and the native side goes on.
//
// Keeping the Values alive: the handlers and the own Value live in the
// native data and are marked by the class's markData hook (mark()), not
// pinned. Marking ties their life to the object's: they live exactly as
// long as something reachable holds the object. Pinning would turn the own
// Value into a root and the object could never be collected (it holds
// itself), and pinned handlers would outlive an object that scripts have
// dropped. A class with events therefore sets markData.

#include <array>
#include <cstddef>
#include <initializer_list>

#include "script/Quill.h"

namespace paloma::host {

// Calls `handler` with `self` as `this` and the arguments (Integer or String
// Values) through callWithThis. False when the handler is not a Function or
// the call failed (errorText holds the message); the result is in lastResult.
bool fireHandler(quill::Engine& engine, const quill::Value& self, const quill::Value& handler,
                 std::initializer_list<quill::Value> arguments);

// N handler slots and the object's own Value.
template <size_t N>
class EventSlots {
public:
    // The object's own script Value, set once the object is bound.
    void setSelf(const quill::Value& self) { self_ = self; }
    const quill::Value& self() const { return self_; }

    const quill::Value& handler(size_t slot) const { return handlers_[slot]; }
    bool hasHandler(size_t slot) const { return handlers_[slot].isFunction(); }

    // accessProperty of the event property of `slot`: put 0 reads into
    // value, put 1 stores value when it is a Function.
    void access(size_t slot, int put, quill::Value& value) {
        if (put) {
            if (value.isFunction())
                handlers_[slot] = value;
        } else {
            value = handlers_[slot].isFunction() ? handlers_[slot] : quill::Value::undefined();
        }
    }

    // Fires the event of `slot`. The handler may close or release this very
    // object: the call works on copies, and after it returns the caller must
    // check its native data again before touching the object.
    bool fire(quill::Engine& engine, size_t slot, std::initializer_list<quill::Value> arguments) const {
        quill::Value self = self_, handler = handlers_[slot];
        return fireHandler(engine, self, handler, arguments);
    }

    // For the class's markData hook.
    void mark(quill::Engine& engine) const {
        quill::markValue(engine, self_);
        for (const quill::Value& h : handlers_)
            quill::markValue(engine, h);
    }

private:
    quill::Value self_;
    std::array<quill::Value, N> handlers_{};
};

} // namespace paloma::host
