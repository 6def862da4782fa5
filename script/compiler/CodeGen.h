#pragma once
// The Quill code generator: lowers the parser's trees to the instruction list,
// resolving names through the block scopes of the function being compiled and
// keeping the jump scopes that break, continue and return unwind through.

#include "script/compiler/Instructions.h"
#include "script/compiler/Parser.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace quill {

// Local slots are numbered by the 16-bit operand of getlocal/setlocal, and
// `locals n` reserves them with a 16-bit count.
inline constexpr int kMaxLocals = 0xFFFF;
// untry, unwith, popn and slide take one-byte counts; larger counts are
// written as several instructions.
inline constexpr int kMaxByteCount = 0xFF;

class CodeGen : public TreeSink {
public:
    CodeGen(Diagnostics& diagnostics, InstrList& out);

    void function(FunctionDef& def) override;
    void main(std::vector<NodePtr>& statements, int endLine) override;

private:
    // Block scopes: names of arguments and locals.
    struct Symbol {
        bool argument = false;
        int slot = 0;
    };
    struct Scope {
        std::unordered_map<std::string, Symbol> names;
        int parent = -1;
        int nextSlot = 0;
    };
    // Jump scopes: loops, switches, labelled statements, catch clauses and the
    // root of the function.
    struct JumpScope {
        int breakLabel = -1;    // -1: not a break target
        int continueLabel = -1; // -1: not a continue target
        std::string label;      // labelled statements
        std::vector<std::string> loopLabels; // labels that name this loop
        int keep = 0;           // values kept on the stack while the body runs
        bool finallyFlag = false; // a finally clause: [false] or [exception, true] below
        int withs = 0;          // with blocks open directly inside
        int trys = 0;           // try handlers open directly inside
    };

    void beginFunction(const std::string& globalName, int line);
    void endFunction();

    // Instructions.
    void emit(Op op, int line, int64_t operand = 0);
    void emitName(Op op, int line, const std::string& name);
    void emitConstant(int line, CodeConstant c);
    void emitCounted(Op op, int line, int count); // splits one-byte counts
    void emitInteger(int64_t value, int line);
    void emitCount(int count, int line);
    int newLabel() { return out_.labelCount++; }
    void placeLabel(int label, int line);
    void emitJump(Op op, int label, int line) { emit(op, line, label); }
    Op falseJump(const Node& cond) const { return cond.boolean ? Op::Jf : Op::JFalse; }
    Op trueJump(const Node& cond) const { return cond.boolean ? Op::Jt : Op::JTrue; }

    // Scopes.
    void pushScope();
    void popScope();
    const Symbol* lookup(const std::string& name) const;
    Symbol declareLocal(const std::string& name, int line);

    // Names.
    void genLoadName(const Node& id);
    void genStoreName(const std::string& name, int line, bool forceGlobal = false);

    // Expressions: each leaves exactly one value.
    void genExpr(Node& n);
    void genValue(Node& n); // an expression or a function definition used as a value
    void genLoad(Node& target);
    void genStore(Node& target, int line);
    void genCall(Node& n);
    void genNew(Node& n);
    void genAssign(Node& n);
    void genPrefix(Node& n);
    void genPostfix(Node& n);
    void genDelete(Node& operand, int line);

    // Statements.
    void genStatement(Node& n);
    void genStatements(std::vector<NodePtr>& list);
    void genVar(Node& n);
    void genIf(Node& n);
    void genWhile(Node& n);
    void genDoWhile(Node& n);
    void genFor(Node& n);
    void genForIn(Node& n);
    void genJump(Node& n);
    void genReturn(Node& n);
    void genWith(Node& n);
    void genSwitch(Node& n);
    void genTry(Node& n);
    void genLabelled(Node& n);
    JumpScope& pushJumpScope();
    void popJumpScope();
    std::vector<std::string> takePendingLabels();

    Diagnostics& diag_;
    InstrList& out_;

    // Per function. The code goes straight into the output list; the current
    // function's code starts at funcStart_.
    std::vector<Instr>& code_;
    size_t funcStart_ = 0;
    std::vector<Scope> scopes_;
    int scope_ = -1;
    int maxSlots_ = 0;
    std::vector<JumpScope> jumps_;
    std::vector<std::string> pendingLabels_;
    int withDepth_ = 0;
    bool inMain_ = false;
    int mainScope_ = -1;
    std::string globalName_;
};

} // namespace quill
