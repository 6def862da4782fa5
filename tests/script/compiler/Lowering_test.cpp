// Code generation: evaluation order, lowering of the constructs, name
// resolution, jumps out of loops, checked on the optimised instruction lists.
#include "CompilerTestSupport.h"

using namespace quilltest;
using Lines = std::vector<std::string>;

TEST(LoweringOrder, ArgumentsElementsAndPropertiesLastToFirst) {
    Lines c = code("f(a(), b());");
    int b = find(c, "getglobal b");
    int a = find(c, "getglobal a");
    ASSERT_GE(b, 0);
    ASSERT_GE(a, 0);
    EXPECT_LT(b, a) << "b() must run before a()";
    EXPECT_EQ(c[static_cast<size_t>(a) + 3], "push2"); // argument count after both arguments
    EXPECT_EQ(c[static_cast<size_t>(a) + 4], "getglobal f");

    c = code("x = [p(), q()];");
    EXPECT_LT(find(c, "getglobal q"), find(c, "getglobal p"));

    // {x: 1, x: 2}: the stores run last to first, so x ends up 1.
    c = code("o = {x: 1, x: 2};");
    int two = find(c, "push2");
    int one = find(c, "push1");
    ASSERT_GE(two, 0);
    ASSERT_GE(one, 0);
    EXPECT_LT(two, one);
    EXPECT_EQ(count(c, "setprop x"), 2);
}

TEST(LoweringOrder, CompoundTargetsAreEvaluatedTwice) {
    EXPECT_EQ(count(code("o().x += 1;"), "getglobal o"), 2);
    EXPECT_EQ(count(code("o().x++;"), "getglobal o"), 2);
    Lines c = code("a[i()]--;");
    EXPECT_EQ(count(c, "getglobal i"), 2);
    EXPECT_EQ(count(c, "getglobal a"), 2);
    EXPECT_EQ(find(c, "getelem") < find(c, "setelem"), true);
    // Plain identifiers are loaded once and stored once.
    c = statements("x += 5;");
    EXPECT_EQ(c, (Lines{"getglobal x", "pushconst 5", "add", "setglobal x"}));
}

TEST(LoweringExpressions, LiteralsAndUnaryOperators) {
    // Unary plus generates nothing: the value stays the string.
    EXPECT_EQ(code("+\"3\";"), (Lines{"pushconst \"3\""}));
    EXPECT_EQ(code("0; 1; 2; 3; 4; -1;"),
              (Lines{"push0", "pop", "push1", "pop", "push2", "pop", "push3", "pop", "pushconst 4", "pop",
                     "push1", "neg"}));
    EXPECT_EQ(code("~x;"), (Lines{"getglobal x", "pushconst -1", "xor"}));
    EXPECT_EQ(code("void x;"), (Lines{"getglobal x", "pop", "pushundef"}));
    EXPECT_EQ(code("typeof this;"), (Lines{"getarg 0", "typeof"}));
    EXPECT_EQ(code("null; undefined; 1.5; /a+/gi;"),
              (Lines{"pushnull", "pop", "pushundef", "pop", "pushconst 1.5", "pop", "pushconst /a+/gi"}));
    EXPECT_EQ(statements("x = [];"), (Lines{"pushint 0", "getglobal Array", "new", "swap", "slide 2", "setglobal x"}));
    // A hole is undefined; a trailing comma adds one element.
    Lines c = code("x = [,1,];");
    EXPECT_EQ(c[0], "pushundef");
    EXPECT_EQ(c[3], "pushint -3");
    EXPECT_EQ(c[7], "slide 5");
}

TEST(LoweringExpressions, CallsAndNew) {
    EXPECT_EQ(statements("o.m(1);"), (Lines{"push1", "push1", "getglobal o", "callmethod m", "popn 4"}));
    EXPECT_EQ(statements("f(1,2,3,4)();"),
              (Lines{"push0", "pushconst 4", "push3", "push2", "push1", "pushint 4", "getglobal f", "call",
                     "slide 6", "call", "popn 3"}));
    EXPECT_EQ(statements("x = new C(7);"),
              (Lines{"pushconst 7", "push1", "getglobal C", "new", "swap", "slide 3", "setglobal x"}));
    EXPECT_EQ(statements("x = new a.B;"), (Lines{"push0", "getglobal a", "getprop B", "new", "swap", "slide 2",
                                           "setglobal x"}));
    // Keywords serve as member names after a dot.
    EXPECT_EQ(statements("f.delete();"), (Lines{"push0", "getglobal f", "callmethod delete", "popn 3"}));
}

