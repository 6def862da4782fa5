#pragma once
// The Quill instruction set: the one list of opcodes that the code generator,
// the image reader and verifier, the interpreter and `quill disasm` expand.
//
// Each row is  X(Id, mnemonic, number, operand, pops, effect, meaning):
//   Id        the enumerator in quill::Op (PascalCase; several mnemonics are
//             C++ keywords or alternative tokens, such as `new` and `and`);
//   mnemonic  the instruction's name in listings and disassembly;
//   number    the opcode byte of the image, 33..112, in ascending order;
//   operand   the encoding of the operand that follows the opcode byte in the
//             image (OperandKind below; integers in the image are big-endian);
//   pops      how many values the instruction needs on the stack before it
//             runs, as far as that is known before running (a call's
//             arguments are counted when it runs; `ret` and `end` read the
//             top only when there is one), or kVariable when it depends on
//             the operand (see stackNeeds() below);
//   effect    the net number of values the instruction pushes (negative for
//             pops), or kVariable when it depends on the operand (see
//             stackEffect() below);
//   meaning   one line on what it does; the stack is written bottom..top.
//
// Any table indexed by opcode or laid out in this order carries the tag
// "ORDER OP" so that grep finds every one of them when the list changes.

#include <cstddef>
#include <cstdint>

