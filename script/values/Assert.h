#pragma once
// QUILL_ASSERT: the engine's checks of its own invariants (stack and frame
// positions, catch points, heap records, root and pin lists). They guard
// against faults of the engine itself, never against scripts, images or
// embedders, whose mistakes take the documented error paths.
//
// Active when the build defines QUILL_ASSERTS (the native Debug and fuzz
// builds); elsewhere the condition is not even evaluated. A failed check
// prints the condition and where it stands, then aborts, so the tests and
// the fuzzers stop at the first broken invariant.

#include <cstdint>

#include "script/values/Heap.h"

#if defined(QUILL_ASSERTS)
#define QUILL_ASSERT(condition)                                                                     \
    ((condition) ? static_cast<void>(0) : ::quill::assertionFailed(#condition, __FILE__, __LINE__))
#else
#define QUILL_ASSERT(condition) static_cast<void>(0)
#endif

namespace quill {

[[noreturn]] void assertionFailed(const char* condition, const char* file, int line);

// Whether `record` (a Value's payload) is null or looks like a live block of
// the collected heap: its header gives a size that is a non-zero multiple of
// 8 within the largest request, and a record that must carry a finaliser
// (a NativeObject) still has its flag, which the sweep clears when it frees
// the block. Reads the header only, never walks the heap.
inline bool checkRecord(const void* record, bool withFinaliser) {
    if (!record)
        return true;
    if (reinterpret_cast<uintptr_t>(record) % 8 != 0)
        return false;
    size_t size = Heap::blockSize(record);
    if (size == 0 || size % 8 != 0 || size > Heap::kMaxRequest + Heap::kChunkSize)
        return false;
    return !withFinaliser || Heap::hasFinaliser(record);
}

} // namespace quill
