#pragma once
// Struct and StructArray: native memory laid out from a structure descriptor,
// its members read and written as properties; and what the native calls
// need of them (a Struct's memory as a native copy, new Structs from bytes).

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "host/native/StructLayout.h"
#include "script/Quill.h"

namespace paloma::host {

// The memory of a Struct, shared by the Structs of its nested members and its
// StructArray objects. Pointer members keep the script Value last stored in
// them (by byte offset); the bytes hold native pointers only in the copies
// made for a call.
struct StructMemory {
    std::vector<uint8_t> bytes;
    std::map<uint32_t, quill::Value> pointers;
};

// A Struct instance: a structure at `base` in the memory.
struct StructObject {
    std::shared_ptr<StructMemory> memory;
    uint32_t base = 0;
    std::shared_ptr<const StructLayout> layout;
    // The interned member names of the layout (kept by the class), found on
    // first access.
    const std::vector<quill::SymbolId>* memberIds = nullptr;

    uint8_t* data() const { return memory->bytes.data() + base; }
    void markValues(quill::Engine& engine) const;
};

void registerStructClasses(quill::Engine& engine);

// The layout rules now in force: the engine's `Struct.align` and this
// build's pointer size.
LayoutRules currentLayoutRules(quill::Engine& engine);
// Lays out a descriptor text; structure type names resolve to the global
// variables of those names.
std::shared_ptr<const StructLayout> layoutDescriptor(quill::Engine& engine, std::string_view descriptor);
// The Struct behind a Value, or null when it is no live Struct.
StructObject* structOf(quill::Engine& engine, const quill::Value& v);
// Makes `out` a new Struct of the layout holding a copy of `bytes` (at most
// the layout's size; the rest zero). False when the Struct class is gone.
bool newStructValue(quill::Engine& engine, std::shared_ptr<const StructLayout> layout, const uint8_t* bytes,
                    size_t count, quill::Value& out);

// A Struct's memory as a native call sees it: each pointer member holds a
// native pointer made from the member's Value (fresh buffers, owned here).
class NativeStructCopy {
public:
    // Builds the copy; false when out of memory.
    bool build(quill::Engine& engine, const StructObject& s);
    uint8_t* data() { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    // Makes `out` a new Struct of the same layout holding the memory as the
    // call left it: pointer members that still point at this copy's own
    // buffers get their script Values back.
    bool toStruct(quill::Engine& engine, quill::Value& out);

    // A buffer that lives as long as the copy.
    uint8_t* keep(std::vector<uint8_t> buffer);

private:
    void* pointerFor(quill::Engine& engine, const StructMember& m, const quill::Value& v, int depth);
    bool fill(quill::Engine& engine, const StructObject& s, uint8_t* into, int depth);

    struct Restore {
        uint32_t offset;
        uintptr_t pointer;
        quill::Value value;
    };
    std::shared_ptr<const StructLayout> layout_;
    std::vector<uint8_t> bytes_;
    std::list<std::vector<uint8_t>> buffers_;
    std::vector<Restore> restore_;
};

} // namespace paloma::host
