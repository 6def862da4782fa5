// Struct, StructArray and DllParam from scripts (portable: no calls).
#include "NativeFixture.h"

using namespace paloma::host::test;

namespace {

constexpr const char* kDeclarations = R"(
struct { char a; double d; char c; } S;
struct { long x; long y; } POINT;
struct {
    char a; unsigned char u; short s; unsigned short us; long l; unsigned long ul;
    int64 big; float f; double d; Boolean b;
    char name[8];
    POINT pt;
    struct { short v; } items[3];
    String str; long* lp; Boolean* bp; double* dp; POINT* pp; pointer raw;
} ALL;
)";

TEST_F(NativeTest, AlignmentAndTheCharDoubleCharExample) {
    run(kDeclarations);
    EXPECT_EQ(eval("r = [Struct.align, new Struct(S).structSize]"), "8,24");
    EXPECT_EQ(eval("Struct.align = 1; r = [Struct.align, new Struct(S).structSize]"), "1,10");
    EXPECT_EQ(eval("Struct.align = 3; r = Struct.align"), "1");
    EXPECT_EQ(eval("Struct.align = 16; r = Struct.align"), "16");
    EXPECT_EQ(eval("Struct.align = 0; Struct.align = -8; Struct.align = 'x'; r = Struct.align"), "16");
    EXPECT_EQ(eval("Struct.align = 8; var s = new Struct(S); s.structSize = 3; r = s.structSize"), "24");
}

TEST_F(NativeTest, MembersOfEveryType) {
    run(kDeclarations);
    run("var s = new Struct(ALL);");
    EXPECT_EQ(eval("s.a = 300; s.u = -1; s.s = 70000; s.us = -1; s.l = 4294967297; s.ul = -1;"
                   "r = [s.a, s.u, s.s, s.us, s.l, s.ul]"),
              "44,255,4464,65535,1,4294967295");
    EXPECT_EQ(eval("s.big = 1099511627776; s.f = 0.5; s.d = 3; s.b = 5; r = [s.big, s.f, s.d, s.b]"),
              "1099511627776,0.5,3,true");
    // Wrong kinds are ignored; strings convert to numbers for integer members.
    EXPECT_EQ(eval("s.a = 1.5; s.f = 'x'; s.l = '12'; s.b = 0; r = [s.a, s.f, s.l, s.b]"), "44,0.5,12,false");
    EXPECT_EQ(eval("s.pt = 5; s.pt.x = 7; s.pt.y = -2; var p = s.pt; r = [p.x, p.y, s.pt.x]"), "7,-2,7");
    EXPECT_EQ(eval("r = s.toString()"), "[object Struct]");
    EXPECT_EQ(eval("r = [typeof s.nothing, new Struct(POINT).structSize]"), "undefined,8");
}

TEST_F(NativeTest, ArrayMembers) {
    run(kDeclarations);
    run("var s = new Struct(ALL);");
    EXPECT_EQ(eval("s.name[0] = 72; s.name[1] = 105; s.name[8] = 1; s.name[-1] = 1;"
                   "r = [s.name.toString(), s.name[0], typeof s.name[8], typeof s.name[-1]]"),
              "Hi,72,undefined,undefined");
    EXPECT_EQ(eval("s.items[2].v = -5; s.items[0].v = 9; r = [s.items[2].v, s.items[0].v, s.items[1].v]"), "-5,9,0");
    EXPECT_EQ(eval("r = StructArray.toString()"), "[object StructArray]");
    EXPECT_EQ(eval("s.name = 5; r = s.name.toString()"), "Hi");
}

TEST_F(NativeTest, PointerMembersKeepTheirValuesByType) {
    run(kDeclarations);
    run("var s = new Struct(ALL); var q = new Struct(POINT); q.x = 11;"
        "s.str = 'text'; s.lp = 'x'; s.lp = new Object(); s.bp = 5; s.bp = true;"
        "s.dp = 1; s.dp = 2.5; s.pp = 5; s.pp = q; s.raw = new Array(1, 2);");
    engine->collectGarbage();
    EXPECT_EQ(eval("r = [s.str, s.lp, s.bp, s.dp, s.pp.x, s.raw]"), "text,x,true,2.5,11,1,2");
}

TEST_F(NativeTest, BadDescriptorsGiveNull) {
    run(kDeclarations);
    EXPECT_EQ(eval("r = [new Struct() == null, new Struct(5) == null, new Struct('<x') == null,"
                   "new Struct('<A type=\"struct\"><m type=\"Nope\"></m></A>') == null,"
                   "new Struct('<A type=\"struct\"><m type=\"char\" count=\"999999999\"></m></A>') == null]"),
              "true,true,true,true,true");
    EXPECT_EQ(eval("r = Struct(POINT).structSize"), "8");
}

TEST_F(NativeTest, DllParamAndDllWithoutCalls) {
    EXPECT_EQ(eval("r = [new DllParam(8, 0), new DllParam('8', 0) == null, new DllParam(8) == null,"
                   "Dll.toString(), DllParam.toString()]"),
              "[object DllParam],true,true,[object Dll],[object DllParam]");
    // Wrong argument kinds and unknown types and conventions register nothing.
    EXPECT_EQ(eval("r = [Dll.registerFunction('k.dll', 'f', 'f', 'stdcall'),"
                   "Dll.registerFunction(1, 'f', 'f', 'stdcall', 'long'),"
                   "Dll.registerFunction('k.dll', 'f', 'f', 'stdcall', 'nosuchtype'),"
                   "Dll.registerFunction('k.dll', 'f', 'f', 'winapi', 'long'),"
                   "Dll.registerFunction('no-such-module.dll', 'f', 'f', 'cdecl', 'long', 'long'),"
                   "typeof f]"),
              "false,false,false,false,false,undefined");
    EXPECT_EQ(eval("r = [Dll.getPointerStringValue(0), Dll.getPointerWideStringValue('x')]"), "undefined,undefined");
}

} // namespace
