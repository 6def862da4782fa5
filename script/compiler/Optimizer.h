#pragma once
// The peephole optimiser: rewrites the whole instruction list in place with
// its passes in a fixed order (see optimize()). Every pass is linear in the
// length of the list.

#include "script/compiler/Instructions.h"

namespace quill {

// The longest run of instructions the dup/pop pass looks through after a
// `dup`; a pair further apart is kept.
inline constexpr int kDupScanLimit = 256;
// Slots tracked by the dead-store pass: one bit each in a 32-bit set.
inline constexpr int kTrackedSlots = 32;

// Runs, in order: dup/pop removal, slide+pop folding, constant conditional
// jumps, jump threading, dead-store removal, then the clean-up of unused
// labels, unreachable code and jumps to the next instruction until nothing
// changes.
void optimize(InstrList& list);

// The passes one by one, for tests.
void removeDupPop(InstrList& list);
void foldSlidePop(InstrList& list);
void foldConstantJumps(InstrList& list);
void threadJumps(InstrList& list);
void removeDeadStores(InstrList& list);
void removeUnreachable(InstrList& list);

} // namespace quill
