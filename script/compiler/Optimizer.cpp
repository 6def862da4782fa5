// The peephole optimiser.
#include "script/compiler/Optimizer.h"

#include <algorithm>
#include <cstdlib>

namespace quill {

namespace {

bool isBranch(const Instr& i) { return i.kind == InstrKind::Op && isJump(i.op); }
bool isBoundary(const Instr& i) { return i.kind != InstrKind::Op; }
bool endsFlow(const Instr& i) { return i.isOp(Op::Jmp) || i.isOp(Op::Ret); }

// Values an instruction takes from the stack (its pushes are this plus its
// stack effect).
int popCount(const Instr& i) {
    switch (i.op) {
    case Op::SetElem: return 3;
    case Op::Ushr: case Op::Shr: case Op::Shl: case Op::Xor: case Op::Or: case Op::And:
    case Op::Mod: case Op::Div: case Op::Mul: case Op::Add: case Op::Sub: case Op::StrictNe:
    case Op::StrictEq: case Op::Ge: case Op::Le: case Op::Gt: case Op::Lt: case Op::Ne:
    case Op::Eq: case Op::NextKey: case Op::GetElem: case Op::SetProp: case Op::DelElem:
    case Op::Swap:
        return 2;
    case Op::Add2: case Op::Inc: case Op::With: case Op::GetArgN: case Op::Args:
    case Op::DelProp: case Op::Typeof: case Op::Not: case Op::Neg: case Op::GetProp:
    case Op::SetLocal: case Op::SetArg: case Op::SetGlobal: case Op::Pop: case Op::SetVar:
    case Op::DelVar: case Op::DelGlobal: case Op::DelLocal: case Op::DelArg: case Op::End:
    case Op::Throw: case Op::Ret: case Op::Jt: case Op::Jf: case Op::JTrue: case Op::JFalse:
        return 1;
    case Op::Rot: return std::abs(i.operand) >= 2 ? static_cast<int>(std::abs(i.operand)) : 0;
    case Op::Slide: return static_cast<int>(i.operand) + 1;
    case Op::PopN: return static_cast<int>(i.operand);
    default: return 0;
    }
}

void compact(std::vector<Instr>& code, const std::vector<bool>& dead) {
    size_t w = 0;
    for (size_t r = 0; r < code.size(); ++r)
        if (!dead[r])
            code[w++] = code[r];
    code.resize(w);
}

} // namespace

// 1. `dup`, then straight-line instructions that bring the depth back to
// exactly the duplicated value without touching it, then `pop`: the `dup` and
// the `pop` go.
void removeDupPop(InstrList& list) {
    std::vector<Instr>& code = list.code;
    std::vector<bool> dead(code.size(), false);
    for (size_t i = 0; i < code.size(); ++i) {
        if (!code[i].isOp(Op::Dup) || dead[i])
            continue;
        int depth = 0; // values above the duplicated one, the copy included: depth + 1
        for (size_t j = i + 1; j < code.size() && j <= i + kDupScanLimit; ++j) {
            const Instr& in = code[j];
            if (isBoundary(in) || isBranch(in))
                break;
            bool stop = false;
            switch (in.op) {
            case Op::Throw: case Op::Untry: case Op::New: case Op::Ret: case Op::Call:
            case Op::CallMethod: case Op::CallName: case Op::Dup:
                stop = true;
                break;
            default: break;
            }
            if (stop)
                break;
            int pops = popCount(in);
            if (pops > depth + 1)
                break; // would reach the original value
            depth += stackEffect(in.op, in.operand);
            if (depth == -1) {
                if (j + 1 < code.size() && code[j + 1].isOp(Op::Pop)) {
                    dead[i] = true;
                    dead[j + 1] = true;
                }
                break;
            }
        }
    }
    compact(code, dead);
}

// 2. `slide n` then `pop`: `popn n+1` (while the count fits its byte).
void foldSlidePop(InstrList& list) {
    std::vector<Instr>& code = list.code;
    std::vector<bool> dead(code.size(), false);
    for (size_t i = 0; i + 1 < code.size(); ++i) {
        if (code[i].isOp(Op::Slide) && code[i + 1].isOp(Op::Pop) && !dead[i] && code[i].operand + 1 <= 0xFF) {
            code[i].op = Op::PopN;
            code[i].operand += 1;
            dead[i + 1] = true;
        }
    }
    compact(code, dead);
}

// 3. A constant before a conditional jump: pushtrue+jf/jfalse and
// pushfalse+jt/jtrue vanish; pushfalse+jf/jfalse and pushtrue+jt/jtrue
// become `jmp`.
void foldConstantJumps(InstrList& list) {
    std::vector<Instr>& code = list.code;
    std::vector<bool> dead(code.size(), false);
    for (size_t i = 0; i + 1 < code.size(); ++i) {
        if (dead[i])
            continue;
        bool t = code[i].isOp(Op::PushTrue);
        bool f = code[i].isOp(Op::PushFalse);
        if (!t && !f)
            continue;
        Instr& j = code[i + 1];
        bool onFalse = j.isOp(Op::Jf) || j.isOp(Op::JFalse);
        bool onTrue = j.isOp(Op::Jt) || j.isOp(Op::JTrue);
        if (!onFalse && !onTrue)
            continue;
        dead[i] = true;
        if ((t && onFalse) || (f && onTrue))
            dead[i + 1] = true;
        else
            j.op = Op::Jmp;
    }
    compact(code, dead);
}

// 4. A jump (or `try`) whose target label is followed, after any labels, by a
// `jmp` takes that jmp's target; chains are followed to their end.
void threadJumps(InstrList& list) {
    std::vector<Instr>& code = list.code;
    std::vector<int> labelAt(static_cast<size_t>(list.labelCount), -1);
    for (size_t i = 0; i < code.size(); ++i)
        if (code[i].isLabel())
            labelAt[static_cast<size_t>(code[i].operand)] = static_cast<int>(i);
    // final[l]: -1 unknown, -2 being resolved, else the resolved label.
    std::vector<int64_t> final(labelAt.size(), -1);
    auto resolve = [&](int64_t label) {
        std::vector<int64_t> path;
        int64_t l = label;
        for (;;) {
            if (final[l] >= 0) {
                l = final[l];
                break;
            }
            if (final[l] == -2)
                break; // a cycle of jumps: stop where it closes
            final[l] = -2;
            path.push_back(l);
            int at = labelAt[l];
            size_t k = static_cast<size_t>(at) + 1;
            while (at >= 0 && k < code.size() && code[k].isLabel())
                ++k;
            if (at < 0 || k >= code.size() || !code[k].isOp(Op::Jmp))
                break;
            l = code[k].operand;
        }
        for (int64_t p : path)
            final[p] = l;
        return l;
    };
    for (Instr& in : code)
        if (isBranch(in))
            in.operand = resolve(in.operand);
}

// 5. `setlocal n` directly followed by `getlocal n` goes when slot n (below
// 32) is not read again before it is written. Liveness of the tracked slots is
// computed backwards over each function with a worklist; a slot read by a
// catch entry of the function counts as live everywhere, since a throw may
// reach the handler from any instruction.
void removeDeadStores(InstrList& list) {
    std::vector<Instr>& code = list.code;
    std::vector<int> labelAt(static_cast<size_t>(list.labelCount), -1);
    for (size_t i = 0; i < code.size(); ++i)
        if (code[i].isLabel())
            labelAt[static_cast<size_t>(code[i].operand)] = static_cast<int>(i);
    std::vector<bool> dead(code.size(), false);

    size_t begin = 0;
    while (begin < code.size()) {
        size_t end = begin + 1;
        while (end < code.size() && code[end].kind != InstrKind::Entry)
            ++end;
        // Function [begin, end).
        size_t n = end - begin;
        auto bit = [](int64_t slot) { return slot >= 0 && slot < kTrackedSlots ? 1u << slot : 0u; };
        bool candidate = false;
        for (size_t i = begin; i + 1 < end && !candidate; ++i)
            candidate = code[i].isOp(Op::SetLocal) && code[i + 1].isOp(Op::GetLocal) &&
                        code[i].operand == code[i + 1].operand && bit(code[i].operand) != 0;
        if (!candidate) {
            begin = end;
            continue;
        }
        std::vector<uint32_t> liveIn(n, 0);
        auto succOf = [&](size_t i, int which) -> int64_t {
            const Instr& in = code[begin + i];
            if (which == 0) {
                if (in.kind == InstrKind::Op &&
                    (in.op == Op::Jmp || in.op == Op::Ret || in.op == Op::Throw || in.op == Op::End))
                    return -1;
                return i + 1 < n ? static_cast<int64_t>(i + 1) : -1;
            }
            if (isBranch(in)) {
                int at = labelAt[static_cast<size_t>(in.operand)];
                if (at >= static_cast<int>(begin) && at < static_cast<int>(end))
                    return at - static_cast<int>(begin);
            }
            return -1;
        };
        // Predecessors in one flat array: predStart[i]..predStart[i+1].
        std::vector<uint32_t> predStart(n + 1, 0);
        for (size_t i = 0; i < n; ++i)
            for (int w = 0; w < 2; ++w) {
                int64_t s = succOf(i, w);
                if (s >= 0)
                    ++predStart[static_cast<size_t>(s) + 1];
            }
        for (size_t i = 0; i < n; ++i)
            predStart[i + 1] += predStart[i];
        std::vector<uint32_t> preds(predStart[n]);
        {
            std::vector<uint32_t> fill(predStart.begin(), predStart.end() - 1);
            for (size_t i = 0; i < n; ++i)
                for (int w = 0; w < 2; ++w) {
                    int64_t s = succOf(i, w);
                    if (s >= 0)
                        preds[fill[static_cast<size_t>(s)]++] = static_cast<uint32_t>(i);
                }
        }
        auto liveOut = [&](size_t i) {
            uint32_t out = 0;
            for (int w = 0; w < 2; ++w) {
                int64_t s = succOf(i, w);
                if (s >= 0)
                    out |= liveIn[static_cast<size_t>(s)];
            }
            return out;
        };
        std::vector<uint32_t> work;
        std::vector<bool> queued(n, true);
        for (size_t i = n; i-- > 0;)
            work.push_back(static_cast<uint32_t>(i));
        while (!work.empty()) {
            size_t i = work.back();
            work.pop_back();
            queued[i] = false;
            const Instr& in = code[begin + i];
            uint32_t live = liveOut(i);
            if (in.isOp(Op::SetLocal))
                live &= ~bit(in.operand);
            if (in.isOp(Op::GetLocal) || in.isOp(Op::DelLocal))
                live |= bit(in.operand);
            if (live != liveIn[i]) {
                liveIn[i] = live;
                for (uint32_t k = predStart[i]; k < predStart[i + 1]; ++k)
                    if (uint32_t p = preds[k]; !queued[p]) {
                        queued[p] = true;
                        work.push_back(p);
                    }
            }
        }
        uint32_t handlerLive = 0;
        for (size_t i = 0; i < n; ++i)
            if (code[begin + i].isOp(Op::Try)) {
                int64_t s = succOf(i, 1);
                if (s >= 0)
                    handlerLive |= liveIn[static_cast<size_t>(s)];
            }
        for (size_t i = 0; i + 1 < n; ++i) {
            const Instr& a = code[begin + i];
            const Instr& b = code[begin + i + 1];
            if (a.isOp(Op::SetLocal) && b.isOp(Op::GetLocal) && a.operand == b.operand &&
                bit(a.operand) != 0 && !dead[begin + i] &&
                ((liveOut(i + 1) | handlerLive) & bit(a.operand)) == 0) {
                dead[begin + i] = true;
                dead[begin + i + 1] = true;
            }
        }
        begin = end;
    }
    compact(code, dead);
}

// 6. Until nothing changes: labels no jump refers to go, instructions after
// `ret` or `jmp` up to the next label go, a `jmp` to a label directly after it
// goes. Done with a worklist over a linked list, each removal once.
void removeUnreachable(InstrList& list) {
    std::vector<Instr>& code = list.code;
    const int n = static_cast<int>(code.size());
    std::vector<int> prev(n), next(n);
    for (int i = 0; i < n; ++i) {
        prev[i] = i - 1;
        next[i] = i + 1 < n ? i + 1 : -1;
    }
    std::vector<bool> dead(code.size(), false);
    std::vector<int> refs(static_cast<size_t>(list.labelCount), 0);
    std::vector<int> labelAt(static_cast<size_t>(list.labelCount), -1);
    for (int i = 0; i < n; ++i) {
        if (isBranch(code[i]))
            ++refs[static_cast<size_t>(code[i].operand)];
        if (code[i].isLabel())
            labelAt[static_cast<size_t>(code[i].operand)] = i;
    }
    std::vector<int> work;

    auto remove = [&](int i) {
        dead[i] = true;
        if (prev[i] >= 0)
            next[prev[i]] = next[i];
        if (next[i] >= 0)
            prev[next[i]] = prev[i];
        if (isBranch(code[i])) {
            size_t l = static_cast<size_t>(code[i].operand);
            if (--refs[l] == 0 && labelAt[l] >= 0)
                work.push_back(labelAt[l]);
        }
    };
    // A `jmp` whose target is among the labels directly after it.
    auto jumpToNext = [&](int i) {
        if (!code[i].isOp(Op::Jmp))
            return;
        for (int j = next[i]; j >= 0 && code[j].isLabel(); j = next[j]) {
            if (code[j].operand == code[i].operand) {
                remove(i);
                return;
            }
        }
    };
    auto killAfter = [&](int i) {
        int j = next[i];
        while (j >= 0 && code[j].kind == InstrKind::Op) {
            int k = next[j];
            remove(j);
            j = k;
        }
        jumpToNext(i);
    };

    for (int i = 0; i < n; ++i) {
        if (dead[i])
            continue;
        if (endsFlow(code[i]))
            killAfter(i);
    }
    for (int i = 0; i < n; ++i)
        if (!dead[i] && code[i].isLabel() && refs[static_cast<size_t>(code[i].operand)] == 0)
            work.push_back(i);
    while (!work.empty()) {
        int l = work.back();
        work.pop_back();
        if (dead[l] || refs[static_cast<size_t>(code[l].operand)] != 0)
            continue;
        int p = prev[l];
        remove(l);
        if (p >= 0 && !dead[p] && endsFlow(code[p]))
            killAfter(p);
    }
    compact(code, dead);
}

void optimize(InstrList& list) {
    removeDupPop(list);
    foldSlidePop(list);
    foldConstantJumps(list);
    threadJumps(list);
    removeDeadStores(list);
    removeUnreachable(list);
}

} // namespace quill
