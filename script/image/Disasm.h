#pragma once
// Compiled images as text for people: the listing that `quill compile
// --listing` writes and the full dump of `quill disasm`.
//
// Function code is shown one instruction a line: hexadecimal offset within
// the code section, mnemonic, decoded operand (a name, a constant, a slot or
// count, or the label of a jump target), and the source line wherever it
// changes. Jump targets get a label line "Lxxxx:" named after their offset.
// Text of the image (single-byte names, UTF-16 strings) is shown as UTF-8.

#include <string>

#include "script/image/Image.h"
#include "script/image/ImageCode.h"

namespace quill {

// A constant as it appears in listings: 42, 1.5, "text", /re/gi, name.
std::string formatConstant(const Constant& constant);

// The operand of one instruction, decoded against the pool.
std::string formatOperand(const SectionSet& sections, const Instruction& instruction);

// The code of function `index` (its header line, labels and instructions).
// An instruction list that fails verification is still shown, followed by
// the loader's message.
std::string formatFunction(const SectionSet& sections, size_t index, const char* newline = "\n");

// The listing file: "; -*- asm -*-", the source name when known, then every
// function. Lines end in CR LF.
std::string formatListing(const SectionSet& sections);

// Everything in the image: the section records, the constant pool, the
// function table, the line table's source name, then every function.
// Returns false in `ok` when some function fails verification.
std::string disassemble(const RawImage& raw, const SectionSet& sections, bool* ok = nullptr);

} // namespace quill
