#pragma once
// The common shape of a host object's native data: a small block holding one
// pointer to the real object (a stream, a socket, a window).
//
// An explicit `close` releases the real object and clears the pointer while
// the script object lives on; when the collector frees the script object,
// destroyData releases whatever is still held and frees the block. The
// engine calls destroyData at most once per object (it clears the object's
// data pointer first), and closeHandle() clears the inner pointer, so the
// real object is released exactly once whichever comes first.
//
// Every hook checks both pointers: the block is null for the data-less class
// object, the real object is null after `close`. liveObject() does both.
//
// T may keep script Values (event handlers, its own Value): it then has
//     void markValues(quill::Engine& engine) const;
// and the class sets markHandle<T> as its markData hook.

#include <memory>
#include <utility>

#include "script/Quill.h"

namespace paloma::host {

template <class T>
struct NativeHandle {
    std::unique_ptr<T> object;
};

// The real object behind a hook's `self`, or null when either pointer is.
template <class T>
T* liveObject(void* self) {
    auto* handle = static_cast<NativeHandle<T>*>(self);
    return handle ? handle->object.get() : nullptr;
}

// Makes `result` a new object of the class holding `object`; returns the real
// object (owned by the script object from now on).
template <class T>
T* bindHandle(quill::Engine& engine, quill::NativeClass* cls, std::unique_ptr<T> object, quill::Value& result) {
    auto handle = std::make_unique<NativeHandle<T>>();
    handle->object = std::move(object);
    T* raw = handle->object.get();
    quill::bindNativeObject(engine, result, cls, handle.get());
    handle.release(); // the script object owns it; destroyHandle frees it
    return raw;
}

// `close`: releases the real object and clears the pointer. False when there
// was nothing to release (the class object, or closed before).
template <class T>
bool closeHandle(void* self) {
    auto* handle = static_cast<NativeHandle<T>*>(self);
    if (!handle || !handle->object)
        return false;
    // The handle is cleared before the object's destructor runs (moving
    // leaves it null), so nothing reached from that destructor finds a
    // half-destroyed object through the handle.
    std::unique_ptr<T> doomed = std::move(handle->object);
    doomed.reset();
    return true;
}

// destroyData hook.
template <class T>
void destroyHandle(quill::NativeClass*, void* data) {
    std::unique_ptr<NativeHandle<T>> handle(static_cast<NativeHandle<T>*>(data));
    closeHandle<T>(handle.get());
}

// markData hook for a T with markValues().
template <class T>
void markHandle(quill::Engine& engine, quill::NativeClass*, void* data) {
    if (T* object = liveObject<T>(data))
        object->markValues(engine);
}

} // namespace paloma::host