namespace quill {

// How the operand of an instruction is encoded in the image.
enum class OperandKind : uint8_t {
    None,  // no operand
    Name,  // u32 index of an identifier entry of the constant pool
    Const, // u32 index of any constant pool entry
    Rel,   // i32 byte displacement from the end of the instruction
    I32,   // signed 32-bit integer
    U16,   // 16-bit local slot number
    U8,    // one unsigned byte
    S8,    // one signed byte
};

// A pops or effect that depends on the operand.
inline constexpr int kVariable = 1000;

// clang-format off
#define QUILL_OPCODES(X) \
    X(CallName,  "callname",   33, Name, 2,        1,        "[args, argc, f] -> [args, argc, f, result]: call method name of the first with-scope (outermost first) that has it, else f") \
    X(GetVar,    "getvar",     34, Name, 0,        1,        "push a variable found through the with-scopes (outermost first), then the globals") \
    X(Add2,      "add2",       35, None, 1,        0,        "integer on top += 2") \
    X(Inc,       "inc",        36, None, 1,        0,        "integer on top += 1") \
    X(Jt,        "jt",         37, Rel,  1,        -1,       "pop a Boolean; jump if its bits are non-zero") \
    X(Jf,        "jf",         38, Rel,  1,        -1,       "pop a Boolean; jump if its bits are zero") \
    X(Throw,     "throw",      39, None, 1,        -1,       "pop a value and throw it") \
    X(Untry,     "untry",      40, U8,   0,        0,        "discard the n innermost try handlers") \
    X(Try,       "try",        41, Rel,  0,        0,        "install a try handler whose catch entry is the target") \
    X(Unwith,    "unwith",     42, U8,   0,        0,        "remove the n innermost with-scopes of the frame") \
    X(With,      "with",       43, None, 1,        -1,       "pop an object and make it the innermost with-scope") \
    X(GetArgN,   "getargn",    44, None, 1,        0,        "replace the integer i on top by a copy of argument slot i") \
    X(Args,      "args",       45, U8,   1,        -1,       "pop the passed-argument count; pad the argument slots with undefined up to n") \
    X(Locals,    "locals",     46, U16,  0,        kVariable,"push n undefined values (the frame's local slots)") \
    X(DelElem,   "delelem",    47, None, 2,        -1,       "[obj, key] -> [undefined]: delete property key of obj") \
    X(DelProp,   "delprop",    48, Name, 1,        0,        "[obj] -> [undefined]: delete property name of obj") \
    X(New,       "new",        49, None, 2,        1,        "[args, argc, ctor] -> [args, argc, ctor, obj]: construct with ctor") \
    X(Typeof,    "typeof",     50, None, 1,        0,        "replace top by its type name") \
    X(Ret,       "ret",        51, None, 0,        -1,       "return the value on top to the caller") \
    X(Call,      "call",       52, None, 2,        1,        "[args, argc, f] -> [args, argc, f, result]: call the function value f") \
    X(Jmp,       "jmp",        53, Rel,  0,        0,        "jump") \
    X(CallMethod,"callmethod",  54, Name, 2,        1,        "[args, argc, obj] -> [args, argc, obj, result]: call method name of obj") \
    X(JTrue,     "jtrue",      55, Rel,  1,        -1,       "pop; jump if the value converts to true") \
    X(JFalse,    "jfalse",     56, Rel,  1,        -1,       "pop; jump if the value converts to false") \
    X(Ushr,      "ushr",       57, None, 2,        -1,       "[a, b] -> [a >>> b]") \
    X(Shr,       "shr",        58, None, 2,        -1,       "[a, b] -> [a >> b]") \
    X(Shl,       "shl",        59, None, 2,        -1,       "[a, b] -> [a << b]") \
    X(Xor,       "xor",        60, None, 2,        -1,       "[a, b] -> [a ^ b]") \
    X(Or,        "or",         61, None, 2,        -1,       "[a, b] -> [a | b]") \
    X(Not,       "not",        62, None, 1,        0,        "replace top by !top") \
    X(And,       "and",        63, None, 2,        -1,       "[a, b] -> [a & b]") \
    X(Neg,       "neg",        64, None, 1,        0,        "replace top by -top") \
    X(Mod,       "mod",        65, None, 2,        -1,       "[a, b] -> [a % b]") \
    X(Div,       "div",        66, None, 2,        -1,       "[a, b] -> [a / b]") \
    X(Mul,       "mul",        67, None, 2,        -1,       "[a, b] -> [a * b]") \
    X(Add,       "add",        68, None, 2,        -1,       "[a, b] -> [a + b] (addition or concatenation)") \
    X(Sub,       "sub",        69, None, 2,        -1,       "[a, b] -> [a - b]") \
    X(StrictNe,  "strictne",   70, None, 2,        -1,       "[a, b] -> [a !== b]") \
    X(StrictEq,  "stricteq",   71, None, 2,        -1,       "[a, b] -> [a === b]") \
    X(Ge,        "ge",         72, None, 2,        -1,       "[a, b] -> [a >= b]") \
    X(Le,        "le",         73, None, 2,        -1,       "[a, b] -> [a <= b]") \
    X(Gt,        "gt",         74, None, 2,        -1,       "[a, b] -> [a > b]") \
    X(Lt,        "lt",         75, None, 2,        -1,       "[a, b] -> [a < b]") \
    X(Ne,        "ne",         76, None, 2,        -1,       "[a, b] -> [a != b]") \
    X(Eq,        "eq",         77, None, 2,        -1,       "[a, b] -> [a == b]") \
    X(NextKey,   "nextkey",    78, None, 2,        0,        "[obj, i] -> [key, more]: the i-th key of obj for for-in") \
    X(SetElem,   "setelem",    79, None, 3,        -3,       "[value, obj, key] -> []: obj[key] = value") \
    X(GetElem,   "getelem",    80, None, 2,        -1,       "[obj, key] -> [obj[key]]") \
    X(SetProp,   "setprop",    81, Name, 2,        -2,       "[value, obj] -> []: obj.name = value") \
    X(GetProp,   "getprop",    82, Name, 1,        0,        "[obj] -> [obj.name]") \
    X(SetLocal,  "setlocal",   83, U16,  1,        -1,       "pop into a local slot") \
    X(GetLocal,  "getlocal",   84, U16,  0,        1,        "push a local slot") \
    X(SetArg,    "setarg",     85, U8,   1,        -1,       "pop into an argument slot") \
    X(GetArg,    "getarg",     86, U8,   0,        1,        "push an argument slot (1 = argument count, parameters from 2)") \
    X(SetGlobal, "setglobal",  87, Name, 1,        -1,       "pop into the global variable (created if absent)") \
    X(GetGlobal, "getglobal",  88, Name, 0,        1,        "push the global variable, without with-scope search") \
    X(PushInt,   "pushint",    89, I32,  0,        1,        "push an integer") \
    X(Push3,     "push3",      90, None, 0,        1,        "push integer 3") \
    X(Push2,     "push2",      91, None, 0,        1,        "push integer 2") \
    X(Push1,     "push1",      92, None, 0,        1,        "push integer 1") \
    X(Push0,     "push0",      93, None, 0,        1,        "push integer 0") \
    X(PushUndef, "pushundef",  94, None, 0,        1,        "push undefined") \
    X(PushFalse, "pushfalse",  95, None, 0,        1,        "push false") \
    X(PushTrue,  "pushtrue",   96, None, 0,        1,        "push true") \
    X(PushNull,  "pushnull",   97, None, 0,        1,        "push null") \
    X(PushConst, "pushconst",  98, Const,0,        1,        "push a constant of the pool") \
    X(Rot,       "rot",        99, S8,   kVariable,0,        "n >= 2: move the top down to depth n; n <= -2: move depth -n to the top") \
    X(Swap,      "swap",      100, None, 2,        0,        "exchange the two top values") \
    X(Slide,     "slide",     101, U8,   kVariable,kVariable,"[x_n, ..., x_1, t] -> [t]: store the top n below and drop n values") \
    X(PopN,      "popn",      102, U8,   kVariable,kVariable,"drop n values") \
    X(Pop,       "pop",       103, None, 1,        -1,       "drop one value") \
    X(Dup,       "dup",       104, None, 1,        1,        "duplicate the top") \
    X(Nop,       "nop",       105, None, 0,        0,        "nothing") \
    X(End,       "end",       106, None, 0,        -1,       "end the run; the value on top is the run's result") \
    X(Idle,      "idle",      107, None, 0,        0,        "wait forever in steps of 5 ms; never produced by the compiler") \
    X(SetVar,    "setvar",    108, Name, 1,        -1,       "pop into the first with-scope (outermost first) that takes it, else the global") \
    X(DelVar,    "delvar",    109, Name, 1,        0,        "delete a variable through the with-scopes; the top becomes undefined") \
    X(DelGlobal, "delglobal", 110, Name, 1,        0,        "delete a global, releasing a native handle; the top becomes undefined") \
    X(DelLocal,  "dellocal",  111, U16,  1,        0,        "as delglobal, for a local slot") \
    X(DelArg,    "delarg",    112, U8,   1,        0,        "as delglobal, for an argument slot")
// clang-format on

enum class Op : uint8_t {
#define QUILL_OP_ENUM(id, mnemonic, number, operand, pops, effect, meaning) id = number,
    QUILL_OPCODES(QUILL_OP_ENUM)
#undef QUILL_OP_ENUM
};

inline constexpr uint8_t kFirstOpcode = 33;
inline constexpr uint8_t kLastOpcode = 112;
inline constexpr size_t kOpcodeCount = kLastOpcode - kFirstOpcode + 1;

// Properties of one opcode, in a table indexed by (opcode - kFirstOpcode).
struct OpInfo {
    Op op;
    const char* mnemonic;
    OperandKind operand;
    int pops;
    int effect;
    const char* meaning;
};

// ORDER OP
inline constexpr OpInfo kOpInfo[kOpcodeCount] = {
#define QUILL_OP_INFO(id, mnemonic, number, operand, pops, effect, meaning) \
    {Op::id, mnemonic, OperandKind::operand, pops, effect, meaning},
    QUILL_OPCODES(QUILL_OP_INFO)
#undef QUILL_OP_INFO
};

// The list is dense and in ascending order: kOpInfo[i] is opcode 33 + i.
#define QUILL_OP_CHECK(id, mnemonic, number, operand, pops, effect, meaning) \
    static_assert(kOpInfo[number - kFirstOpcode].op == Op::id, "opcode list out of order");
QUILL_OPCODES(QUILL_OP_CHECK)
#undef QUILL_OP_CHECK

constexpr bool isOpcode(uint8_t byte) { return byte >= kFirstOpcode && byte <= kLastOpcode; }

constexpr const OpInfo& opInfo(Op op) { return kOpInfo[static_cast<uint8_t>(op) - kFirstOpcode]; }

constexpr const char* mnemonic(Op op) { return opInfo(op).mnemonic; }

constexpr OperandKind operandKind(Op op) { return opInfo(op).operand; }

// Bytes an operand of this kind takes in the image.
constexpr size_t operandSize(OperandKind kind) {
    switch (kind) {
    case OperandKind::None: return 0;
    case OperandKind::Name:
    case OperandKind::Const:
    case OperandKind::Rel:
    case OperandKind::I32: return 4;
    case OperandKind::U16: return 2;
    case OperandKind::U8:
    case OperandKind::S8: return 1;
    }
    return 0;
}

// Bytes the whole instruction (opcode and operand) takes in the image.
constexpr size_t instructionSize(Op op) { return 1 + operandSize(operandKind(op)); }

constexpr bool isJump(Op op) { return operandKind(op) == OperandKind::Rel; }

// Net number of values pushed by the instruction with this operand.
constexpr int stackEffect(Op op, int64_t operand) {
    switch (op) {
    case Op::Locals: return static_cast<int>(operand);
    case Op::Slide:
    case Op::PopN: return -static_cast<int>(operand);
    default: return opInfo(op).effect;
    }
}

// How many values the instruction with this operand needs on the stack
// before it runs (as far as it is known before running).
constexpr int stackNeeds(Op op, int64_t operand) {
    switch (op) {
    case Op::Rot: return static_cast<int>(operand >= 2 ? operand : operand <= -2 ? -operand : 0);
    case Op::Slide: return static_cast<int>(operand) + 1;
    case Op::PopN: return static_cast<int>(operand);
    default: return opInfo(op).pops;
    }
}

// Fused opcodes, the VM's own: never in an image, given by the loader to the
// first cell of a frequent instruction sequence (see script/vm/Code.h). They
// lie above the image's opcodes, 113..127 and 241..254 (between them lie the
// image opcodes with the linker's "checked" bit set), each range dense and
// ascending. Each row is  X(Id, number, sequence).
// clang-format off
#define QUILL_FUSED_OPCODES_LOW(X) \
    X(CmpJfLocal,       113, "getlocal a; operand; lt|le|gt|ge; jf") \
    X(CmpJfArg,         114, "getarg a; operand; lt|le|gt|ge; jf") \
    X(ArithSetLocal,    115, "getlocal a; operand; add|sub; setlocal c") \
    X(ArithLocal,       116, "getlocal a; operand; add|sub") \
    X(ArithArg,         117, "getarg a; operand; add|sub") \
    X(Prologue,         118, "getarg 1; add2; args n") \
    X(LtJfLocalInt,     119, "getlocal a; pushint k; lt; jf") \
    X(LeJfLocalInt,     120, "getlocal a; pushint k; le; jf") \
    X(GtJfLocalInt,     121, "getlocal a; pushint k; gt; jf") \
    X(GeJfLocalInt,     122, "getlocal a; pushint k; ge; jf") \
    X(LtJfArgInt,       123, "getarg a; pushint k; lt; jf") \
    X(LeJfArgInt,       124, "getarg a; pushint k; le; jf") \
    X(GtJfArgInt,       125, "getarg a; pushint k; gt; jf") \
    X(GeJfArgInt,       126, "getarg a; pushint k; ge; jf") \
    X(IncLoopLt,        127, "getlocal a; pushint k; add; setlocal a; jmp L, L: getlocal a; pushint m; lt; jf X")
#define QUILL_FUSED_OPCODES_HIGH(X) \
    X(IncLoopLe,        241, "getlocal a; pushint k; add; setlocal a; jmp L, L: getlocal a; pushint m; le; jf X") \
    X(AddSetLocalInt,   242, "getlocal a; pushint k; add; setlocal c") \
    X(SubSetLocalInt,   243, "getlocal a; pushint k; sub; setlocal c") \
    X(AddSetLocalLocal, 244, "getlocal a; getlocal b; add; setlocal c") \
    X(SubSetLocalLocal, 245, "getlocal a; getlocal b; sub; setlocal c") \
    X(AddLocalInt,      246, "getlocal a; pushint k; add") \
    X(SubLocalInt,      247, "getlocal a; pushint k; sub") \
    X(AddArgInt,        248, "getarg a; pushint k; add") \
    X(SubArgInt,        249, "getarg a; pushint k; sub") \
    X(SetElemLocals,    250, "getlocal v; getlocal a; getlocal i; setelem") \
    X(GetElemLocals,    251, "getlocal a; getlocal i; getelem") \
    X(AddElemSetLocal,  252, "getlocal x; getlocal a; getlocal i; getelem; add; setlocal c") \
    X(GetLocalShared,   253, "getlocal a, a of a local that appends fill") \
    X(AppendSetLocal,   254, "add; setlocal a, ending an append to local a")
#define QUILL_FUSED_OPCODES(X) QUILL_FUSED_OPCODES_LOW(X) QUILL_FUSED_OPCODES_HIGH(X)
// clang-format on

enum class FusedOp : uint8_t {
#define QUILL_FUSED_ENUM(id, number, sequence) id = number,
    QUILL_FUSED_OPCODES(QUILL_FUSED_ENUM)
#undef QUILL_FUSED_ENUM
};

namespace detail {
#define QUILL_FUSED_NUMBER(id, number, sequence) number,
inline constexpr uint8_t kFusedLow[] = {QUILL_FUSED_OPCODES_LOW(QUILL_FUSED_NUMBER)};
inline constexpr uint8_t kFusedHigh[] = {QUILL_FUSED_OPCODES_HIGH(QUILL_FUSED_NUMBER)};
#undef QUILL_FUSED_NUMBER
template <size_t N> constexpr bool denseFrom(const uint8_t (&numbers)[N], unsigned first) {
    for (size_t i = 0; i < N; ++i)
        if (numbers[i] != first + i)
            return false;
    return true;
}
} // namespace detail

// Both ranges are dense and ascending: the low one fills the bytes after the
// image's opcodes up to 127, the high one starts after the checked opcodes.
static_assert(detail::denseFrom(detail::kFusedLow, kLastOpcode + 1));
static_assert(kLastOpcode + 1 + sizeof(detail::kFusedLow) == 128);
static_assert(detail::denseFrom(detail::kFusedHigh, (kLastOpcode | 0x80) + 1));
static_assert((kLastOpcode | 0x80) + sizeof(detail::kFusedHigh) <= 255);

// Opcode of a mnemonic; false when there is none of that name.
inline bool opFromMnemonic(const char* text, Op& out) {
    for (const OpInfo& info : kOpInfo) {
        const char* a = info.mnemonic;
        const char* b = text;
        while (*a && *a == *b) {
            ++a;
            ++b;
        }
        if (*a == 0 && *b == 0) {
            out = info.op;
            return true;
        }
    }
    return false;
}

} // namespace quill
