// Linking one function of an image into Insns, and the collected record that
// holds them.
#include "script/vm/Code.h"
#include "script/values/Messages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "script/image/ImageCode.h"
#include "script/values/Engine.h"
#include "script/values/Object.h"

namespace quill {

namespace {

bool fail(std::string* error) {
    if (error)
        *error = kUnimplementedBytecode;
    return false;
}

// How many values an instruction needs on the stack and its net effect,
// as far as it is known before running (the argument count of a call is
// checked when the call happens).
struct StackUse {
    int needs;
    int effect;
};

StackUse stackUse(Op op, int64_t operand) { return {stackNeeds(op, operand), stackEffect(op, operand)}; }

bool endsFlow(Op op) { return op == Op::Jmp || op == Op::Ret || op == Op::End || op == Op::Throw; }

// Bounds the stack use of the function by following every path with an
// abstract stack: its depth below the frame and, per slot, whether the
// value is a known Boolean (pushed by pushtrue or pushfalse) or unknown.
// Knowing the Booleans keeps the paths of a try statement apart: after a
// finally clause the depth depends on whether an exception is pending, and
// a Boolean on the stack says which. A jump on a known Boolean follows one
// branch only.
//
// An instruction that some path reaches with fewer values than it pops is
// marked to be checked when run, and that path ends there. More than
// kMaxStates different stacks at one instruction (a loop that keeps
// pushing) or a depth above kMaxFunctionStack refuses the code.
enum : uint8_t { kUnknown = 0, kTrue = 1, kFalse = 2 };
using AbstractStack = std::vector<uint8_t>;
constexpr size_t kMaxStates = 16;

bool boundStack(const std::vector<Instruction>& ins, const std::vector<uint32_t>& targetIndex,
                uint32_t& maxStack, std::vector<uint8_t>& checked) {
    const size_t n = ins.size() + 1; // + the appended end
    std::vector<std::vector<AbstractStack>> seen(n);
    std::vector<std::pair<uint32_t, AbstractStack>> work;
    checked.assign(n, 0);
    size_t maxDepth = 0;
    uint32_t argsPad = 0;
    bool ok = true;
    auto reach = [&](size_t at, const AbstractStack& st) {
        auto& states = seen[at];
        for (const AbstractStack& s : states)
            if (s == st)
                return;
        if (states.size() >= kMaxStates) {
            ok = false;
            return;
        }
        states.push_back(st);
        work.emplace_back(uint32_t(at), st);
    };
    reach(0, {});
    while (ok && !work.empty()) {
        auto [i, st] = std::move(work.back());
        work.pop_back();
        if (i == ins.size())
            continue; // the appended end
        const Instruction& in = ins[i];
        StackUse use = stackUse(in.op, in.operand);
        if (use.needs < 0)
            return false;
        if (st.size() < size_t(use.needs)) {
            checked[i] = 1; // this path stops here when run
            continue;
        }
        if (in.op == Op::Args)
            argsPad = std::max(argsPad, uint32_t(in.operand));
        bool fallThrough = !endsFlow(in.op);
        bool jump = isJump(in.op);
        AbstractStack target;
        switch (in.op) {
        case Op::PushTrue: st.push_back(kTrue); break;
        case Op::PushFalse: st.push_back(kFalse); break;
        case Op::Dup: st.push_back(st.back()); break;
        case Op::Swap: std::swap(st[st.size() - 1], st[st.size() - 2]); break;
        case Op::Slide: {
            uint8_t top = st.back();
            st.resize(st.size() - size_t(in.operand) - 1);
            st.push_back(top);
            break;
        }
        case Op::Rot: {
            size_t k = size_t(in.operand >= 2 ? in.operand : in.operand <= -2 ? -in.operand : 0);
            if (k >= 2) {
                auto first = st.end() - std::ptrdiff_t(k);
                if (in.operand > 0)
                    std::rotate(first, st.end() - 1, st.end()); // top moves down to depth k
                else
                    std::rotate(first, first + 1, st.end()); // depth k moves to the top
            }
            break;
        }
        case Op::Jt:
        case Op::Jf:
        case Op::JTrue:
        case Op::JFalse: {
            uint8_t cond = st.back();
            st.pop_back();
            if (cond != kUnknown) {
                bool value = cond == kTrue;
                bool jumpsOn = in.op == Op::Jt || in.op == Op::JTrue;
                jump = value == jumpsOn;
                fallThrough = !jump;
            }
            break;
        }
        default:
            st.resize(st.size() - size_t(use.needs));
            if (use.needs + use.effect >= 0)
                st.resize(st.size() + size_t(use.needs + use.effect), kUnknown);
            else // ret and end take the top only when there is one
                st.resize(st.size() - std::min(st.size(), size_t(-(use.needs + use.effect))));
            break;
        }
        maxDepth = std::max(maxDepth, st.size());
        if (maxDepth > kMaxFunctionStack)
            return false;
        if (jump) {
            target = st;
            if (in.op == Op::Try) { // the catch entry finds the thrown value pushed
                target.push_back(kUnknown);
                maxDepth = std::max(maxDepth, target.size());
            }
            reach(targetIndex[i], target);
        }
        if (fallThrough)
            reach(i + 1, st);
    }
    if (!ok)
        return false;
    maxStack = uint32_t(maxDepth) + argsPad;
    return maxStack <= kMaxFunctionStack;
}

// An object literal compiles to `push0; getglobal Object; new; swap;
// slide 2` followed, per property, by `dup; <value>; swap; setprop name` or
// `dup; <value>; swap; <key>; setelem`. Returns how many properties follow
// the `new` at `at` in that shape, counting while the values are
// straight-line code (a value with a jump in it ends the count); 0 for any
// other `new`. Only a guess of the room the object needs: whatever the code
// really does, the object grows as it must. The look ahead is bounded, so
// linking stays linear however literals nest.
constexpr uint32_t kMaxLiteralProperties = 1024;
constexpr size_t kMaxLiteralScan = 1024;

uint32_t literalProperties(const std::vector<Instruction>& ins, size_t at) {
    if (at < 2 || at + 3 >= ins.size() || ins[at - 2].op != Op::Push0 || ins[at - 1].op != Op::GetGlobal ||
        ins[at + 1].op != Op::Swap || ins[at + 2].op != Op::Slide || ins[at + 2].operand != 2)
        return 0;
    uint32_t count = 0;
    size_t p = at + 3;
    const size_t last = std::min(ins.size(), at + 3 + kMaxLiteralScan);
    while (p < last && ins[p].op == Op::Dup && count < kMaxLiteralProperties) {
        int64_t above = 1; // values above the literal: its copy from the dup
        size_t q = p + 1;
        for (;; ++q) {
            if (q >= last)
                return count;
            const Instruction& in = ins[q];
            if (isJump(in.op) || endsFlow(in.op))
                return count;
            StackUse use = stackUse(in.op, in.operand);
            if (use.needs < 0 || use.needs > above)
                return count;
            above += use.effect;
            if (above == 0)
                break;
        }
        if (ins[q].op != Op::SetProp && ins[q].op != Op::SetElem)
            return count;
        ++count;
        p = q + 1;
    }
    return count;
}

// The distinct names that `this.name = value` stores (`getarg 0; setprop
// name`), at most kMaxInlineRoom - 1 of them.
uint32_t thisProperties(const std::vector<Instruction>& ins) {
    std::vector<int64_t> names;
    for (size_t i = 1; i < ins.size() && names.size() + 1 < kMaxInlineRoom; ++i) {
        if (ins[i].op != Op::SetProp || ins[i - 1].op != Op::GetArg || ins[i - 1].operand != 0)
            continue;
        if (std::find(names.begin(), names.end(), ins[i].operand) == names.end())
            names.push_back(ins[i].operand);
    }
    return uint32_t(names.size());
}

} // namespace


namespace {

char* copyText(std::string_view text) {
    char* p = static_cast<char*>(std::malloc(text.size() + 1));
    if (!p)
        return nullptr;
    std::memcpy(p, text.data(), text.size());
    p[text.size()] = 0;
    return p;
}

void finaliseCompiledFunction(void* block) {
    auto* f = static_cast<CompiledFunction*>(block);
    std::free(f->name);
    std::free(f->sourceName);
    std::free(f->lines);
    f->name = f->sourceName = nullptr;
    f->lines = nullptr;
}

} // namespace

const GcType kCompiledFunctionType = {"CompiledFunction", finaliseCompiledFunction, nullptr, false};

std::optional<LinkedCode> linkFunction(const SectionSet& sections, size_t index, uint32_t constantBase,
                                       SymbolOfConstant symbols, std::string* error) {
    auto decoded = decodeFunction(sections, index, error);
    if (!decoded)
        return std::nullopt;
    const std::vector<Instruction>& ins = *decoded;
    if (ins.size() + 1 > kMaxFunctionInsns) {
        fail(error);
        return std::nullopt;
    }
    const uint32_t begin = sections.functions[index].offset;
    const uint32_t end = sections.functionEnd(index);

    // Jump targets as instruction indexes (the end of the function is the
    // appended `end`).
    std::vector<uint32_t> targetIndex(ins.size(), 0);
    for (size_t i = 0; i < ins.size(); ++i) {
        if (!isJump(ins[i].op))
            continue;
        int64_t target = ins[i].target();
        if (target == int64_t(end)) {
            targetIndex[i] = uint32_t(ins.size());
            continue;
        }
        auto at = std::lower_bound(ins.begin(), ins.end(), target,
                                   [](const Instruction& x, int64_t t) { return int64_t(x.offset) < t; });
        if (at == ins.end() || int64_t(at->offset) != target) {
            fail(error);
            return std::nullopt;
        }
        targetIndex[i] = uint32_t(at - ins.begin());
    }

    LinkedCode out;
    std::vector<uint8_t> checked;
    if (!boundStack(ins, targetIndex, out.maxStack, checked)) {
        fail(error);
        return std::nullopt;
    }

    out.code.reserve(ins.size() + 1);
    for (size_t i = 0; i < ins.size(); ++i) {
        const Instruction& in = ins[i];
        Insn insn{uint32_t(in.op) | (checked[i] ? Insn::kChecked : 0) | uint32_t(i) << 8, 0};
        switch (operandKind(in.op)) {
        case OperandKind::None:
            if (in.op == Op::New)
                insn.arg = int32_t(literalProperties(ins, i));
            break;
        case OperandKind::Name: {
            size_t k = size_t(in.operand);
            if (k >= symbols.size() || symbols[k] == SymbolId(-1)) {
                fail(error);
                return std::nullopt;
            }
            insn.arg = int32_t(symbols[k]);
            break;
        }
        case OperandKind::Const:
            insn.arg = int32_t(constantBase + (uint32_t(in.operand) & 0x0FFFFFFF));
            break;
        case OperandKind::Rel:
            insn.arg = int32_t(int64_t(targetIndex[i]) - int64_t(i + 1));
            break;
        case OperandKind::I32:
        case OperandKind::U16:
        case OperandKind::U8:
        case OperandKind::S8: insn.arg = int32_t(in.operand); break;
        }
        out.code.push_back(insn);
    }
    out.code.push_back(Insn{uint32_t(Op::End) | uint32_t(ins.size()) << 8, 0});
    out.thisProperties = thisProperties(ins);

    // Line records inside this function: a record names the offset just past
    // an instruction; that instruction and those after it have its line.
    for (const LineRecord& rec : sections.lines.records) {
        if (rec.offset <= begin)
            continue;
        if (rec.offset > end)
            continue;
        auto at = std::lower_bound(ins.begin(), ins.end(), rec.offset,
                                   [](const Instruction& x, uint32_t off) { return x.end() < off; });
        if (at == ins.end() || at->end() != rec.offset)
            continue;
        uint32_t pos = uint32_t(at - ins.begin());
        if (!out.lines.empty() && out.lines.back().insn >= pos) {
            out.lines.back().line = rec.line;
            continue;
        }
        out.lines.push_back({pos, rec.line});
    }
    return out;
}

namespace {

bool isIntegerOperand(Op op) {
    switch (op) {
    case Op::GetLocal:
    case Op::GetArg:
    case Op::PushConst:
    case Op::PushInt:
    case Op::Push0:
    case Op::Push1:
    case Op::Push2:
    case Op::Push3: return true;
    default: return false;
    }
}

bool isIntegerCompare(Op op) { return op == Op::Lt || op == Op::Le || op == Op::Gt || op == Op::Ge; }

bool isAddOrSub(Op op) { return op == Op::Add || op == Op::Sub; }

void setCellOpcode(Insn& insn, uint32_t op) { insn.word = (insn.word & ~uint32_t(0xFF)) | op; }

// The longest value an append may compute, in cells.
constexpr size_t kMaxAppendValue = 64;

// The add cell of the append that the getlocal at `at` begins (getlocal a;
// value; add; setlocal a), or 0. The value is straight-line code that no
// jump enters, that leaves exactly one value above the copy of a without
// touching it, and that does not use local a.
size_t appendAddOf(std::span<const Insn> code, const std::vector<bool>& isTarget, size_t at) {
    int32_t a = code[at].arg;
    int64_t above = 0;
    size_t last = std::min(code.size(), at + 2 + kMaxAppendValue);
    for (size_t q = at + 1; q + 1 < last; ++q) {
        const Insn& in = code[q];
        Op op = in.op();
        if (isTarget[q] || in.checked() || isJump(op) || endsFlow(op))
            return 0;
        if ((op == Op::GetLocal || op == Op::SetLocal || op == Op::DelLocal) && in.arg == a)
            return 0;
        StackUse use = stackUse(op, in.arg);
        if (use.needs < 0)
            return 0;
        if (use.needs > above) {
            const Insn& store = code[q + 1];
            bool ends = op == Op::Add && above == 1 && !isTarget[q + 1] && !store.checked() &&
                        store.op() == Op::SetLocal && store.arg == a;
            return ends ? q : 0;
        }
        above += use.effect;
    }
    return 0;
}

// Gives the appends of the function's string locals their cells (see
// Code.h). A local counts as a string local when a string constant is
// stored to it somewhere; a counter that appends also fill keeps its
// plain reads, and with them its fused loops.
void markAppends(std::span<Insn> code, std::span<const Value> constants) {
    auto isStringConstant = [&](const Insn& in) {
        size_t k = uint32_t(in.arg);
        return in.op() == Op::PushConst && !in.checked() && k < constants.size() && constants[k].isString();
    };
    std::vector<int32_t> stringLocals;
    for (size_t i = 1; i < code.size(); ++i)
        if (code[i].op() == Op::SetLocal && isStringConstant(code[i - 1]))
            stringLocals.push_back(code[i].arg);
    if (stringLocals.empty())
        return;
    std::vector<bool> isTarget(code.size() + 1, false);
    for (size_t i = 0; i < code.size(); ++i) {
        if (isJump(code[i].op())) {
            int64_t to = int64_t(i) + 1 + code[i].arg;
            if (to >= 0 && size_t(to) <= code.size())
                isTarget[size_t(to)] = true;
        }
    }
    std::sort(stringLocals.begin(), stringLocals.end());
    stringLocals.erase(std::unique(stringLocals.begin(), stringLocals.end()), stringLocals.end());
    auto isStringLocal = [&](int32_t a) { return std::binary_search(stringLocals.begin(), stringLocals.end(), a); };
    // The appends (their first cells and add cells) and the locals they fill.
    std::vector<bool> begins(code.size(), false);
    std::vector<size_t> adds;
    std::vector<int32_t> filled;
    for (size_t i = 0; i < code.size(); ++i) {
        if (code[i].op() != Op::GetLocal || code[i].checked() || !isStringLocal(code[i].arg))
            continue;
        if (size_t add = appendAddOf(code, isTarget, i)) {
            begins[i] = true;
            adds.push_back(add);
            filled.push_back(code[i].arg);
        }
    }
    if (adds.empty())
        return;
    std::sort(filled.begin(), filled.end());
    auto isFilled = [&](int32_t a) { return std::binary_search(filled.begin(), filled.end(), a); };
    // Every other read of a filled local may hand its string on.
    for (size_t i = 0; i < code.size(); ++i)
        if (code[i].op() == Op::GetLocal && !code[i].checked() && !begins[i] && isFilled(code[i].arg))
            setCellOpcode(code[i], uint32_t(FusedOp::GetLocalShared));
    for (size_t add : adds)
        setCellOpcode(code[add], uint32_t(FusedOp::AppendSetLocal));
}

} // namespace

void fuseInstructions(std::span<Insn> code, std::span<const Value> constants) {
    // push0..push3 carry the value they push, and a pushconst of a small
    // Integer becomes the pushint of it, so a fused cell reads every integer
    // operand the same way.
    for (Insn& insn : code) {
        switch (insn.op()) {
        case Op::Push0: insn.arg = 0; break;
        case Op::Push1: insn.arg = 1; break;
        case Op::Push2: insn.arg = 2; break;
        case Op::Push3: insn.arg = 3; break;
        case Op::PushConst: {
            size_t k = uint32_t(insn.arg);
            if (k < constants.size() && constants[k].isInteger()) {
                int64_t v = constants[k].asInteger();
                if (v >= INT32_MIN && v <= INT32_MAX) {
                    setCellOpcode(insn, uint32_t(Op::PushInt) | (insn.word & Insn::kChecked));
                    insn.arg = int32_t(v);
                }
            }
            break;
        }
        default: break;
        }
    }
    markAppends(code, constants);
    // The opcodes as they are before fusing: a counted loop looks at its
    // test, which may already carry a fused opcode.
    std::vector<Insn> plainCode(code.begin(), code.end());
    auto plain = [&](size_t i, Op op) {
        return i < plainCode.size() && !plainCode[i].checked() && plainCode[i].op() == op;
    };
    auto plainIf = [&](size_t i, bool (*test)(Op)) {
        return i < plainCode.size() && !plainCode[i].checked() && test(plainCode[i].op());
    };
    auto isInt = [](Op op) {
        return op == Op::PushInt || op == Op::Push0 || op == Op::Push1 || op == Op::Push2 || op == Op::Push3;
    };
    auto fuse = [&](size_t i, FusedOp op) { setCellOpcode(code[i], uint32_t(op)); };
    // The typed compare-and-branch cell of `getlocal|getarg; pushint; cmp; jf`.
    auto typedCompare = [](bool local, Op cmp) {
        static constexpr FusedOp kLocal[] = {FusedOp::LtJfLocalInt, FusedOp::LeJfLocalInt, FusedOp::GtJfLocalInt,
                                             FusedOp::GeJfLocalInt};
        static constexpr FusedOp kArg[] = {FusedOp::LtJfArgInt, FusedOp::LeJfArgInt, FusedOp::GtJfArgInt,
                                           FusedOp::GeJfArgInt};
        size_t k = cmp == Op::Lt ? 0 : cmp == Op::Le ? 1 : cmp == Op::Gt ? 2 : 3;
        return local ? kLocal[k] : kArg[k];
    };
    // Whether the cells at `at` are a counted loop's test on local `a`:
    // getlocal a; pushint m; lt|le; jf.
    auto loopTest = [&](int64_t at, int32_t a) {
        return at >= 0 && plain(size_t(at), Op::GetLocal) && plainCode[size_t(at)].arg == a &&
               plainIf(size_t(at) + 1, isInt) &&
               (plain(size_t(at) + 2, Op::Lt) || plain(size_t(at) + 2, Op::Le)) && plain(size_t(at) + 3, Op::Jf);
    };
    for (size_t i = 0; i + 1 < code.size(); ++i) {
        if (plain(i, Op::GetArg) && plainCode[i].arg == 1 && plain(i + 1, Op::Add2) && plain(i + 2, Op::Args)) {
            fuse(i, FusedOp::Prologue);
            i += 2;
            continue;
        }
        bool local = plain(i, Op::GetLocal);
        // Element access through locals: a[i] = v, x + a[i] into a local, a[i].
        if (local && plain(i + 1, Op::GetLocal) && plain(i + 2, Op::GetLocal)) {
            if (plain(i + 3, Op::SetElem)) {
                fuse(i, FusedOp::SetElemLocals);
                i += 3;
                continue;
            }
            if (plain(i + 3, Op::GetElem) && plain(i + 4, Op::Add) && plain(i + 5, Op::SetLocal)) {
                fuse(i, FusedOp::AddElemSetLocal);
                i += 5;
                continue;
            }
        }
        if (local && plain(i + 1, Op::GetLocal) && plain(i + 2, Op::GetElem)) {
            fuse(i, FusedOp::GetElemLocals);
            i += 2;
            continue;
        }
        if (!local && !plain(i, Op::GetArg))
            continue;
        if (!plainIf(i + 1, isIntegerOperand))
            continue;
        bool intOperand = isInt(plainCode[i + 1].op());
        bool localOperand = plainCode[i + 1].op() == Op::GetLocal;
        if (plainIf(i + 2, isIntegerCompare) && plain(i + 3, Op::Jf)) {
            if (intOperand)
                fuse(i, typedCompare(local, plainCode[i + 2].op()));
            else
                fuse(i, local ? FusedOp::CmpJfLocal : FusedOp::CmpJfArg);
            i += 3;
        } else if (local && plainIf(i + 2, isAddOrSub) && plain(i + 3, Op::SetLocal)) {
            bool add = plainCode[i + 2].op() == Op::Add;
            int32_t a = plainCode[i].arg;
            if (intOperand && add && plainCode[i + 3].arg == a && plain(i + 4, Op::Jmp) &&
                loopTest(int64_t(i) + 5 + plainCode[i + 4].arg, a)) {
                size_t test = size_t(int64_t(i) + 5 + plainCode[i + 4].arg);
                fuse(i, plainCode[test + 2].op() == Op::Lt ? FusedOp::IncLoopLt : FusedOp::IncLoopLe);
                i += 4;
                continue;
            }
            if (intOperand)
                fuse(i, add ? FusedOp::AddSetLocalInt : FusedOp::SubSetLocalInt);
            else if (localOperand)
                fuse(i, add ? FusedOp::AddSetLocalLocal : FusedOp::SubSetLocalLocal);
            else
                fuse(i, FusedOp::ArithSetLocal);
            i += 3;
        } else if (plainIf(i + 2, isAddOrSub)) {
            bool add = plainCode[i + 2].op() == Op::Add;
            if (intOperand && local)
                fuse(i, add ? FusedOp::AddLocalInt : FusedOp::SubLocalInt);
            else if (intOperand)
                fuse(i, add ? FusedOp::AddArgInt : FusedOp::SubArgInt);
            else
                fuse(i, local ? FusedOp::ArithLocal : FusedOp::ArithArg);
            i += 2;
        }
    }
}

uint32_t CompiledFunction::lineAt(uint32_t pos) const {
    uint32_t line = 0;
    for (uint32_t i = 0; i < lineCount && lines[i].insn <= pos; ++i)
        line = lines[i].line;
    return line;
}

CompiledFunction* newCompiledFunction(Engine& engine, const LinkedCode& linked, std::string_view name,
                                      std::string_view sourceName) {
    size_t bytes = sizeof(CompiledFunction) + linked.code.size() * (sizeof(Insn) + sizeof(uint32_t));
    auto* f = reinterpret_cast<CompiledFunction*>(engine.gcAllocObject(bytes, &kCompiledFunctionType));
    f->name = copyText(name);
    f->sourceName = copyText(sourceName);
    if (!linked.lines.empty()) {
        f->lines = static_cast<LinePair*>(std::malloc(linked.lines.size() * sizeof(LinePair)));
        if (f->lines) {
            std::memcpy(f->lines, linked.lines.data(), linked.lines.size() * sizeof(LinePair));
            f->lineCount = uint32_t(linked.lines.size());
        }
    }
    if (!f->name || !f->sourceName)
        engine.raiseError(kErrOutOfMemory);
    f->insnCount = uint32_t(linked.code.size());
    f->maxStack = linked.maxStack;
    f->thisProperties = linked.thisProperties;
    std::memcpy(f->code(), linked.code.data(), linked.code.size() * sizeof(Insn));
    std::memset(f->code() + linked.code.size(), 0xFF, linked.code.size() * sizeof(uint32_t)); // empty caches
    fuseInstructions(std::span<Insn>(f->code(), linked.code.size()), engine.constants);
    return f;
}

void markCodePosition(Engine& engine, const Insn* pc) {
    if (pc)
        markGcObject(engine, &CompiledFunction::owning(pc)->gc);
}

} // namespace quill
