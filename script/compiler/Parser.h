#pragma once
// The Quill parser: one recursive-descent pass over the tokens that builds a
// syntax tree per function and one for the top-level code, and hands each
// function to the code generator as soon as its definition is complete (inner
// functions therefore come before the function that contains them).

#include "script/compiler/Ast.h"
#include "script/compiler/Diagnostics.h"
#include "script/compiler/Lexer.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quill {

// Where the parser delivers its trees.
class TreeSink {
public:
    virtual ~TreeSink() = default;
    virtual void function(FunctionDef& def) = 0;
    virtual void main(std::vector<NodePtr>& statements, int endLine) = 0;
};

struct ParserOptions {
    bool warnSemicolon = false; // warn "missing ;" at each inserted semicolon
    bool ecmaWarnings = false;  // the lexer's line-terminator warning
};

// Deepest nesting of statements and expressions the parser follows. Each level
// costs a run of recursive calls on the native stack, in the parser and again
// in the code generator.
inline constexpr int kMaxNesting = 200;
// Highest syntax tree accepted; left-associative chains (a + b + c ...) grow
// trees without nesting in the text, and every pass over a tree recurses.
inline constexpr int kMaxTreeDepth = 5000;
// The `args` operand is one byte and counts `this` and the argument count
// slot besides the parameters.
inline constexpr int kMaxParameters = 255 - 2;

class Parser {
public:
    Parser(std::string_view source, Diagnostics& diagnostics, TreeSink& sink, ParserOptions options);

    // Parses the whole program; errors unwind as CompileError.
    void parseProgram();

    // The messages of a parenthesised expression: a missing '(', an
    // expression that cannot start, a missing ')'.
    struct ParenTexts {
        const char* open;
        const char* invalid;
        const char* close;
    };

private:
    // Tokens.
    void advance();
    bool accept(int kind);
    int lookLine() const { return tok_.line; }
    [[noreturn]] void fail(std::string_view message);
    [[noreturn]] void failPlain(std::string_view message);
    void expectSemicolon();
    bool startsExpression() const;
    bool startsStatement() const;

    // Trees.
    NodePtr node(NodeKind kind) { return makeNode(kind, tok_.line); }
    NodePtr node(NodeKind kind, int line) { return makeNode(kind, line); }
    void add(Node& parent, NodePtr child);

    // Statements.
    NodePtr parenthesized(const ParenTexts& texts);
    NodePtr statement();
    NodePtr block();
    NodePtr varStatement(bool forHead);
    NodePtr ifStatement();
    NodePtr whileStatement();
    NodePtr doStatement();
    NodePtr forStatement();
    NodePtr jumpStatement(NodeKind kind);
    NodePtr returnStatement();
    NodePtr withStatement();
    NodePtr switchStatement();
    NodePtr throwStatement();
    NodePtr tryStatement();
    NodePtr functionStatement();
    NodePtr structStatement();
    NodePtr dllimportStatement();

    // Functions: parses a definition, delivers it, returns its global name.
    FunctionDef* functionDefinition();

    // Expressions, lowest precedence first.
    NodePtr expression();
    NodePtr assignment();
    NodePtr conditional();
    NodePtr binary(int level);
    NodePtr unary();
    NodePtr postfix();
    NodePtr callExpression();
    NodePtr memberExpression();
    NodePtr memberAccess(NodePtr object);
    NodePtr primary();
    NodePtr arrayLiteral();
    NodePtr objectLiteral();
    void arguments(Node& call);
    void checkTarget(const Node& target);

    // Structure and DLL-import declarations.
    std::string structMembers();
    bool readType(std::string& text, bool allowVoid, bool& sawVoid);

    Lexer lexer_;
    Diagnostics& diag_;
    TreeSink& sink_;
    ParserOptions options_;
    Token tok_;
    int lastLine_ = 1; // line of the last consumed token
    int nesting_ = 0;

    // Functions being parsed, innermost last.
    std::vector<FunctionDef*> functions_;
    std::vector<std::unique_ptr<FunctionDef>> done_;
    int anonymousCount_ = 0;
    std::unordered_set<std::string> structNames_;
    std::vector<std::string> labels_; // enclosing labelled statements

    friend struct NestingGuard;
};

} // namespace quill
