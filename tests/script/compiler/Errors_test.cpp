// Every error message of the parser, reachable from a small script, with the
// line it is reported on; warnings of the parser.
#include "CompilerTestSupport.h"

using namespace quilltest;

namespace {
struct Case {
    const char* source; // the error stands on line 2
    const char* message;
};

void expectErrors(const Case* cases, size_t n, const char* prefix) {
    for (size_t i = 0; i < n; ++i) {
        std::string src = std::string("x = 1;\n") + cases[i].source;
        EXPECT_EQ(errorOf(src), std::string("error: line 2: ") + prefix + cases[i].message + "\r\n")
            << cases[i].source;
    }
}
} // namespace

TEST(ParserErrors, ExpressionMessages) {
    const Case cases[] = {
        {")", "invalid statement"},
        {"x = ;", "invalid expression"},
        {"x = [1 2];", "missing ] after element list"},
        {"x = {[1]: 2};", "invalid property id"},
        {"x = a.;", "invalid property id"},
        {"x = {a 1};", "missing : after property id"},
        {"x = {a: 1 b: 2};", "missing } after property list"},
        {"x = a[1;", "missing ] in index expression"},
        {"f(1 2);", "missing ) after argument list"},
        {"x = a ? b c;", "missing : in conditional expression"},
        {"1 = 2;", "invalid expression"},
        {"f()++;", "invalid expression"},
        {"x = (1;", "invalid expression"},
        {"x = 1 +;", "invalid expression"},
    };
    expectErrors(cases, std::size(cases), "syntax error: ");
}

TEST(ParserErrors, StatementMessages) {
    const Case cases[] = {
        {"var 1;", "missing variable name"},
        {"var g = function () {};", "invalid variable initialization"},
        {"var g = ;", "invalid variable initialization"},
        {"function f {}", "missing ( before formal parameters"},
        {"function f(a b) {}", "missing ) after formal parameters"},
        {"function f(a,) {}", "missing ) after formal parameters"},
        {"function f() x", "invalid function body"},
        {"{ x = 1;", "missing } after block"},
        {"if x) y;", "missing ( before condition"},
        {"if () y;", "invalid condition expression"},
        {"if (x y;", "missing ) after condition"},
        {"do x; until (y);", "missing while after do-loop body"},
        {"while (x; ) y;", "missing ) after condition"},
        {"for x;", "missing ( after for"},
        {"for (); ;) ;", "invalid for-loop initializer or for-in expression"},
        {"for (x in ) ;", "invalid for-loop initializer or for-in expression"},
        {"for (x = 1 y; ;) ;", "missing ; after for-loop initializer"},
        {"for (;) ;", "invalid for-loop condition expression"},
        {"for (; x ) ;", "missing ; after for-loop condition"},
        {"for (;;]) ;", "invalid for-loop control expression"},
        {"for (;; x ;", "missing ) after for-loop control"},
        {"for (x in o ;", "missing ) after for-loop control"},
        {"for (var a, b in c) ;", "more than one variable declaration"},
        {"for (a.b in c) ;", "illegal identifier"},
        {"a: a: x;", "invalid label"},
        {"return );", "invalid return"},
        {"with o x;", "missing ( before with-statement object"},
        {"with () x;", "invalid with-statement object"},
        {"with (o x;", "missing ) after with-statement object"},
        {"with (o) )", "invalid with block"},
        {"throw;", "invalid throw"},
        {"switch x {}", "missing ( before switch expression"},
        {"switch () {}", "invalid switch expression"},
        {"switch (x {}", "missing ) after switch expression"},
        {"switch (x) case 1: ;", "missing { before switch body"},
        {"switch (x) { case 1: y;", "missing } after switch block"},
        {"switch (x) { y; }", "missing } after switch block"},
        {"switch (x) { case : y; }", "invalid case expression"},
        {"switch (x) { case 1 y; }", "missing : after case label"},
        {"switch (x) { default y; }", "missing : after case label"},
        {"try {} x;", "missing catch or finally after try"},
        {"try {} catch e {}", "missing ( before catch"},
        {"try {} catch (1) {}", "missing identifier in catch"},
        {"try {} catch (e {}", "missing ) after catch"},
        {"try {} catch (e if ) {}", "invalid expression"},
    };
    expectErrors(cases, std::size(cases), "syntax error: ");
}

