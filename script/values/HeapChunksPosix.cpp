// Chunk memory of the collected heap on POSIX systems: large chunks are
// mapped with their pages populated at once, which costs far less than
// faulting them in one by one as they are first written.
#include "script/values/HeapChunks.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace quill {

namespace {
constexpr size_t kMappedFrom = size_t(256) << 10;
constexpr uintptr_t kPage = 4096;
} // namespace

void* allocateChunkMemory(size_t bytes) {
    if (bytes < kMappedFrom)
        return std::malloc(bytes);
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;
#endif
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void* allocateRegionMemory(size_t bytes) {
    if (bytes < kMappedFrom)
        return std::malloc(bytes);
    // Populated chunk by chunk as the heap takes them: a region's last
    // chunks may never be needed.
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void prepareChunkMemory(void* chunk, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    // Page-aligned part only; older systems refuse the advice and the
    // pages then come in as they are first written.
    auto start = (reinterpret_cast<uintptr_t>(chunk) + kPage - 1) & ~(kPage - 1);
    auto end = (reinterpret_cast<uintptr_t>(chunk) + bytes) & ~(kPage - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
    (void)chunk;
    (void)bytes;
#endif
}

void* resizeChunkMemory(void* chunk, size_t oldBytes, size_t newBytes) {
    if (oldBytes < kMappedFrom && newBytes < kMappedFrom)
        return std::realloc(chunk, newBytes);
#ifdef MREMAP_MAYMOVE
    // The pages move with their contents instead of being copied.
    if (oldBytes >= kMappedFrom && newBytes >= kMappedFrom) {
        void* p = mremap(chunk, oldBytes, newBytes, MREMAP_MAYMOVE);
        return p == MAP_FAILED ? nullptr : p;
    }
#endif
    return nullptr;
}

void* allocateZeroedMemory(size_t bytes) {
    // The process heap would clear the memory itself (and so make all of it
    // resident); fresh anonymous pages are zero until written.
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void freeZeroedMemory(void* memory, size_t bytes) {
    if (memory)
        munmap(memory, bytes);
}

void freeChunkMemory(void* chunk, size_t bytes) {
    if (bytes < kMappedFrom)
        std::free(chunk);
    else
        munmap(chunk, bytes);
}

} // namespace quill
