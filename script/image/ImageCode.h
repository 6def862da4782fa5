#pragma once
// Encoding, decoding and verification of the byte code of one function of
// an image.
//
// The loader converts every function through decodeFunction() before any of
// it runs, so that an image from an untrusted file either passes these checks
// or is refused as a whole with "Unimplemented Quill Script bytecode":
//   - bytes outside the opcode range 33..112 are skipped, as they always were;
//   - an operand that runs past the end of the function is refused;
//   - a name operand must index an identifier of the constant pool, a
//     `pushconst` operand any entry of the pool;
//   - a jump (also `try`) must land on the first byte of an instruction of the
//     same function, or just past its last byte (the `end` the loader appends).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "script/image/Image.h"
#include "script/image/Opcodes.h"

namespace quill {

// Appends the opcode byte and the operand in its encoding (Opcodes.h). For a
// jump the operand is the displacement from the end of this instruction.
void appendInstruction(std::vector<uint8_t>& code, Op op, int64_t operand = 0);

struct Instruction {
    uint32_t offset = 0; // of the opcode byte within the code section
    uint32_t size = 0;   // opcode byte and operand
    Op op = Op::Nop;
    // The operand as encoded: Rel, I32 and S8 sign-extended, Name, Const, U16
    // and U8 zero-extended; 0 without one.
    int64_t operand = 0;

    uint32_t end() const { return offset + size; }
    // Byte offset a jump lands on (Rel operands only).
    int64_t target() const { return int64_t(end()) + operand; }
};

// Decodes code[begin, end) and verifies it against the pool. On failure
// returns nothing and sets *error (when given) to kUnimplementedBytecode.
std::optional<std::vector<Instruction>> decodeCode(std::span<const uint8_t> code, uint32_t begin,
                                                   uint32_t end, const std::vector<Constant>& pool,
                                                   std::string* error = nullptr);

// The same for entry `index` of the function table.
std::optional<std::vector<Instruction>> decodeFunction(const SectionSet& sections, size_t index,
                                                       std::string* error = nullptr);

// Decodes code[begin, end) without the pool and jump checks, to show a
// doubtful image; stops at an operand cut short and then sets *truncated.
std::vector<Instruction> decodeForDisplay(std::span<const uint8_t> code, uint32_t begin,
                                          uint32_t end, bool* truncated = nullptr);

// Every function of the image; true when all of them pass.
bool verifyCode(const SectionSet& sections, std::string* error = nullptr);

} // namespace quill
