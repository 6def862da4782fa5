// The Quill parser.
//
// Reading order: the token helpers and automatic semicolons first, then the
// program and statement productions (in the order of the statement list),
// function definitions, the expression productions from the lowest precedence
// (comma) to the highest (primary expressions and literals), and last the
// structure and DLL-import declarations. Each parse function opens with the
// production it accepts. Trees are handed to the code generator through
// TreeSink: a function as soon as its closing brace is read, the top-level
// code at the end of input.

#include "script/compiler/Parser.h"

#include <algorithm>
#include <array>

namespace quill {

// Counts one level of nesting for the lifetime of a parse function.
struct NestingGuard {
    Parser& p;
    explicit NestingGuard(Parser& parser) : p(parser) {
        if (++p.nesting_ > kMaxNesting)
            p.failPlain("program too deeply nested");
    }
    ~NestingGuard() { --p.nesting_; }
};

Parser::Parser(std::string_view source, Diagnostics& diagnostics, TreeSink& sink, ParserOptions options)
    : lexer_(source, diagnostics, options.ecmaWarnings), diag_(diagnostics), sink_(sink), options_(options) {}

// ===========================================================================
// Tokens
// ===========================================================================

void Parser::advance() {
    lastLine_ = tok_.line;
    tok_ = lexer_.next();
}

bool Parser::accept(int kind) {
    if (tok_.kind != kind)
        return false;
    advance();
    return true;
}

void Parser::fail(std::string_view message) { diag_.syntaxError(tok_.line, message); }

void Parser::failPlain(std::string_view message) { diag_.error(tok_.line, message); }

// A ';' where one is expected, or an automatic one: before '}', at the end of
// input, or before a token on a later line than the last consumed token.
void Parser::expectSemicolon() {
    if (accept(';'))
        return;
    if (tok_.kind == '}' || tok_.kind == kTokEnd || tok_.line > lastLine_) {
        if (options_.warnSemicolon)
            diag_.warning(lastLine_, "missing ;");
        return;
    }
    failPlain("missing ;");
}

bool Parser::startsExpression() const {
    switch (tok_.kind) {
    case '(': case '[': case '{': case '/': case kTokDivAssign:
    case '!': case '~': case '+': case '-': case kTokInc: case kTokDec:
    case kTokInteger: case kTokNumber: case kTokString: case kTokIdentifier:
    case kTokThis: case kTokNull: case kTokTrue: case kTokFalse: case kTokUndefined:
    case kTokNew: case kTokDelete: case kTokTypeof: case kTokVoid:
        return true;
    default:
        return false;
    }
}

bool Parser::startsStatement() const {
    switch (tok_.kind) {
    case '{': case ';': case kTokVar: case kTokIf: case kTokDo: case kTokWhile: case kTokFor:
    case kTokContinue: case kTokBreak: case kTokReturn: case kTokWith: case kTokSwitch:
    case kTokThrow: case kTokTry: case kTokFunction: case kTokStruct: case kTokDllimport:
        return true;
    default:
        return startsExpression();
    }
}

void Parser::add(Node& parent, NodePtr child) {
    if (child) {
        parent.depth = std::max(parent.depth, child->depth + 1);
        if (parent.depth > kMaxTreeDepth)
            failPlain("program too deeply nested");
    }
    parent.kids.push_back(std::move(child));
}

// ===========================================================================
// Program and statements
// ===========================================================================

// Program: { FunctionDefinition | Statement } end-of-input
void Parser::parseProgram() {
    advance();
    std::vector<NodePtr> statements;
    while (tok_.kind != kTokEnd) {
        if (!startsStatement())
            fail("invalid statement");
        statements.push_back(statement());
    }
    sink_.main(statements, tok_.line);
}

// Statement: Block | VarStatement | ';' | IfStatement | DoStatement
//          | WhileStatement | ForStatement | ContinueStatement | BreakStatement
//          | ReturnStatement | WithStatement | SwitchStatement | ThrowStatement
//          | TryStatement | FunctionDefinition | StructDeclaration
//          | DllImport | identifier ':' Statement | Expression ';'
NodePtr Parser::statement() {
    NestingGuard guard(*this);
    switch (tok_.kind) {
    case '{': return block();
    case kTokVar: {
        NodePtr v = varStatement(false);
        expectSemicolon();
        return v;
    }
    case ';': {
        NodePtr n = node(NodeKind::Empty);
        advance();
        return n;
    }
    case kTokIf: return ifStatement();
    case kTokDo: return doStatement();
    case kTokWhile: return whileStatement();
    case kTokFor: return forStatement();
    case kTokContinue: return jumpStatement(NodeKind::Continue);
    case kTokBreak: return jumpStatement(NodeKind::Break);
    case kTokReturn: return returnStatement();
    case kTokWith: return withStatement();
    case kTokSwitch: return switchStatement();
    case kTokThrow: return throwStatement();
    case kTokTry: return tryStatement();
    case kTokFunction: return functionStatement();
    case kTokStruct: return structStatement();
    case kTokDllimport: return dllimportStatement();
    default: break;
    }
    if (!startsExpression())
        fail("invalid statement");
    int line = tok_.line;
    NodePtr e = expression();
    // identifier ':' Statement, the colon on the identifier's line.
    if (e->kind == NodeKind::Identifier && tok_.kind == ':' && tok_.line == e->line) {
        if (std::find(labels_.begin(), labels_.end(), e->name) != labels_.end())
            fail("invalid label");
        advance();
        NodePtr l = node(NodeKind::Labelled, line);
        l->name = e->name;
        labels_.push_back(e->name);
        if (!startsStatement())
            fail("invalid statement");
        add(*l, statement());
        labels_.pop_back();
        return l;
    }
    NodePtr s = node(NodeKind::ExpressionStatement, line);
    add(*s, std::move(e));
    expectSemicolon();
    return s;
}

// Block: '{' { Statement } '}'     ("{}" is an empty statement)
NodePtr Parser::block() {
    int line = tok_.line;
    advance();
    if (accept('}'))
        return node(NodeKind::Empty, line);
    NodePtr b = node(NodeKind::Block, line);
    while (tok_.kind != '}') {
        if (tok_.kind == kTokEnd)
            fail("missing } after block");
        if (!startsStatement())
            fail("invalid statement");
        add(*b, statement());
    }
    advance();
    return b;
}

// VarStatement: 'var' identifier ['=' AssignmentExpression] {',' ...}
// (the ';' is taken by the caller)
NodePtr Parser::varStatement(bool forHead) {
    NodePtr v = node(NodeKind::Var);
    v->flag = functions_.empty();
    advance();
    for (;;) {
        if (tok_.kind != kTokIdentifier)
            fail("missing variable name");
        NodePtr d = node(NodeKind::Identifier);
        d->name = tok_.text;
        advance();
        if (accept('=')) {
            if (!startsExpression())
                fail("invalid variable initialization");
            add(*d, assignment());
        }
        add(*v, std::move(d));
        if (!accept(','))
            break;
    }
    (void)forHead;
    return v;
}

// '(' Expression ')' with the messages of the statement it belongs to.
NodePtr Parser::parenthesized(const ParenTexts& texts) {
    if (!accept('('))
        fail(texts.open);
    if (!startsExpression())
        fail(texts.invalid);
    NodePtr e = expression();
    if (!accept(')'))
        fail(texts.close);
    return e;
}

namespace {
// The condition of if, while and do-while.
constexpr Parser::ParenTexts kConditionTexts{"missing ( before condition", "invalid condition expression",
                                             "missing ) after condition"};
} // namespace

// IfStatement: 'if' '(' Expression ')' Statement ['else' Statement]
NodePtr Parser::ifStatement() {
    NodePtr n = node(NodeKind::If);
    advance();
    add(*n, parenthesized(kConditionTexts));
    if (!startsStatement())
        fail("invalid statement");
    add(*n, statement());
    if (accept(kTokElse)) {
        if (!startsStatement())
            fail("invalid statement");
        add(*n, statement());
    }
    return n;
}

// WhileStatement: 'while' '(' Expression ')' Statement
NodePtr Parser::whileStatement() {
    NodePtr n = node(NodeKind::While);
    advance();
    add(*n, parenthesized(kConditionTexts));
    if (!startsStatement())
        fail("invalid statement");
    add(*n, statement());
    return n;
}

// DoStatement: 'do' Statement 'while' '(' Expression ')' ';'
NodePtr Parser::doStatement() {
    NodePtr n = node(NodeKind::DoWhile);
    advance();
    if (!startsStatement())
        fail("invalid statement");
    add(*n, statement());
    if (!accept(kTokWhile))
        fail("missing while after do-loop body");
    add(*n, parenthesized(kConditionTexts));
    expectSemicolon();
    return n;
}

// ForStatement: 'for' '(' [VarStatement | Expression] ';' [Expression] ';' [Expression] ')' Statement
//             | 'for' '(' 'var' identifier ['=' AssignmentExpression] 'in' Expression ')' Statement
//             | 'for' '(' identifier 'in' Expression ')' Statement
NodePtr Parser::forStatement() {
    int line = tok_.line;
    advance();
    if (!accept('('))
        fail("missing ( after for");
    NodePtr init;
    if (tok_.kind == kTokVar) {
        init = varStatement(true);
    } else if (tok_.kind != ';') {
        if (!startsExpression())
            fail("invalid for-loop initializer or for-in expression");
        init = expression();
    }
    if (tok_.kind == kTokIn) {
        NodePtr n = node(NodeKind::ForIn, line);
        if (init->kind == NodeKind::Var) {
            if (init->kids.size() != 1)
                fail("more than one variable declaration");
            Node& d = *init->kids[0];
            n->flag = true;
            n->name = d.name;
            add(*n, d.kids.empty() ? nullptr : std::move(d.kids[0]));
        } else {
            if (init->kind != NodeKind::Identifier)
                fail("illegal identifier");
            n->name = init->name;
            add(*n, nullptr);
        }
        advance();
        if (!startsExpression())
            fail("invalid for-loop initializer or for-in expression");
        add(*n, expression());
        if (!accept(')'))
            fail("missing ) after for-loop control");
        if (!startsStatement())
            fail("invalid statement");
        add(*n, statement());
        return n;
    }
    NodePtr n = node(NodeKind::For, line);
    add(*n, std::move(init));
    if (!accept(';'))
        fail("missing ; after for-loop initializer");
    if (tok_.kind != ';') {
        if (!startsExpression())
            fail("invalid for-loop condition expression");
        add(*n, expression());
    } else {
        add(*n, nullptr);
    }
    if (!accept(';'))
        fail("missing ; after for-loop condition");
    if (tok_.kind != ')') {
        if (!startsExpression())
            fail("invalid for-loop control expression");
        add(*n, expression());
    } else {
        add(*n, nullptr);
    }
    if (!accept(')'))
        fail("missing ) after for-loop control");
    if (!startsStatement())
        fail("invalid statement");
    add(*n, statement());
    return n;
}

// ContinueStatement: 'continue' [identifier] ';'
// BreakStatement:    'break' [identifier] ';'     (the label on the same line)
NodePtr Parser::jumpStatement(NodeKind kind) {
    NodePtr n = node(kind);
    advance();
    if (tok_.kind == kTokIdentifier && tok_.line == lastLine_) {
        n->name = tok_.text;
        advance();
    }
    expectSemicolon();
    return n;
}

// ReturnStatement: 'return' [Expression] ';'   (the expression on the same line)
NodePtr Parser::returnStatement() {
    NodePtr n = node(NodeKind::Return);
    advance();
    if (tok_.line == lastLine_ && tok_.kind != ';' && tok_.kind != '}' && tok_.kind != kTokEnd) {
        if (!startsExpression())
            fail("invalid return");
        add(*n, expression());
    }
    expectSemicolon();
    return n;
}

// WithStatement: 'with' '(' Expression ')' Statement
NodePtr Parser::withStatement() {
    NodePtr n = node(NodeKind::With);
    advance();
    add(*n, parenthesized({"missing ( before with-statement object", "invalid with-statement object",
                           "missing ) after with-statement object"}));
    if (!startsStatement())
        fail("invalid with block");
    add(*n, statement());
    return n;
}

// SwitchStatement: 'switch' '(' Expression ')' '{' { CaseClause } '}'
// CaseClause:      'case' Expression ':' { Statement } | 'default' ':' { Statement }
NodePtr Parser::switchStatement() {
    NodePtr n = node(NodeKind::Switch);
    advance();
    add(*n, parenthesized({"missing ( before switch expression", "invalid switch expression",
                           "missing ) after switch expression"}));
    if (!accept('{'))
        fail("missing { before switch body");
    bool sawDefault = false;
    Node* clause = nullptr;
    for (;;) {
        if (accept('}'))
            break;
        if (tok_.kind == kTokCase || tok_.kind == kTokDefault) {
            NodePtr c = node(NodeKind::Empty);
            if (tok_.kind == kTokDefault) {
                if (sawDefault)
                    failPlain("more than one switch default");
                sawDefault = true;
                advance();
                add(*c, nullptr);
            } else {
                advance();
                if (!startsExpression())
                    fail("invalid case expression");
                add(*c, expression());
            }
            if (!accept(':'))
                fail("missing : after case label");
            clause = c.get();
            add(*n, std::move(c));
            continue;
        }
        if (clause == nullptr || !startsStatement())
            fail("missing } after switch block");
        NodePtr s = statement();
        add(*clause, std::move(s));
        n->depth = std::max(n->depth, clause->depth + 1);
    }
    return n;
}

// ThrowStatement: 'throw' Expression ';'
NodePtr Parser::throwStatement() {
    NodePtr n = node(NodeKind::Throw);
    advance();
    if (!startsExpression() || tok_.line != lastLine_)
        fail("invalid throw");
    add(*n, expression());
    expectSemicolon();
    return n;
}

// TryStatement: 'try' Statement { 'catch' '(' identifier ['if' Expression] ')' Statement }
//               ['finally' Statement]     (at least one catch or the finally)
NodePtr Parser::tryStatement() {
    NodePtr n = node(NodeKind::Try);
    advance();
    if (!startsStatement())
        fail("invalid statement");
    add(*n, statement());
    bool any = false;
    while (tok_.kind == kTokCatch) {
        any = true;
        NodePtr c = node(NodeKind::Empty);
        advance();
        if (!accept('('))
            fail("missing ( before catch");
        if (tok_.kind != kTokIdentifier)
            fail("missing identifier in catch");
        c->name = tok_.text;
        advance();
        if (accept(kTokIf)) {
            if (!startsExpression())
                fail("invalid expression");
            add(*c, expression());
        } else {
            add(*c, nullptr);
        }
        if (!accept(')'))
            fail("missing ) after catch");
        if (!startsStatement())
            fail("invalid statement");
        add(*c, statement());
        add(*n, std::move(c));
    }
    if (accept(kTokFinally)) {
        any = true;
        if (!startsStatement())
            fail("invalid statement");
        add(*n, statement());
    } else {
        if (!any)
            fail("missing catch or finally after try");
        add(*n, nullptr);
    }
    return n;
}

// A function definition standing as a statement. Inside another function a
// named definition is bound to its declared name at run time.
NodePtr Parser::functionStatement() {
    int line = tok_.line;
    bool nested = !functions_.empty();
    std::string enclosing = nested ? functions_.back()->globalName : std::string();
    FunctionDef* def = functionDefinition();
    if (nested && !def->declaredName.empty()) {
        NodePtr b = node(NodeKind::FunctionBinding, line);
        b->name = def->declaredName;
        b->text = def->globalName;
        b->label = enclosing;
        return b;
    }
    return node(NodeKind::Empty, line);
}

// ===========================================================================
// Function definitions
// ===========================================================================

// FunctionDefinition: 'function' [identifier] '(' [identifier {',' identifier}] ')' Block
FunctionDef* Parser::functionDefinition() {
    auto def = std::make_unique<FunctionDef>();
    def->line = tok_.line;
    advance();
    if (tok_.kind == kTokIdentifier) {
        def->declaredName = tok_.text;
        advance();
    }
    if (def->declaredName.empty() || !functions_.empty())
        def->globalName = "@F_" + std::to_string(anonymousCount_++);
    else
        def->globalName = def->declaredName;
    if (!accept('('))
        fail("missing ( before formal parameters");
    if (tok_.kind != ')') {
        for (;;) {
            if (tok_.kind != kTokIdentifier)
                fail("missing ) after formal parameters");
            if (def->params.size() == static_cast<size_t>(kMaxParameters))
                failPlain("too many formal parameters");
            def->params.push_back(tok_.text);
            advance();
            if (!accept(','))
                break;
        }
    }
    if (!accept(')'))
        fail("missing ) after formal parameters");
    if (tok_.kind != '{')
        fail("invalid function body");
    functions_.push_back(def.get());
    NestingGuard guard(*this);
    std::vector<std::string> outerLabels;
    outerLabels.swap(labels_);
    int line = tok_.line;
    advance();
    def->body = node(NodeKind::Block, line);
    while (tok_.kind != '}') {
        if (tok_.kind == kTokEnd)
            fail("missing } after block");
        if (!startsStatement())
            fail("invalid statement");
        add(*def->body, statement());
    }
    def->endLine = tok_.line;
    labels_.swap(outerLabels);
    functions_.pop_back();
    // The token after the body is read only after the function has been
    // delivered, so that messages keep their order.
    FunctionDef* result = def.get();
    sink_.function(*def);
    def->body.reset();
    done_.push_back(std::move(def));
    advance();
    return result;
}

// ===========================================================================
// Expressions
// ===========================================================================

// Expression: AssignmentExpression {',' AssignmentExpression}
NodePtr Parser::expression() {
    NodePtr e = assignment();
    while (tok_.kind == ',') {
        NodePtr c = node(NodeKind::Comma);
        advance();
        add(*c, std::move(e));
        add(*c, assignment());
        e = std::move(c);
    }
    return e;
}

namespace {
bool isAssignmentOperator(int kind) {
    switch (kind) {
    case '=': case kTokMulAssign: case kTokDivAssign: case kTokModAssign: case kTokAddAssign:
    case kTokSubAssign: case kTokAndAssign: case kTokXorAssign: case kTokOrAssign:
    case kTokShlAssign: case kTokShrAssign: case kTokUshrAssign:
        return true;
    default:
        return false;
    }
}
} // namespace

void Parser::checkTarget(const Node& target) {
    if (target.kind != NodeKind::Identifier && target.kind != NodeKind::Property &&
        target.kind != NodeKind::Element)
        diag_.syntaxError(target.line, "invalid expression");
}

// AssignmentExpression: ConditionalExpression
//                     | CallExpression AssignmentOperator AssignmentExpression
//                     | CallExpression '=' FunctionDefinition
NodePtr Parser::assignment() {
    NestingGuard guard(*this);
    NodePtr left = conditional();
    if (!isAssignmentOperator(tok_.kind))
        return left;
    checkTarget(*left);
    NodePtr a = node(NodeKind::Assign);
    a->op = tok_.kind;
    advance();
    add(*a, std::move(left));
    if (a->op == '=' && tok_.kind == kTokFunction) {
        NodePtr f = node(NodeKind::Function);
        f->text = functionDefinition()->globalName;
        add(*a, std::move(f));
    } else {
        if (!startsExpression())
            fail("invalid expression");
        add(*a, assignment());
    }
    return a;
}

// ConditionalExpression: LogicalOrExpression ['?' AssignmentExpression ':' AssignmentExpression]
NodePtr Parser::conditional() {
    NodePtr c = binary(0);
    if (tok_.kind != '?')
        return c;
    NodePtr n = node(NodeKind::Conditional);
    advance();
    add(*n, std::move(c));
    add(*n, assignment());
    if (!accept(':'))
        fail("missing : in conditional expression");
    add(*n, assignment());
    return n;
}

namespace {
// Binary operators by precedence level, lowest first: each level's node kind
// and tokens (0 ends a list).
struct BinaryLevel {
    NodeKind kind;
    std::array<int, 5> ops;
};
constexpr BinaryLevel kBinaryLevels[] = {
    {NodeKind::Logical, {kTokOrOr}},
    {NodeKind::Logical, {kTokAndAnd}},
    {NodeKind::Bitwise, {'|'}},
    {NodeKind::Bitwise, {'^'}},
    {NodeKind::Bitwise, {'&'}},
    {NodeKind::Equality, {kTokEq, kTokNe, kTokStrictEq, kTokStrictNe}},
    {NodeKind::Relational, {'<', '>', kTokLe, kTokGe}},
    {NodeKind::Shift, {kTokShl, kTokShr, kTokUshr}},
    {NodeKind::Additive, {'+', '-'}},
    {NodeKind::Multiplicative, {'*', '/', '%'}},
};
constexpr int kBinaryLevelCount = static_cast<int>(std::size(kBinaryLevels));
} // namespace

// LogicalOrExpression .. MultiplicativeExpression, one level per call:
//   Level(i): Level(i+1) { operator-of-level-i Level(i+1) }     (left-associative)
NodePtr Parser::binary(int level) {
    if (level == kBinaryLevelCount)
        return unary();
    NodePtr left = binary(level + 1);
    const BinaryLevel& l = kBinaryLevels[level];
    for (;;) {
        int op = tok_.kind;
        if (op == 0 || std::find(l.ops.begin(), l.ops.end(), op) == l.ops.end())
            return left;
        NodePtr n = node(l.kind);
        n->op = op;
        advance();
        if (!startsExpression())
            fail("invalid expression");
        NodePtr right = binary(level + 1);
        if (l.kind == NodeKind::Equality || l.kind == NodeKind::Relational)
            n->boolean = true;
        else if (l.kind == NodeKind::Logical)
            n->boolean = left->boolean && right->boolean;
        add(*n, std::move(left));
        add(*n, std::move(right));
        left = std::move(n);
    }
}

// UnaryExpression: PostfixExpression
//                | ('!' | '+' | '-' | '~' | 'delete' | 'typeof' | 'void' | '++' | '--') UnaryExpression
NodePtr Parser::unary() {
    switch (tok_.kind) {
    case '!': case '+': case '-': case '~': case kTokDelete: case kTokTypeof: case kTokVoid:
    case kTokInc: case kTokDec: {
        NestingGuard guard(*this);
        NodePtr n = node(NodeKind::Prefix);
        n->op = tok_.kind;
        advance();
        if (!startsExpression())
            fail("invalid expression");
        NodePtr operand = unary();
        if (n->op == kTokInc || n->op == kTokDec)
            checkTarget(*operand);
        add(*n, std::move(operand));
        return n;
    }
    default:
        return postfix();
    }
}

// PostfixExpression: CallExpression [('++' | '--') on the operand's line]
NodePtr Parser::postfix() {
    NodePtr e = callExpression();
    if ((tok_.kind == kTokInc || tok_.kind == kTokDec) && tok_.line == lastLine_) {
        checkTarget(*e);
        NodePtr n = node(NodeKind::Postfix);
        n->op = tok_.kind;
        advance();
        add(*n, std::move(e));
        return n;
    }
    return e;
}

// Arguments: '(' [AssignmentExpression {',' AssignmentExpression}] ')'
void Parser::arguments(Node& call) {
    advance();
    if (accept(')'))
        return;
    for (;;) {
        if (!startsExpression())
            fail("invalid expression");
        add(call, assignment());
        if (accept(')'))
            return;
        if (!accept(','))
            fail("missing ) after argument list");
    }
}

namespace {
// A property name after '.': an identifier, or a keyword taken as a name
// (host objects have members such as `delete`).
bool propertyName(const Token& tok, std::string& name) {
    if (tok.kind == kTokIdentifier) {
        name = tok.text;
        return true;
    }
    if ((tok.kind >= kTokBreak && tok.kind <= kTokFalse) || (tok.kind >= kTokUndefined && tok.kind <= kTokAs)) {
        name = tokenSpelling(tok.kind);
        return true;
    }
    return false;
}
} // namespace

// CallExpression: MemberExpression { Arguments | '.' identifier | '[' Expression ']' }
NodePtr Parser::callExpression() {
    NodePtr e = memberExpression();
    for (;;) {
        if (tok_.kind == '(') {
            NodePtr c = node(NodeKind::Call);
            add(*c, std::move(e));
            arguments(*c);
            e = std::move(c);
        } else if (tok_.kind == '.' || tok_.kind == '[') {
            e = memberAccess(std::move(e));
        } else {
            return e;
        }
    }
}

// MemberExpression: ('new' MemberExpression [Arguments] | PrimaryExpression)
//                   { '.' identifier | '[' Expression ']' }
NodePtr Parser::memberExpression() {
    NodePtr e;
    if (tok_.kind == kTokNew) {
        NestingGuard guard(*this);
        e = node(NodeKind::New);
        advance();
        if (!startsExpression())
            fail("invalid expression");
        add(*e, memberExpression());
        if (tok_.kind == '(')
            arguments(*e);
    } else {
        e = primary();
    }
    while (tok_.kind == '.' || tok_.kind == '[')
        e = memberAccess(std::move(e));
    return e;
}

// One member access on `object`: '.' identifier | '[' Expression ']'.
NodePtr Parser::memberAccess(NodePtr object) {
    NodePtr m;
    if (tok_.kind == '.') {
        m = node(NodeKind::Property);
        advance();
        if (!propertyName(tok_, m->name))
            fail("invalid property id");
        advance();
        add(*m, std::move(object));
    } else {
        m = node(NodeKind::Element);
        advance();
        if (!startsExpression())
            fail("invalid expression");
        add(*m, std::move(object));
        add(*m, expression());
        if (!accept(']'))
            fail("missing ] in index expression");
    }
    return m;
}

// PrimaryExpression: '(' Expression ')' | RegularExpressionLiteral | ArrayLiteral
//                  | ObjectLiteral | integer | number | string | identifier
//                  | 'this' | 'null' | 'true' | 'false' | 'undefined'
NodePtr Parser::primary() {
    NodePtr n;
    switch (tok_.kind) {
    case '(': {
        advance();
        if (!startsExpression())
            fail("invalid expression");
        n = expression();
        if (!accept(')'))
            fail("invalid expression");
        return n;
    }
    case '/':
    case kTokDivAssign:
        n = node(NodeKind::RegExp);
        n->regexp = lexer_.readRegExp(tok_.kind == kTokDivAssign ? "=" : "");
        advance();
        return n;
    case '[': return arrayLiteral();
    case '{': return objectLiteral();
    case kTokInteger:
        n = node(NodeKind::Integer);
        n->integer = tok_.integer;
        break;
    case kTokNumber:
        n = node(NodeKind::Number);
        n->number = tok_.number;
        break;
    case kTokString:
        n = node(NodeKind::String);
        n->text = tok_.text;
        break;
    case kTokIdentifier:
        n = node(NodeKind::Identifier);
        n->name = tok_.text;
        if (n->name == "arguments" && !functions_.empty())
            functions_.back()->usesArguments = true;
        break;
    case kTokThis: n = node(NodeKind::This); break;
    case kTokNull: n = node(NodeKind::Null); break;
    case kTokTrue:
        n = node(NodeKind::True);
        n->boolean = true;
        break;
    case kTokFalse:
        n = node(NodeKind::False);
        n->boolean = true;
        break;
    case kTokUndefined: n = node(NodeKind::Undefined); break;
    default:
        fail("invalid expression");
    }
    advance();
    return n;
}

// ArrayLiteral: '[' [Element {',' Element}] ']'    Element: [AssignmentExpression]
// An empty element is a hole; "[1,]" and "[,1]" both have two elements.
NodePtr Parser::arrayLiteral() {
    NodePtr a = node(NodeKind::ArrayLiteral);
    advance();
    if (accept(']'))
        return a;
    for (;;) {
        if (tok_.kind == ',' || tok_.kind == ']')
            add(*a, node(NodeKind::Empty));
        else if (startsExpression())
            add(*a, assignment());
        else
            fail("missing ] after element list");
        if (accept(']'))
            return a;
        if (!accept(','))
            fail("missing ] after element list");
    }
}

// ObjectLiteral: '{' [Property {',' Property} [',']] '}'
// Property:      (integer | string | identifier) ':' AssignmentExpression
NodePtr Parser::objectLiteral() {
    NodePtr o = node(NodeKind::ObjectLiteral);
    advance();
    while (tok_.kind != '}') {
        NodePtr key;
        if (tok_.kind == kTokInteger) {
            key = node(NodeKind::Integer);
            key->integer = tok_.integer;
        } else if (tok_.kind == kTokString) {
            key = node(NodeKind::String);
            key->text = tok_.text;
        } else if (tok_.kind == kTokIdentifier) {
            key = node(NodeKind::Identifier);
            key->name = tok_.text;
        } else {
            fail("invalid property id");
        }
        advance();
        if (!accept(':'))
            fail("missing : after property id");
        if (!startsExpression())
            fail("invalid expression");
        add(*o, std::move(key));
        add(*o, assignment());
        if (accept(','))
            continue;
        if (tok_.kind != '}')
            fail("missing } after property list");
    }
    advance();
    return o;
}

// ===========================================================================
// Structure and DLL-import declarations
// ===========================================================================

namespace {
constexpr const char* kUnsignedTypes[] = {"char", "short", "long", "int", "int64"};
constexpr const char* kPlainTypes[] = {"float", "double", "pointer", "String", "Boolean"};

bool isOneOf(const std::string& name, const char* const* list, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (name == list[i])
            return true;
    return false;
}
} // namespace

// Type: ['unsigned'] ('char' | 'short' | 'long' | 'int' | 'int64')
//     | 'float' | 'double' | 'pointer' | 'String' | 'Boolean' | structure-name
//     | 'void' (return types only)
// followed by an optional '*'. Returns false, consuming nothing further, when
// the tokens do not form a type.
bool Parser::readType(std::string& text, bool allowVoid, bool& sawVoid) {
    sawVoid = false;
    if (tok_.kind == kTokVoid) {
        if (!allowVoid) {
            sawVoid = true;
            return false;
        }
        text = "void";
        advance();
    } else if (tok_.kind == kTokIdentifier) {
        if (tok_.text == "unsigned") {
            advance();
            if (tok_.kind != kTokIdentifier ||
                !isOneOf(tok_.text, kUnsignedTypes, std::size(kUnsignedTypes)))
                return false;
            text = "unsigned " + tok_.text;
        } else if (isOneOf(tok_.text, kUnsignedTypes, std::size(kUnsignedTypes)) ||
                   isOneOf(tok_.text, kPlainTypes, std::size(kPlainTypes)) ||
                   structNames_.count(tok_.text)) {
            text = tok_.text;
        } else {
            return false;
        }
        advance();
    } else {
        return false;
    }
    if (accept('*'))
        text += '*';
    return true;
}

// Members: '{' Member {Member} '}'
// Member:  ['unsigned'] Type ['*'] identifier ['[' integer ']'] [';']
//        | 'struct' Members ['*'] identifier ['[' integer ']'] [';']
// Returns the descriptor elements of the members; the '{' is the current token.
std::string Parser::structMembers() {
    NestingGuard guard(*this);
    if (!accept('{'))
        fail("missing { after structure");
    std::string out;
    std::vector<std::string> names;
    do {
        std::string type;
        std::string inner;
        bool nested = false;
        if (tok_.kind == kTokStruct) {
            advance();
            nested = true;
            inner = structMembers();
            type = accept('*') ? "struct*" : "struct";
        } else {
            bool sawVoid = false;
            if (!readType(type, false, sawVoid))
                fail("invalid structure member");
        }
        if (tok_.kind != kTokIdentifier)
            fail("invalid structure member");
        std::string name = tok_.text;
        if (std::find(names.begin(), names.end(), name) != names.end())
            fail("structure member redefined");
        names.push_back(name);
        advance();
        std::string count;
        if (accept('[')) {
            if (tok_.kind != kTokInteger || tok_.integer <= 0)
                fail("invalid structure member");
            count = std::to_string(tok_.integer);
            advance();
            if (!accept(']'))
                fail("invalid structure member");
        }
        accept(';');
        out += '<' + name + " type=\"" + type + '"';
        if (!count.empty())
            out += " count=\"" + count + '"';
        out += '>';
        if (nested)
            out += inner;
        out += "</" + name + '>';
    } while (tok_.kind != '}');
    advance();
    return out;
}

// StructDeclaration: 'struct' Members identifier [';']
NodePtr Parser::structStatement() {
    NodePtr n = node(NodeKind::Struct);
    advance();
    if (tok_.kind != '{')
        fail("missing { after structure");
    std::string members = structMembers();
    if (tok_.kind != kTokIdentifier)
        fail("structure must have a name");
    n->name = tok_.text;
    if (!structNames_.insert(n->name).second)
        fail("structure redefined");
    advance();
    accept(';');
    n->text = '<' + n->name + " type=\"struct\">" + members + "</" + n->name + '>';
    return n;
}

// DllImport: 'dllimport' (identifier | string) CallType ReturnType identifier
//            '(' [Parameter {',' Parameter}] ')' ['as' identifier] [';']
// CallType:  'stdcall' | 'cdecl' | 'pascal' | 'fastcall'
// Parameter: Type [identifier]
NodePtr Parser::dllimportStatement() {
    int line = tok_.line;
    advance();
    auto text = [&](std::string s) {
        NodePtr t = node(NodeKind::String, line);
        t->text = std::move(s);
        return t;
    };
    NodePtr dll;
    if (tok_.kind == kTokString) {
        dll = text(tok_.text);
    } else if (tok_.kind == kTokIdentifier) {
        dll = node(NodeKind::Identifier);
        dll->name = tok_.text;
    } else {
        fail("invalid dll name");
    }
    advance();
    static const char* const kCallTypes[] = {"stdcall", "cdecl", "pascal", "fastcall"};
    if (tok_.kind != kTokIdentifier || !isOneOf(tok_.text, kCallTypes, std::size(kCallTypes)))
        fail("invalid call type; a valid call type must be either stdcall, cdecl, pascal, or fastcall");
    std::string callType = tok_.text;
    advance();
    std::string returnType;
    bool sawVoid = false;
    if (!readType(returnType, true, sawVoid))
        fail("invalid return type");
    if (tok_.kind != kTokIdentifier)
        fail("invalid function name");
    std::string name = tok_.text;
    advance();
    if (!accept('('))
        fail("missing ( after function name");
    std::vector<std::string> params;
    if (!accept(')')) {
        for (;;) {
            std::string type;
            if (!readType(type, false, sawVoid))
                fail("invalid argument type");
            params.push_back(type);
            if (tok_.kind == kTokIdentifier)
                advance();
            if (accept(')'))
                break;
            if (!accept(','))
                fail("missing , after argument");
        }
    }
    std::string alias = name;
    if (accept(kTokAs)) {
        if (tok_.kind != kTokIdentifier)
            fail("invalid alias name of the imported function");
        alias = tok_.text;
        advance();
    }
    accept(';');

    // Dll.registerFunction(dll, name, alias, call type, return type, parameter types...)
    NodePtr dllObject = node(NodeKind::Identifier, line);
    dllObject->name = "Dll";
    dllObject->flag = true; // always the global
    NodePtr method = node(NodeKind::Property, line);
    method->name = "registerFunction";
    add(*method, std::move(dllObject));
    NodePtr call = node(NodeKind::Call, line);
    add(*call, std::move(method));
    add(*call, std::move(dll));
    add(*call, text(name));
    add(*call, text(alias));
    add(*call, text(callType));
    add(*call, text(returnType));
    for (std::string& p : params)
        add(*call, text(std::move(p)));
    NodePtr n = node(NodeKind::DllImport, line);
    add(*n, std::move(call));
    return n;
}

} // namespace quill
