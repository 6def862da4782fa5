// The peephole passes one by one on hand-written instruction lists, and the
// whole optimiser on lists that stress its worst cases.
#include "CompilerTestSupport.h"

#include "script/compiler/Optimizer.h"

using namespace quilltest;
using Lines = std::vector<std::string>;

namespace {

// Builds a one-function list ("f") from lines in the text form of format().
quill::InstrList build(const Lines& lines) {
    quill::InstrList list;
    quill::CodeConstant name;
    name.text = "f";
    list.constants.push_back(name);
    quill::Instr entry;
    entry.kind = quill::InstrKind::Entry;
    list.code.push_back(entry);
    for (const std::string& l : lines) {
        quill::Instr in;
        if (l.back() == ':') {
            in.kind = quill::InstrKind::Label;
            in.operand = std::stoll(l.substr(1, l.size() - 2));
            list.labelCount = std::max(list.labelCount, static_cast<int>(in.operand) + 1);
            list.code.push_back(in);
            continue;
        }
        std::string mn = l.substr(0, l.find(' '));
        std::string arg = l.find(' ') == std::string::npos ? "" : l.substr(l.find(' ') + 1);
        EXPECT_TRUE(quill::opFromMnemonic(mn.c_str(), in.op)) << mn;
        switch (quill::operandKind(in.op)) {
        case quill::OperandKind::Name: {
            quill::CodeConstant c;
            c.text = arg;
            list.constants.push_back(c);
            in.operand = static_cast<int64_t>(list.constants.size() - 1);
            break;
        }
        case quill::OperandKind::Rel:
            in.operand = std::stoll(arg.substr(1));
            list.labelCount = std::max(list.labelCount, static_cast<int>(in.operand) + 1);
            break;
        case quill::OperandKind::None: break;
        default: in.operand = std::stoll(arg); break;
        }
        list.code.push_back(in);
    }
    return list;
}

Lines run(void (*pass)(quill::InstrList&), const Lines& lines) {
    quill::InstrList list = build(lines);
    pass(list);
    return functionLines(list, "f");
}

} // namespace

TEST(PeepholeDupPop, RemovesPairsThatLeaveTheOriginalOnTop) {
    EXPECT_EQ(run(quill::removeDupPop, {"push1", "dup", "setglobal x", "pop"}), (Lines{"push1", "setglobal x"}));
    EXPECT_EQ(run(quill::removeDupPop, {"getglobal x", "dup", "push1", "add", "setglobal x", "pop"}),
              (Lines{"getglobal x", "push1", "add", "setglobal x"}));
    EXPECT_EQ(run(quill::removeDupPop, {"push1", "dup", "getglobal a", "push2", "setelem", "pop"}),
              (Lines{"push1", "getglobal a", "push2", "setelem"}));
    // Not directly followed by pop, or interrupted: kept.
    Lines keep1 = {"push1", "dup", "setglobal x", "push2", "pop"};
    EXPECT_EQ(run(quill::removeDupPop, keep1), keep1);
    Lines keep2 = {"push1", "dup", "L0:", "setglobal x", "pop"};
    EXPECT_EQ(run(quill::removeDupPop, keep2), keep2);
    Lines keep3 = {"push0", "dup", "push0", "getglobal f", "call", "setprop x", "pop"};
    EXPECT_EQ(run(quill::removeDupPop, keep3), keep3);
    Lines keep4 = {"push1", "dup", "dup", "setglobal x", "setglobal y", "pop"};
    EXPECT_EQ(run(quill::removeDupPop, keep4), keep4);
    // An instruction that would consume the original value as well: kept.
    Lines keep5 = {"push1", "dup", "getelem", "pop"};
    EXPECT_EQ(run(quill::removeDupPop, keep5), keep5);
}

TEST(PeepholeSlidePop, FoldsWhileTheCountFits) {
    EXPECT_EQ(run(quill::foldSlidePop, {"slide 2", "pop"}), (Lines{"popn 3"}));
    EXPECT_EQ(run(quill::foldSlidePop, {"slide 254", "pop"}), (Lines{"popn 255"}));
    EXPECT_EQ(run(quill::foldSlidePop, {"slide 255", "pop"}), (Lines{"slide 255", "pop"}));
    EXPECT_EQ(run(quill::foldSlidePop, {"slide 2", "L0:", "pop"}), (Lines{"slide 2", "L0:", "pop"}));
}

