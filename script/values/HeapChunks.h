#pragma once
// Where the collected heap's chunks come from: the process heap, or for
// large chunks whatever the system offers that is cheaper to fill.

#include <cstddef>
#include <new>

namespace quill {

// Null when the system refuses.
void* allocateChunkMemory(size_t bytes);
// Memory that regular chunks are cut from, a few at a time: its pages
// need not be resident before prepareChunkMemory is called for a chunk.
// Freed with freeChunkMemory.
void* allocateRegionMemory(size_t bytes);
// Makes a chunk cut from a region ready for use at once (where the system
// can fault its pages in all together, cheaper than one at a time).
void prepareChunkMemory(void* chunk, size_t bytes);
// `bytes` is the size the chunk was allocated with.
void freeChunkMemory(void* chunk, size_t bytes);
// Resizes a chunk keeping its first oldBytes (it may move); null when that
// cannot be done cheaply, the chunk then being unchanged.
void* resizeChunkMemory(void* chunk, size_t oldBytes, size_t newBytes);

// Zeroed memory whose pages, where the system allows, become resident only
// when first written (an operand stack a script may never use deeply).
// Null when the system refuses.
void* allocateZeroedMemory(size_t bytes);
// `bytes` is the size the memory was allocated with.
void freeZeroedMemory(void* memory, size_t bytes);

// A standard allocator over the same memory, for large temporary buffers
// that are filled at once (a text converted for a library, for example).
template <class T>
struct BulkAllocator {
    using value_type = T;
    BulkAllocator() = default;
    template <class U>
    BulkAllocator(const BulkAllocator<U>&) {}
    T* allocate(size_t n) {
        if (n > size_t(-1) / sizeof(T))
            throw std::bad_alloc();
        void* p = allocateChunkMemory(n * sizeof(T));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) { freeChunkMemory(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const BulkAllocator<U>&) const {
        return true;
    }
};

} // namespace quill
