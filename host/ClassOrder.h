#pragma once
// The fixed order in which an engine registers its classes: the built-in
// classes and the host classes interleaved, in one table.
//
// The order matters because a later registration under an existing global
// name replaces the earlier binding. A host class that is not built yet has
// its place in the table with a null register function; filling in that
// pointer is all it takes to add it.

#include <span>

#include "script/Quill.h"

namespace paloma::host {

using RegisterFunction = void (*)(quill::Engine& engine);

struct ClassEntry {
    const char* globals;              // what the entry binds, for readers of the table
    RegisterFunction registerClasses; // null: not built yet
};

// The table, in registration order.
std::span<const ClassEntry> classOrder();

// Registers every entry of the table that has a register function, in order.
void registerAllClasses(quill::Engine& engine);

// Engine options whose engines register the whole table (the player's
// engine); eval and evals are bound after it.
quill::EngineOptions hostEngineOptions(quill::EngineOptions options = {});

} // namespace paloma::host
