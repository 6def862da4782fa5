#pragma once
// The code generator's instruction list: opcodes of the instruction set with
// symbolic operands, and two pseudo-instructions, the function-entry label
// and the jump label. The peephole optimiser rewrites the list; the emitter
// turns it into the image's sections.

#include "script/image/Image.h"
#include "script/image/Opcodes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quill {

enum class InstrKind : uint8_t {
    Op,    // an instruction
    Entry, // function-entry label; operand: index of the function's name in `constants`
    Label, // jump label; operand: the label number
};

// A constant operand, entered into the image's pool only when the emitter
// writes the instruction that uses it (pool indexes follow the final code).
struct CodeConstant {
    ConstantKind kind = ConstantKind::Identifier;
    int64_t integer = 0;
    double number = 0;
    std::string text; // identifier, string or pattern: single-byte text
    uint8_t flags = 0;
};

struct Instr {
    InstrKind kind = InstrKind::Op;
    Op op = Op::Nop;
    int line = 0;
    // Integer operand (u8, s8, u16, i32), target label number of a jump, the
    // label number of a Label, or for Name and Const operands and entries the
    // index of the constant in InstrList::constants.
    int64_t operand = 0;

    bool isOp(Op o) const { return kind == InstrKind::Op && op == o; }
    bool isLabel() const { return kind == InstrKind::Label; }
};

struct InstrList {
    std::vector<Instr> code;
    std::vector<CodeConstant> constants;
    int labelCount = 0;

    // One line per instruction, "mnemonic operand", labels as "L<n>:" and
    // entries as "<name>:"; for tests and listings.
    std::string format() const;
    std::string operandText(const Instr& ins) const;
};

} // namespace quill
