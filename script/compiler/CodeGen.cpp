// The Quill code generator: syntax trees to the instruction list.
//
// Reading order: function frames (prologue, top-level code), instruction and
// scope helpers, name resolution, expressions, statements. The lowering of
// each construct is written above the function that emits it, stack shown
// bottom..top.

#include "script/compiler/CodeGen.h"

#include <algorithm>

namespace quill {

CodeGen::CodeGen(Diagnostics& diagnostics, InstrList& out) : diag_(diagnostics), out_(out), code_(out.code) {}

// ===========================================================================
// Function frames
// ===========================================================================

void CodeGen::beginFunction(const std::string& globalName, int line) {
    funcStart_ = code_.size();
    scopes_.clear();
    jumps_.clear();
    pendingLabels_.clear();
    scope_ = -1;
    maxSlots_ = 0;
    withDepth_ = 0;
    globalName_ = globalName;
    pushScope();
    jumps_.emplace_back(); // root: counts handlers and with blocks outside loops
    Instr entry;
    entry.kind = InstrKind::Entry;
    entry.line = line;
    CodeConstant name;
    name.text = globalName;
    out_.constants.push_back(std::move(name));
    entry.operand = static_cast<int64_t>(out_.constants.size() - 1);
    code_.push_back(entry);
}

// Fills in the `locals` count reserved after the prologue, dropping the
// instruction when no slot is used.
void CodeGen::endFunction() {
    for (size_t i = funcStart_; i < code_.size(); ++i) {
        if (code_[i].isOp(Op::Locals)) {
            if (maxSlots_ > 0)
                code_[i].operand = maxSlots_;
            else
                code_.erase(code_.begin() + static_cast<long>(i));
            break;
        }
    }
}

// Function: entry; getarg 1; add2; args 2+params; locals n; [arguments object];
//           body; pushundef; ret
void CodeGen::function(FunctionDef& def) {
    inMain_ = false;
    beginFunction(def.globalName, def.line);
    int line = def.line;
    for (size_t i = 0; i < def.params.size(); ++i)
        scopes_[0].names[def.params[i]] = Symbol{true, static_cast<int>(i) + 2};
    emit(Op::GetArg, line, 1);
    emit(Op::Add2, line);
    emit(Op::Args, line, 2 + static_cast<int64_t>(def.params.size()));
    emit(Op::Locals, line, 0);
    if (def.usesArguments) {
        // The arguments object: an Object holding the passed arguments by
        // index, `length` and `callee`.
        int a = declareLocal("arguments", line).slot;
        int loop = newLabel();
        int done = newLabel();
        emit(Op::Push0, line);
        emitName(Op::GetGlobal, line, "Object");
        emit(Op::New, line);
        emit(Op::Swap, line);
        emit(Op::Slide, line, 2);
        emit(Op::SetLocal, line, a);
        emit(Op::Push0, line);
        placeLabel(loop, line);
        emit(Op::Dup, line);
        emit(Op::GetArg, line, 1);
        emit(Op::Ge, line);
        emitJump(Op::Jt, done, line);
        emit(Op::Dup, line);
        emit(Op::Dup, line);
        emit(Op::Add2, line);
        emit(Op::GetArgN, line);
        emit(Op::Swap, line);
        emit(Op::GetLocal, line, a);
        emit(Op::Swap, line);
        emit(Op::SetElem, line);
        emit(Op::Inc, line);
        emitJump(Op::Jmp, loop, line);
        placeLabel(done, line);
        emit(Op::GetLocal, line, a);
        emitName(Op::SetProp, line, "length");
        emitName(Op::GetGlobal, line, def.globalName);
        emit(Op::GetLocal, line, a);
        emitName(Op::SetProp, line, "callee");
    }
    for (NodePtr& s : def.body->kids)
        genStatement(*s);
    emit(Op::PushUndef, def.endLine);
    emit(Op::Ret, def.endLine);
    endFunction();
}

// Top-level code: entry ".main"; locals n; statements; then the last `pop`
// is dropped so that the last expression statement's value is the result,
// or `pushundef` when the code does not end in a `pop`.
void CodeGen::main(std::vector<NodePtr>& statements, int endLine) {
    inMain_ = true;
    beginFunction(kMainFunctionName, statements.empty() ? endLine : statements.front()->line);
    mainScope_ = scope_;
    emit(Op::Locals, code_[funcStart_].line, 0);
    genStatements(statements);
    if (!code_.empty() && code_.back().isOp(Op::Pop))
        code_.pop_back();
    else
        emit(Op::PushUndef, endLine);
    endFunction();
}

// ===========================================================================
// Instructions and scopes
// ===========================================================================

void CodeGen::emit(Op op, int line, int64_t operand) {
    Instr i;
    i.op = op;
    i.line = line;
    i.operand = operand;
    code_.push_back(i);
}

void CodeGen::emitName(Op op, int line, const std::string& name) {
    CodeConstant c;
    c.kind = ConstantKind::Identifier;
    c.text = name;
    out_.constants.push_back(std::move(c));
    emit(op, line, static_cast<int64_t>(out_.constants.size() - 1));
}

void CodeGen::emitConstant(int line, CodeConstant c) {
    out_.constants.push_back(std::move(c));
    emit(Op::PushConst, line, static_cast<int64_t>(out_.constants.size() - 1));
}

void CodeGen::emitCounted(Op op, int line, int count) {
    while (count > kMaxByteCount) {
        emit(op, line, kMaxByteCount);
        count -= kMaxByteCount;
    }
    if (count > 0)
        emit(op, line, count);
}

// Integer literal: 0..3 -> push0..push3; others -> pushconst.
void CodeGen::emitInteger(int64_t value, int line) {
    static constexpr Op kSmall[] = {Op::Push0, Op::Push1, Op::Push2, Op::Push3};
    if (value >= 0 && value <= 3) {
        emit(kSmall[value], line);
        return;
    }
    CodeConstant c;
    c.kind = ConstantKind::Integer;
    c.integer = value;
    emitConstant(line, std::move(c));
}

// Argument count of a call: push0..push3 or pushint.
void CodeGen::emitCount(int count, int line) {
    static constexpr Op kSmall[] = {Op::Push0, Op::Push1, Op::Push2, Op::Push3};
    if (count <= 3)
        emit(kSmall[count], line);
    else
        emit(Op::PushInt, line, count);
}

void CodeGen::placeLabel(int label, int line) {
    Instr i;
    i.kind = InstrKind::Label;
    i.line = line;
    i.operand = label;
    code_.push_back(i);
}

void CodeGen::pushScope() {
    Scope s;
    s.parent = scope_;
    s.nextSlot = scope_ >= 0 ? scopes_[scope_].nextSlot : 0;
    scopes_.push_back(std::move(s));
    scope_ = static_cast<int>(scopes_.size() - 1);
}

// A closed block's slots go back to its parent's next free slot, so later
// siblings reuse them. Scope records are not reused: a function keeps at most
// one per block it contains.
void CodeGen::popScope() { scope_ = scopes_[scope_].parent; }

const CodeGen::Symbol* CodeGen::lookup(const std::string& name) const {
    for (int s = scope_; s >= 0; s = scopes_[s].parent) {
        auto it = scopes_[s].names.find(name);
        if (it != scopes_[s].names.end())
            return &it->second;
    }
    return nullptr;
}

// Declares a local of the current block; a name declared in the same block
// keeps its slot (or stays the argument it is).
CodeGen::Symbol CodeGen::declareLocal(const std::string& name, int line) {
    Scope& s = scopes_[scope_];
    auto it = s.names.find(name);
    if (it != s.names.end())
        return it->second;
    if (s.nextSlot >= kMaxLocals)
        diag_.error(line, "too many local variables");
    Symbol sym{false, s.nextSlot++};
    maxSlots_ = std::max(maxSlots_, s.nextSlot);
    s.names.emplace(name, sym);
    return sym;
}

// ===========================================================================
// Names
// ===========================================================================

// Identifier load: argument -> getarg, local -> getlocal; otherwise getvar
// inside a with statement of this function, else getglobal.
void CodeGen::genLoadName(const Node& id) {
    if (!id.flag) {
        if (const Symbol* s = lookup(id.name)) {
            emit(s->argument ? Op::GetArg : Op::GetLocal, id.line, s->slot);
            return;
        }
    }
    emitName(withDepth_ > 0 && !id.flag ? Op::GetVar : Op::GetGlobal, id.line, id.name);
}

void CodeGen::genStoreName(const std::string& name, int line, bool forceGlobal) {
    if (!forceGlobal) {
        if (const Symbol* s = lookup(name)) {
            emit(s->argument ? Op::SetArg : Op::SetLocal, line, s->slot);
            return;
        }
    }
    emitName(withDepth_ > 0 && !forceGlobal ? Op::SetVar : Op::SetGlobal, line, name);
}

// ===========================================================================
// Expressions
// ===========================================================================

namespace {
Op binaryOp(int token) {
    switch (token) {
    case '+': case kTokAddAssign: return Op::Add;
    case '-': case kTokSubAssign: return Op::Sub;
    case '*': case kTokMulAssign: return Op::Mul;
    case '/': case kTokDivAssign: return Op::Div;
    case '%': case kTokModAssign: return Op::Mod;
    case '&': case kTokAndAssign: return Op::And;
    case '|': case kTokOrAssign: return Op::Or;
    case '^': case kTokXorAssign: return Op::Xor;
    case kTokShl: case kTokShlAssign: return Op::Shl;
    case kTokShr: case kTokShrAssign: return Op::Shr;
    case kTokUshr: case kTokUshrAssign: return Op::Ushr;
    case kTokEq: return Op::Eq;
    case kTokNe: return Op::Ne;
    case kTokStrictEq: return Op::StrictEq;
    case kTokStrictNe: return Op::StrictNe;
    case '<': return Op::Lt;
    case '>': return Op::Gt;
    case kTokLe: return Op::Le;
    case kTokGe: return Op::Ge;
    default: return Op::Nop;
    }
}
} // namespace

void CodeGen::genValue(Node& n) {
    if (n.kind == NodeKind::Function)
        emitName(Op::GetGlobal, n.line, n.text);
    else
        genExpr(n);
}

// Load of an assignment target: x; a, getprop b; a, b, getelem.
void CodeGen::genLoad(Node& target) {
    switch (target.kind) {
    case NodeKind::Identifier: genLoadName(target); break;
    case NodeKind::Property:
        genExpr(*target.kids[0]);
        emitName(Op::GetProp, target.line, target.name);
        break;
    default:
        genExpr(*target.kids[0]);
        genExpr(*target.kids[1]);
        emit(Op::GetElem, target.line);
        break;
    }
}

// Store of the value on top: set<x>; a, setprop b; a, b, setelem.
void CodeGen::genStore(Node& target, int line) {
    switch (target.kind) {
    case NodeKind::Identifier: genStoreName(target.name, line, target.flag); break;
    case NodeKind::Property:
        genExpr(*target.kids[0]);
        emitName(Op::SetProp, line, target.name);
        break;
    default:
        genExpr(*target.kids[0]);
        genExpr(*target.kids[1]);
        emit(Op::SetElem, line);
        break;
    }
}

void CodeGen::genExpr(Node& n) {
    int line = n.line;
    switch (n.kind) {
    case NodeKind::Comma: // a; pop; b
        genExpr(*n.kids[0]);
        emit(Op::Pop, line);
        genExpr(*n.kids[1]);
        return;
    case NodeKind::Assign: genAssign(n); return;
    case NodeKind::Conditional: { // c; jf L1; a; jmp L2; L1: b; L2:
        int l1 = newLabel();
        int l2 = newLabel();
        genExpr(*n.kids[0]);
        emitJump(falseJump(*n.kids[0]), l1, line);
        genExpr(*n.kids[1]);
        emitJump(Op::Jmp, l2, line);
        placeLabel(l1, line);
        genExpr(*n.kids[2]);
        placeLabel(l2, line);
        return;
    }
    case NodeKind::Logical: { // a; dup; jf/jt L; pop; b; L:
        int l = newLabel();
        genExpr(*n.kids[0]);
        emit(Op::Dup, line);
        emitJump(n.op == kTokAndAnd ? falseJump(*n.kids[0]) : trueJump(*n.kids[0]), l, line);
        emit(Op::Pop, line);
        genExpr(*n.kids[1]);
        placeLabel(l, line);
        return;
    }
    case NodeKind::Bitwise:
    case NodeKind::Equality:
    case NodeKind::Relational:
    case NodeKind::Shift:
    case NodeKind::Multiplicative:
    case NodeKind::Additive:
        genExpr(*n.kids[0]);
        genExpr(*n.kids[1]);
        emit(binaryOp(n.op), line);
        return;
    case NodeKind::This: emit(Op::GetArg, line, 0); return;
    case NodeKind::Null: emit(Op::PushNull, line); return;
    case NodeKind::True: emit(Op::PushTrue, line); return;
    case NodeKind::False: emit(Op::PushFalse, line); return;
    case NodeKind::Undefined:
    case NodeKind::Empty: emit(Op::PushUndef, line); return;
    case NodeKind::Identifier: genLoadName(n); return;
    case NodeKind::Integer: emitInteger(n.integer, line); return;
    case NodeKind::Number: {
        CodeConstant c;
        c.kind = ConstantKind::Number;
        c.number = n.number;
        emitConstant(line, std::move(c));
        return;
    }
    case NodeKind::String: {
        CodeConstant c;
        c.kind = ConstantKind::String;
        c.text = n.text;
        emitConstant(line, std::move(c));
        return;
    }
    case NodeKind::RegExp: {
        CodeConstant c;
        c.kind = ConstantKind::RegExp;
        c.text = n.regexp.pattern;
        c.flags = n.regexp.flags;
        emitConstant(line, std::move(c));
        return;
    }
    case NodeKind::Call: genCall(n); return;
    case NodeKind::New: genNew(n); return;
    case NodeKind::Property:
    case NodeKind::Element: genLoad(n); return;
    case NodeKind::Postfix: genPostfix(n); return;
    case NodeKind::Prefix: genPrefix(n); return;
    case NodeKind::ArrayLiteral: {
        // elements last to first; pushint -n; getglobal Array; new; swap; slide n+2
        int count = static_cast<int>(n.kids.size());
        for (auto it = n.kids.rbegin(); it != n.kids.rend(); ++it)
            genExpr(**it);
        emit(Op::PushInt, line, -static_cast<int64_t>(count));
        emitName(Op::GetGlobal, line, "Array");
        emit(Op::New, line);
        emit(Op::Swap, line);
        emitCounted(Op::Slide, line, count + 2);
        return;
    }
    case NodeKind::ObjectLiteral: {
        // push0; getglobal Object; new; swap; slide 2; then per property, last
        // to first: dup; value; swap; key; setelem (or setprop name)
        emit(Op::Push0, line);
        emitName(Op::GetGlobal, line, "Object");
        emit(Op::New, line);
        emit(Op::Swap, line);
        emit(Op::Slide, line, 2);
        for (size_t i = n.kids.size(); i >= 2; i -= 2) {
            Node& key = *n.kids[i - 2];
            Node& value = *n.kids[i - 1];
            emit(Op::Dup, key.line);
            genExpr(value);
            emit(Op::Swap, key.line);
            if (key.kind == NodeKind::Identifier) {
                emitName(Op::SetProp, key.line, key.name);
            } else {
                genExpr(key);
                emit(Op::SetElem, key.line);
            }
        }
        return;
    }
    case NodeKind::Function: genValue(n); return;
    default:
        // Statements never reach here; keep the stack balanced regardless.
        emit(Op::PushUndef, line);
        return;
    }
}

// Call f(a1..an): arguments last to first; count; callee and its call
// instruction; slide n+2.
void CodeGen::genCall(Node& n) {
    int line = n.line;
    int count = static_cast<int>(n.kids.size()) - 1;
    for (size_t i = n.kids.size() - 1; i >= 1; --i)
        genExpr(*n.kids[i]);
    emitCount(count, line);
    Node& callee = *n.kids[0];
    if (callee.kind == NodeKind::Identifier) {
        const Symbol* s = callee.flag ? nullptr : lookup(callee.name);
        genLoadName(callee);
        if (!s && withDepth_ > 0 && !callee.flag)
            emitName(Op::CallName, line, callee.name);
        else
            emit(Op::Call, line);
    } else if (callee.kind == NodeKind::Property) {
        genExpr(*callee.kids[0]);
        emitName(Op::CallMethod, line, callee.name);
    } else {
        genExpr(callee);
        emit(Op::Call, line);
    }
    emitCounted(Op::Slide, line, count + 2);
}

// new C(a1..an): arguments last to first; count; C; new; swap; slide n+2
void CodeGen::genNew(Node& n) {
    int line = n.line;
    int count = static_cast<int>(n.kids.size()) - 1;
    for (size_t i = n.kids.size() - 1; i >= 1; --i)
        genExpr(*n.kids[i]);
    emitCount(count, line);
    genExpr(*n.kids[0]);
    emit(Op::New, line);
    emit(Op::Swap, line);
    emitCounted(Op::Slide, line, count + 2);
}

// x = v: v; dup; store x          x op= v: load x; v; op; dup; store x
void CodeGen::genAssign(Node& n) {
    Node& target = *n.kids[0];
    if (n.op == '=') {
        genValue(*n.kids[1]);
    } else {
        genLoad(target);
        genExpr(*n.kids[1]);
        emit(binaryOp(n.op), n.line);
    }
    emit(Op::Dup, n.line);
    genStore(target, n.line);
}

// ++x: load x; push1; add; dup; store x      !a: a; not     -a: a; neg
// ~a: a; pushconst -1; xor     +a: a     typeof a: a; typeof     void a: a; pop; pushundef
void CodeGen::genPrefix(Node& n) {
    int line = n.line;
    Node& a = *n.kids[0];
    switch (n.op) {
    case kTokInc:
    case kTokDec:
        genLoad(a);
        emit(Op::Push1, line);
        emit(n.op == kTokInc ? Op::Add : Op::Sub, line);
        emit(Op::Dup, line);
        genStore(a, line);
        return;
    case kTokDelete: genDelete(a, line); return;
    default: break;
    }
    genExpr(a);
    switch (n.op) {
    case '!': emit(Op::Not, line); break;
    case '-': emit(Op::Neg, line); break;
    case '~': {
        CodeConstant c;
        c.kind = ConstantKind::Integer;
        c.integer = -1;
        emitConstant(line, std::move(c));
        emit(Op::Xor, line);
        break;
    }
    case kTokTypeof: emit(Op::Typeof, line); break;
    case kTokVoid:
        emit(Op::Pop, line);
        emit(Op::PushUndef, line);
        break;
    default: break; // unary plus generates nothing
    }
}

// x++: load x; dup; push1; add; store x
void CodeGen::genPostfix(Node& n) {
    Node& a = *n.kids[0];
    genLoad(a);
    emit(Op::Dup, n.line);
    emit(Op::Push1, n.line);
    emit(n.op == kTokInc ? Op::Add : Op::Sub, n.line);
    genStore(a, n.line);
}

// delete a.b: a; delprop b     delete a[b]: a; b; delelem
// delete x: pushnull; dellocal / delarg / delglobal / delvar
// delete of any other expression: the expression; pop; pushtrue
void CodeGen::genDelete(Node& a, int line) {
    switch (a.kind) {
    case NodeKind::Property:
        genExpr(*a.kids[0]);
        emitName(Op::DelProp, line, a.name);
        return;
    case NodeKind::Element:
        genExpr(*a.kids[0]);
        genExpr(*a.kids[1]);
        emit(Op::DelElem, line);
        return;
    case NodeKind::Identifier:
        emit(Op::PushNull, line);
        if (const Symbol* s = lookup(a.name))
            emit(s->argument ? Op::DelArg : Op::DelLocal, line, s->slot);
        else
            emitName(withDepth_ > 0 ? Op::DelVar : Op::DelGlobal, line, a.name);
        return;
    default:
        genExpr(a);
        emit(Op::Pop, line);
        emit(Op::PushTrue, line);
        return;
    }
}

// ===========================================================================
// Statements
// ===========================================================================

CodeGen::JumpScope& CodeGen::pushJumpScope() {
    jumps_.emplace_back();
    return jumps_.back();
}

void CodeGen::popJumpScope() { jumps_.pop_back(); }

std::vector<std::string> CodeGen::takePendingLabels() {
    std::vector<std::string> l;
    l.swap(pendingLabels_);
    return l;
}

void CodeGen::genStatements(std::vector<NodePtr>& list) {
    for (NodePtr& s : list)
        genStatement(*s);
}

void CodeGen::genStatement(Node& n) {
    if (n.kind != NodeKind::Labelled && n.kind != NodeKind::While && n.kind != NodeKind::DoWhile &&
        n.kind != NodeKind::For && n.kind != NodeKind::ForIn)
        pendingLabels_.clear();
    int line = n.line;
    switch (n.kind) {
    case NodeKind::Block: // statements in a new block scope
        pushScope();
        genStatements(n.kids);
        popScope();
        return;
    case NodeKind::Empty: return;
    case NodeKind::ExpressionStatement: // expression; pop
        genExpr(*n.kids[0]);
        emit(Op::Pop, line);
        return;
    case NodeKind::Var: genVar(n); return;
    case NodeKind::If: genIf(n); return;
    case NodeKind::While: genWhile(n); return;
    case NodeKind::DoWhile: genDoWhile(n); return;
    case NodeKind::For: genFor(n); return;
    case NodeKind::ForIn: genForIn(n); return;
    case NodeKind::Continue:
    case NodeKind::Break: genJump(n); return;
    case NodeKind::Return: genReturn(n); return;
    case NodeKind::With: genWith(n); return;
    case NodeKind::Switch: genSwitch(n); return;
    case NodeKind::Try: genTry(n); return;
    case NodeKind::Throw: // v; throw
        genExpr(*n.kids[0]);
        emit(Op::Throw, line);
        return;
    case NodeKind::Labelled: genLabelled(n); return;
    case NodeKind::FunctionBinding:
        // getglobal generated name; getglobal enclosing function; setprop declared name
        emitName(Op::GetGlobal, line, n.text);
        emitName(Op::GetGlobal, line, n.label);
        emitName(Op::SetProp, line, n.name);
        return;
    case NodeKind::Struct: { // pushconst descriptor; store name
        CodeConstant c;
        c.kind = ConstantKind::String;
        c.text = n.text;
        emitConstant(line, std::move(c));
        genStoreName(n.name, line);
        return;
    }
    case NodeKind::DllImport: // the registerFunction call; pop
        genExpr(*n.kids[0]);
        emit(Op::Pop, line);
        return;
    default:
        genExpr(n);
        emit(Op::Pop, line);
        return;
    }
}

// var x = v: v; setlocal (no initialiser: nothing); directly at top level
// v; setglobal x.
void CodeGen::genVar(Node& n) {
    bool global = inMain_ && scope_ == mainScope_;
    for (NodePtr& d : n.kids) {
        if (global) {
            if (!d->kids.empty()) {
                genValue(*d->kids[0]);
                emitName(Op::SetGlobal, d->line, d->name);
            }
            continue;
        }
        if (!d->kids.empty())
            genValue(*d->kids[0]);
        Symbol s = declareLocal(d->name, d->line);
        if (!d->kids.empty())
            emit(s.argument ? Op::SetArg : Op::SetLocal, d->line, s.slot);
    }
}

// if (c) s1 else s2: c; jf L1; s1; jmp L2; L1: s2; L2:     (no else: c; jf L1; s1; L1:)
void CodeGen::genIf(Node& n) {
    int l1 = newLabel();
    genExpr(*n.kids[0]);
    emitJump(falseJump(*n.kids[0]), l1, n.line);
    genStatement(*n.kids[1]);
    if (n.kids.size() > 2) {
        int l2 = newLabel();
        emitJump(Op::Jmp, l2, n.line);
        placeLabel(l1, n.line);
        genStatement(*n.kids[2]);
        placeLabel(l2, n.line);
    } else {
        placeLabel(l1, n.line);
    }
}

// while (c) s: L1: c; jf L2; s; jmp L1; L2:     (break L2, continue L1)
void CodeGen::genWhile(Node& n) {
    int l1 = newLabel();
    int l2 = newLabel();
    JumpScope& j = pushJumpScope();
    j.loopLabels = takePendingLabels();
    j.breakLabel = l2;
    j.continueLabel = l1;
    placeLabel(l1, n.line);
    genExpr(*n.kids[0]);
    emitJump(falseJump(*n.kids[0]), l2, n.line);
    genStatement(*n.kids[1]);
    emitJump(Op::Jmp, l1, n.line);
    placeLabel(l2, n.line);
    popJumpScope();
}

// do s while (c): L1: s; L3: c; jt L1; L2:     (break L2, continue L3)
void CodeGen::genDoWhile(Node& n) {
    int l1 = newLabel();
    int l2 = newLabel();
    int l3 = newLabel();
    JumpScope& j = pushJumpScope();
    j.loopLabels = takePendingLabels();
    j.breakLabel = l2;
    j.continueLabel = l3;
    placeLabel(l1, n.line);
    genStatement(*n.kids[0]);
    placeLabel(l3, n.kids[1]->line);
    genExpr(*n.kids[1]);
    emitJump(trueJump(*n.kids[1]), l1, n.kids[1]->line);
    placeLabel(l2, n.kids[1]->line);
    popJumpScope();
}

// for (i; c; u) s: i; L1: c or pushtrue; jf L3; s; L2: u; pop; jmp L1; L3:
// (break L3, continue L2); `for (var ...)` opens a block scope for the loop.
void CodeGen::genFor(Node& n) {
    std::vector<std::string> labels = takePendingLabels();
    Node* init = n.kids[0].get();
    Node* cond = n.kids[1].get();
    Node* update = n.kids[2].get();
    bool scoped = init && init->kind == NodeKind::Var;
    if (scoped) {
        pushScope();
        genVar(*init);
    } else if (init) {
        genExpr(*init);
        emit(Op::Pop, n.line);
    }
    int l1 = newLabel();
    int l2 = newLabel();
    int l3 = newLabel();
    JumpScope& j = pushJumpScope();
    j.loopLabels = std::move(labels);
    j.breakLabel = l3;
    j.continueLabel = l2;
    placeLabel(l1, n.line);
    if (cond) {
        genExpr(*cond);
        emitJump(falseJump(*cond), l3, n.line);
    } else {
        emit(Op::PushTrue, n.line);
        emitJump(Op::Jf, l3, n.line);
    }
    genStatement(*n.kids[3]);
    placeLabel(l2, n.line);
    if (update) {
        genExpr(*update);
        emit(Op::Pop, n.line);
    }
    emitJump(Op::Jmp, l1, n.line);
    placeLabel(l3, n.line);
    popJumpScope();
    if (scoped)
        popScope();
}

// for (x in o) s:
//   [initialiser; setlocal]; o; dup; push0; swap; push0;
//   L1: nextkey; jf L3; store x; s;
//   L2: push1; add; dup; rot -3; dup; rot 4; swap; jmp L1;
//   L3: pop; L4: popn 2          (break L4, continue L2; keeps [o, i])
void CodeGen::genForIn(Node& n) {
    std::vector<std::string> labels = takePendingLabels();
    int line = n.line;
    bool scoped = n.flag;
    if (scoped) {
        pushScope();
        Node* init = n.kids[0].get();
        if (init)
            genValue(*init);
        Symbol s = declareLocal(n.name, line);
        if (init)
            emit(s.argument ? Op::SetArg : Op::SetLocal, line, s.slot);
    }
    int l1 = newLabel();
    int l2 = newLabel();
    int l3 = newLabel();
    int l4 = newLabel();
    genExpr(*n.kids[1]);
    emit(Op::Dup, line);
    emit(Op::Push0, line);
    emit(Op::Swap, line);
    emit(Op::Push0, line);
    JumpScope& j = pushJumpScope();
    j.loopLabels = std::move(labels);
    j.breakLabel = l4;
    j.continueLabel = l2;
    j.keep = 2;
    placeLabel(l1, line);
    emit(Op::NextKey, line);
    emitJump(Op::Jf, l3, line);
    genStoreName(n.name, line);
    genStatement(*n.kids[2]);
    placeLabel(l2, line);
    emit(Op::Push1, line);
    emit(Op::Add, line);
    emit(Op::Dup, line);
    emit(Op::Rot, line, -3);
    emit(Op::Dup, line);
    emit(Op::Rot, line, 4);
    emit(Op::Swap, line);
    emitJump(Op::Jmp, l1, line);
    placeLabel(l3, line);
    emit(Op::Pop, line);
    popJumpScope();
    placeLabel(l4, line);
    emit(Op::PopN, line, 2);
    if (scoped)
        popScope();
}

// break [L] / continue [L]: unwith and untry for the blocks and handlers left,
// pop the values kept by the constructs left, jmp.
void CodeGen::genJump(Node& n) {
    bool isBreak = n.kind == NodeKind::Break;
    int target = -1;
    for (int i = static_cast<int>(jumps_.size()) - 1; i >= 1 && target < 0; --i) {
        const JumpScope& j = jumps_[i];
        if (n.name.empty()) {
            if (isBreak ? (j.breakLabel >= 0 && j.label.empty()) : j.continueLabel >= 0)
                target = i;
        } else if (isBreak) {
            if (j.label == n.name)
                target = i;
        } else if (std::count(j.loopLabels.begin(), j.loopLabels.end(), n.name)) {
            target = i;
        }
    }
    if (target < 0)
        diag_.error(n.line, isBreak ? "invalid break" : "invalid continue");
    int withs = 0;
    int trys = 0;
    for (size_t i = static_cast<size_t>(target); i < jumps_.size(); ++i) {
        withs += jumps_[i].withs;
        trys += jumps_[i].trys;
    }
    emitCounted(Op::Unwith, n.line, withs);
    emitCounted(Op::Untry, n.line, trys);
    // Values of the constructs left, innermost first. A finally clause runs
    // with one value (false) or two (the pending exception, true) below it:
    // `jf L; pop; L:` drops either.
    int keep = 0;
    auto flush = [&] {
        if (keep == 1)
            emit(Op::Pop, n.line);
        else
            emitCounted(Op::PopN, n.line, keep);
        keep = 0;
    };
    for (size_t i = jumps_.size() - 1; i > static_cast<size_t>(target); --i) {
        keep += jumps_[i].keep;
        if (jumps_[i].finallyFlag) {
            flush();
            int l = newLabel();
            emitJump(Op::Jf, l, n.line);
            emit(Op::Pop, n.line);
            placeLabel(l, n.line);
        }
    }
    flush();
    emitJump(Op::Jmp, isBreak ? jumps_[target].breakLabel : jumps_[target].continueLabel, n.line);
}

// return v: untry k (the handlers open in the function); v or pushundef; ret
void CodeGen::genReturn(Node& n) {
    int trys = 0;
    for (const JumpScope& j : jumps_)
        trys += j.trys;
    emitCounted(Op::Untry, n.line, trys);
    if (n.kids.empty())
        emit(Op::PushUndef, n.line);
    else
        genExpr(*n.kids[0]);
    emit(Op::Ret, n.line);
}

// with (o) s: o; with; s; unwith 1
void CodeGen::genWith(Node& n) {
    genExpr(*n.kids[0]);
    emit(Op::With, n.line);
    ++jumps_.back().withs;
    ++withDepth_;
    genStatement(*n.kids[1]);
    --withDepth_;
    --jumps_.back().withs;
    emit(Op::Unwith, n.line, 1);
}

// switch (d) { clauses }: d stays on the stack. Case clauses in source order:
//   Ltest: dup; case expression; stricteq; jf <next case test, the default
//   body, or the end>; Lbody: statements; jmp <next body or the end>
// A default clause is skipped by the tests; when it comes first it starts
// with a jmp to the first case test. End: pop.   (break: the end, keeps 1)
void CodeGen::genSwitch(Node& n) {
    int line = n.line;
    genExpr(*n.kids[0]);
    size_t clauses = n.kids.size() - 1;
    int end = newLabel();
    std::vector<int> tests(clauses, -1);
    std::vector<int> bodies(clauses);
    int defaultBody = -1;
    for (size_t i = 0; i < clauses; ++i) {
        bodies[i] = newLabel();
        if (n.kids[i + 1]->kids[0])
            tests[i] = newLabel();
        else
            defaultBody = bodies[i];
    }
    auto nextTest = [&](size_t from) {
        for (size_t k = from; k < clauses; ++k)
            if (tests[k] >= 0)
                return tests[k];
        return defaultBody >= 0 ? defaultBody : end;
    };
    JumpScope& j = pushJumpScope();
    j.breakLabel = end;
    j.keep = 1;
    for (size_t i = 0; i < clauses; ++i) {
        Node& clause = *n.kids[i + 1];
        if (tests[i] >= 0) {
            placeLabel(tests[i], clause.line);
            emit(Op::Dup, clause.line);
            genExpr(*clause.kids[0]);
            emit(Op::StrictEq, clause.line);
            emitJump(Op::Jf, nextTest(i + 1), clause.line);
        } else if (i == 0) {
            emitJump(Op::Jmp, nextTest(1) == defaultBody ? bodies[0] : nextTest(1), clause.line);
        }
        placeLabel(bodies[i], clause.line);
        for (size_t s = 1; s < clause.kids.size(); ++s)
            genStatement(*clause.kids[s]);
        emitJump(Op::Jmp, i + 1 < clauses ? bodies[i + 1] : end, clause.line);
    }
    popJumpScope();
    placeLabel(end, line);
    emit(Op::Pop, line);
}

// try S catch... finally F:
//   try Lc; S; untry 1; pushfalse; jmp Lfin
//   Lc: without catch clauses: pushtrue
//       with catch clauses: pushfalse; swap; try Linner;
//         per clause: Ltest: dup; setlocal e; [try Lg; guard; untry 1; jf next; jmp Lbody;
//         Lg: pop; jmp next]; Lbody: swap; pop; pushtrue; swap; handler; jmp Lnone
//       Lnone: untry 1; swap; jt Lhandled; pushtrue; jmp Lfin
//       Lhandled: pop; pushfalse; jmp Lfin
//       Linner: slide 2; pushtrue
//   Lfin: F; jf Lend; throw; Lend:
void CodeGen::genTry(Node& n) {
    int line = n.line;
    size_t catches = n.kids.size() - 2;
    Node* finally = n.kids.back().get();
    int lCatch = newLabel();
    int lFin = newLabel();
    int lEnd = newLabel();
    emitJump(Op::Try, lCatch, line);
    ++jumps_.back().trys;
    genStatement(*n.kids[0]);
    --jumps_.back().trys;
    emit(Op::Untry, line, 1);
    emit(Op::PushFalse, line);
    emitJump(Op::Jmp, lFin, line);
    placeLabel(lCatch, line);
    if (catches == 0) {
        emit(Op::PushTrue, line);
    } else {
        int lInner = newLabel();
        int lNone = newLabel();
        int lHandled = newLabel();
        emit(Op::PushFalse, line);
        emit(Op::Swap, line);
        emitJump(Op::Try, lInner, line);
        // While the clauses run, [flag, exception] stay on the stack and the
        // inner handler is installed; a break or continue leaving a handler
        // drops both.
        JumpScope& j = pushJumpScope();
        j.keep = 2;
        j.trys = 1;
        std::vector<int> tests(catches);
        for (int& t : tests)
            t = newLabel();
        for (size_t i = 0; i < catches; ++i) {
            Node& clause = *n.kids[i + 1];
            int cl = clause.line;
            int next = i + 1 < catches ? tests[i + 1] : lNone;
            int body = newLabel();
            placeLabel(tests[i], cl);
            pushScope();
            Symbol e = declareLocal(clause.name, cl);
            emit(Op::Dup, cl);
            emit(e.argument ? Op::SetArg : Op::SetLocal, cl, e.slot);
            if (Node* guard = clause.kids[0].get()) {
                int lGuard = newLabel();
                emitJump(Op::Try, lGuard, cl);
                ++jumps_.back().trys;
                genExpr(*guard);
                --jumps_.back().trys;
                emit(Op::Untry, cl, 1);
                emitJump(falseJump(*guard), next, cl);
                emitJump(Op::Jmp, body, cl);
                placeLabel(lGuard, cl);
                emit(Op::Pop, cl);
                emitJump(Op::Jmp, next, cl);
            }
            placeLabel(body, cl);
            emit(Op::Swap, cl);
            emit(Op::Pop, cl);
            emit(Op::PushTrue, cl);
            emit(Op::Swap, cl);
            genStatement(*clause.kids[1]);
            emitJump(Op::Jmp, lNone, cl);
            popScope();
        }
        popJumpScope();
        placeLabel(lNone, line);
        emit(Op::Untry, line, 1);
        emit(Op::Swap, line);
        emitJump(Op::Jt, lHandled, line);
        emit(Op::PushTrue, line);
        emitJump(Op::Jmp, lFin, line);
        placeLabel(lHandled, line);
        emit(Op::Pop, line);
        emit(Op::PushFalse, line);
        emitJump(Op::Jmp, lFin, line);
        placeLabel(lInner, line);
        emit(Op::Slide, line, 2);
        emit(Op::PushTrue, line);
    }
    placeLabel(lFin, line);
    if (finally) {
        JumpScope& j = pushJumpScope();
        j.finallyFlag = true;
        genStatement(*finally);
        popJumpScope();
    }
    emitJump(Op::Jf, lEnd, line);
    emit(Op::Throw, line);
    placeLabel(lEnd, line);
}

// L: s: L1: s; L2:    (break L: L2; continue L: the continue point of loop s)
void CodeGen::genLabelled(Node& n) {
    int l1 = newLabel();
    int l2 = newLabel();
    std::vector<std::string> labels = takePendingLabels();
    labels.push_back(n.name);
    JumpScope& j = pushJumpScope();
    j.label = n.name;
    j.breakLabel = l2;
    placeLabel(l1, n.line);
    pendingLabels_ = std::move(labels);
    genStatement(*n.kids[0]);
    pendingLabels_.clear();
    popJumpScope();
    placeLabel(l2, n.line);
}

} // namespace quill
