#pragma once
// Helpers shared by the compiler tests: compile a script and look at its
// instruction list as text, one "mnemonic operand" per line.

#include "script/compiler/Compiler.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quilltest {

// The lines of one function's code (labels included, as "L<n>:"), without
// the entry line; empty when the function is missing.
inline std::vector<std::string> functionLines(const quill::InstrList& list, const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(list.format());
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != ' ' && line[0] != 'L') {
            inside = line == name + ":";
            continue;
        }
        if (inside)
            lines.push_back(line[0] == ' ' ? line.substr(2) : line);
    }
    return lines;
}

// The optimised code of ".main" (or another function) of a script that must
// compile.
inline std::vector<std::string> code(const std::string& source, const std::string& function = ".main",
                                     uint32_t flags = 0, bool optimise = true) {
    quill::CompileOptions options;
    options.flags = flags;
    quill::InstructionResult r = quill::compileInstructions(source, options, optimise);
    EXPECT_TRUE(r.ok) << source << "\n" << r.messages;
    return functionLines(r.list, function);
}

// The code of statements that are not the last of the script: a final
// statement is added (and left out of the result) so that the last `pop`
// stays.
inline std::vector<std::string> statements(const std::string& source) {
    std::vector<std::string> lines = code(source + "\n$end;");
    if (!lines.empty() && lines.back() == "getglobal $end")
        lines.pop_back();
    return lines;
}

// Messages of a script that must fail.
inline std::string errorOf(const std::string& source) {
    quill::CompileResult r = quill::compileScript(source);
    EXPECT_FALSE(r.ok) << source;
    return r.messages;
}

// Position of the first line equal to `text` at or after `from`; -1 if none.
inline int find(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
    for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i)
        if (lines[i] == text)
            return static_cast<int>(i);
    return -1;
}

inline int count(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const std::string& l : lines)
        n += l == text;
    return n;
}

// Follows every path through a function's code, tracking the stack depth
// (relative to the start), as the interpreter would see it. Returns the depth
// where the code falls off its end, or a failure when a label is reached
// with two different depths, the depth goes below zero, or no path falls off.
inline ::testing::AssertionResult fallOffDepth(const std::vector<std::string>& lines, int& depth) {
    std::map<std::string, size_t> labels;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].back() == ':')
            labels[lines[i].substr(0, lines[i].size() - 1)] = i;
    std::vector<int> at(lines.size() + 1, INT32_MIN);
    std::vector<size_t> work;
    auto reach = [&](size_t i, int d) -> bool {
        if (at[i] == INT32_MIN) {
            at[i] = d;
            work.push_back(i);
            return true;
        }
        return at[i] == d;
    };
    reach(0, 0);
    while (!work.empty()) {
        size_t i = work.back();
        work.pop_back();
        int d = at[i];
        if (i == lines.size())
            continue;
        const std::string& line = lines[i];
        if (line.back() == ':') {
            if (!reach(i + 1, d))
                return ::testing::AssertionFailure() << "depth conflict after " << line;
            continue;
        }
        std::string mn = line.substr(0, line.find(' '));
        std::string arg = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
        quill::Op op;
        if (!quill::opFromMnemonic(mn.c_str(), op))
            return ::testing::AssertionFailure() << "unknown mnemonic " << mn;
        int64_t operand = quill::operandKind(op) == quill::OperandKind::U8 ||
                                  quill::operandKind(op) == quill::OperandKind::U16
                              ? std::stoll(arg)
                              : 0;
        int nd = d + quill::stackEffect(op, operand);
        if (nd < 0)
            return ::testing::AssertionFailure() << "stack underflow at " << i << ": " << line;
        if (op == quill::Op::Ret || op == quill::Op::Throw)
            continue;
        if (quill::isJump(op)) {
            auto it = labels.find(arg);
            if (it == labels.end())
                return ::testing::AssertionFailure() << "no label " << arg;
            int targetDepth = op == quill::Op::Try ? d + 1 : nd;
            if (!reach(it->second, targetDepth))
                return ::testing::AssertionFailure() << "depth conflict at " << arg << " from " << i;
            if (op == quill::Op::Jmp)
                continue;
        }
        if (!reach(i + 1, nd))
            return ::testing::AssertionFailure() << "depth conflict after " << i << ": " << line;
    }
    if (at[lines.size()] == INT32_MIN)
        return ::testing::AssertionFailure() << "no path falls off the end";
    depth = at[lines.size()];
    return ::testing::AssertionSuccess();
}

} // namespace quilltest
