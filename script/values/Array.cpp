// Array services: dense vector plus open-addressed table, with insertion
// sequence numbers that reproduce bucket order.
#include "script/values/Array.h"

#include "script/values/HeapChunks.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quill {

namespace {

constexpr Kind kHole = static_cast<Kind>(-1);    // dense hole, empty sparse cell
constexpr Kind kRemoved = static_cast<Kind>(-2); // removed sparse cell
constexpr uint64_t kMinDense = 16;

uint64_t mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return x;
}

SparseElement* sparseFind(const ArrayBody* a, uint64_t index) {
    if (!a->sparse)
        return nullptr;
    uint64_t mask = a->sparseCapacity - 1;
    for (uint64_t i = mix(index) & mask;; i = (i + 1) & mask) {
        SparseElement& c = a->sparse[i];
        if (c.element.value.kind == kHole)
            return nullptr;
        if (c.element.value.kind != kRemoved && c.index == index)
            return &c;
    }
}

void sparseInsertRaw(SparseElement* table, uint64_t capacity, uint64_t index, const ArrayElement& e) {
    uint64_t mask = capacity - 1;
    uint64_t i = mix(index) & mask;
    while (table[i].element.value.kind != kHole && table[i].element.value.kind != kRemoved)
        i = (i + 1) & mask;
    table[i].index = index;
    table[i].element = e;
}

void sparseResize(Engine& engine, ArrayBody* a, uint64_t capacity) {
    if (capacity > (uint64_t(1) << 40) / sizeof(SparseElement))
        engine.raiseError("Out of memory");
    auto* table = static_cast<SparseElement*>(engine.gcAlloc(size_t(capacity) * sizeof(SparseElement)));
    for (uint64_t i = 0; i < capacity; ++i)
        table[i].element.value.kind = kHole;
    uint64_t used = 0;
    for (uint64_t i = 0; i < a->sparseCapacity; ++i) {
        SparseElement& c = a->sparse[i];
        if (c.element.value.kind != kHole && c.element.value.kind != kRemoved) {
            sparseInsertRaw(table, capacity, c.index, c.element);
            ++used;
        }
    }
    if (a->sparse)
        engine.gcFree(a->sparse);
    a->sparse = used || capacity ? table : nullptr;
    a->sparseCapacity = capacity;
    a->sparseUsed = used;
}

void sparseInsert(Engine& engine, ArrayBody* a, uint64_t index, const ArrayElement& e) {
    if (!a->sparse || (a->sparseUsed + 1) * 2 > a->sparseCapacity) {
        uint64_t live = 0;
        for (uint64_t i = 0; i < a->sparseCapacity; ++i)
            if (a->sparse[i].element.value.kind != kHole && a->sparse[i].element.value.kind != kRemoved)
                ++live;
        uint64_t cap = 16;
        while ((live + 1) * 4 > cap)
            cap *= 2;
        sparseResize(engine, a, cap);
    }
    sparseInsertRaw(a->sparse, a->sparseCapacity, index, e);
    ++a->sparseUsed;
}

void denseGrow(Engine& engine, ArrayBody* a, uint64_t need) {
    uint64_t cap = std::max<uint64_t>(kMinDense, std::bit_ceil(need));
    if (cap > (uint64_t(1) << 40) / sizeof(ArrayElement))
        engine.raiseError("Out of memory");
    auto* dense = static_cast<ArrayElement*>(engine.gcRealloc(a->dense, size_t(cap) * sizeof(ArrayElement)));
    for (uint64_t i = a->denseCapacity; i < cap; ++i)
        dense[i].value.kind = kHole;
    a->dense = dense;
    a->denseCapacity = cap;
    // Far elements that now fall inside the dense range move there.
    if (a->sparse) {
        bool moved = false;
        for (uint64_t i = 0; i < a->sparseCapacity; ++i) {
            SparseElement& c = a->sparse[i];
            if (c.element.value.kind != kHole && c.element.value.kind != kRemoved && c.index < cap) {
                dense[c.index] = c.element;
                c.element.value.kind = kRemoved;
                moved = true;
            }
        }
        if (moved)
            sparseResize(engine, a, a->sparseCapacity);
    }
}

// The slot for index, or null when the element is missing.
ArrayElement* findElement(const ArrayBody* a, uint64_t index) {
    if (index < a->denseCapacity) {
        ArrayElement* e = &a->dense[index];
        return e->value.kind == kHole ? nullptr : e;
    }
    SparseElement* c = sparseFind(a, index);
    return c ? &c->element : nullptr;
}

void insertElement(Engine& engine, ArrayBody* a, uint64_t index, const ArrayElement& e) {
    if (index >= a->denseCapacity) {
        uint64_t reach = std::max(a->denseCapacity, a->count) * 2 + kMinDense;
        if (index < reach)
            denseGrow(engine, a, index + 1);
    }
    if (index < a->denseCapacity)
        a->dense[index] = e;
    else
        sparseInsert(engine, a, index, e);
    ++a->count;
}

