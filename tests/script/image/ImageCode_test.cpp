// Decoding and verifying function code: operands, skipped bytes, jump
// targets, pool indices and truncated operands.
#include <gtest/gtest.h>

#include "script/image/ImageCode.h"

namespace quill {
namespace {

struct Builder {
    SectionSet s;
    ConstantPool pool;
    void op(Op o, int64_t operand = 0) { appendInstruction(s.code, o, operand); }
    uint32_t here() const { return static_cast<uint32_t>(s.code.size()); }
    // A jump from here to `target`, given as a byte offset of the code.
    void jump(Op o, uint32_t target) { op(o, int64_t(target) - int64_t(here() + 5)); }
    SectionSet finish() {
        s.constants = pool.entries();
        if (s.functions.empty())
            s.functions.push_back({".main", 0});
        return s;
    }
};

TEST(ImageCode, OpcodeListIsDenseAndConsistent) {
    for (size_t i = 0; i < kOpcodeCount; ++i) {
        const OpInfo& info = kOpInfo[i];
        EXPECT_EQ(static_cast<size_t>(info.op), kFirstOpcode + i);
        Op back;
        ASSERT_TRUE(opFromMnemonic(info.mnemonic, back)) << info.mnemonic;
        EXPECT_EQ(back, info.op);
        // Each instruction writes exactly the bytes its size announces.
        std::vector<uint8_t> code;
        appendInstruction(code, info.op, 1);
        EXPECT_EQ(code.size(), instructionSize(info.op)) << info.mnemonic;
    }
    Op unused;
    EXPECT_FALSE(opFromMnemonic("bogus", unused));
    EXPECT_FALSE(opFromMnemonic("pus", unused));
    EXPECT_EQ(stackEffect(Op::PopN, 3), -3);
    EXPECT_EQ(stackEffect(Op::Slide, 4), -4);
    EXPECT_EQ(stackEffect(Op::Locals, 5), 5);
    EXPECT_EQ(stackEffect(Op::SetElem, 0), -3);
    EXPECT_EQ(stackEffect(Op::Call, 0), 1);
    EXPECT_EQ(stackNeeds(Op::Call, 0), 2);
    EXPECT_EQ(stackNeeds(Op::SetElem, 0), 3);
    EXPECT_EQ(stackNeeds(Op::Slide, 4), 5);
    EXPECT_EQ(stackNeeds(Op::Rot, -3), 3);
    EXPECT_EQ(mnemonic(Op::CallMethod), std::string("callmethod"));
}

TEST(ImageCode, DecodesOperandsWithTheirSigns) {
    Builder b;
    b.op(Op::PushInt, -7);
    b.op(Op::GetLocal, 0xFFFE);
    b.op(Op::Rot, -2);
    b.op(Op::PopN, 200);
    b.op(Op::GetProp, b.pool.identifier("length"));
    b.op(Op::PushConst, b.pool.string("s"));
    b.op(Op::Ret);
    SectionSet s = b.finish();
    std::optional<std::vector<Instruction>> code = decodeFunction(s, 0);
    ASSERT_TRUE(code);
    ASSERT_EQ(code->size(), 7u);
    EXPECT_EQ((*code)[0].operand, -7);
    EXPECT_EQ((*code)[1].operand, 0xFFFE);
    EXPECT_EQ((*code)[2].operand, -2);
    EXPECT_EQ((*code)[3].operand, 200);
    EXPECT_EQ((*code)[4].operand, 0);
    EXPECT_EQ((*code)[5].operand, 1);
    EXPECT_EQ((*code)[6].op, Op::Ret);
    uint32_t offset = 0;
    for (const Instruction& i : *code) {
        EXPECT_EQ(i.offset, offset);
        offset += i.size;
    }
    EXPECT_EQ(offset, s.code.size());
}

TEST(ImageCode, BytesOutsideTheOpcodeRangeAreSkipped) {
    SectionSet s;
    s.code = {0, 32, 113, 255, 93, 200, 51};
    s.functions = {{".main", 0}};
    std::optional<std::vector<Instruction>> code = decodeFunction(s, 0);
    ASSERT_TRUE(code);
    ASSERT_EQ(code->size(), 2u);
    EXPECT_EQ((*code)[0].op, Op::Push0);
    EXPECT_EQ((*code)[0].offset, 4u);
    EXPECT_EQ((*code)[1].op, Op::Ret);
    EXPECT_EQ((*code)[1].offset, 6u);
}

TEST(ImageCode, JumpsMustLandOnAnInstructionOfTheSameFunction) {
    // Function 0: push1; jfalse L; push2; L: ret. Function 1: push0; ret.
    auto build = [](int64_t displacement, Op jumpOp = Op::JFalse) {
        SectionSet s;
        appendInstruction(s.code, Op::Push1);
        appendInstruction(s.code, jumpOp, displacement);
        appendInstruction(s.code, Op::Push2);
        appendInstruction(s.code, Op::Ret);
        uint32_t second = static_cast<uint32_t>(s.code.size());
        appendInstruction(s.code, Op::Push0);
        appendInstruction(s.code, Op::Ret);
        s.functions = {{".main", 0}, {"f", second}};
        return s;
    };
    std::string error;
    EXPECT_TRUE(verifyCode(build(1), &error)); // to the ret
    EXPECT_TRUE(verifyCode(build(0)));         // to the push2 just after
    EXPECT_TRUE(verifyCode(build(2)));         // just past the end: the appended end
    EXPECT_TRUE(verifyCode(build(-6)));        // back to the start
    EXPECT_TRUE(verifyCode(build(-5, Op::Try))); // back onto itself
    EXPECT_TRUE(verifyCode(build(-6, Op::Jmp)));

    for (int64_t bad : {-7LL, -3LL, -1LL, 3LL, 4LL, 1000000LL, -1000000LL, 0x7FFFFFFFLL,
                        -0x80000000LL}) {
        error.clear();
        EXPECT_FALSE(verifyCode(build(bad), &error)) << "displacement " << bad;
        EXPECT_EQ(error, kUnimplementedBytecode);
    }
    // Into the operand of another jump, and into a skipped byte.
    SectionSet s;
    appendInstruction(s.code, Op::Jmp, 1); // lands in the middle of the next jmp
    appendInstruction(s.code, Op::Jmp, 0);
    s.functions = {{".main", 0}};
    EXPECT_FALSE(verifyCode(s));
    s.code = {53, 0, 0, 0, 0, 1, 51}; // jmp 0 -> byte 5, which is skipped
    EXPECT_FALSE(verifyCode(s));
    s.code = {53, 0, 0, 0, 1, 1, 51}; // jmp 1 -> the ret
    EXPECT_TRUE(verifyCode(s));
}

TEST(ImageCode, PoolIndicesMustBeInsideThePool) {
    Builder b;
    uint32_t name = b.pool.identifier("x");
    uint32_t text = b.pool.string("x");
    SectionSet base = b.finish();
    auto with = [&base](Op op, int64_t operand) {
        SectionSet s = base;
        appendInstruction(s.code, op, operand);
        return verifyCode(s);
    };
    EXPECT_TRUE(with(Op::GetVar, name));
    EXPECT_TRUE(with(Op::PushConst, name));
    EXPECT_TRUE(with(Op::PushConst, text));
    EXPECT_FALSE(with(Op::PushConst, 2));
    EXPECT_FALSE(with(Op::PushConst, 0xFFFFFFFF));
    // A name operand must be an identifier.
    EXPECT_FALSE(with(Op::GetVar, text));
    EXPECT_FALSE(with(Op::CallMethod, 2));
    EXPECT_FALSE(with(Op::SetProp, 0x10000000 | name)); // upper bits set
    for (const OpInfo& info : kOpInfo) {
        if (info.operand == OperandKind::Name) {
            EXPECT_FALSE(with(info.op, 5)) << info.mnemonic;
        }
    }
}

TEST(ImageCode, TruncatedOperandsAreRefused) {
    for (const OpInfo& info : kOpInfo) {
        size_t n = operandSize(info.operand);
        if (n == 0)
            continue;
        SectionSet s;
        s.constants.push_back(Constant::makeIdentifier("x"));
        s.code.push_back(static_cast<uint8_t>(info.op));
        s.code.resize(n, 0); // one byte short
        s.functions = {{".main", 0}};
        EXPECT_FALSE(verifyCode(s)) << info.mnemonic;
        s.code.push_back(0);
        EXPECT_TRUE(verifyCode(s)) << info.mnemonic; // a zero jump lands on the end
    }
    // An operand that runs into the next function is cut short too.
    SectionSet s;
    appendInstruction(s.code, Op::PushInt, 5);
    s.functions = {{".main", 0}, {"f", 3}};
    EXPECT_FALSE(verifyCode(s));
}

TEST(ImageCode, EmptyFunctionsAndBadIndices) {
    SectionSet s;
    s.functions = {{".main", 0}, {"f", 0}};
    EXPECT_TRUE(verifyCode(s));
    ASSERT_TRUE(decodeFunction(s, 1));
    EXPECT_TRUE(decodeFunction(s, 1)->empty());
    std::string error;
    EXPECT_FALSE(decodeFunction(s, 2, &error));
    EXPECT_EQ(error, kUnimplementedBytecode);
    std::vector<uint8_t> code = {93};
    EXPECT_FALSE(decodeCode(code, 1, 0, {}));
    EXPECT_FALSE(decodeCode(code, 0, 2, {}));
}

} // namespace
} // namespace quill