TEST(PeepholeConstantJumps, AllFourCombinations) {
    EXPECT_EQ(run(quill::foldConstantJumps, {"pushtrue", "jf L0", "L0:"}), (Lines{"L0:"}));
    EXPECT_EQ(run(quill::foldConstantJumps, {"pushtrue", "jfalse L0", "L0:"}), (Lines{"L0:"}));
    EXPECT_EQ(run(quill::foldConstantJumps, {"pushfalse", "jtrue L0", "L0:"}), (Lines{"L0:"}));
    EXPECT_EQ(run(quill::foldConstantJumps, {"pushfalse", "jf L0", "L0:"}), (Lines{"jmp L0", "L0:"}));
    EXPECT_EQ(run(quill::foldConstantJumps, {"pushtrue", "jt L0", "L0:"}), (Lines{"jmp L0", "L0:"}));
    EXPECT_EQ(run(quill::foldConstantJumps, {"pushtrue", "L1:", "jf L0", "L0:"}),
              (Lines{"pushtrue", "L1:", "jf L0", "L0:"}));
}

TEST(PeepholeThreading, FollowsChainsAndStopsAtCycles) {
    EXPECT_EQ(run(quill::threadJumps, {"jfalse L0", "ret", "L0:", "L1:", "jmp L2", "L2:", "jmp L3", "L3:", "ret"}),
              (Lines{"jfalse L3", "ret", "L0:", "L1:", "jmp L3", "L2:", "jmp L3", "L3:", "ret"}));
    EXPECT_EQ(run(quill::threadJumps, {"try L0", "L0:", "jmp L1", "L1:", "ret"}),
              (Lines{"try L1", "L0:", "jmp L1", "L1:", "ret"}));
    // A cycle of jumps does not hang the pass.
    Lines cycle = run(quill::threadJumps, {"jmp L0", "L0:", "jmp L1", "L1:", "jmp L0"});
    EXPECT_EQ(cycle.size(), 5u);
}

TEST(PeepholeDeadStores, RemovesStoresNotReadAgain) {
    EXPECT_EQ(run(quill::removeDeadStores, {"push1", "setlocal 0", "getlocal 0", "ret"}), (Lines{"push1", "ret"}));
    // Read again later: kept.
    Lines keep = {"push1", "setlocal 0", "getlocal 0", "getlocal 0", "add", "ret"};
    EXPECT_EQ(run(quill::removeDeadStores, keep), keep);
    // Read again around a loop: kept.
    Lines loop = {"L0:", "push1", "setlocal 0", "getlocal 0", "jfalse L1", "jmp L0", "L1:", "getlocal 0", "ret"};
    EXPECT_EQ(run(quill::removeDeadStores, loop), loop);
    // Overwritten before any read: removed.
    EXPECT_EQ(run(quill::removeDeadStores, {"push1", "setlocal 3", "getlocal 3", "push2", "setlocal 3",
                                            "pop", "getlocal 3", "ret"}),
              (Lines{"push1", "push2", "setlocal 3", "pop", "getlocal 3", "ret"}));
    // Slots from 32 up are not tracked.
    Lines high = {"push1", "setlocal 32", "getlocal 32", "ret"};
    EXPECT_EQ(run(quill::removeDeadStores, high), high);
    // A slot a catch handler reads stays stored: the throw may come later.
    Lines handler = {"try L0", "push1", "setlocal 0", "getlocal 0", "push0", "getglobal f", "call", "ret",
                     "L0:", "getlocal 0", "ret"};
    EXPECT_EQ(run(quill::removeDeadStores, handler), handler);
}

TEST(PeepholeUnreachable, LabelsDeadCodeAndJumpsToNext) {
    EXPECT_EQ(run(quill::removeUnreachable, {"jtrue L0", "push1", "ret", "push2", "L0:", "push3", "ret"}),
              (Lines{"jtrue L0", "push1", "ret", "L0:", "push3", "ret"}));
    // Once its label goes, the code after it is unreachable too.
    EXPECT_EQ(run(quill::removeUnreachable, {"push1", "ret", "push2", "L0:", "push3", "ret"}),
              (Lines{"push1", "ret"}));
    // Removing code can orphan a label, which exposes more dead code.
    EXPECT_EQ(run(quill::removeUnreachable,
                  {"jmp L2", "L5:", "jmp L0", "L0:", "jmp L1", "L1:", "push1", "L2:", "push2", "ret"}),
              (Lines{"push2", "ret"}));
    EXPECT_EQ(run(quill::removeUnreachable, {"jfalse L0", "push1", "jmp L1", "L0:", "L1:", "ret"}),
              (Lines{"jfalse L0", "push1", "L0:", "ret"}));
    // Jumps still referring to a label keep it.
    EXPECT_EQ(run(quill::removeUnreachable, {"L0:", "push1", "jtrue L0", "ret"}),
              (Lines{"L0:", "push1", "jtrue L0", "ret"}));
}
