// The collector: marking from the roots with an explicit gray stack, then the
// heap's sweep. Marking never recurses, so chains of any length (objects,
// arrays, native data) are marked in constant native stack.
#include "script/values/Array.h"
#include "script/values/Assert.h"
#include "script/values/Engine.h"
#include "script/values/Object.h"
#include "script/values/Property.h"

#include <algorithm>
#include <chrono>

namespace quill {

namespace {
enum GrayTag { kGrayObject, kGrayArray, kGrayNative, kGrayGcObject };
// Elements of a compact array marked in one step.
constexpr uint64_t kArrayMarkStep = 256;

void markClass(Engine& engine, NativeClass* cls) {
    if (!cls || Heap::mark(cls))
        return;
    if (cls->prototype)
        markObject(engine, cls->prototype);
}
} // namespace

// ---------------------------------------------------------------------------
// Marking services

void markBlock(Engine&, void* block) {
    if (block)
        Heap::mark(block);
}

void markObject(Engine& engine, ObjectRecord* object) {
    if (object && !Heap::mark(object))
        engine.gray.push_back({kGrayObject, object});
}

void markGcObject(Engine& engine, GcObject* object) {
    if (object && !Heap::mark(object) && object->gcType && object->gcType->trace)
        engine.gray.push_back({kGrayGcObject, object});
}

void markValue(Engine& engine, const Value& v) {
    switch (v.kind) {
    case Kind::String: {
        StringBody* s = v.asString();
        if (!s || Heap::mark(s))
            return;
        if (!s->isStatic() && !s->hasInlineChars()) {
            if (void* chars = s->charsPointer())
                Heap::mark(chars);
        }
        if (s->hasOwnProperties()) {
            auto entry = engine.stringProps.find(s);
            QUILL_ASSERT(entry != engine.stringProps.end());
            if (entry != engine.stringProps.end())
                markObject(engine, entry->second);
        }
        return;
    }
    case Kind::Array: {
        ArrayBody* a = v.asArray();
        if (a && !Heap::mark(a))
            engine.gray.push_back({kGrayArray, a});
        return;
    }
    case Kind::Object:
        markObject(engine, v.asObject());
        return;
    case Kind::Function: {
        FunctionRef* f = v.asFunction();
        if (!f || Heap::mark(f))
            return;
        markGcObject(engine, f->compiled);
        markObject(engine, f->props);
        return;
    }
    case Kind::Native: {
        NativeObject* n = v.asNative();
        if (n && !Heap::mark(n))
            engine.gray.push_back({kGrayNative, n});
        return;
    }
    default:
        return;
    }
}

// ---------------------------------------------------------------------------
// Roots, in order

void Engine::markRoots() {
    for (const Value& v : constants)
        markValue(*this, v);
    for (const Value& v : globals)
        markValue(*this, v);
    for (NativeClass* cls : classes)
        markClass(*this, cls);
    for (PinnedValue* p = pinnedValues; p; p = p->next)
        markValue(*this, p->value);
    // The operand stack above the current position. A call frame's
    // ArgCount slot sits just above its with-scope slot; the with-scope list
    // is marked with the frame. The other link slots hold stack and code
    // positions, not heap records.
    if (stackPosition) {
        for (Value* p = stackPosition + 1; p < stackEnd(); ++p) {
            if (p->kind == Kind::ArgCount) {
                Value* with = p - 1;
                if (with > stackPosition && with->kind == Kind::FrameLink && with->payload.pointer) {
                    auto* list = static_cast<WithScopeList*>(with->payload.pointer);
                    Heap::mark(list);
                    for (uint64_t i = 0; i < list->count; ++i)
                        markValue(*this, list->values()[i]);
                }
            } else if (p->kind != Kind::FrameLink) {
                markValue(*this, *p);
            }
        }
    }
    markValue(*this, lastResult);
    for (ValueRoot* r = roots; r; r = r->next_)
        markValue(*this, r->value);
    for (auto& [tracer, data] : rootTracers_)
        tracer(*this, data);
}

void Engine::drainGray() {
    while (!gray.empty()) {
        GrayItem item = gray.back();
        gray.pop_back();
        switch (item.tag) {
        case kGrayObject:
            traceObject(*this, static_cast<ObjectRecord*>(item.record));
            break;
        case kGrayArray: {
            // A large compact array is marked a part at a time, the rest
            // waiting below the part's elements, so the gray stack holds at
            // most a part's worth of them instead of one item per element.
            auto* a = static_cast<ArrayBody*>(item.record);
            if (item.from == 0)
                markObject(*this, arrayPendingPrototype(a) ? arrayPendingPrototype(a) : a->props);
            uint64_t top = arrayCompactTop(a);
            uint64_t next = item.from + kArrayMarkStep;
            if (next < top)
                gray.push_back({kGrayArray, a, next});
            traceArrayPart(*this, a, item.from, kArrayMarkStep);
            break;
        }
        case kGrayNative: {
            auto* n = static_cast<NativeObject*>(item.record);
            markClass(*this, n->cls);
            markObject(*this, n->props);
            if (n->cls && n->cls->markData && n->data)
                n->cls->markData(*this, n->cls, n->data);
            break;
        }
        case kGrayGcObject: {
            auto* o = static_cast<GcObject*>(item.record);
            o->gcType->trace(*this, o);
            break;
        }
        }
    }
}

// ---------------------------------------------------------------------------
// Collection

// After marking, before the sweep frees anything: the entries of string
// bodies that died leave the table, so neither their property objects stay
// alive through it nor does a new string made at the same address find them.
void Engine::dropDeadStringProps() {
    for (auto it = stringProps.begin(); it != stringProps.end();) {
        if (Heap::isMarked(it->first))
            ++it;
        else
            it = stringProps.erase(it);
    }
}

size_t Engine::collectGarbage() {
    auto start = std::chrono::steady_clock::now();
    gray.clear();
    markRoots();
    drainGray();
    dropDeadStringProps();
    size_t kept = heap.sweep();
    // The next collection waits until a proportion of what survived has
    // been allocated (never less than the first threshold), so a program
    // that keeps what it builds is marked a bounded number of times per
    // byte: the total work stays linear in what is allocated.
    size_t growth = kept < Heap::kSmallHeap ? Heap::kSmallHeapGrowthPercent : Heap::kGrowthPercent;
    heap.threshold = std::max(Heap::kDefaultThreshold, kept / 100 * growth);
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    heap.longestPauseMicros = std::max<uint64_t>(heap.longestPauseMicros, uint64_t(micros.count()));
    return kept;
}

bool Engine::collectIfNeeded() {
    if (heap.allocatedSinceSweep() < heap.threshold)
        return false;
    collectGarbage();
    return true;
}

} // namespace quill
