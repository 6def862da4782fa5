#pragma once
// Array services. Arrays are sparse: elements are addressed by 64-bit index,
// a missing index is a hole, and the length is a separate 64-bit count.
//
// Observable order (gathering, used by sort and by the bridge's XML output)
// is that of 127 buckets: bucket (index mod 127) from 0 to 126, inside a
// bucket the most recently added element first. Storage is a vector of
// Values while elements arrive in index order (the compact form), else a
// dense vector near index 0 plus an open-addressed table for far indices, so
// indexed get and set are expected constant time and a far index costs one
// cell.

#include <cstdint>
#include <vector>

#include "script/values/Engine.h"

namespace quill {

ArrayBody* newArrayBody(Engine& engine);
Value newArray(Engine& engine);

// The element at index; false for a hole.
bool arrayGet(const ArrayBody* array, uint64_t index, Value& out);
// Adds a new element at index (as the newest of its bucket); the caller has
// removed any old one. The length grows to index + 1 when needed.
void arrayAdd(Engine& engine, ArrayBody* array, uint64_t index, const Value& v);
// Element assignment: replaces the element in place or creates it; the
// length grows to index + 1 when needed.
void arraySet(Engine& engine, ArrayBody* array, uint64_t index, const Value& v);
// Makes room for the indices 0..count-1 in the dense part, so that filling
// them in order does not grow it step by step. Nothing observable changes.
void arrayReserve(Engine& engine, ArrayBody* array, uint64_t count);
// Appends at index length.
void arrayPush(Engine& engine, ArrayBody* array, const Value& v);
// Removes the element (the length stays); false when there was none.
bool arrayRemove(Engine& engine, ArrayBody* array, uint64_t index);
// Removes index i and moves every element above it down by one; the length
// decreases by one. Nothing happens when i is not below the length.
void arrayRemoveShift(Engine& engine, ArrayBody* array, uint64_t index);
// Moves every element up by n; the length grows by n.
void arrayShiftUp(Engine& engine, ArrayBody* array, uint64_t n);
// Copies every element of src into dst at index + offset; dst's length
// becomes at least src's length + offset.
void arrayCopy(Engine& engine, ArrayBody* dst, const ArrayBody* src, uint64_t offset);
// Every element Value in bucket order.
std::vector<Value> arrayGather(const ArrayBody* array);
// Indices of the elements in bucket order.
std::vector<uint64_t> arrayGatherIndices(const ArrayBody* array);
// Replaces the contents with values at indices 0..n-1; length n.
void arrayRebuild(Engine& engine, ArrayBody* array, const std::vector<Value>& values);
void arrayRebuild(Engine& engine, ArrayBody* array, const Value* values, size_t n);
// Number of elements present (holes excluded).
uint64_t arrayElementCount(const ArrayBody* array);
// Room near index 0 (for tests and measurements): the slots of the compact
// form, or the dense part of the bucketed form.
uint64_t arrayDenseCapacity(const ArrayBody* array);
// Whether the array is still in the compact form (elements in index order).
bool arrayIsCompact(const ArrayBody* array);

// Lending the block of a compact array without holes to a sort, so that the
// sort needs no copy of the elements while its comparisons run.
// arrayLend marks the array and returns its block, whose first n =
// arrayElementCount() Values are now the elements in bucket order (the
// order of arrayGather); `scratch` is room for n positions, used while
// they are put there. Null (and nothing lent) when the array is bucketed,
// has holes, has fewer than two elements or is lent already. While the loan
// lasts, reads answer from the block as the array's elements, and the first
// change to the elements gives the array a copy of its own in index order;
// the lent block is never written by the array again, and nothing but the
// borrower keeps its Values alive once the array has let it go.
Value* arrayLend(ArrayBody* array, uint32_t* scratch);
// Ends the loan: true when the array still holds the block (its elements
// were not changed meanwhile); false when it let the block go, which then
// belongs to the borrower alone (gcFree it when done). The array takes the
// block's Values as they stand, index 0 first (a sort has put them in its
// order); with `scratch` (n positions) they are first put back in index
// order, so the array holds what it held before the loan.
bool arrayEndLoan(ArrayBody* array, const Value* block, uint32_t* scratch);
// Puts values[0..n-1] in a new order: position i receives the Value that
// was at from[i]. Follows the permutation's cycles in place; `from` is
// left marked (bit 31), so n is below 2^31.
void arrayPermute(Value* values, uint32_t* from, size_t n);

// The element at index when the array is compact and has one there below
// its length, else null (the general services then answer). For the
// interpreter's fast paths.
inline Value* arrayCompactSlot(const ArrayBody* array, uint64_t index) {
    uint32_t top = array->top;
    if (index >= top || top >= kArrayLent || index >= array->length)
        return nullptr;
    Value* v = static_cast<Value*>(array->storage) + index;
    return v->kind == static_cast<Kind>(-1) ? nullptr : v;
}

// The slot that element assignment at index fills without allocating, or
// null when the general services must answer (arraySet). Two cases: an
// element the compact array holds below its length (replaced in place), and
// the index at its top while the block has room for it (an append: top,
// count and length count the new element when this returns). The caller
// stores the Value. A lent array (kArrayLent) always gets null, so its
// block is copied before anything changes.
inline Value* arrayCompactStoreSlot(ArrayBody* array, uint64_t index) {
    uint32_t top = array->top;
    auto* values = static_cast<Value*>(array->storage);
    if (index < top) {
        if (top >= kArrayLent || index >= array->length)
            return nullptr;
        Value* v = values + index;
        return v->kind == static_cast<Kind>(-1) ? nullptr : v;
    }
    // A bucketed or lent array's top would need an index of 2^31 or more,
    // beyond the room of any block, so the room test below refuses it too.
    if (index != top || !values || index >= Heap::blockSize(values) / sizeof(Value))
        return nullptr;
    array->top = top + 1;
    ++array->count;
    if (index >= array->length)
        array->length = index + 1;
    return values + index;
}

// Collector support.
void traceArray(Engine& engine, ArrayBody* array);
// Marks a compact array a part at a time: the storage block when `from` is
// 0, then the elements from `from` up to `to` (returned; the array's top
// when the rest is fewer than `step`). Other arrays are traced whole at
// once and give 0.
uint64_t traceArrayPart(Engine& engine, ArrayBody* array, uint64_t from, uint64_t step);
// The top of a compact array (one past its highest element), else 0.
uint64_t arrayCompactTop(const ArrayBody* array);

} // namespace quill