TEST(LoweringExpressions, LogicalAndConditionalUseBooleanJumpsOnlyForBooleans) {
    Lines c = code("x = a < b && c;");
    EXPECT_GE(find(c, "jf L0"), 0);
    c = code("x = a && b;");
    EXPECT_GE(find(c, "jfalse L0"), 0);
    c = code("x = a || b;");
    EXPECT_GE(find(c, "jtrue L0"), 0);
    c = code("x = (a == b) || (c != d);");
    EXPECT_GE(find(c, "jt L0"), 0);
    c = code("if (a === b && c >= d) x;");
    EXPECT_GE(find(c, "jf L1"), 0);
    c = code("if (!a) x;");
    EXPECT_GE(find(c, "jfalse L0"), 0);
    // A conditional is never known to be Boolean, even of two comparisons.
    c = code("if (a ? b < c : d > e) x;");
    EXPECT_GE(find(c, "jfalse L0"), 0);
    c = statements("y = c ? 1 : 2;");
    EXPECT_EQ(c, (Lines{"getglobal c", "jfalse L0", "push1", "jmp L1", "L0:", "push2", "L1:", "setglobal y"}));
    c = statements("y = (a, b);");
    EXPECT_EQ(c, (Lines{"getglobal a", "pop", "getglobal b", "setglobal y"}));
}

TEST(LoweringExpressions, DeleteForms) {
    EXPECT_EQ(code("delete a.b;"), (Lines{"getglobal a", "delprop b"}));
    EXPECT_EQ(code("delete a[1];"), (Lines{"getglobal a", "push1", "delelem"}));
    EXPECT_EQ(code("delete x;"), (Lines{"pushnull", "delglobal x"}));
    Lines f = code("function f(a) { var l; delete a; delete l; }", "f");
    EXPECT_GE(find(f, "delarg 2"), 0);
    EXPECT_GE(find(f, "dellocal 0"), 0);
}

TEST(LoweringFunctions, FunctionValuesOnlyRightOfPlainAssignment) {
    quill::InstructionResult r = quill::compileInstructions("g = function (x) { return x; };");
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(functionLines(r.list, "@F_0"),
              (Lines{"getarg 1", "add2", "args 3", "getarg 2", "ret"}));
    EXPECT_EQ(functionLines(r.list, ".main"), (Lines{"getglobal @F_0", "dup", "setglobal g"}));
    EXPECT_EQ(errorOf("f(function () {});"), "error: line 1: syntax error: invalid expression\r\n");
    EXPECT_EQ(errorOf("var g = function () {};"),
              "error: line 1: syntax error: invalid variable initialization\r\n");
    EXPECT_EQ(errorOf("x += function () {};"), "error: line 1: syntax error: invalid expression\r\n");
}

TEST(LoweringFunctions, NestedFunctionsGetGeneratedNamesAndRunTimeBindings) {
    quill::InstructionResult r = quill::compileInstructions(
        "function outer(a) { function inner() { return 1; } var h = 0; g = function () {}; }\n"
        "function later() {}");
    ASSERT_TRUE(r.ok) << r.messages;
    std::string text = r.list.format();
    // Completion order: inner, the anonymous one, outer, later, then .main.
    size_t inner = text.find("@F_0:");
    size_t anon = text.find("@F_1:");
    size_t outer = text.find("outer:");
    size_t later = text.find("later:");
    size_t main = text.find(".main:");
    ASSERT_NE(inner, std::string::npos);
    ASSERT_NE(anon, std::string::npos);
    EXPECT_LT(inner, anon);
    EXPECT_LT(anon, outer);
    EXPECT_LT(outer, later);
    EXPECT_LT(later, main);
    Lines o = functionLines(r.list, "outer");
    int bind = find(o, "getglobal @F_0");
    ASSERT_GE(bind, 0);
    EXPECT_EQ(o[static_cast<size_t>(bind) + 1], "getglobal outer");
    EXPECT_EQ(o[static_cast<size_t>(bind) + 2], "setprop inner");
    EXPECT_GE(find(o, "getglobal @F_1"), 0);
}

