// struct and dllimport declarations: descriptors, the registration call and
// their errors.
#include "CompilerTestSupport.h"

using namespace quilltest;
using Lines = std::vector<std::string>;

TEST(StructDeclaration, DescriptorsOfTheExamples) {
    EXPECT_EQ(statements("struct { long x; long y; } POINT;"),
              (Lines{"pushconst \"<POINT type=\"struct\"><x type=\"long\"></x><y type=\"long\"></y></POINT>\"",
                     "setglobal POINT"}));
    Lines c = statements("struct { unsigned char name[32]; struct { short a; } *p; } S");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0], "pushconst \"<S type=\"struct\"><name type=\"unsigned char\" count=\"32\"></name>"
                    "<p type=\"struct*\"><a type=\"short\"></a></p></S>\"");
    // Every type name, pointers, a declared structure as a member type.
    c = statements("struct { int a } A; struct { unsigned int64 b; float* c; double d; pointer e; String f; "
                   "Boolean g[2]; A h; A* i; unsigned short j; } B;");
    EXPECT_EQ(c[2], "pushconst \"<B type=\"struct\"><b type=\"unsigned int64\"></b><c type=\"float*\"></c>"
                    "<d type=\"double\"></d><e type=\"pointer\"></e><f type=\"String\"></f>"
                    "<g type=\"Boolean\" count=\"2\"></g><h type=\"A\"></h><i type=\"A*\"></i>"
                    "<j type=\"unsigned short\"></j></B>\"");
}

TEST(StructDeclaration, StoredThroughNameResolution) {
    // A local of that name takes the descriptor (the store then feeds the
    // return directly).
    Lines f = code("function f() { var S; struct { long x; } S; return S; }", "f");
    EXPECT_EQ(find(f, "setglobal S"), -1);
    EXPECT_EQ(f[f.size() - 2], "pushconst \"<S type=\"struct\"><x type=\"long\"></x></S>\"");
    Lines c = code("with (o) { struct { long x; } W; }");
    EXPECT_GE(find(c, "setvar W"), 0);
}

TEST(StructDeclaration, Errors) {
    EXPECT_EQ(errorOf("struct POINT { long x; };"), "error: line 1: syntax error: missing { after structure\r\n");
    EXPECT_EQ(errorOf("struct { long x; long x; } S;"),
              "error: line 1: syntax error: structure member redefined\r\n");
    EXPECT_EQ(errorOf("struct { unsigned float x; } S;"),
              "error: line 1: syntax error: invalid structure member\r\n");
    EXPECT_TRUE(quill::compileScript("struct { unsigned int x; } S;").ok);
    EXPECT_EQ(errorOf("struct { long x[0]; } S;"), "error: line 1: syntax error: invalid structure member\r\n");
    EXPECT_EQ(errorOf("struct { long x[1.5]; } S;"), "error: line 1: syntax error: invalid structure member\r\n");
    EXPECT_EQ(errorOf("struct { long x[y]; } S;"), "error: line 1: syntax error: invalid structure member\r\n");
    EXPECT_EQ(errorOf("struct { long; } S;"), "error: line 1: syntax error: invalid structure member\r\n");
    EXPECT_EQ(errorOf("struct { void x; } S;"), "error: line 1: syntax error: invalid structure member\r\n");
    EXPECT_EQ(errorOf("struct { } S;"), "error: line 1: syntax error: invalid structure member\r\n");
    EXPECT_EQ(errorOf("struct { long x; };"), "error: line 1: syntax error: structure must have a name\r\n");
    EXPECT_EQ(errorOf("struct { long x; } S;\nstruct { long y; } S;"),
              "error: line 2: syntax error: structure redefined\r\n");
    // A structure used as a member type before its declaration, and a
    // structure with `unsigned`.
    EXPECT_EQ(errorOf("struct { P p; } Q;\nstruct { long x; } P;"),
              "error: line 1: syntax error: invalid structure member\r\n");
    EXPECT_EQ(errorOf("struct { long x; } P;\nstruct { unsigned P p; } Q;"),
              "error: line 2: syntax error: invalid structure member\r\n");
    // Nested members are not structure names.
    EXPECT_EQ(errorOf("struct { struct { long a; } n; } O;\nstruct { n m; } R;"),
              "error: line 2: syntax error: invalid structure member\r\n");
}

TEST(DllImport, RegistersTheFunctionThroughTheDllObject) {
    Lines c = statements(
        "dllimport \"user32.dll\" stdcall long MessageBoxA(long, String, String, long) as msgBox;");
    EXPECT_EQ(c, (Lines{"pushconst \"long\"", "pushconst \"String\"", "pushconst \"String\"",
                        "pushconst \"long\"", "pushconst \"long\"", "pushconst \"stdcall\"",
                        "pushconst \"msgBox\"", "pushconst \"MessageBoxA\"", "pushconst \"user32.dll\"",
                        "pushint 9", "getglobal Dll", "callmethod registerFunction", "popn 12"}));
}

TEST(DllImport, ArgumentFormsAndAlias) {
    Lines c = statements("struct { long x; } P;\ndllimport k fastcall void f(unsigned char* buf, P* p)");
    EXPECT_EQ((Lines(c.begin() + 2, c.end())),
              (Lines{"pushconst \"P*\"", "pushconst \"unsigned char*\"", "pushconst \"void\"",
                     "pushconst \"fastcall\"", "pushconst \"f\"", "pushconst \"f\"", "getglobal k", "pushint 7",
                     "getglobal Dll", "callmethod registerFunction", "popn 10"}));
    c = statements("dllimport 'a.dll' pascal double* g();");
    EXPECT_EQ(c[0], "pushconst \"double*\"");
    EXPECT_EQ(c[5], "pushint 5");
}

TEST(DllImport, Errors) {
    EXPECT_EQ(errorOf("dllimport 5 stdcall long f();"), "error: line 1: syntax error: invalid dll name\r\n");
    EXPECT_EQ(errorOf("dllimport \"k.dll\" winapi void f();"),
              "error: line 1: syntax error: invalid call type; a valid call type must be either stdcall, "
              "cdecl, pascal, or fastcall\r\n");
    EXPECT_EQ(errorOf("dllimport k stdcall quad f();"), "error: line 1: syntax error: invalid return type\r\n");
    EXPECT_EQ(errorOf("dllimport k stdcall unsigned double f();"),
              "error: line 1: syntax error: invalid return type\r\n");
    EXPECT_EQ(errorOf("dllimport k stdcall long 5();"), "error: line 1: syntax error: invalid function name\r\n");
    EXPECT_EQ(errorOf("dllimport k stdcall long f;"),
              "error: line 1: syntax error: missing ( after function name\r\n");
    EXPECT_EQ(errorOf("dllimport k stdcall long f(void);"),
              "error: line 1: syntax error: invalid argument type\r\n");
    EXPECT_EQ(errorOf("dllimport k stdcall long f(quad);"),
              "error: line 1: syntax error: invalid argument type\r\n");
    EXPECT_EQ(errorOf("dllimport k stdcall long f(long a b);"),
              "error: line 1: syntax error: missing , after argument\r\n");
    EXPECT_EQ(errorOf("dllimport k stdcall long f() as 3;"),
              "error: line 1: syntax error: invalid alias name of the imported function\r\n");
}
