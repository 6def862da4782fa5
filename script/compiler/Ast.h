#pragma once
// Syntax trees of the Quill parser: one tree per function and one for the
// top-level code. Nodes carry their line and a static type (Boolean or not)
// that lets the code generator pick the Boolean-only conditional jumps.

#include "script/compiler/Token.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quill {

// Node kinds, numbered as the compiler has always numbered them.
enum class NodeKind : uint8_t {
    Comma = 0,       // kids: a, b
    Assign = 1,      // op '=' or a compound token; kids: target, value
    Conditional = 2, // kids: c, a, b
    Logical = 3,     // op kTokAndAnd / kTokOrOr; kids: a, b
    Bitwise = 4,     // op '&' '^' '|'
    Equality = 5,
    Relational = 6,
    Shift = 7,
    Multiplicative = 8,
    Additive = 9,
    This = 10,
    Null = 11,
    True = 12,
    False = 13,
    Identifier = 14, // name
    Number = 15,     // number
    Integer = 16,    // integer
    String = 17,     // text
    Call = 18,       // kids: callee, arguments...
    Property = 19,   // name; kids: object
    Element = 20,    // kids: object, key
    New = 21,        // kids: constructor, arguments...
    Postfix = 26,    // op kTokInc / kTokDec; kids: target
    Prefix = 27,     // op; kids: operand
    RegExp = 28,     // regexp
    ArrayLiteral = 29, // kids: elements (holes are Empty nodes)
    ObjectLiteral = 30, // kids: key, value, key, value... (keys Integer/String/Identifier)
    Block = 31,      // kids: statements
    FunctionBinding = 32, // name: declared name; text: generated global name; label: enclosing global name
    Var = 33,        // kids: Identifier nodes, each with its initialiser as kid 0 when given; flag: top level
    Empty = 34,      // empty statement, array hole, case clause, catch clause (see Switch, Try)
    ExpressionStatement = 35, // kids: expression
    If = 36,         // kids: c, then, [else]
    While = 37,      // kids: c, body
    For = 38,        // kids: init, cond, update, body (absent parts null); init a Var or an expression
    ForIn = 39,      // name: variable; flag: declared with var; kids: initialiser or null, object, body
    Continue = 40,   // name: label or empty
    Break = 41,      // name: label or empty
    Return = 42,     // kids: [value]
    With = 43,       // kids: object, body
    Try = 44,        // kids: body, catch clauses..., then the finally statement or null
    Throw = 45,      // kids: value
    DoWhile = 46,    // kids: body, c
    Switch = 47,     // kids: discriminant, clauses... (Empty nodes: kid 0 the case expression or null for default, then statements)
    Labelled = 48,   // name: label; kids: statement
    Function = 49,   // a function definition used as a value; text: its global name
    Undefined = 50,
    Struct = 51,     // name: structure name; text: descriptor
    DllImport = 52,  // kids: the call of Dll.registerFunction
};

struct Node;
using NodePtr = std::unique_ptr<Node>;

struct Node {
    NodeKind kind;
    int line = 0;
    bool boolean = false; // static type Boolean
    bool flag = false;    // Var: at top level; ForIn: declared with var
    int op = 0;           // operator token
    int64_t integer = 0;
    double number = 0;
    std::string name;
    std::string text;
    std::string label;
    RegExpLiteral regexp;
    int depth = 1; // height of the tree below and including this node
    std::vector<NodePtr> kids;

    Node(NodeKind k, int l) : kind(k), line(l) {}
};

inline NodePtr makeNode(NodeKind kind, int line) { return std::make_unique<Node>(kind, line); }

// One function of the image.
struct FunctionDef {
    std::string globalName;   // the name it is registered under
    std::string declaredName; // the name written after `function`, or empty
    std::vector<std::string> params;
    NodePtr body;             // a Block
    int line = 0;             // of `function`
    int endLine = 0;          // of the closing brace
    bool usesArguments = false;
};

} // namespace quill
