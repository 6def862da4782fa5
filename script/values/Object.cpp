// Property services of ObjectRecords.
//
// Observable behaviour is that of a slot array scanned in order: the first
// slot with an id answers, the last `__proto__` slot holding an Object links
// the chain, a new property reuses the last deleted slot. The lookup aids
// only make those answers cheap:
//   - idIndex maps every id except 0 to its slot (at most one slot has such
//     an id); it exists once an object has more than kIndexFrom slots, below
//     that a scan is as fast;
//   - protoSlots lists the positions of the slots with id 0 in ascending
//     order (position writes can create many of them); it is kept beside
//     the id index only: below that a scan finds them as fast, and an
//     object with just its `__proto__` link needs no aids at all;
//   - deleted is a max-heap of deleted positions, so "the last deleted slot"
//     is its top.
#include "script/values/Object.h"
#include "script/values/Messages.h"
#include "script/values/Assert.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "script/values/String.h"

namespace quill {

namespace {

constexpr uint32_t kIndexFrom = 8;
constexpr uint32_t kEmpty = 0xFFFFFFFFu;
constexpr int64_t kMaxSlots = int64_t(1) << 26;

ObjectLookupAids* aids(Engine& engine, ObjectRecord* o) {
    if (!o->aids)
        o->aids = static_cast<ObjectLookupAids*>(engine.gcAllocZeroed(sizeof(ObjectLookupAids)));
    return o->aids;
}

// Grows a block of uint32 to hold at least `need` entries.
uint32_t* growU32(Engine& engine, uint32_t* block, uint32_t& capacity, uint32_t need) {
    if (need <= capacity)
        return block;
    uint32_t cap = capacity ? capacity : 4;
    while (cap < need)
        cap *= 2;
    auto* fresh = static_cast<uint32_t*>(engine.gcRealloc(block, size_t(cap) * sizeof(uint32_t)));
    capacity = cap;
    return fresh;
}

// ---- id index (open addressing, linear probing) --------------------------
//
// A cell holds a slot position only; the id is read through the slot, which
// keeps it beside its Value. Every indexed slot has an id above 0, so a cell
// always names a live slot.

uint32_t probeStart(uint32_t id, uint32_t capacity) {
    return (id * 2654435761u) >> (32 - std::countr_zero(capacity));
}

uint32_t slotId(const ObjectRecord* o, uint32_t pos) { return static_cast<uint32_t>(o->slots[pos].id); }

void indexInsertRaw(const ObjectRecord* o, uint32_t* table, uint32_t capacity, uint32_t id, uint32_t slot) {
    uint32_t mask = capacity - 1;
    uint32_t i = capacity == 1 ? 0 : probeStart(id, capacity);
    while (table[i] != kEmpty) {
        if (slotId(o, table[i]) == id) {
            table[i] = slot;
            return;
        }
        i = (i + 1) & mask;
    }
    table[i] = slot;
}

void rebuildIndex(Engine& engine, ObjectRecord* o, uint32_t capacity) {
    ObjectLookupAids* a = aids(engine, o);
    if (!a->idIndex) {
        // From now on the positions of the `__proto__` slots are kept too.
        a->protoCount = 0;
        for (uint32_t s = 0; s < o->slotCount; ++s) {
            if (o->slots[s].id != 0)
                continue;
            a->protoSlots = growU32(engine, a->protoSlots, a->protoCapacity, a->protoCount + 1);
            a->protoSlots[a->protoCount++] = s;
        }
    }
    auto* table = static_cast<uint32_t*>(engine.gcAlloc(size_t(capacity) * sizeof(uint32_t)));
    std::memset(table, 0xFF, size_t(capacity) * sizeof(uint32_t));
    uint32_t used = 0;
    for (uint32_t s = 0; s < o->slotCount; ++s) {
        int32_t id = o->slots[s].id;
        if (id > 0) {
            indexInsertRaw(o, table, capacity, static_cast<uint32_t>(id), s);
            ++used;
        }
    }
    if (a->idIndex)
        engine.gcFree(a->idIndex);
    a->idIndex = table;
    a->idIndexCapacity = capacity;
    a->idIndexUsed = used;
}

int64_t indexFind(const ObjectRecord* o, uint32_t id) {
    const ObjectLookupAids* a = o->aids;
    const uint32_t* t = a->idIndex;
    uint32_t mask = a->idIndexCapacity - 1;
    uint32_t i = probeStart(id, a->idIndexCapacity);
    while (t[i] != kEmpty) {
        if (slotId(o, t[i]) == id)
            return t[i];
        i = (i + 1) & mask;
    }
    return -1;
}

// Removes the cell of the slot at pos, which still carries its id.
void indexRemove(ObjectRecord* o, uint32_t pos) {
    ObjectLookupAids* a = o->aids;
    uint32_t cap = a->idIndexCapacity;
    uint32_t mask = cap - 1;
    uint32_t* t = a->idIndex;
    uint32_t i = probeStart(slotId(o, pos), cap);
    while (t[i] != kEmpty && t[i] != pos)
        i = (i + 1) & mask;
    if (t[i] == kEmpty)
        return;
    // Backward-shift deletion keeps every probe sequence unbroken.
    uint32_t j = i;
    for (;;) {
        t[i] = kEmpty;
        for (;;) {
            j = (j + 1) & mask;
            if (t[j] == kEmpty) {
                --a->idIndexUsed;
                return;
            }
            uint32_t home = probeStart(slotId(o, t[j]), cap);
            // Move the entry at j to i unless its home lies cyclically in (i, j].
            bool stays = (i <= j) ? (i < home && home <= j) : (i < home || home <= j);
            if (!stays)
                break;
        }
        t[i] = t[j];
        i = j;
    }
}

// ---- slot registration -------------------------------------------------------

void protoInsert(Engine& engine, ObjectRecord* o, uint32_t pos) {
    ObjectLookupAids* a = aids(engine, o);
    a->protoSlots = growU32(engine, a->protoSlots, a->protoCapacity, a->protoCount + 1);
    uint32_t* end = a->protoSlots + a->protoCount;
    uint32_t* at = std::lower_bound(a->protoSlots, end, pos);
    std::memmove(at + 1, at, size_t(end - at) * sizeof(uint32_t));
    *at = pos;
    ++a->protoCount;
}

void protoRemove(ObjectRecord* o, uint32_t pos) {
    ObjectLookupAids* a = o->aids;
    if (!a)
        return;
    uint32_t* end = a->protoSlots + a->protoCount;
    uint32_t* at = std::lower_bound(a->protoSlots, end, pos);
    if (at == end || *at != pos)
        return;
    std::memmove(at, at + 1, size_t(end - at - 1) * sizeof(uint32_t));
    --a->protoCount;
}

// The slot at pos has just received id (>= 0).
void registerId(Engine& engine, ObjectRecord* o, uint32_t pos, int32_t id) {
    ObjectLookupAids* a = o->aids;
    if (id == 0) {
        if (a && a->idIndex)
            protoInsert(engine, o, pos);
        return;
    }
    if (a && a->idIndex) {
        if ((a->idIndexUsed + 1) * 2 > a->idIndexCapacity) {
            rebuildIndex(engine, o, a->idIndexCapacity * 2);
            return; // the rebuild saw the new slot
        }
        indexInsertRaw(o, a->idIndex, a->idIndexCapacity, static_cast<uint32_t>(id), pos);
        ++a->idIndexUsed;
    } else if (o->slotCount > kIndexFrom) {
        rebuildIndex(engine, o, std::bit_ceil(o->slotCount * 2));
    }
}

void unregisterId(ObjectRecord* o, uint32_t pos, int32_t id) {
    if (id == 0)
        protoRemove(o, pos);
    else if (id > 0 && o->aids && o->aids->idIndex)
        indexRemove(o, pos);
}

int64_t findSlot(const ObjectRecord* o, SymbolId id) {
    if (o->aids && o->aids->idIndex) {
        const ObjectLookupAids* a = o->aids;
        if (id == 0)
            return a->protoCount ? static_cast<int64_t>(a->protoSlots[0]) : -1;
        return indexFind(o, id);
    }
    for (uint32_t s = 0; s < o->slotCount; ++s)
        if (o->slots[s].id == static_cast<int32_t>(id))
            return s;
    return -1;
}

uint32_t appendSlot(Engine& engine, ObjectRecord* o, int32_t id, const Value& v) {
    if (o->slotCount == o->slotCapacity) {
        uint32_t cap = o->slotCapacity ? o->slotCapacity * 2 : 2;
        size_t bytes = size_t(cap) * sizeof(PropertySlot);
        if (o->hasInlineSlots()) {
            // Outgrown the record's own room: the slots move out for good.
            auto* moved = static_cast<PropertySlot*>(engine.gcAlloc(bytes));
            std::memcpy(moved, o->slots, size_t(o->slotCount) * sizeof(PropertySlot));
            o->slots = moved;
        } else {
            o->slots = static_cast<PropertySlot*>(engine.gcRealloc(o->slots, bytes));
        }
        o->slotCapacity = cap;
    }
    uint32_t pos = o->slotCount++;
    o->slots[pos] = PropertySlot::make(id, v);
    return pos;
}

// ---- deleted-slot heap -----------------------------------------------------------

void deletedPush(Engine& engine, ObjectRecord* o, uint32_t pos) {
    ObjectLookupAids* a = aids(engine, o);
    a->deleted = growU32(engine, a->deleted, a->deletedCapacity, a->deletedCount + 1);
    uint32_t* h = a->deleted;
    uint32_t i = a->deletedCount++;
    h[i] = pos;
    while (i > 0) {
        uint32_t parent = (i - 1) / 2;
        if (h[parent] >= h[i])
            break;
        std::swap(h[parent], h[i]);
        i = parent;
    }
}

// Pops the highest deleted position, or returns -1.
int64_t deletedPop(ObjectRecord* o) {
    ObjectLookupAids* a = o->aids;
    if (!a || a->deletedCount == 0)
        return -1;
    uint32_t* h = a->deleted;
    uint32_t top = h[0];
    h[0] = h[--a->deletedCount];
    uint32_t n = a->deletedCount, i = 0;
    for (;;) {
        uint32_t l = 2 * i + 1, r = l + 1, m = i;
        if (l < n && h[l] > h[m])
            m = l;
        if (r < n && h[r] > h[m])
            m = r;
        if (m == i)
            break;
        std::swap(h[i], h[m]);
        i = m;
    }
    return top;
}

// ---- name hash -----------------------------------------------------------------

uint32_t bucketOf(std::string_view name) { return nameHash(name) & (kNameHashBuckets - 1); }

void hashAdd(Engine& engine, ObjectRecord* o, uint32_t pos) {
    std::string_view name = engine.nameOf(static_cast<SymbolId>(o->slots[pos].id));
    uint32_t b = bucketOf(name);
    auto* e = static_cast<NameHashEntry*>(engine.gcAlloc(sizeof(NameHashEntry)));
    e->next = o->aids->nameHash[b];
    e->slot = pos;
    e->nameLength = static_cast<uint32_t>(name.size());
    o->aids->nameHash[b] = e;
    ++o->aids->bucketCounts[b];
}

void hashRemove(Engine& engine, ObjectRecord* o, uint32_t pos, int32_t id) {
    if (!o->aids || !o->aids->nameHash)
        return;
    uint32_t b = bucketOf(engine.nameOf(static_cast<SymbolId>(id)));
    for (NameHashEntry** link = &o->aids->nameHash[b]; *link; link = &(*link)->next) {
        if ((*link)->slot == pos) {
            NameHashEntry* e = *link;
            *link = e->next;
            --o->aids->bucketCounts[b];
            engine.gcFree(e);
            return;
        }
    }
}

void ensureNameHash(Engine& engine, ObjectRecord* o) {
    if (o->aids && o->aids->nameHash)
        return;
    aids(engine, o);
    o->aids->nameHash = static_cast<NameHashEntry**>(engine.gcAllocZeroed(kNameHashBuckets * sizeof(NameHashEntry*)));
    o->aids->bucketCounts = static_cast<uint32_t*>(engine.gcAllocZeroed(kNameHashBuckets * sizeof(uint32_t)));
    for (uint32_t s = 0; s < o->slotCount; ++s)
        if (o->slots[s].id >= 0)
            hashAdd(engine, o, s);
}

// The slot named `name` through the name hash, or -1.
int64_t findByName(Engine& engine, ObjectRecord* o, std::string_view name) {
    ensureNameHash(engine, o);
    for (NameHashEntry* e = o->aids->nameHash[bucketOf(name)]; e; e = e->next) {
        if (e->nameLength != name.size())
            continue;
        int32_t id = o->slots[e->slot].id;
        if (id >= 0 && name == engine.nameOf(static_cast<SymbolId>(id)))
            return e->slot;
    }
    return -1;
}

void deleteSlot(Engine& engine, ObjectRecord* o, uint32_t pos) {
    int32_t id = o->slots[pos].id;
    if (id < 0)
        return;
    hashRemove(engine, o, pos, id);
    unregisterId(o, pos, id);
    o->slots[pos].id = -1;
    o->slots[pos].setValue(Value::undefined());
    deletedPush(engine, o, pos);
}

} // namespace

// ---------------------------------------------------------------------------
// Lookup

ObjectRecord* newObject(Engine& engine, uint32_t room) {
    uint32_t inlineRoom = room <= kMaxInlineRoom ? room : 0;
    auto* o = static_cast<ObjectRecord*>(
        engine.gcAllocZeroed(sizeof(ObjectRecord) + size_t(inlineRoom) * sizeof(PropertySlot)));
    if (inlineRoom) {
        o->slots = o->inlineSlots();
        o->slotCapacity = inlineRoom;
    } else if (room) {
        o->slots = static_cast<PropertySlot*>(engine.gcAlloc(size_t(room) * sizeof(PropertySlot)));
        o->slotCapacity = room;
    }
    return o;
}

ObjectRecord* objectChainLink(ObjectRecord* o) {
    const ObjectLookupAids* a = o->aids;
    if (a && a->idIndex) {
        for (uint32_t i = a->protoCount; i-- > 0;) {
            Value v = o->slots[a->protoSlots[i]].value();
            if (v.isObject())
                return v.asObject();
        }
        return nullptr;
    }
    for (uint32_t i = o->slotCount; i-- > 0;) {
        const PropertySlot& slot = o->slots[i];
        if (slot.id == 0 && slot.kind == Kind::Object)
            return slot.value().asObject();
    }
    return nullptr;
}

bool objectGetOwn(ObjectRecord* object, SymbolId id, Value& out) {
    int64_t s = findSlot(object, id);
    if (s < 0)
        return false;
    out = object->slots[s].value();
    return true;
}

bool objectGet(Engine&, ObjectRecord* object, SymbolId id, Value& out) {
    // Brent's cycle detection: a `__proto__` cycle ends the lookup.
    ObjectRecord* o = object;
    ObjectRecord* mark = object;
    uint64_t power = 1, steps = 0;
    while (o) {
        int64_t s = findSlot(o, id);
        if (s >= 0) {
            out = o->slots[s].value();
            return true;
        }
        o = objectChainLink(o);
        if (o == mark)
            break;
        if (++steps == power) {
            mark = o;
            power *= 2;
            steps = 0;
        }
    }
    out = Value::undefined();
    return false;
}

namespace {
constexpr uint32_t kDepthShift = 24;
constexpr uint32_t kPositionMask = (1u << kDepthShift) - 1;
} // namespace

bool objectGetCached(Engine& engine, ObjectRecord* object, SymbolId id, uint32_t& cache, Value& out) {
    if (PropertySlot* slot = cachedOwnSlot(object, id, cache)) {
        out = slot->value();
        return true;
    }
    if (id == 0)
        return objectGet(engine, object, id, out);
    if (cache >> kDepthShift == 1) {
        uint32_t pos = cache & kPositionMask;
        if (findSlot(object, id) < 0) {
            ObjectRecord* link = objectChainLink(object);
            if (link && pos < link->slotCount && link->slots[pos].id == static_cast<int32_t>(id)) {
                out = link->slots[pos].value();
                return true;
            }
        }
    }
    // Missed: the full lookup, then remember where it answered when that
    // is the object or its chain link.
    int64_t s = findSlot(object, id);
    if (s >= 0) {
        cache = uint32_t(s) <= kPositionMask ? uint32_t(s) : kPropertyCacheEmpty;
        out = object->slots[s].value();
        return true;
    }
    ObjectRecord* link = objectChainLink(object);
    if (link && link != object) {
        s = findSlot(link, id);
        if (s >= 0) {
            cache = uint32_t(s) <= kPositionMask ? (1u << kDepthShift) | uint32_t(s) : kPropertyCacheEmpty;
            out = link->slots[s].value();
            return true;
        }
    }
    return objectGet(engine, object, id, out);
}

void objectPutCached(Engine& engine, ObjectRecord* object, SymbolId id, uint32_t& cache, const Value& v) {
    if (PropertySlot* slot = cachedOwnSlot(object, id, cache)) {
        slot->setValue(v);
        return;
    }
    objectPut(engine, object, id, v);
    if (id == 0)
        return;
    int64_t s = findSlot(object, id);
    cache = s >= 0 && uint32_t(s) <= kPositionMask ? uint32_t(s) : kPropertyCacheEmpty;
}

bool objectHas(Engine& engine, ObjectRecord* object, SymbolId id) {
    Value ignored;
    return objectGet(engine, object, id, ignored);
}

// ---------------------------------------------------------------------------
// Put and delete by id

void objectPut(Engine& engine, ObjectRecord* o, SymbolId id, const Value& v) {
    int64_t s = findSlot(o, id);
    if (s >= 0) {
        o->slots[s].setValue(v);
        return;
    }
    auto sid = static_cast<int32_t>(id);
    uint32_t pos;
    int64_t reuse = deletedPop(o);
    if (reuse >= 0) {
        pos = static_cast<uint32_t>(reuse);
        o->slots[pos] = PropertySlot::make(sid, v);
    } else {
        pos = appendSlot(engine, o, sid, v);
    }
    registerId(engine, o, pos, sid);
    if (o->aids && o->aids->nameHash)
        hashAdd(engine, o, pos);
}

bool objectDelete(Engine& engine, ObjectRecord* o, SymbolId id) {
    int64_t s = findSlot(o, id);
    if (s < 0)
        return false;
    deleteSlot(engine, o, static_cast<uint32_t>(s));
    return true;
}

// ---------------------------------------------------------------------------
// Access by key Value

bool objectGetByName(Engine& engine, ObjectRecord* o, std::string_view name, Value& out) {
    int64_t s = findByName(engine, o, name);
    if (s < 0) {
        out = Value::undefined();
        return false;
    }
    out = o->slots[s].value();
    return true;
}

Value objectGetByKey(Engine& engine, ObjectRecord* o, const Value& key) {
    if (key.isInteger()) {
        int64_t k = key.asInteger();
        if (k >= 0 && k < o->slotCount && o->slots[k].id >= 0)
            return o->slots[k].value();
        return Value::undefined();
    }
    if (key.isString()) {
        Value out;
        objectGetByName(engine, o, stringToAnsi(key.asString()), out);
        return out;
    }
    return Value::undefined();
}

void objectPutByKey(Engine& engine, ObjectRecord* o, const Value& key, const Value& v) {
    if (key.isInteger()) {
        int64_t k = key.asInteger();
        if (k < 0)
            return;
        if (k >= kMaxSlots)
            engine.raiseError(kErrOutOfMemory);
        while (o->slotCount <= k) {
            uint32_t pos = appendSlot(engine, o, 0, Value::undefined());
            registerId(engine, o, pos, 0);
        }
        o->slots[k].setValue(v);
        return;
    }
    if (key.isString()) {
        std::string name = stringToAnsi(key.asString());
        int64_t s = findByName(engine, o, name);
        if (s >= 0) {
            o->slots[s].setValue(v);
            return;
        }
        auto id = static_cast<int32_t>(engine.internKey(name));
        uint32_t pos = appendSlot(engine, o, id, v);
        registerId(engine, o, pos, id);
        hashAdd(engine, o, pos);
    }
}

void objectDeleteByKey(Engine& engine, ObjectRecord* o, const Value& key) {
    if (key.isInteger()) {
        int64_t k = key.asInteger();
        if (k >= 0 && k < o->slotCount)
            deleteSlot(engine, o, static_cast<uint32_t>(k));
    } else if (key.isString()) {
        int64_t s = findByName(engine, o, stringToAnsi(key.asString()));
        if (s >= 0)
            deleteSlot(engine, o, static_cast<uint32_t>(s));
    }
}

// ---------------------------------------------------------------------------
// Enumeration

uint64_t objectNameCount(Engine& engine, ObjectRecord* o) {
    ensureNameHash(engine, o);
    uint64_t n = 0;
    for (uint32_t b = 0; b < kNameHashBuckets; ++b)
        n += o->aids->bucketCounts[b];
    return n;
}

bool objectNthName(Engine& engine, ObjectRecord* o, uint64_t n, Value& out) {
    ensureNameHash(engine, o);
    for (uint32_t b = 0; b < kNameHashBuckets; ++b) {
        if (n >= o->aids->bucketCounts[b]) {
            n -= o->aids->bucketCounts[b];
            continue;
        }
        NameHashEntry* e = o->aids->nameHash[b];
        while (n-- > 0)
            e = e->next;
        out = newStringFromAnsi(engine, engine.nameOf(static_cast<SymbolId>(o->slots[e->slot].id)));
        return true;
    }
    out = Value::undefined();
    return false;
}

// ---------------------------------------------------------------------------
// Collector support

void traceObject(Engine& engine, ObjectRecord* o) {
    QUILL_ASSERT(!o->hasInlineSlots() ||
                 Heap::blockSize(o) >= sizeof(ObjectRecord) + size_t(o->slotCapacity) * sizeof(PropertySlot));
    if (o->slots && !o->hasInlineSlots())
        markBlock(engine, o->slots);
    if (ObjectLookupAids* a = o->aids) {
        markBlock(engine, a);
        if (a->idIndex)
            markBlock(engine, a->idIndex);
        if (a->protoSlots)
            markBlock(engine, a->protoSlots);
        if (a->deleted)
            markBlock(engine, a->deleted);
    }
    if (o->aids && o->aids->nameHash) {
        markBlock(engine, o->aids->nameHash);
        markBlock(engine, o->aids->bucketCounts);
        for (uint32_t b = 0; b < kNameHashBuckets; ++b)
            for (NameHashEntry* e = o->aids->nameHash[b]; e; e = e->next)
                markBlock(engine, e);
    }
    for (uint32_t s = 0; s < o->slotCount; ++s)
        markValue(engine, o->slots[s].value());
}

} // namespace quill