TEST(LoweringFunctions, PrologueLocalsAndArguments) {
    Lines f = code("function f(a, b) { var x = a; { var y = b; } { var z = 1; return x + z; } }", "f");
    // Two blocks reuse slot 1: only two slots are ever live.
    EXPECT_EQ(f[0], "getarg 1");
    EXPECT_EQ(f[1], "add2");
    EXPECT_EQ(f[2], "args 4");
    EXPECT_EQ(f[3], "locals 2");
    EXPECT_GE(find(f, "setlocal 1"), 0);
    EXPECT_EQ(find(f, "setlocal 2"), -1);
    EXPECT_EQ(f.back(), "ret");

    // An identifier used before its `var` is the global.
    f = code("function f() { x = 1; var x; x = 2; }", "f");
    EXPECT_GE(find(f, "setglobal x"), 0);
    EXPECT_GE(find(f, "setlocal 0"), 0);

    // `arguments` builds the object in the prologue, in slot 0.
    f = code("function f() { return arguments; }", "f");
    EXPECT_EQ(f[3], "locals 1");
    EXPECT_GE(find(f, "getargn"), 0);
    EXPECT_GE(find(f, "setprop length"), 0);
    EXPECT_GE(find(f, "setprop callee"), 0);
    EXPECT_EQ(f[static_cast<size_t>(find(f, "setprop callee")) - 2], "getglobal f");
    // Without it: no locals at all.
    f = code("function f(p) { return p; }", "f");
    EXPECT_EQ(f, (Lines{"getarg 1", "add2", "args 3", "getarg 2", "ret"}));
}

TEST(LoweringScopes, TopLevelVarsAndBlockLocals) {
    EXPECT_EQ(code("var a = 1, b;"), (Lines{"push1", "setglobal a", "pushundef"}));
    // A var inside a block at top level is a local of that block.
    Lines c = code("{ var a = 1; f(a, a); } a;");
    EXPECT_EQ(c[0], "locals 1");
    EXPECT_GE(find(c, "setlocal 0"), 0);
    EXPECT_EQ(c.back(), "getglobal a");
    // for (var ...) and catch identifiers are locals of the top-level code.
    c = code("for (var i = 0; i < 3; i++) f(i); i;");
    EXPECT_EQ(c[0], "locals 1");
    EXPECT_EQ(c.back(), "getglobal i");
    c = code("try { f(); } catch (e) { e; } e;");
    EXPECT_EQ(c[0], "locals 1");
    EXPECT_EQ(c.back(), "getglobal e");
    // Redeclaring in the same block keeps the slot.
    c = code("{ var a = 1; var a = 2; }");
    EXPECT_EQ(c[0], "locals 1");
}

TEST(LoweringScopes, WithUsesTheWithAwareForms) {
    Lines c = code("with (o) { x = y; f(); delete z; }");
    EXPECT_GE(find(c, "getvar y"), 0);
    EXPECT_GE(find(c, "setvar x"), 0);
    EXPECT_GE(find(c, "getvar f"), 0);
    EXPECT_GE(find(c, "callname f"), 0);
    EXPECT_GE(find(c, "delvar z"), 0);
    EXPECT_EQ(c[static_cast<size_t>(find(c, "with")) - 1], "getglobal o");
    EXPECT_GE(find(c, "unwith 1"), 0);
    // Outside the with: the global forms again.
    c = code("with (o) x; y;");
    EXPECT_EQ(c.back(), "getglobal y");
    // Locals stay locals inside with.
    Lines f = code("function f(a) { with (o) a = 1; }", "f");
    EXPECT_GE(find(f, "setarg 2"), 0);
}

TEST(LoweringStatements, LoopsAndStatementBoundaries) {
    // for (;;) has no test at all.
    Lines c = code("for (;;) f();");
    EXPECT_EQ(c, (Lines{"L0:", "push0", "getglobal f", "call", "popn 3", "jmp L0"}));
    c = code("while (true) f();");
    EXPECT_EQ(c, (Lines{"L0:", "push0", "getglobal f", "call", "popn 3", "jmp L0"}));
    c = code("do f(); while (x);");
    EXPECT_EQ(c, (Lines{"L0:", "push0", "getglobal f", "call", "popn 3", "getglobal x", "jtrue L0",
                        "pushundef"}));
    // `return` then a line break returns undefined; the expression is a statement
    // of its own (unreachable here, and removed).
    Lines f = code("function f() { return\n 5; }", "f");
    EXPECT_EQ(f, (Lines{"getarg 1", "add2", "args 2", "pushundef", "ret"}));
    // `a` newline `++b` is two statements.
    c = code("a\n++b");
    EXPECT_EQ(c, (Lines{"getglobal a", "pop", "getglobal b", "push1", "add", "dup", "setglobal b"}));
}

