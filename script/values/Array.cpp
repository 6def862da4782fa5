// Array services: a compact vector of Values while elements arrive in index
// order, else a dense vector plus open-addressed table with insertion
// sequence numbers that reproduce bucket order.
#include "script/values/Array.h"
#include "script/values/Messages.h"

#include "script/values/Assert.h"
#include "script/values/HeapChunks.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quill {

namespace {

constexpr Kind kHole = static_cast<Kind>(-1);    // hole, empty sparse cell
constexpr Kind kRemoved = static_cast<Kind>(-2); // removed sparse cell
constexpr uint64_t kMinDense = 16;
constexpr uint64_t kMinCompact = 2;
// The compact form stays below this many slots (one 1 GiB block of Values).
constexpr uint64_t kMaxCompact = uint64_t(1) << 26;

bool isCompact(const ArrayBody* a) { return a->top != kArrayBucketed; }
bool isLent(const ArrayBody* a) { return isCompact(a) && (a->top & kArrayLent) != 0; }
// The top of a compact array, lent or not. Code that changes the elements
// reads a->top itself, after ownBlock.
uint32_t compactTop(const ArrayBody* a) { return a->top & ~kArrayLent; }

// A lent block holds the elements in bucket order, the order a sort takes
// them in, so that the sort's neighbours are neighbours in memory (a sort
// of a large array in index order would touch a new page at nearly every
// step). A compact array of n elements without holes has n = 127q + r:
// the buckets below r hold q + 1 elements, the others q, and bucket b
// holds the indices b, b + 127, ..., highest (newest) first.
struct BucketLayout {
    static constexpr auto kBuckets = uint32_t(kArrayBuckets);
    uint32_t q, r;
    explicit BucketLayout(uint32_t n) : q(n / kBuckets), r(n % kBuckets) {}
    uint32_t position(uint32_t index) const {
        uint32_t b = index % kBuckets, k = index / kBuckets;
        uint32_t count = b < r ? q + 1 : q;
        return b * q + std::min(b, r) + count - 1 - k;
    }
    uint32_t index(uint32_t position) const {
        uint32_t large = r * (q + 1); // the positions of the larger buckets
        uint32_t b, offset, count;
        if (position < large) {
            b = position / (q + 1);
            offset = position % (q + 1);
            count = q + 1;
        } else {
            b = r + (position - large) / q;
            offset = (position - large) % q;
            count = q;
        }
        return b + kBuckets * (count - 1 - offset);
    }
};

// Where a lent array keeps the element at index (a compact array without
// holes), and where any other compact array does.
uint32_t slotOf(const ArrayBody* a, uint32_t index) {
    return isLent(a) ? BucketLayout(compactTop(a)).position(index) : index;
}

ArrayStore* store(const ArrayBody* a) { return static_cast<ArrayStore*>(a->storage); }
Value* compactValues(const ArrayBody* a) { return static_cast<Value*>(a->storage); }
uint64_t compactCapacity(const ArrayBody* a) {
    return a->storage ? Heap::blockSize(a->storage) / sizeof(Value) : 0;
}

void setHole(Value& v) {
    v = Value();
    v.kind = kHole;
}

uint64_t mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return x;
}

// ---- compact form -------------------------------------------------------------

// Grows the compact block to at least `need` slots. The new slots are left
// as they come (slots at and above top hold nothing defined): whoever raises
// top writes every slot below it, so growing touches no new memory.
// Growth by appending doubles the capacity; `exact` asks for just `need`
// (a reservation whose size is known).
void compactGrow(Engine& engine, ArrayBody* a, uint64_t need, bool exact = false) {
    QUILL_ASSERT(!isLent(a));
    if (need <= compactCapacity(a))
        return;
    uint64_t cap = std::max<uint64_t>(kMinCompact, exact ? need : std::bit_ceil(need));
    a->storage = engine.gcRealloc(a->storage, size_t(cap) * sizeof(Value));
}

// Ends a loan of the block to a sort as the array's elements are about to
// change: the array continues with a copy of its own in index order (of the
// same capacity, so later growth decides as it would have), and the lent
// block keeps the elements the sort began with.
void copyLentBlock(Engine& engine, ArrayBody* a) {
    uint32_t top = compactTop(a);
    auto* copy = static_cast<Value*>(engine.gcAlloc(Heap::blockSize(a->storage)));
    const Value* lent = compactValues(a);
    BucketLayout layout(top);
    for (uint32_t i = 0; i < top; ++i)
        copy[i] = lent[layout.position(i)];
    a->storage = copy;
    a->top = top;
}

