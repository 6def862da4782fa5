// Fused cells: which sequences the linker fuses, and that fused code runs
// as the plain instructions would, also when a jump lands inside a sequence
// or an operand is not an Integer.
#include <limits>

#include "script/values/Array.h"
#include "script/vm/Code.h"
#include "tests/script/vm/VmFixture.h"

namespace quill::test {
namespace {

using FusionTest = VmTest;

Insn cell(Op op, int32_t arg = 0, bool checked = false) {
    return Insn{uint32_t(op) | (checked ? Insn::kChecked : 0), arg};
}

uint32_t opcode(const Insn& insn) { return cellOpcode(insn); }

TEST(FuseInstructions, FirstCellsOfKnownSequencesOnly) {
    std::vector<Insn> code = {
        cell(Op::GetLocal, 1), cell(Op::PushConst, 9), cell(Op::Lt), cell(Op::Jf, 8),       // 0: compare
        cell(Op::GetLocal, 0), cell(Op::GetLocal, 1), cell(Op::Add), cell(Op::SetLocal, 0), // 4: add into a local
        cell(Op::GetArg, 2), cell(Op::Push1), cell(Op::Sub),                                 // 8: pushes a - 1
        cell(Op::GetArg, 2), cell(Op::Push2), cell(Op::Ge), cell(Op::Jt, 1),                 // 11: jt: no
        cell(Op::GetLocal, 0), cell(Op::Push3), cell(Op::Mul),                               // 15: mul: no
        cell(Op::GetLocal, 0), cell(Op::Push1, 0, true), cell(Op::Add),                      // 18: checked: no
        cell(Op::GetArg, 1), cell(Op::GetArg, 0), cell(Op::Le), cell(Op::Jf, -20),           // 21: compare
        cell(Op::End)};
    std::vector<Insn> fused = code;
    fuseInstructions(fused);
    EXPECT_EQ(opcode(fused[0]), uint32_t(FusedOp::CmpJfLocal));
    EXPECT_EQ(opcode(fused[4]), uint32_t(FusedOp::AddSetLocalLocal));
    EXPECT_EQ(opcode(fused[8]), uint32_t(FusedOp::SubArgInt));
    EXPECT_EQ(opcode(fused[11]), uint32_t(Op::GetArg));
    EXPECT_EQ(opcode(fused[15]), uint32_t(Op::GetLocal));
    EXPECT_EQ(opcode(fused[18]), uint32_t(Op::GetLocal));
    EXPECT_EQ(opcode(fused[21]), uint32_t(FusedOp::CmpJfArg));
    // Everything else keeps its opcode, index and operand; push0..push3
    // carry the value they push.
    for (size_t i = 0; i < code.size(); ++i) {
        if (i == 0 || i == 4 || i == 8 || i == 21)
            continue;
        EXPECT_EQ(fused[i].word, code[i].word) << i;
        Op op = code[i].op();
        int32_t pushed = op == Op::Push1 ? 1 : op == Op::Push2 ? 2 : op == Op::Push3 ? 3 : code[i].arg;
        EXPECT_EQ(fused[i].arg, pushed) << i;
    }
    EXPECT_EQ(fused[0].arg, 1);
    EXPECT_TRUE(fused[19].checked());
}

TEST(FuseInstructions, TypedCellsCountedLoopsAndPrologues) {
    const Value constants[] = {Value::integer(100000), Value::integer(int64_t(1) << 40), Value::floating(2.5)};
    std::vector<Insn> code = {
        cell(Op::GetArg, 1), cell(Op::Add2), cell(Op::Args, 3),                               // 0: prologue
        cell(Op::Push0), cell(Op::SetLocal, 0),                                               // 3
        cell(Op::GetLocal, 0), cell(Op::PushConst, 0), cell(Op::Le), cell(Op::Jf, 6),         // 5: test
        cell(Op::GetLocal, 1), cell(Op::GetArg, 2), cell(Op::Add), cell(Op::SetLocal, 1),     // 9
        cell(Op::GetLocal, 0), cell(Op::Push1), cell(Op::Add), cell(Op::SetLocal, 0),         // 13: step
        cell(Op::Jmp, -13),                                                                   // 17: to 5
        cell(Op::GetLocal, 0), cell(Op::PushConst, 1), cell(Op::Gt), cell(Op::Jf, 0),         // 18: too big
        cell(Op::GetArg, 2), cell(Op::PushConst, 2), cell(Op::Sub),                           // 22: a Float
        cell(Op::GetLocal, 2), cell(Op::Push2), cell(Op::Add), cell(Op::SetLocal, 3),         // 25: other local
        cell(Op::Jmp, -23),                                                                   // 29: to 7
        cell(Op::End)};
    std::vector<Insn> fused = code;
    fuseInstructions(fused, constants);
    EXPECT_EQ(opcode(fused[0]), uint32_t(FusedOp::Prologue));
    EXPECT_EQ(opcode(fused[5]), uint32_t(FusedOp::LeJfLocalInt));
    EXPECT_EQ(opcode(fused[6]), uint32_t(Op::PushInt)); // the constant, now an operand
    EXPECT_EQ(fused[6].arg, 100000);
    EXPECT_EQ(fused[6].word & ~0xFFu, code[6].word & ~0xFFu);
    EXPECT_EQ(opcode(fused[9]), uint32_t(FusedOp::ArithSetLocal)); // an argument operand
    EXPECT_EQ(opcode(fused[13]), uint32_t(FusedOp::IncLoopLe));
    EXPECT_EQ(opcode(fused[18]), uint32_t(FusedOp::CmpJfLocal));
    EXPECT_EQ(opcode(fused[19]), uint32_t(Op::PushConst)); // beyond 32 bits
    EXPECT_EQ(fused[19].arg, 1);
    EXPECT_EQ(opcode(fused[22]), uint32_t(FusedOp::ArithArg));
    EXPECT_EQ(opcode(fused[25]), uint32_t(FusedOp::AddSetLocalInt)); // jumps to no test of its local
    for (size_t i : {1, 2, 7, 8, 10, 14, 15, 16, 17, 29})
        EXPECT_EQ(fused[i].word, code[i].word) << i;
}

TEST(FuseInstructions, ElementAccessThroughLocals) {
    std::vector<Insn> code = {
        cell(Op::GetLocal, 2), cell(Op::GetLocal, 0), cell(Op::GetLocal, 1), cell(Op::SetElem),   // 0: a[i] = v
        cell(Op::GetLocal, 3), cell(Op::GetLocal, 0), cell(Op::GetLocal, 1), cell(Op::GetElem),   // 4: x + a[i]
        cell(Op::Add), cell(Op::SetLocal, 3),                                                       //    into x
        cell(Op::GetLocal, 3), cell(Op::GetLocal, 0), cell(Op::GetLocal, 1), cell(Op::GetElem),   // 10: x, a[i]
        cell(Op::Sub),                                                                              //     (sub: no sum)
        cell(Op::GetArg, 0), cell(Op::GetLocal, 1), cell(Op::GetElem),                             // 15: argument: no
        cell(Op::GetLocal, 0), cell(Op::GetLocal, 1, true), cell(Op::GetElem),                     // 18: checked: no
        cell(Op::End)};
    std::vector<Insn> fused = code;
    fuseInstructions(fused);
    EXPECT_EQ(opcode(fused[0]), uint32_t(FusedOp::SetElemLocals));
    EXPECT_EQ(opcode(fused[4]), uint32_t(FusedOp::AddElemSetLocal));
    EXPECT_EQ(opcode(fused[10]), uint32_t(Op::GetLocal));
    EXPECT_EQ(opcode(fused[11]), uint32_t(FusedOp::GetElemLocals));
    EXPECT_EQ(opcode(fused[15]), uint32_t(Op::GetArg));
    EXPECT_EQ(opcode(fused[16]), uint32_t(Op::GetLocal));
    EXPECT_EQ(opcode(fused[18]), uint32_t(Op::GetLocal));
}

TEST_F(FusionTest, ElementCellsRunAsTheirInstructions) {
    // A jump onto the setelem stores what the stack holds; a store whose
    // value local lies below the stack takes the plain path (undefined).
    global("a") = newArray(*engine);
    ASSERT_TRUE(run("locals 3\ngetglobal a\nsetlocal 0\npush1\nsetlocal 1\npushconst s:v\nsetlocal 2\n"
                    "pushconst s:w\ngetlocal 0\npush0\njmp store\n"
                    "getlocal 2\ngetlocal 0\ngetlocal 1\nstore:\nsetelem\n"
                    "getlocal 2\ngetlocal 0\ngetlocal 1\nsetelem\n"
                    "getlocal 9\ngetlocal 0\npush2\nsetelem\n"
                    "getlocal 0\nend"));
    ArrayBody* a = global("a").asArray();
    Value v;
    ASSERT_TRUE(arrayGet(a, 0, v));
    EXPECT_EQ(text(v), "w");
    ASSERT_TRUE(arrayGet(a, 1, v));
    EXPECT_EQ(text(v), "v");
    ASSERT_TRUE(arrayGet(a, 2, v));
    EXPECT_TRUE(v.isUndefined());
    EXPECT_EQ(a->length, 3u);
}

TEST_F(FusionTest, PrologueRunsAsItsInstructions) {
    // The count slot holding a String: the plain cells run (add2 appends).
    ASSERT_TRUE(run("getarg 1\nadd2\nargs 4\ngetarg 3\ntypeof\nend"));
    EXPECT_EQ(text(result()), "undefined");
    ASSERT_TRUE(run("locals 1\npushconst s:x\nsetarg 1\njmp start\npush0\nstart:\n"
                    "getarg 1\nadd2\nargs 2\ngetarg 1\nend"));
    EXPECT_EQ(text(result()), "x");
}

TEST_F(FusionTest, CountingLoopOverLocals) {
    ASSERT_TRUE(run("locals 3\n"
                    "pushconst i:100\nsetlocal 0\npush0\nsetlocal 1\npush0\nsetlocal 2\n"
                    "top:\ngetlocal 1\ngetlocal 0\nlt\njf done\n"
                    "getlocal 2\ngetlocal 1\nadd\nsetlocal 2\n"
                    "getlocal 1\npush1\nadd\nsetlocal 1\njmp top\n"
                    "done:\ngetlocal 2\nend"));
    EXPECT_EQ(result().asInteger(), 4950);
}

TEST_F(FusionTest, AJumpIntoASequenceRunsItsRest) {
    // The jump lands on push1: the value pushed before it stands in for
    // the getlocal that the fused cell would have run.
    ASSERT_TRUE(run("locals 1\npush3\nsetlocal 0\npushconst i:10\njmp mid\n"
                    "getlocal 0\nmid:\npush1\nadd\nsetlocal 0\ngetlocal 0\nend"));
    EXPECT_EQ(result().asInteger(), 11);
    ASSERT_TRUE(run("locals 1\npush3\nsetlocal 0\npushconst i:10\njmp mid\n"
                    "getlocal 0\nmid:\npush2\nlt\njf no\npushconst s:yes\nend\nno:\npushconst s:no\nend"));
    EXPECT_EQ(text(result()), "no");
}

TEST_F(FusionTest, OtherOperandsTakeThePlainInstructions) {
    // A Float, a String, a missing local and a missing argument.
    ASSERT_TRUE(run("locals 1\npushconst f:1.5\nsetlocal 0\ngetlocal 0\npush1\nadd\nsetlocal 0\ngetlocal 0\nend"));
    EXPECT_DOUBLE_EQ(result().asFloat(), 2.5);
    ASSERT_TRUE(run("locals 1\npushconst s:a\nsetlocal 0\ngetlocal 0\npush2\nadd\nend"));
    EXPECT_EQ(text(result()), "a2");
    ASSERT_TRUE(run("locals 1\npush1\nsetlocal 0\ngetlocal 0\npushconst s:9\nlt\njf no\npushconst s:yes\nend\n"
                    "no:\npushconst s:no\nend"));
    EXPECT_EQ(text(result()), "yes");
    ASSERT_TRUE(run("locals 1\ngetlocal 7\npush1\nsub\nend"));
    EXPECT_EQ(result().kind, Kind::NaN);
    ASSERT_TRUE(run("getarg 5\npush1\nadd\nend"));
    EXPECT_EQ(result().kind, Kind::NaN);
    // The store goes nowhere when its local is not there, as setlocal's does.
    ASSERT_TRUE(run("locals 1\npush2\nsetlocal 0\ngetlocal 0\npush1\nadd\nsetlocal 9\ngetlocal 0\nend"));
    EXPECT_EQ(result().asInteger(), 2);
    // Wrapping at the 64-bit edge.
    ASSERT_TRUE(run("locals 1\npushconst i:9223372036854775807\nsetlocal 0\ngetlocal 0\npush1\nadd\nend"));
    EXPECT_EQ(result().asInteger(), std::numeric_limits<int64_t>::min());
}

} // namespace
} // namespace quill::test