TEST(LoweringStatements, LastExpressionStatementIsTheResult) {
    EXPECT_EQ(code("x = 1; x + 1;"), (Lines{"push1", "setglobal x", "getglobal x", "push1", "add"}));
    EXPECT_EQ(code("if (a) b;"), (Lines{"getglobal a", "jfalse L0", "getglobal b", "pop", "L0:", "pushundef"}));
    EXPECT_EQ(code(""), (Lines{"pushundef"}));
    int depth = -1;
    ASSERT_TRUE(fallOffDepth(code("x = 1; y = 2;"), depth));
    EXPECT_EQ(depth, 1);
}

TEST(LoweringJumps, BreakAndContinueKeepTheStackBalanced) {
    int depth = -1;
    // break out of a switch inside a for-in.
    Lines c = code("for (k in o) { switch (k) { case 1: break; default: f(); } } x;");
    ASSERT_TRUE(fallOffDepth(c, depth));
    EXPECT_EQ(depth, 1);
    // break outer from inside a for-in drops that loop's two values.
    c = code("outer: for (k in o) { for (j in p) { if (j) break outer; if (k) continue outer; } } x;");
    ASSERT_TRUE(fallOffDepth(c, depth));
    EXPECT_EQ(depth, 1);
    EXPECT_GE(find(c, "popn 4"), 0);
    EXPECT_GE(find(c, "popn 2"), 0);
    // continue from a switch inside a loop pops the discriminant.
    c = code("while (a) { switch (b) { case 1: continue; } } x;");
    ASSERT_TRUE(fallOffDepth(c, depth));
    EXPECT_EQ(depth, 1);
    // Labelled blocks, nested labels naming one loop.
    c = code("a: b: while (x) { while (y) { continue a; break b; } } l: { break l; } z;");
    ASSERT_TRUE(fallOffDepth(c, depth));
    EXPECT_EQ(depth, 1);
    // with blocks and try handlers left by a jump are closed first.
    c = code("while (x) { with (o) { try { break; } catch (e) {} } }");
    int brk = find(c, "unwith 1");
    ASSERT_GE(brk, 0);
    EXPECT_EQ(c[static_cast<size_t>(brk) + 1], "untry 1");
    EXPECT_EQ(c[static_cast<size_t>(brk) + 2].rfind("jmp", 0), 0u);
}

TEST(LoweringJumps, JumpsOutOfCatchClausesDropTheClauseValues) {
    // A catch clause runs with [flag, exception] on the stack and the inner
    // handler installed: leaving it by break drops both and removes the handler.
    Lines c = code("while (x) { try { f(); } catch (e) { break; } }");
    int u = find(c, "untry 1", find(c, "swap"));
    ASSERT_GE(u, 0);
    bool found = false;
    for (size_t i = 0; i + 2 < c.size(); ++i)
        if (c[i] == "untry 1" && c[i + 1] == "popn 2" && c[i + 2].rfind("jmp", 0) == 0)
            found = true;
    EXPECT_TRUE(found) << "break from a catch clause must drop the clause's two values";
}

TEST(LoweringJumps, JumpsOutOfFinallyClausesDropTheFlagAndPendingException) {
    // The finally part runs on [false] after normal completion and on
    // [exception, true] after a throw; a break drops whichever it is.
    Lines c = code("for (k in o) { try { f(); } finally { if (k) break; continue; } }");
    int brk = find(c, "popn 2");
    ASSERT_GE(brk, 0);
    bool dynamicPop = false;
    for (size_t i = 0; i + 3 < c.size(); ++i)
        if (c[i].rfind("jf ", 0) == 0 && c[i + 1] == "pop" && c[i + 2] == c[i].substr(3) + ":")
            dynamicPop = true;
    EXPECT_TRUE(dynamicPop) << "a jump out of a finally clause must drop its one or two values";
    // Only jumps that leave the finally clause do so.
    c = code("try { f(); } finally { while (x) { break; } }");
    EXPECT_EQ(count(c, "pop"), 0);
}

