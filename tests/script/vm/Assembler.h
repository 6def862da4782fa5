#pragma once
// A small assembler for the virtual machine's tests: builds a section set
// from text, one instruction per line, so that tests do not depend on the
// compiler.
//
//   function NAME          starts a function (".main" for the top level)
//   LABEL:                 a jump target
//   MNEMONIC [OPERAND]     an instruction; operands by kind:
//       name      an identifier (getglobal print)
//       const     i:42, f:2.5, s:text (rest of the line), or a bare integer
//       rel       a label
//       others    a number
// Lines starting with ';' are comments.

#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "script/image/Image.h"
#include "script/image/ImageCode.h"

namespace quill::test {

inline SectionSet assemble(const std::string& text) {
    struct Line {
        Op op;
        std::string operand;
        uint32_t offset;
    };
    struct Fn {
        std::string name;
        std::vector<Line> lines;
    };
    std::vector<Fn> fns;
    std::map<std::string, uint32_t> labels;
    uint32_t offset = 0;
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        size_t b = raw.find_first_not_of(" \t");
        if (b == std::string::npos || raw[b] == ';')
            continue;
        std::string line = raw.substr(b);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
            line.pop_back();
        if (line.rfind("function ", 0) == 0) {
            fns.push_back({line.substr(9), {}});
            continue;
        }
        if (line.back() == ':') {
            labels[line.substr(0, line.size() - 1)] = offset;
            continue;
        }
        std::string mnemonic = line.substr(0, line.find(' '));
        std::string operand = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
        Op op;
        if (!opFromMnemonic(mnemonic.c_str(), op))
            throw std::runtime_error("unknown mnemonic " + mnemonic);
        if (fns.empty())
            fns.push_back({".main", {}});
        fns.back().lines.push_back({op, operand, offset});
        offset += uint32_t(instructionSize(op));
    }

    SectionSet s;
    ConstantPool pool;
    for (const Fn& f : fns) {
        s.functions.push_back({f.name, f.lines.empty() ? uint32_t(s.code.size()) : f.lines.front().offset});
        for (const Line& l : f.lines) {
            int64_t operand = 0;
            switch (operandKind(l.op)) {
            case OperandKind::None: break;
            case OperandKind::Name: operand = pool.identifier(l.operand); break;
            case OperandKind::Const:
                if (l.operand.rfind("s:", 0) == 0)
                    operand = pool.string(l.operand.substr(2));
                else if (l.operand.rfind("f:", 0) == 0)
                    operand = pool.number(std::strtod(l.operand.c_str() + 2, nullptr));
                else if (l.operand.rfind("i:", 0) == 0)
                    operand = pool.integer(std::strtoll(l.operand.c_str() + 2, nullptr, 10));
                else
                    operand = std::strtoll(l.operand.c_str(), nullptr, 10);
                break;
            case OperandKind::Rel: {
                auto it = labels.find(l.operand);
                if (it == labels.end())
                    throw std::runtime_error("unknown label " + l.operand);
                operand = int64_t(it->second) - int64_t(l.offset + instructionSize(l.op));
                break;
            }
            default: operand = std::strtoll(l.operand.c_str(), nullptr, 10); break;
            }
            appendInstruction(s.code, l.op, operand);
        }
    }
    s.constants = pool.take();
    return s;
}

} // namespace quill::test