TEST(ParserErrors, PlainMessages) {
    const Case cases[] = {
        {"a b", "missing ;"},
        {"x = 1 y = 2;", "missing ;"},
        {"switch (x) { default: default: }", "more than one switch default"},
        {"break;", "invalid break"},
        {"continue;", "invalid continue"},
    };
    expectErrors(cases, std::size(cases), "");
}

TEST(ParserErrors, LexerErrorsEndTheCompilationWithTheirLine) {
    EXPECT_EQ(errorOf("x = 1;\ny = 'abc"), "error: line 2: unterminated string constant\r\n");
    EXPECT_EQ(errorOf("x = 1;\n\ny = 1e;"), "error: line 3: invalid exponent part in a decimal literal\r\n");
    EXPECT_EQ(errorOf("x = /abc"), "error: line 1: unterminated regular expression constant\r\n");
    // The error follows the warnings given before it.
    EXPECT_EQ(errorOf("x = '\\q';\ny = ;"),
              "warning: line 1: unknown escape sequence '\\q'\r\n"
              "error: line 2: syntax error: invalid expression\r\n");
    // Regular expressions after '/=' keep the '='.
    EXPECT_EQ(code("x = /=a/;", ".main", 0).front(), "pushconst /=a/");
}

TEST(ParserErrors, FirstErrorEndsCompilationAndReturnsNothing) {
    quill::CompileResult r = quill::compileScript("function f() { break; }\nx = ;");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.messages, "error: line 1: invalid break\r\n");
    EXPECT_TRUE(r.sections.code.empty());
    EXPECT_TRUE(r.sections.functions.empty());
}

TEST(ParserWarnings, AutomaticSemicolons) {
    quill::CompileOptions warn;
    warn.flags = quill::kCompileWarnSemicolon;
    quill::CompileResult r = quill::compileScript("a = 1\nb = 2\n{ c }\nd\n++e", warn);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.messages,
              "warning: line 1: missing ;\r\n"
              "warning: line 2: missing ;\r\n"
              "warning: line 3: missing ;\r\n"
              "warning: line 4: missing ;\r\n"
              "warning: line 5: missing ;\r\n");
    // Without the option the same script compiles silently.
    r = quill::compileScript("a = 1\nb = 2\n{ c }\nd\n++e");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.messages, "");
    // break/continue take a label only on their own line.
    // (here the label on the next line is an expression statement of its own).
    std::vector<std::string> c = code("l: while (x) { break\nl; }", ".main", 0, false);
    EXPECT_GE(find(c, "getglobal l"), 0);
}

TEST(ParserWarnings, EcmaOptionWarnsAboutLineTerminatorsInStrings) {
    quill::CompileOptions ecma;
    ecma.flags = quill::kCompileEcmaWarnings;
    quill::CompileResult r = quill::compileScript("x = 'a\nb';", ecma);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.messages, "warning: line 2: ECMAScript don't allow line terminators in string constants\r\n");
    EXPECT_EQ(quill::compileScript("x = 'a\nb';").messages, "");
}

TEST(ParserLimits, NestingIsBoundedWithoutExhaustingTheStack) {
    std::string deep(100000, '(');
    EXPECT_EQ(errorOf("x = " + deep), "error: line 1: program too deeply nested\r\n");
    std::string blocks(100000, '{');
    EXPECT_EQ(errorOf(blocks), "error: line 1: program too deeply nested\r\n");
    std::string nots(100000, '!');
    EXPECT_EQ(errorOf("x = " + nots + "y;"), "error: line 1: program too deeply nested\r\n");
    std::string chain = "x = 1";
    for (int i = 0; i < 100000; ++i)
        chain += "+1";
    EXPECT_EQ(errorOf(chain + ";"), "error: line 1: program too deeply nested\r\n");
    // Within the limits nesting is fine.
    std::string ok = "x = " + std::string(50, '(') + "1" + std::string(50, ')') + ";";
    EXPECT_TRUE(quill::compileScript(ok).ok);
}
