#pragma once
// The linked form of one function: what the loader makes of an image's byte
// code and what the interpreter executes.
//
// Every instruction becomes one Insn of two 32-bit words: the first holds the
// opcode in its low byte and, in its upper 24 bits, the distance back to the
// function's first Insn; the second holds the operand, already resolved:
//   - name operands: the symbol id of the identifier;
//   - `pushconst`: the index into the engine's constant pool (image base +
//     entry index);
//   - jumps and `try`: the displacement in Insns from the Insn after the jump;
//   - u8, s8, u16 and i32 operands: their value;
//   - `new` that begins an object literal: the number of properties the
//     literal sets (the room its object gets), otherwise 0.
// Nothing is decoded while the code runs. The distance field lets any code
// position (a frame's resume position, the engine's saved position) find its
// CompiledFunction, which is how the collector keeps running code alive and
// how error reports find the function's name and line.
//
// An `end` Insn follows the last instruction, so running off the end of a
// function's code ends the run.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "script/image/Image.h"
#include "script/image/Opcodes.h"
#include "script/values/Heap.h"
#include "script/values/Value.h"

namespace quill {

struct Engine;

struct Insn {
    uint32_t word; // opcode | kChecked | (index within the function << 8)
    int32_t arg;

    // Set on an instruction that some path may reach with fewer values
    // pushed than it pops: the interpreter checks the depth before running
    // it (see linkFunction).
    static constexpr uint32_t kChecked = 0x80;

