// Chunk memory of the collected heap on Windows: the process heap.
#include "script/values/HeapChunks.h"

#include <cstdlib>

namespace quill {

void* allocateChunkMemory(size_t bytes) { return std::malloc(bytes); }

void* allocateRegionMemory(size_t bytes) { return std::malloc(bytes); }

void prepareChunkMemory(void*, size_t) {}

void freeChunkMemory(void* chunk, size_t) { std::free(chunk); }

void* resizeChunkMemory(void* chunk, size_t, size_t newBytes) { return std::realloc(chunk, newBytes); }

void* allocateZeroedMemory(size_t bytes) { return std::calloc(1, bytes); }

void freeZeroedMemory(void* memory, size_t) { std::free(memory); }

} // namespace quill
