// Calls into a real DLL built by the project and into system DLLs, in every
// convention the build has, with every argument kind.
#include <windows.h>

#include "NativeFixture.h"

using namespace paloma::host::test;

namespace {

class NativeCallTest : public NativeTest {
protected:
    void SetUp() override {
        NativeTest::SetUp();
        run(std::string("var testDll = '") + PALOMA_NATIVE_TEST_DLL + "';" + R"(
struct { long x; long y; } Point8;
struct { long a; long b; long c; } Triple12;
struct { String name; long* out; double* scale; } Named;
dllimport testDll cdecl long subCdecl(long, long);
dllimport testDll stdcall long subStdcall(long a, long b);
dllimport testDll pascal long subStdcall(long, long) as subPascal;
dllimport testDll fastcall long subFastcall(long, long, long);
dllimport testDll fastcall double fastMix(long, double, long);
dllimport testDll cdecl double mixCdecl(char, unsigned char, short, unsigned short, long, unsigned long, int64, float, double);
dllimport testDll stdcall double mixStdcall(char, unsigned char, short, unsigned short, long, unsigned long, int64, float, double);
dllimport testDll cdecl float halfFloat(float);
dllimport testDll stdcall double scaleDouble(double, long);
dllimport testDll cdecl int64 mul64(int64, int64);
dllimport testDll cdecl unsigned char lowByte(long);
dllimport testDll cdecl short negShort(short);
dllimport testDll stdcall float firstFloat(double, float, long, float, float);
dllimport testDll cdecl long countChar(String, char);
dllimport testDll stdcall void fillText(String, long);
dllimport testDll cdecl pointer greeting();
dllimport testDll stdcall void setLong(long*, long);
dllimport testDll cdecl void setDouble(double*);
dllimport testDll cdecl void setInt64(int64*);
dllimport testDll cdecl void setShort(unsigned short*);
dllimport testDll cdecl long isNull(pointer);
dllimport testDll cdecl Point8 makePoint(long, long);
dllimport testDll stdcall Triple12 makeTriple(long);
dllimport testDll cdecl Triple12 makeTripleCdecl(long);
dllimport testDll stdcall void fillPoint(Point8*);
dllimport testDll cdecl long sumPoint(Point8);
dllimport testDll stdcall long sumTriple(long, Triple12);
dllimport testDll cdecl long useNamed(Named*);
dllimport testDll cdecl long applyTwice(pointer, long);
dllimport testDll cdecl pointer incrementAddress();
dllimport testDll cdecl long sumBytes(pointer, long);
dllimport testDll stdcall void scaleLongs(long*, long, long);
dllimport "kernel32.dll" stdcall long lstrlenA(String);
dllimport "kernel32.dll" stdcall unsigned long GetTickCount();
dllimport "kernel32.dll" stdcall pointer GetModuleHandleA(String);
dllimport "kernel32.dll" stdcall pointer GetProcAddress(pointer, String);
dllimport "user32.dll" stdcall long GetSystemMetrics(long);
dllimport "user32.dll" cdecl long wsprintfA(String, String, long, String);
)");
        ASSERT_FALSE(global("subCdecl").isUndefined()) << "the test DLL did not register";
    }
};

TEST_F(NativeCallTest, EveryConventionReturnsCorrectly) {
    EXPECT_EQ(eval("r = [subCdecl(10, 3), subStdcall(10, 3), subPascal(10, 3), subFastcall(10, 3, 2)]"),
              "7,7,7,5");
    // fastcall: the two longs in registers, the double on the stack.
    EXPECT_EQ(eval("r = fastMix(1, 0.5, 2)"), "120.5");
    // Many calls in a row leave the stack as they found it.
    EXPECT_EQ(eval("var t = 0; for (var i = 0; i < 1000; i++) t += subStdcall(i, 1) + subCdecl(1, i);"
                   "r = t"),
              "0");
}

TEST_F(NativeCallTest, EveryArgumentKind) {
    EXPECT_EQ(eval("r = [mixCdecl(1, 2, 3, 4, 5, 6, 7, 0.5, 0.25), mixStdcall(1, 2, 3, 4, 5, 6, 7, 0.5, 0.25)]"),
              "28.75,28.75");
    // Widths and signs: each value is stored with its type's width.
    EXPECT_EQ(eval("r = mixCdecl(255, 256 + 255, 65535, 65536 + 1, -1, 4294967295, 8589934592, 1, 2) =="
                   "-1 + 255 - 1 + 1 - 1 + 4294967295 + 8589934592 + 1 + 2"),
              "true");
    // A string passes its first character, a Float is truncated for integer
    // types and a Boolean is 0 or 1.
    EXPECT_EQ(eval("r = mixCdecl('A', 2.9, true, 0, 0, 0, 0, 1, 0.5)"), "69.5");
    EXPECT_EQ(eval("r = [halfFloat(3), scaleDouble(1.25, 4), mul64(4294967296, 3), lowByte(511), negShort(5),"
                   "firstFloat(1.5, 2.5, 3, 4, 0.5)]"),
              "1.5,5,12884901888,255,-5,5.5");
    EXPECT_EQ(eval("r = [countChar('banana', 'a'), isNull(null), isNull(5)]"), "3,1,0");
}

TEST_F(NativeCallTest, StringsAndPointersWriteBackThroughObjects) {
    EXPECT_EQ(eval("var o = new Object(); o.value = '          '; fillText(o, 11); r = o.value"), "filled");
    EXPECT_EQ(eval("var t = '          '; fillText(t, 11); r = t"), "          ");
    EXPECT_EQ(eval("r = Dll.getPointerStringValue(greeting())"), "hello from the dll");
    // Wide text in, and written back as wide text; raw wide text read from an address.
    EXPECT_EQ(eval("Dll.registerFunction(testDll, 'wideLength', 'wideLength', 'stdcall', 'long', 'widestring');"
                   "Dll.registerFunction(testDll, 'upcaseWide', 'upcaseWide', 'stdcall', 'void', 'widestring');"
                   "Dll.registerFunction('kernel32.dll', 'GetCommandLineW', 'lineW', 'stdcall', 'pointer');"
                   "Dll.registerFunction('kernel32.dll', 'GetCommandLineA', 'lineA', 'stdcall', 'pointer');"
                   "var u = new Object(); u.value = 'wide text'; upcaseWide(u);"
                   "r = [wideLength('wide'), u.value,"
                   "Dll.getPointerWideStringValue(lineW()) == Dll.getPointerStringValue(lineA())]"),
              "4,WIDE TEXT,true");
    EXPECT_EQ(eval("o = new Object(); o.value = 5; setLong(o, 7); var n = 5; setLong(n, 7); r = [o.value, n]"),
              "7,5");
    EXPECT_EQ(eval("var d = new Object(); d.value = 1.5; setDouble(d);"
                   "var q = new Object(); q.value = 0; setInt64(q);"
                   "var s = new Object(); s.value = 1; setShort(s); r = [d.value, q.value, s.value]"),
              "3.25,4886718345,48879");
}

TEST_F(NativeCallTest, StructuresByPointerByValueAndAsResults) {
    // 8 bytes come back in registers, 12 through the hidden first argument.
    EXPECT_EQ(eval("var p = makePoint(3, 4); r = [p.x, p.y, p.structSize]"), "3,4,8");
    EXPECT_EQ(eval("var t = makeTriple(5); r = [t.a, t.b, t.c]"), "5,10,15");
    EXPECT_EQ(eval("t = makeTripleCdecl(2); r = [t.a, t.b, t.c, subCdecl(9, 1)]"), "2,-2,7,8");
    // A Struct passed directly keeps its contents; as an object's value it
    // comes back filled, as a new Struct.
    EXPECT_EQ(eval("var s = new Struct(Point8); s.x = 1; fillPoint(s); var o = new Object(); o.value = s;"
                   "fillPoint(o); r = [s.x, o.value.x, o.value.y, o.value == s]"),
              "1,10,20,false");
    EXPECT_EQ(eval("r = [sumPoint(makePoint(3, 4)), sumTriple(1, makeTriple(2))]"), "3004,247");
    // Pointer members become native pointers for the call only.
    EXPECT_EQ(eval("var nm = new Struct(Named); nm.name = 'seven!!'; nm.out = 0; nm.scale = 1.5;"
                   "r = [useNamed(nm), nm.name, nm.scale]"),
              "7,seven!!,1.5");
    // Wrapped in an object it comes back as a new Struct whose pointer
    // members hold their script values again.
    EXPECT_EQ(eval("var on = new Object(); on.value = nm; useNamed(on);"
                   "r = [on.value == nm, on.value.name, on.value.scale, on.value.structSize]"),
              std::string("false,seven!!,1.5,") + (sizeof(void*) == 8 ? "24" : "12"));
    // A DllParam names the result's structure.
    EXPECT_EQ(eval("Dll.registerFunction(testDll, 'makePoint', 'mp', 'cdecl', new DllParam(8, 0, 'Point8'), 'long', 'long');"
                   "r = mp(6, 7).y"),
              "7");
    EXPECT_EQ(eval("Dll.registerFunction(testDll, 'makePoint', 'mp2', 'cdecl', new DllParam(8, 0), 'long', 'long');"
                   "var m = mp2(6, 7); var x = m.getLong(); r = [m, m.length, x, m.getLong()]"),
              "[object StringStream],8,6,7");
}

TEST_F(NativeCallTest, StringStreamsAsArgumentsAndResults) {
    // By value: a pointer to a copy of the bytes, or the bytes as a structure
    // (which they must fit).
    EXPECT_EQ(eval("var b = new StringStream(); b.put(1); b.put(2); b.put(250);"
                   "var p = new StringStream(); p.write(3, 4); var t = new StringStream(); t.write(1, 2, 3);"
                   "r = [sumBytes(b, 3), sumPoint(p), sumTriple(1, t), typeof sumPoint(t), b.length]"),
              "253,3004,124,undefined,3");
    // By reference: a copy (text in it ends in a zero); through an object's
    // `value` the bytes the DLL left come back as a new StringStream.
    EXPECT_EQ(eval("var w = new StringStream(); w.write('banana'); var o = new Object(); o.value = new StringStream();"
                   "o.value.write(2, 3, 4); var before = o.value; scaleLongs(o, 3, 10);"
                   "var l = o.value.getLong(); l += ' ' + o.value.getLong(); l += ' ' + o.value.getLong();"
                   "r = [countChar(w, 'a'), o.value == before, l, before.getLong()]"),
              "3,false,20 30 40,2");
    EXPECT_EQ(eval("var d = new StringStream(); fillPoint(d); var f = new Object(); f.value = new StringStream();"
                   "fillPoint(f); var x = f.value.getLong(); r = [d.length, f.value.length, x, f.value.getLong()]"),
              "0,8,10,20");
    // A pointer member holding a StringStream points at a copy of its bytes.
    EXPECT_EQ(eval("var nm = new Struct(Named); var text = new StringStream(); text.write('four');"
                   "nm.name = text; nm.out = 0; r = [useNamed(nm), nm.name == text]"),
              "4,true");
    // Raw memory as a StringStream.
    EXPECT_EQ(eval("var g = Dll.getPointerValue(greeting(), 5); r = [g.length, g.readString(),"
                   "Dll.getPointerValue(0, 4), typeof Dll.getPointerValue(greeting(), -1)]"),
              "5,hello,undefined,undefined");
}

TEST_F(NativeCallTest, CallbacksAndSystemFunctions) {
    EXPECT_EQ(eval("r = applyTwice(incrementAddress(), 5)"), "7");
    EXPECT_EQ(eval("r = applyTwice(GetProcAddress(GetModuleHandleA('nativetest.dll'), 'increment'), 1)"), "3");
    EXPECT_EQ(eval("r = lstrlenA('hello')"), "5");
    EXPECT_EQ(eval("r = GetSystemMetrics(0)"), std::to_string(GetSystemMetrics(0)));
    DWORD before = GetTickCount();
    run("r = GetTickCount();");
    int64_t ticks = global("r").asInteger();
    EXPECT_GE(ticks, int64_t(before));
    EXPECT_LE(ticks, int64_t(GetTickCount()));
    EXPECT_EQ(eval("var b = new Object(); b.value = '                '; var n = wsprintfA(b, '%d-%s', 42, 'x');"
                   "r = [n, b.value]"),
              "4,42-x");
}

TEST_F(NativeCallTest, BadInputFailsWithoutCalling) {
    EXPECT_EQ(eval("var o = new Object(); o.value = 5; var u = setLong(o); r = [typeof u, o.value]"),
              "undefined,5");
    EXPECT_EQ(eval("r = [typeof subCdecl('', 1), typeof subCdecl(new Array(), 1), typeof subCdecl(null, 1),"
                   "typeof makePoint(1, ''), typeof sumPoint(new Struct(Triple12)), typeof sumPoint(5)]"),
              "undefined,undefined,undefined,undefined,undefined,undefined");
    EXPECT_EQ(eval("r = [Dll.registerFunction(testDll, 'noSuchFunction', 'x', 'cdecl', 'long'),"
                   "Dll.registerFunction('noSuchLibrary.dll', 'f', 'x', 'cdecl', 'long'),"
                   "Dll.registerFunction(testDll, 'subCdecl', 'x', 'nocall', 'long'),"
                   "Dll.registerFunction(testDll, 'subCdecl', 'x', 'cdecl', 'long', 'Unknown*'), typeof x]"),
              "false,false,false,false,undefined");
}

TEST_F(NativeCallTest, TheDllIsFreedWithItsLastFunction) {
    engine.reset();
    ASSERT_EQ(GetModuleHandleA("nativetest.dll"), nullptr);
    SetUp();
    ASSERT_NE(GetModuleHandleA("nativetest.dll"), nullptr);
    run("Dll.unregisterFunction('subCdecl'); Dll.unregisterFunction('x');");
    EXPECT_TRUE(global("subCdecl").isUndefined());
    engine->collectGarbage();
    EXPECT_NE(GetModuleHandleA("nativetest.dll"), nullptr) << "other functions still use it";
    run("for (var k in this) {}");
    const char* names[] = {"subStdcall", "subPascal", "subFastcall", "fastMix", "mixCdecl", "mixStdcall",
                           "halfFloat", "scaleDouble", "mul64", "lowByte", "negShort", "firstFloat",
                           "countChar", "fillText", "greeting", "setLong", "setDouble", "setInt64",
                           "setShort", "isNull", "makePoint", "makeTriple", "makeTripleCdecl", "fillPoint",
                           "sumPoint", "sumTriple", "useNamed", "applyTwice", "incrementAddress", "sumBytes",
                           "scaleLongs", "wideLength", "upcaseWide"};
    for (const char* name : names)
        run(std::string("Dll.unregisterFunction('") + name + "');");
    engine->collectGarbage();
    EXPECT_EQ(GetModuleHandleA("nativetest.dll"), nullptr);
}

} // namespace
