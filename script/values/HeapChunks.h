#pragma once
// Where the collected heap's chunks come from: the process heap, or for
// large chunks whatever the system offers that is cheaper to fill.

#include <cstddef>

namespace quill {

// Null when the system refuses.
void* allocateChunkMemory(size_t bytes);
// `bytes` is the size the chunk was allocated with.
void freeChunkMemory(void* chunk, size_t bytes);

} // namespace quill