struct Entry {
    uint64_t index;
    ArrayElement element;
};

std::vector<Entry> entries(const ArrayBody* a) {
    std::vector<Entry> out;
    out.reserve(a->count);
    for (uint64_t i = 0; i < a->denseCapacity; ++i)
        if (a->dense[i].value.kind != kHole)
            out.push_back({i, a->dense[i]});
    for (uint64_t i = 0; i < a->sparseCapacity; ++i) {
        const SparseElement& c = a->sparse[i];
        if (c.element.value.kind != kHole && c.element.value.kind != kRemoved)
            out.push_back({c.index, c.element});
    }
    return out;
}

// Every element in bucket order: distributed over the buckets by counting,
// then each bucket put in descending sequence. Elements added in ascending
// index order (the usual case) need only a reversal per bucket.
template <typename Visit>
void forEachElement(const ArrayBody* a, Visit&& visit) {
    for (uint64_t i = 0; i < a->denseCapacity; ++i)
        if (a->dense[i].value.kind != kHole)
            visit(i, a->dense[i]);
    for (uint64_t i = 0; i < a->sparseCapacity; ++i) {
        const SparseElement& c = a->sparse[i];
        if (c.element.value.kind != kHole && c.element.value.kind != kRemoved)
            visit(c.index, c.element);
    }
}

using EntryList = std::vector<Entry, BulkAllocator<Entry>>;

EntryList bucketOrder(const ArrayBody* a) {
    uint64_t starts[kArrayBuckets + 1] = {};
    forEachElement(a, [&](uint64_t index, const ArrayElement&) { ++starts[index % kArrayBuckets + 1]; });
    for (uint64_t b = 0; b < kArrayBuckets; ++b)
        starts[b + 1] += starts[b];
    EntryList ordered(static_cast<size_t>(starts[kArrayBuckets]));
    uint64_t fill[kArrayBuckets];
    std::copy(starts, starts + kArrayBuckets, fill);
    forEachElement(a, [&](uint64_t index, const ArrayElement& e) {
        ordered[fill[index % kArrayBuckets]++] = Entry{index, e};
    });
    auto newerFirst = [](const Entry& x, const Entry& y) { return x.element.seq > y.element.seq; };
    for (uint64_t b = 0; b < kArrayBuckets; ++b) {
        auto first = ordered.begin() + ptrdiff_t(starts[b]);
        auto last = ordered.begin() + ptrdiff_t(starts[b + 1]);
        if (std::is_sorted(first, last, newerFirst))
            continue;
        std::reverse(first, last);
        if (!std::is_sorted(first, last, newerFirst))
            std::sort(first, last, newerFirst);
    }
    return ordered;
}

void clearStorage(Engine& engine, ArrayBody* a) {
    if (a->dense)
        engine.gcFree(a->dense);
    if (a->sparse)
        engine.gcFree(a->sparse);
    a->dense = nullptr;
    a->denseCapacity = 0;
    a->sparse = nullptr;
    a->sparseCapacity = 0;
    a->sparseUsed = 0;
    a->count = 0;
}

// Reinserts entries (already re-indexed) keeping their sequence numbers, in
// ascending sequence so the dense part grows naturally.
void refill(Engine& engine, ArrayBody* a, std::vector<Entry>& all) {
    std::sort(all.begin(), all.end(), [](const Entry& x, const Entry& y) { return x.index < y.index; });
    for (const Entry& e : all)
        insertElement(engine, a, e.index, e.element);
}

} // namespace

ArrayBody* newArrayBody(Engine& engine) {
    return static_cast<ArrayBody*>(engine.gcAllocZeroed(sizeof(ArrayBody)));
}

Value newArray(Engine& engine) { return Value::array(newArrayBody(engine)); }

bool arrayGet(const ArrayBody* a, uint64_t index, Value& out) {
    const ArrayElement* e = findElement(a, index);
    if (!e)
        return false;
    out = e->value;
    return true;
}

void arrayAdd(Engine& engine, ArrayBody* a, uint64_t index, const Value& v) {
    if (ArrayElement* e = findElement(a, index)) {
        e->value = v;
        e->seq = a->nextSeq++;
    } else {
        insertElement(engine, a, index, ArrayElement{v, a->nextSeq++});
    }
    if (index >= a->length)
        a->length = index + 1;
}

void arraySet(Engine& engine, ArrayBody* a, uint64_t index, const Value& v) {
    if (ArrayElement* e = findElement(a, index))
        e->value = v;
    else
        insertElement(engine, a, index, ArrayElement{v, a->nextSeq++});
    if (index >= a->length)
        a->length = index + 1;
}