    Op op() const { return static_cast<Op>(word & 0x7F); }
    bool checked() const { return (word & kChecked) != 0; }
    uint32_t index() const { return word >> 8; }
};

// Fused cells. When a function is placed on the heap, the first cell of some
// frequent integer sequences gets one of these opcodes. The cells after it
// keep their own opcodes, so a jump into the middle of a sequence runs those
// one by one; the fused cell runs the whole sequence when every operand is
// an Integer it can reach directly, and otherwise runs as its first
// instruction. Operand cells: a local (getlocal), an argument (getarg), a
// constant (pushconst) or an integer (pushint, push0..push3; the fuser
// stores the pushed value in the operand of push0..push3, and turns a
// pushconst of an Integer that fits 32 bits into a pushint of it).
//
// The generic cells (113..117) find out the kinds of their operand cells and
// their operator when they run. The typed cells are chosen when the code is
// placed: their opcode says where each operand lies and which operator
// applies, and an integer operand is read from its cell's operand.
//
// The element cells (250..252) read an array and an index from locals and
// run their sequence when the array's compact form answers without
// allocating (an element it holds, or an append with room); the sum cell
// also needs Integers to add.
//
// Appends (253, 254): `s = s + value` into a local s, where the value is
// straight-line code that leaves the copy of s alone, ends in an add cell
// that stores the result itself (AppendSetLocal). A local that appends fill
// and that a string constant is stored to (so not a counter) has its other
// getlocal cells given GetLocalShared, which reads the local like getlocal
// and clears the string's kSoleHolder flag. A string an append makes is
// flagged: while it stays in its local and no other cell has read it, it
// is held there alone, and the next append may lengthen it in place when
// it is what its buffer last took and the buffer has room.
//
// Fused opcodes (FusedOp, listed with the sequence each stands for in
// script/image/Opcodes.h) lie above the image's opcodes: 113..127, and
// 241..254, which no checked cell uses (a checked cell is an image opcode,
// 33..112, with Insn::kChecked set). Fused cells are never checked.

// The opcode byte of a linked cell (image opcode, checked or fused).
inline uint32_t cellOpcode(const Insn& insn) { return insn.word & 0xFF; }

// Gives the first cells of the sequences above their fused opcodes. Cells
// marked kChecked are never part of a fused sequence. `constants` is the
// engine's constant pool (pushconst operands index it); without it no
// pushconst becomes a pushint.
void fuseInstructions(std::span<Insn> code, std::span<const Value> constants = {});

static_assert(sizeof(Insn) == 8);

// Functions longer than this many Insns cannot be linked (the index field of
// an Insn is 24 bits wide).
inline constexpr uint32_t kMaxFunctionInsns = (1u << 24) - 1;

// Values a function may need below its frame at most (locals, temporaries and
// the undefined slots `args` adds); deeper code is refused when linked, so
// that the check made on entering a function covers every push in it.
inline constexpr uint32_t kMaxFunctionStack = 1u << 20;

// One entry of a function's line table: the Insn at `insn` and those after it
// up to the next entry come from source line `line`.
struct LinePair {
    uint32_t insn;
    uint32_t line;
};

// A function after linking, before it is placed on the collected heap.
struct LinkedCode {
    std::vector<Insn> code;
    std::vector<LinePair> lines;
    uint32_t maxStack = 0;
    uint32_t thisProperties = 0; // see CompiledFunction
};

// Maps an identifier entry of the image's pool to its symbol id.
using SymbolOfConstant = std::span<const SymbolId>;

// Links function `index` of the section set. `constantBase` is where the
// image's constants begin in the engine's pool; `symbols[i]` is the symbol id
// of pool entry i when it is an identifier. Code that the verifier refuses, or
// whose stack use cannot be bounded (a loop that keeps pushing, a pop below
// the frame on every path), gives nothing and sets *error to
// "Unimplemented Quill Script bytecode".
//
// The depth of the stack is followed over every path as a range. An
// instruction that pops more than the lowest depth that reaches it, but no
// more than the highest, is marked kChecked: compiled code has such places
// (after a finally clause the depth depends on whether an exception is
// pending, which a Boolean on top tells), and the interpreter checks the
// depth there instead of trusting it.
std::optional<LinkedCode> linkFunction(const SectionSet& sections, size_t index, uint32_t constantBase,
                                       SymbolOfConstant symbols, std::string* error = nullptr);

// The collected record of a linked function: a GcObject, then the fields
// below, then the Insns, then one property cache (see Object.h) per Insn,
// used by the property reads and writes and method calls at that Insn.
struct CompiledFunction {
    GcObject gc;
    char* name;          // owned, NUL-terminated
    char* sourceName;    // owned; "unknown" when the image had no line table
    LinePair* lines;     // owned, ascending by insn
    uint32_t lineCount;
    uint32_t insnCount;  // including the final `end`
    uint32_t maxStack;
    // Names the code stores into `this` (distinct; at most kMaxInlineRoom):
    // room that `new` leaves in the objects it makes with this function.
    uint32_t thisProperties;

    Insn* code() { return reinterpret_cast<Insn*>(this + 1); }
    const Insn* code() const { return reinterpret_cast<const Insn*>(this + 1); }
    bool hasLines() const { return lines != nullptr; }
    // Source line of the Insn at `pos` (0 when the table has none before it).
    uint32_t lineAt(uint32_t pos) const;

    // The property cache of the Insn at `pc`.
    static uint32_t& cacheOf(const Insn* pc) {
        const Insn* first = pc - pc->index();
        const CompiledFunction* f = reinterpret_cast<const CompiledFunction*>(first) - 1;
        auto* caches = reinterpret_cast<uint32_t*>(const_cast<Insn*>(first + f->insnCount));
        return caches[pc->index()];
    }

    // The function whose code holds `pc`.
    static CompiledFunction* owning(const Insn* pc) {
        const Insn* first = pc - pc->index();
        return reinterpret_cast<CompiledFunction*>(const_cast<Insn*>(first)) - 1;
    }
};
static_assert(sizeof(CompiledFunction) % alignof(Insn) == 0);

// Places linked code on the engine's collected heap.
CompiledFunction* newCompiledFunction(Engine& engine, const LinkedCode& linked, std::string_view name,
                                      std::string_view sourceName);

// Marks the function that holds a code position (no-op for null).
void markCodePosition(Engine& engine, const Insn* pc);

extern const GcType kCompiledFunctionType;

} // namespace quill