TEST(LoweringJumps, ReturnRemovesOpenHandlers) {
    Lines f = code("function f() { try { try { return 1; } catch (e) {} } finally {} }", "f");
    int r = find(f, "ret");
    ASSERT_GE(r, 2);
    EXPECT_EQ(f[static_cast<size_t>(r) - 2], "untry 2");
    EXPECT_EQ(errorOf("x;\nbreak;"), "error: line 2: invalid break\r\n");
    EXPECT_EQ(errorOf("switch (x) { case 1: continue; }"), "error: line 1: invalid continue\r\n");
    EXPECT_EQ(errorOf("l: { continue l; }"), "error: line 1: invalid continue\r\n");
    EXPECT_EQ(errorOf("while (x) { break nowhere; }"), "error: line 1: invalid break\r\n");
}

TEST(LoweringStatements, SwitchTestsInSourceOrderWithStrictEquality) {
    Lines c = code("switch (d) { case 1: a; case 2: b; break; default: c; } z;");
    int t1 = find(c, "push1");
    int t2 = find(c, "push2");
    ASSERT_GE(t1, 0);
    EXPECT_LT(t1, t2);
    EXPECT_EQ(count(c, "stricteq"), 2);
    EXPECT_EQ(count(c, "dup"), 2);
    int depth = -1;
    ASSERT_TRUE(fallOffDepth(c, depth));
    EXPECT_EQ(depth, 1);
    // default first: starts with a jump to the first case test.
    c = code("switch (d) { default: a; case 1: b; }");
    EXPECT_EQ(c[1].rfind("jmp", 0), 0u);
    EXPECT_EQ(errorOf("switch (x) {\ndefault: a;\ndefault: b; }"), "error: line 3: more than one switch default\r\n");
}

TEST(LoweringStatements, TryCatchFinallyAsLowered) {
    Lines c = code("try { f(); } finally { g(); }");
    EXPECT_EQ(c[0], "try L0");
    int u = find(c, "untry 1");
    ASSERT_GE(u, 0);
    EXPECT_EQ(c[static_cast<size_t>(u) + 1], "pushfalse");
    // No catch clause: the handler pushes true and falls into the finally part.
    int h = find(c, "L0:");
    EXPECT_EQ(c[static_cast<size_t>(h) + 1], "pushtrue");
    int t = find(c, "throw");
    ASSERT_GE(t, 1);
    EXPECT_EQ(c[static_cast<size_t>(t) - 1].rfind("jf ", 0), 0u);

    // Guarded clauses: each guard under its own handler.
    c = code("try { f(); } catch (e if e > 1) { a(); } catch (e) { b(); }");
    EXPECT_EQ(count(c, "try L0"), 1);
    EXPECT_EQ(count(c, "setlocal 0"), 2);
    EXPECT_GE(find(c, "slide 2"), 0);
    EXPECT_EQ(count(c, "gt"), 1);
    EXPECT_EQ(c[static_cast<size_t>(find(c, "gt")) + 2].rfind("jf ", 0), 0u);
}

TEST(LoweringStatements, ForInAsLowered) {
    Lines c = code("for (var k = 1 in o) f(k, k);");
    EXPECT_EQ(c[0], "locals 1");
    EXPECT_EQ(c[1], "push1");
    EXPECT_EQ(c[2], "setlocal 0");
    EXPECT_EQ(c[3], "getglobal o");
    EXPECT_EQ((Lines(c.begin() + 4, c.begin() + 8)), (Lines{"dup", "push0", "swap", "push0"}));
    int nk = find(c, "nextkey");
    EXPECT_EQ(c[static_cast<size_t>(nk) + 1].rfind("jf ", 0), 0u);
    EXPECT_EQ(c[static_cast<size_t>(nk) + 2], "setlocal 0");
    EXPECT_GE(find(c, "rot -3"), 0);
    EXPECT_GE(find(c, "rot 4"), 0);
    EXPECT_EQ(c.back(), "pushundef");
    EXPECT_EQ(c[c.size() - 2], "popn 2");
}
