#pragma once
// Property services of ObjectRecords: lookup through `__proto__`, put and
// delete by id, element access by key Value (position or name), and
// enumeration in name-hash order.

#include <cstdint>
#include <string_view>

#include "script/values/Engine.h"

namespace quill {

// Slots a new object has room for in its own block when its creator has
// no better guess.
inline constexpr uint32_t kDefaultObjectRoom = 2;
// The most slots an object keeps in its own block; a creator that expects
// more gives them a block of their own at once.
inline constexpr uint32_t kMaxInlineRoom = 32;

// A new empty object: no slots, no name hash, no `__proto__`, with room for
// `room` slots before its slot array has to grow.
ObjectRecord* newObject(Engine& engine, uint32_t room = kDefaultObjectRoom);

// Property lookup: the first slot with the id, else the chain through the
// last `__proto__` slot holding an Object. Not found: out is Undefined.
// A cyclic chain ends the lookup as not found.
bool objectGet(Engine& engine, ObjectRecord* object, SymbolId id, Value& out);
// The object's own slot only (no chain).
bool objectGetOwn(ObjectRecord* object, SymbolId id, Value& out);
// Whether the name is found anywhere along the chain.
bool objectHas(Engine& engine, ObjectRecord* object, SymbolId id);
// The object that continues the lookup chain, or null.
ObjectRecord* objectChainLink(ObjectRecord* object);

// Property caches. A cache is one uint32 kept by the caller per access
// site: where the property was found last time, as the slot position and
// the depth along the chain (0: the object itself, 1: its chain link). A
// cache is only a guess and needs no invalidation: a hit is taken only when
// the slot at the remembered position still carries the id, which, for an
// id other than `__proto__`'s, no other slot of that object can, and (at
// depth 1) the object itself still has no slot with the id. Every answer is
// the one objectGet and objectPut give.
inline constexpr uint32_t kPropertyCacheEmpty = 0xFFFFFFFFu;

// The own slot of the id at the cached position, or null.
inline PropertySlot* cachedOwnSlot(ObjectRecord* object, SymbolId id, uint32_t cache) {
    if (cache < object->slotCount && object->slots[cache].id == static_cast<int32_t>(id) && id != 0)
        return &object->slots[cache];
    return nullptr;
}
// objectGet through a cache, which it updates.
bool objectGetCached(Engine& engine, ObjectRecord* object, SymbolId id, uint32_t& cache, Value& out);
// objectPut through a cache of the own slot, which it updates.
void objectPutCached(Engine& engine, ObjectRecord* object, SymbolId id, uint32_t& cache, const Value& v);

// Replaces the Value of the slot with the id, or creates the slot (reusing
// the last deleted slot, else appending).
void objectPut(Engine& engine, ObjectRecord* object, SymbolId id, const Value& v);
// Removes the property; false when the object has no slot with the id.
bool objectDelete(Engine& engine, ObjectRecord* object, SymbolId id);

// Element access by key Value: an Integer is a slot position, a String a
// name (through the name hash); other keys read Undefined and are ignored on
// writes. The chain is not searched.
Value objectGetByKey(Engine& engine, ObjectRecord* object, const Value& key);
void objectPutByKey(Engine& engine, ObjectRecord* object, const Value& key, const Value& v);
void objectDeleteByKey(Engine& engine, ObjectRecord* object, const Value& key);
// By name text (ANSI), as a String key would be.
bool objectGetByName(Engine& engine, ObjectRecord* object, std::string_view name, Value& out);

// Enumeration: the n-th name in name-hash bucket order as a String; false
// when n is beyond the last name.
bool objectNthName(Engine& engine, ObjectRecord* object, uint64_t n, Value& out);
// Number of names enumeration visits.
uint64_t objectNameCount(Engine& engine, ObjectRecord* object);

// Collector support.
void traceObject(Engine& engine, ObjectRecord* object);

} // namespace quill