// Every service that changes the elements calls this first.
inline void ownBlock(Engine& engine, ArrayBody* a) {
    if (isLent(a)) [[unlikely]]
        copyLentBlock(engine, a);
}

// Lowers top past trailing holes.
void compactTrim(ArrayBody* a) {
    QUILL_ASSERT(!isLent(a));
    Value* values = compactValues(a);
    while (a->top > 0 && values[a->top - 1].kind == kHole)
        --a->top;
}

// ---- bucketed form: sparse table ------------------------------------------------

SparseElement* sparseFind(const ArrayStore* s, uint64_t index) {
    if (!s->sparse)
        return nullptr;
    uint64_t mask = s->sparseCapacity - 1;
    for (uint64_t i = mix(index) & mask;; i = (i + 1) & mask) {
        SparseElement& c = s->sparse[i];
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

void sparseResize(Engine& engine, ArrayStore* s, uint64_t capacity) {
    if (capacity > (uint64_t(1) << 40) / sizeof(SparseElement))
        engine.raiseError(kErrOutOfMemory);
    auto* table = static_cast<SparseElement*>(engine.gcAlloc(size_t(capacity) * sizeof(SparseElement)));
    for (uint64_t i = 0; i < capacity; ++i)
        table[i].element.value.kind = kHole;
    uint64_t used = 0;
    for (uint64_t i = 0; i < s->sparseCapacity; ++i) {
        SparseElement& c = s->sparse[i];
        if (c.element.value.kind != kHole && c.element.value.kind != kRemoved) {
            sparseInsertRaw(table, capacity, c.index, c.element);
            ++used;
        }
    }
    if (s->sparse)
        engine.gcFree(s->sparse);
    s->sparse = used || capacity ? table : nullptr;
    s->sparseCapacity = capacity;
    s->sparseUsed = used;
}

void sparseInsert(Engine& engine, ArrayStore* s, uint64_t index, const ArrayElement& e) {
    if (!s->sparse || (s->sparseUsed + 1) * 2 > s->sparseCapacity) {
        uint64_t live = 0;
        for (uint64_t i = 0; i < s->sparseCapacity; ++i)
            if (s->sparse[i].element.value.kind != kHole && s->sparse[i].element.value.kind != kRemoved)
                ++live;
        uint64_t cap = 16;
        while ((live + 1) * 4 > cap)
            cap *= 2;
        sparseResize(engine, s, cap);
    }
    sparseInsertRaw(s->sparse, s->sparseCapacity, index, e);
    ++s->sparseUsed;
}

// ---- bucketed form: dense vector ---------------------------------------------------

void denseGrow(Engine& engine, ArrayStore* s, uint64_t need) {
    uint64_t cap = std::max<uint64_t>(kMinDense, std::bit_ceil(need));
    if (cap > (uint64_t(1) << 40) / sizeof(ArrayElement))
        engine.raiseError(kErrOutOfMemory);
    auto* dense = static_cast<ArrayElement*>(engine.gcRealloc(s->dense, size_t(cap) * sizeof(ArrayElement)));
    for (uint64_t i = s->denseCapacity; i < cap; ++i)
        dense[i].value.kind = kHole;
    s->dense = dense;
    s->denseCapacity = cap;
    // Far elements that now fall inside the dense range move there.
    if (s->sparse) {
        bool moved = false;
        for (uint64_t i = 0; i < s->sparseCapacity; ++i) {
            SparseElement& c = s->sparse[i];
            if (c.element.value.kind != kHole && c.element.value.kind != kRemoved && c.index < cap) {
                dense[c.index] = c.element;
                c.element.value.kind = kRemoved;
                moved = true;
            }
        }
        if (moved)
            sparseResize(engine, s, s->sparseCapacity);
    }
}

// Turns a compact array into the bucketed form. Index order was insertion
// order, so sequence numbers follow the indices.
ArrayStore* makeBucketed(Engine& engine, ArrayBody* a) {
    if (!isCompact(a))
        return store(a);
    QUILL_ASSERT(!isLent(a));
    auto* s = static_cast<ArrayStore*>(engine.gcAllocZeroed(sizeof(ArrayStore)));
    Value* values = compactValues(a);
    if (a->top > 0) {
        denseGrow(engine, s, a->top);
        for (uint64_t i = 0; i < a->top; ++i)
            if (values[i].kind != kHole)
                s->dense[i] = ArrayElement{values[i], i};
    }
    s->nextSeq = a->top;
    if (values)
        engine.gcFree(values);
    a->storage = s;
    a->top = kArrayBucketed;
    return s;
}

// The slot for index in the bucketed form, or null when the element is missing.
ArrayElement* findElement(const ArrayStore* s, uint64_t index) {
    if (index < s->denseCapacity) {
        ArrayElement* e = &s->dense[index];
        return e->value.kind == kHole ? nullptr : e;
    }
    SparseElement* c = sparseFind(s, index);
    return c ? &c->element : nullptr;
}

void insertElement(Engine& engine, ArrayBody* a, ArrayStore* s, uint64_t index, const ArrayElement& e) {
    if (index >= s->denseCapacity) {
        uint64_t reach = std::max<uint64_t>(s->denseCapacity, a->count) * 2 + kMinDense;
        if (index < reach)
            denseGrow(engine, s, index + 1);
    }
    if (index < s->denseCapacity)
        s->dense[index] = e;
    else
        sparseInsert(engine, s, index, e);
    ++a->count;
}

// Adds a new element at an index that holds none; `index` becomes the
// newest element.
void addNew(Engine& engine, ArrayBody* a, uint64_t index, const Value& v) {
    if (isCompact(a) && index >= a->top) {
        uint64_t cap = compactCapacity(a);
        uint64_t reach = std::max<uint64_t>(cap, a->count) * 2 + kMinDense;
        if (index < cap || (index < reach && index < kMaxCompact)) {
            compactGrow(engine, a, index + 1);
            Value* values = compactValues(a);
            for (uint64_t i = a->top; i < index; ++i)
                setHole(values[i]);
            values[index] = v;
            a->top = static_cast<uint32_t>(index + 1);
            ++a->count;
            return;
        }
    }
    ArrayStore* s = makeBucketed(engine, a);
    insertElement(engine, a, s, index, ArrayElement{v, s->nextSeq++});
}

struct Entry {
    uint64_t index;
    ArrayElement element;
};

// Every element with its (possibly implied) sequence number, in storage order.
template <typename Visit>
void forEachElement(const ArrayBody* a, Visit&& visit) {
    if (isCompact(a)) {
        const Value* values = compactValues(a);
        if (isLent(a)) {
            BucketLayout layout(compactTop(a));
            for (uint32_t i = 0, top = compactTop(a); i < top; ++i)
                visit(i, ArrayElement{values[layout.position(i)], i});
            return;
        }
        for (uint64_t i = 0; i < a->top; ++i)
            if (values[i].kind != kHole)
                visit(i, ArrayElement{values[i], i});
        return;
    }
    const ArrayStore* s = store(a);
    for (uint64_t i = 0; i < s->denseCapacity; ++i)
        if (s->dense[i].value.kind != kHole)
            visit(i, s->dense[i]);
    for (uint64_t i = 0; i < s->sparseCapacity; ++i) {
        const SparseElement& c = s->sparse[i];
        if (c.element.value.kind != kHole && c.element.value.kind != kRemoved)
            visit(c.index, c.element);
    }
}

std::vector<Entry> entries(const ArrayBody* a) {
    std::vector<Entry> out;
    out.reserve(a->count);
    forEachElement(a, [&](uint64_t index, const ArrayElement& e) { out.push_back({index, e}); });
    return out;
}

using EntryList = std::vector<Entry, BulkAllocator<Entry>>;

// Every element in bucket order: distributed over the buckets by counting,
// then each bucket put in descending sequence. Elements added in ascending
// index order (the usual case) need only a reversal per bucket.
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

// Drops every element; the array is compact and empty afterwards.
void clearStorage(Engine& engine, ArrayBody* a) {
    QUILL_ASSERT(!isLent(a));
    if (!isCompact(a)) {
        ArrayStore* s = store(a);
        if (s->dense)
            engine.gcFree(s->dense);
        if (s->sparse)
            engine.gcFree(s->sparse);
    }
    if (a->storage)
        engine.gcFree(a->storage);
    a->storage = nullptr;
    a->top = 0;
    a->count = 0;
}

// Reinserts entries (already re-indexed) keeping their sequence numbers, in
// ascending index so the dense part grows naturally.
void refill(Engine& engine, ArrayBody* a, std::vector<Entry>& all, uint64_t nextSeq) {
    std::sort(all.begin(), all.end(), [](const Entry& x, const Entry& y) { return x.index < y.index; });
    ArrayStore* s = makeBucketed(engine, a);
    s->nextSeq = nextSeq;
    for (const Entry& e : all)
        insertElement(engine, a, s, e.index, e.element);
}

} // namespace

ArrayBody* newArrayBody(Engine& engine) {
    return static_cast<ArrayBody*>(engine.gcAllocZeroed(sizeof(ArrayBody)));
}

Value newArray(Engine& engine) { return Value::array(newArrayBody(engine)); }

bool arrayGet(const ArrayBody* a, uint64_t index, Value& out) {
    if (isCompact(a)) {
        if (index >= compactTop(a))
            return false;
        const Value& v = compactValues(a)[slotOf(a, uint32_t(index))];
        if (v.kind == kHole)
            return false;
        out = v;
        return true;
    }
    const ArrayElement* e = findElement(store(a), index);
    if (!e)
        return false;
    out = e->value;
    return true;
}

void arrayAdd(Engine& engine, ArrayBody* a, uint64_t index, const Value& v) {
    ownBlock(engine, a);
    if (isCompact(a)) {
        if (index < a->top && compactValues(a)[index].kind != kHole) {
            // Re-adding makes the element the newest: in index order only
            // when it is the highest.
            if (index + 1 == a->top) {
                compactValues(a)[index] = v;
            } else {
                ArrayStore* s = makeBucketed(engine, a);
                ArrayElement* e = findElement(s, index);
                e->value = v;
                e->seq = s->nextSeq++;
            }
        } else {
            addNew(engine, a, index, v);
        }
    } else if (ArrayElement* e = findElement(store(a), index)) {
        e->value = v;
        e->seq = store(a)->nextSeq++;
    } else {
        addNew(engine, a, index, v);
    }
    if (index >= a->length)
        a->length = index + 1;
}

void arraySet(Engine& engine, ArrayBody* a, uint64_t index, const Value& v) {
    ownBlock(engine, a);
    if (isCompact(a)) {
        if (index < a->top && compactValues(a)[index].kind != kHole)
            compactValues(a)[index] = v;
        else
            addNew(engine, a, index, v);
    } else if (ArrayElement* e = findElement(store(a), index)) {
        e->value = v;
    } else {
        addNew(engine, a, index, v);
    }
    if (index >= a->length)
        a->length = index + 1;
}

void arrayPush(Engine& engine, ArrayBody* a, const Value& v) { arraySet(engine, a, a->length, v); }

bool arrayRemove(Engine& engine, ArrayBody* a, uint64_t index) {
    ownBlock(engine, a);
    if (isCompact(a)) {
        if (index >= a->top || compactValues(a)[index].kind == kHole)
            return false;
        setHole(compactValues(a)[index]);
        --a->count;
        compactTrim(a);
        return true;
    }
    ArrayStore* s = store(a);
    if (index < s->denseCapacity) {
        if (s->dense[index].value.kind == kHole)
            return false;
        setHole(s->dense[index].value);
        --a->count;
        return true;
    }
    SparseElement* c = sparseFind(s, index);
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
    arrayRemove(engine, a, index);
    if (isCompact(a)) {
        // Sliding down keeps index order, so the array stays compact.
        if (index < a->top) {
            Value* values = compactValues(a);
            std::memmove(static_cast<void*>(values + index), values + index + 1,
                         size_t(a->top - index - 1) * sizeof(Value));
            setHole(values[a->top - 1]);
            --a->top;
            compactTrim(a);
        }
        --a->length;
        return;
    }
    ArrayStore* s = store(a);
    if (s->sparseUsed == 0 || a->count == 0) {
        // Only the dense part holds elements: slide it down in place.
        if (index + 1 < s->denseCapacity) {
            std::memmove(static_cast<void*>(s->dense + index), s->dense + index + 1,
                         size_t(s->denseCapacity - index - 1) * sizeof(ArrayElement));
            setHole(s->dense[s->denseCapacity - 1].value);
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
        uint64_t seq = s->nextSeq;
        clearStorage(engine, a);
        refill(engine, a, all, seq);
    }
    --a->length;
}

void arrayShiftUp(Engine& engine, ArrayBody* a, uint64_t n) {
    if (n == 0)
        return;
    ownBlock(engine, a);
    if (isCompact(a)) {
        if (a->top == 0) {
            a->length += n;
            return;
        }
        if (n < kMaxCompact && a->top + n < kMaxCompact) {
            // Sliding up keeps index order, so the array stays compact.
            compactGrow(engine, a, a->top + n);
            Value* values = compactValues(a);
            std::memmove(static_cast<void*>(values + n), values, size_t(a->top) * sizeof(Value));
            for (uint64_t i = 0; i < n; ++i)
                setHole(values[i]);
            a->top = static_cast<uint32_t>(a->top + n);
            a->length += n;
            return;
        }
        makeBucketed(engine, a);
    }
    ArrayStore* s = store(a);
    uint64_t used = s->denseCapacity;
    while (used > 0 && s->dense[used - 1].value.kind == kHole)
        --used;
    if (s->sparseUsed == 0 && used > 0 && used + n <= s->denseCapacity * 2 + kMinDense) {
        // Only the dense part holds elements: slide it up in place.
        if (used + n > s->denseCapacity)
            denseGrow(engine, s, used + n);
        std::memmove(static_cast<void*>(s->dense + n), s->dense, size_t(used) * sizeof(ArrayElement));
        for (uint64_t i = 0; i < n; ++i)
            setHole(s->dense[i].value);
        a->length += n;
        return;
    }
    std::vector<Entry> all = entries(a);
    for (Entry& e : all)
        e.index += n;
    uint64_t seq = s->nextSeq;
    clearStorage(engine, a);
    refill(engine, a, all, seq);
    a->length += n;
}

void arrayCopy(Engine& engine, ArrayBody* dst, const ArrayBody* src, uint64_t offset) {
    ownBlock(engine, dst);
    std::vector<Entry> all = entries(src);
    std::sort(all.begin(), all.end(), [](const Entry& x, const Entry& y) { return x.element.seq < y.element.seq; });
    for (const Entry& e : all)
        arrayAdd(engine, dst, e.index + offset, e.element.value);
    if (src->length + offset > dst->length)
        dst->length = src->length + offset;
}

// The elements of a compact array in bucket order, without a list of
// entries: the implied sequence number is the index, so each bucket is its
// indices from the highest down.
template <typename Visit>
void forEachCompactInBucketOrder(const ArrayBody* a, Visit&& visit) {
    const Value* values = compactValues(a);
    if (isLent(a)) {
        BucketLayout layout(compactTop(a));
        for (uint32_t p = 0, top = compactTop(a); p < top; ++p)
            visit(layout.index(p), values[p]);
        return;
    }
    uint64_t top = a->top;
    for (uint64_t b = 0; b < kArrayBuckets && b < top; ++b) {
        for (uint64_t i = b + (top - 1 - b) / kArrayBuckets * kArrayBuckets;; i -= kArrayBuckets) {
            if (values[i].kind != kHole)
                visit(i, values[i]);
            if (i < kArrayBuckets)
                break;
        }
    }
}

std::vector<Value> arrayGather(const ArrayBody* a) {
    std::vector<Value> out;
    out.reserve(a->count);
    if (isCompact(a)) {
        forEachCompactInBucketOrder(a, [&](uint64_t, const Value& v) { out.push_back(v); });
        return out;
    }
    for (const Entry& e : bucketOrder(a))
        out.push_back(e.element.value);
    return out;
}

std::vector<uint64_t> arrayGatherIndices(const ArrayBody* a) {
    std::vector<uint64_t> out;
    out.reserve(a->count);
    if (isCompact(a)) {
        forEachCompactInBucketOrder(a, [&](uint64_t index, const Value&) { out.push_back(index); });
        return out;
    }
    for (const Entry& e : bucketOrder(a))
        out.push_back(e.index);
    return out;
}

void arrayReserve(Engine& engine, ArrayBody* a, uint64_t count) {
    ownBlock(engine, a);
    if (isCompact(a) && count <= kMaxCompact)
        compactGrow(engine, a, count, true);
    else if (count > makeBucketed(engine, a)->denseCapacity)
        denseGrow(engine, store(a), count);
}

void arrayRebuild(Engine& engine, ArrayBody* a, const std::vector<Value>& values) {
    arrayRebuild(engine, a, values.data(), values.size());
}

void arrayRebuild(Engine& engine, ArrayBody* a, const Value* values, size_t n) {
    ownBlock(engine, a);
    // A compact array whose block holds them all takes them back in place:
    // a sorted list does not need a second block beside the first.
    if (isCompact(a) && n > 0 && compactCapacity(a) >= n) {
        Value* slots = compactValues(a);
        std::copy(values, values + n, slots);
        for (uint64_t i = n; i < a->top; ++i)
            setHole(slots[i]);
        a->top = uint32_t(n);
        a->count = uint32_t(n);
        a->length = n;
        return;
    }
    clearStorage(engine, a);
    a->length = 0;
    if (n > 0)
        arrayReserve(engine, a, n);
    for (size_t i = 0; i < n; ++i)
        arrayAdd(engine, a, a->length, values[i]);
}

void arrayPermute(Value* values, uint32_t* from, size_t n) {
    constexpr uint32_t kDone = 0x80000000u;
    for (size_t start = 0; start < n; ++start) {
        if (from[start] & kDone)
            continue;
        Value first = values[start];
        size_t at = start;
        for (;;) {
            uint32_t next = from[at];
            from[at] = next | kDone;
            if (next == start) {
                values[at] = first;
                break;
            }
            values[at] = values[next];
            at = next;
        }
    }
}

Value* arrayLend(ArrayBody* a, uint32_t* scratch) {
    if (!isCompact(a) || isLent(a) || a->top < 2 || a->count != a->top)
        return nullptr;
    uint32_t n = a->top;
    // Position p takes the index that is p-th in bucket order.
    uint32_t* to = scratch;
    for (uint32_t b = 0; b < BucketLayout::kBuckets && b < n; ++b)
        for (uint32_t i = b + (n - 1 - b) / BucketLayout::kBuckets * BucketLayout::kBuckets;; i -= BucketLayout::kBuckets) {
            *to++ = i;
            if (i < BucketLayout::kBuckets)
                break;
        }
    arrayPermute(compactValues(a), scratch, n);
    a->top |= kArrayLent;
    return compactValues(a);
}

bool arrayEndLoan(ArrayBody* a, const Value* block, uint32_t* scratch) {
    if (!isLent(a) || a->storage != block)
        return false;
    uint32_t n = compactTop(a);
    if (scratch) {
        BucketLayout layout(n);
        for (uint32_t i = 0; i < n; ++i)
            scratch[i] = layout.position(i);
        arrayPermute(compactValues(a), scratch, n);
    }
    a->top = n;
    return true;
}

uint64_t arrayElementCount(const ArrayBody* a) { return a->count; }

uint64_t arrayDenseCapacity(const ArrayBody* a) {
    return isCompact(a) ? compactCapacity(a) : store(a)->denseCapacity;
}

bool arrayIsCompact(const ArrayBody* a) { return isCompact(a); }

uint64_t arrayCompactTop(const ArrayBody* a) { return isCompact(a) ? compactTop(a) : 0; }

uint64_t traceArrayPart(Engine& engine, ArrayBody* a, uint64_t from, uint64_t step) {
    if (!isCompact(a)) {
        traceArray(engine, a);
        return 0;
    }
    if (!a->storage)
        return 0;
    if (from == 0)
        markBlock(engine, a->storage);
    const Value* values = compactValues(a);
    uint64_t top = compactTop(a);
    uint64_t to = top - from <= step ? top : from + step;
    for (uint64_t i = from; i < to; ++i)
        if (refersToRecord(values[i].kind))
            markValue(engine, values[i]);
    return to;
}

void traceArray(Engine& engine, ArrayBody* a) {
    if (!a->storage)
        return;
    markBlock(engine, a->storage);
    if (isCompact(a)) {
        const Value* values = compactValues(a);
        for (uint64_t i = 0, top = compactTop(a); i < top; ++i)
            if (refersToRecord(values[i].kind))
                markValue(engine, values[i]);
        return;
    }
    ArrayStore* s = store(a);
    if (s->dense) {
        markBlock(engine, s->dense);
        for (uint64_t i = 0; i < s->denseCapacity; ++i)
            if (refersToRecord(s->dense[i].value.kind))
                markValue(engine, s->dense[i].value);
    }
    if (s->sparse) {
        markBlock(engine, s->sparse);
        for (uint64_t i = 0; i < s->sparseCapacity; ++i) {
            const SparseElement& c = s->sparse[i];
            if (refersToRecord(c.element.value.kind))
                markValue(engine, c.element.value);
        }
    }
}

} // namespace quill
