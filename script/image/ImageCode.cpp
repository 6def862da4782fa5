// Decoding and verification of the byte code of one function of an image.
#include "script/image/ImageCode.h"

#include <algorithm>

namespace quill {

namespace {

bool fail(std::string* error) {
    if (error)
        *error = kUnimplementedBytecode;
    return false;
}

// Reads the operand of `kind` at code[pos], inside [pos, end).
bool readOperand(std::span<const uint8_t> code, size_t pos, size_t end, OperandKind kind,
                 int64_t& out) {
    size_t n = operandSize(kind);
    if (end - pos < n)
        return false;
    const uint8_t* p = code.data() + pos;
    switch (kind) {
    case OperandKind::None: out = 0; break;
    case OperandKind::Name:
    case OperandKind::Const:
        out = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
        break;
    case OperandKind::Rel:
    case OperandKind::I32:
        out = static_cast<int32_t>(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 |
                                   uint32_t(p[2]) << 8 | uint32_t(p[3]));
        break;
    case OperandKind::U16: out = uint16_t(p[0] << 8 | p[1]); break;
    case OperandKind::U8: out = p[0]; break;
    case OperandKind::S8: out = static_cast<int8_t>(p[0]); break;
    }
    return true;
}

// Decodes code[begin, end) (already inside the code); false when an operand
// runs past `end`, with the instructions before it in `out`.
bool decodeRange(std::span<const uint8_t> code, size_t begin, size_t end,
                 std::vector<Instruction>& out) {
    for (size_t pos = begin; pos < end;) {
        uint8_t byte = code[pos];
        if (!isOpcode(byte)) {
            ++pos;
            continue;
        }
        Instruction ins;
        ins.offset = static_cast<uint32_t>(pos);
        ins.op = static_cast<Op>(byte);
        OperandKind kind = operandKind(ins.op);
        ins.size = static_cast<uint32_t>(1 + operandSize(kind));
        if (!readOperand(code, pos + 1, end, kind, ins.operand))
            return false;
        out.push_back(ins);
        pos += ins.size;
    }
    return true;
}

} // namespace

std::vector<Instruction> decodeForDisplay(std::span<const uint8_t> code, uint32_t begin,
                                          uint32_t end, bool* truncated) {
    std::vector<Instruction> out;
    end = std::min<uint32_t>(end, static_cast<uint32_t>(code.size()));
    bool complete = begin > end || decodeRange(code, begin, end, out);
    if (truncated)
        *truncated = !complete;
    return out;
}

std::optional<std::vector<Instruction>> decodeCode(std::span<const uint8_t> code, uint32_t begin,
                                                   uint32_t end, const std::vector<Constant>& pool,
                                                   std::string* error) {
    if (begin > end || end > code.size()) {
        fail(error);
        return std::nullopt;
    }
    std::vector<Instruction> out;
    if (!decodeRange(code, begin, end, out)) {
        fail(error);
        return std::nullopt;
    }
    for (const Instruction& ins : out) {
        OperandKind kind = operandKind(ins.op);
        bool bad = false;
        if (kind == OperandKind::Name)
            bad = uint64_t(ins.operand) >= pool.size() ||
                  pool[size_t(ins.operand)].kind != ConstantKind::Identifier;
        else if (kind == OperandKind::Const)
            bad = uint64_t(ins.operand) >= pool.size();
        if (bad) {
            fail(error);
            return std::nullopt;
        }
    }

    // Jump targets: the start of an instruction of this function, or its end.
    for (const Instruction& ins : out) {
        if (!isJump(ins.op))
            continue;
        int64_t target = ins.target();
        if (target == int64_t(end))
            continue;
        auto at = std::lower_bound(out.begin(), out.end(), target,
                                   [](const Instruction& i, int64_t t) { return i.offset < t; });
        bool onInstruction = at != out.end() && int64_t(at->offset) == target;
        if (!onInstruction) {
            fail(error);
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::vector<Instruction>> decodeFunction(const SectionSet& sections, size_t index,
                                                       std::string* error) {
    if (index >= sections.functions.size()) {
        fail(error);
        return std::nullopt;
    }
    return decodeCode(sections.code, sections.functions[index].offset, sections.functionEnd(index),
                      sections.constants, error);
}

bool verifyCode(const SectionSet& sections, std::string* error) {
    for (size_t i = 0; i < sections.functions.size(); ++i)
        if (!decodeFunction(sections, i, error))
            return false;
    return true;
}

} // namespace quill