void arrayPush(Engine& engine, ArrayBody* a, const Value& v) { arraySet(engine, a, a->length, v); }

bool arrayRemove(ArrayBody* a, uint64_t index) {
    if (index < a->denseCapacity) {
        if (a->dense[index].value.kind == kHole)
            return false;
        a->dense[index].value = Value();
        a->dense[index].value.kind = kHole;
        --a->count;
        return true;
    }
    SparseElement* c = sparseFind(a, index);
    if (!c)
        return false;
    c->element.value = Value();
    c->element.value.kind = kRemoved;
    --a->count;
    return true;
}

void arrayRemoveShift(Engine& engine, ArrayBody* a, uint64_t index) {
    if (index >= a->length)
        return;
    arrayRemove(a, index);
    if (a->sparseUsed == 0 || a->count == 0) {
        // Only the dense part holds elements: slide it down in place.
        if (index + 1 < a->denseCapacity) {
            std::memmove(static_cast<void*>(a->dense + index), a->dense + index + 1,
                         size_t(a->denseCapacity - index - 1) * sizeof(ArrayElement));
            a->dense[a->denseCapacity - 1].value = Value();
            a->dense[a->denseCapacity - 1].value.kind = kHole;
        }
        --a->length;
        return;
    }
    std::vector<Entry> all = entries(a);
    bool above = false;
    for (Entry& e : all)
        if (e.index > index) {
            --e.index;
            above = true;
        }
    if (above) {
        clearStorage(engine, a);
        refill(engine, a, all);
    }
    --a->length;
}

void arrayShiftUp(Engine& engine, ArrayBody* a, uint64_t n) {
    if (n == 0)
        return;
    uint64_t used = a->denseCapacity;
    while (used > 0 && a->dense[used - 1].value.kind == kHole)
        --used;
    if (a->sparseUsed == 0 && used > 0 && used + n <= a->denseCapacity * 2 + kMinDense) {
        // Only the dense part holds elements: slide it up in place.
        if (used + n > a->denseCapacity)
            denseGrow(engine, a, used + n);
        std::memmove(static_cast<void*>(a->dense + n), a->dense, size_t(used) * sizeof(ArrayElement));
        for (uint64_t i = 0; i < n; ++i) {
            a->dense[i].value = Value();
            a->dense[i].value.kind = kHole;
        }
        a->length += n;
        return;
    }
    std::vector<Entry> all = entries(a);
    for (Entry& e : all)
        e.index += n;
    clearStorage(engine, a);
    refill(engine, a, all);
    a->length += n;
}

void arrayCopy(Engine& engine, ArrayBody* dst, const ArrayBody* src, uint64_t offset) {
    std::vector<Entry> all = entries(src);
    std::sort(all.begin(), all.end(), [](const Entry& x, const Entry& y) { return x.element.seq < y.element.seq; });
    for (const Entry& e : all)
        arrayAdd(engine, dst, e.index + offset, e.element.value);
    if (src->length + offset > dst->length)
        dst->length = src->length + offset;
}

std::vector<Value> arrayGather(const ArrayBody* a) {
    std::vector<Value> out;
    out.reserve(a->count);
    for (const Entry& e : bucketOrder(a))
        out.push_back(e.element.value);
    return out;
}

std::vector<uint64_t> arrayGatherIndices(const ArrayBody* a) {
    std::vector<uint64_t> out;
    out.reserve(a->count);
    for (const Entry& e : bucketOrder(a))
        out.push_back(e.index);
    return out;
}

void arrayReserve(Engine& engine, ArrayBody* a, uint64_t count) {
    if (count > a->denseCapacity)
        denseGrow(engine, a, count);
}

void arrayRebuild(Engine& engine, ArrayBody* a, const std::vector<Value>& values) {
    clearStorage(engine, a);
    a->length = 0;
    if (!values.empty())
        denseGrow(engine, a, values.size());
    for (const Value& v : values)
        arrayAdd(engine, a, a->length, v);
}

uint64_t arrayElementCount(const ArrayBody* a) { return a->count; }

void traceArray(Engine& engine, ArrayBody* a) {
    if (a->dense) {
        markBlock(engine, a->dense);
        for (uint64_t i = 0; i < a->denseCapacity; ++i)
            if (a->dense[i].value.kind != kHole)
                markValue(engine, a->dense[i].value);
    }
    if (a->sparse) {
        markBlock(engine, a->sparse);
        for (uint64_t i = 0; i < a->sparseCapacity; ++i) {
            const SparseElement& c = a->sparse[i];
            if (c.element.value.kind != kHole && c.element.value.kind != kRemoved)
                markValue(engine, c.element.value);
        }
    }
}

} // namespace quill
