/* nativetest.dll: functions in every calling convention and with every
   argument kind, for the native-call tests. Test infrastructure only. */
#include <string.h>
#include <wchar.h>

#define EXPORT __declspec(dllexport)

#if defined(_WIN64)
#define FASTCALL
#else
#define FASTCALL __fastcall
#endif

typedef struct { long x; long y; } Point8;
typedef struct { long a; long b; long c; } Triple12;
typedef struct { const char* name; long* out; double* scale; } Named;

/* ---- conventions ---------------------------------------------------------- */
EXPORT long __cdecl subCdecl(long a, long b) { return a - b; }
EXPORT long __stdcall subStdcall(long a, long b) { return a - b; }
EXPORT long FASTCALL subFastcall(long a, long b, long c) { return a - b - c; }
/* ECX, EDX, then the double on the stack. */
EXPORT double FASTCALL fastMix(long a, double d, long b) { return a * 100.0 + d + b * 10.0; }

/* ---- every argument kind --------------------------------------------------- */
#define MIX_BODY return (double)c + b + s + us + l + ul + (double)big + f + d;
EXPORT double __cdecl mixCdecl(char c, unsigned char b, short s, unsigned short us, long l, unsigned long ul,
                               long long big, float f, double d) { MIX_BODY }
EXPORT double __stdcall mixStdcall(char c, unsigned char b, short s, unsigned short us, long l, unsigned long ul,
                                   long long big, float f, double d) { MIX_BODY }
EXPORT float __cdecl halfFloat(float x) { return x / 2; }
EXPORT double __stdcall scaleDouble(double x, long k) { return x * k; }
EXPORT long long __cdecl mul64(long long a, long long b) { return a * b; }
EXPORT unsigned char __cdecl lowByte(long v) { return (unsigned char)v; }
EXPORT short __cdecl negShort(short v) { return (short)-v; }
EXPORT float __stdcall firstFloat(double a, float b, long c, float d, float e) { return (float)(a + b + c + d) * e; }

/* ---- strings ----------------------------------------------------------------- */
EXPORT long __cdecl countChar(const char* s, char c) {
    long n = 0;
    for (; *s; ++s) n += *s == c;
    return n;
}
EXPORT void __stdcall fillText(char* buf, long size) {
    if (size > 0) { strncpy(buf, "filled", (size_t)size - 1); buf[size - 1] = 0; }
}
EXPORT long __stdcall wideLength(const wchar_t* s) { return (long)wcslen(s); }
EXPORT void __stdcall upcaseWide(wchar_t* s) { for (; *s; ++s) if (*s >= L'a' && *s <= L'z') *s -= 32; }
EXPORT const char* __cdecl greeting(void) { return "hello from the dll"; }

/* ---- pointers -------------------------------------------------------------------- */
EXPORT void __stdcall setLong(long* p, long v) { *p = v; }
EXPORT void __cdecl setDouble(double* p) { *p = *p * 2 + 0.25; }
EXPORT void __cdecl setInt64(long long* p) { *p = 0x123456789LL; }
EXPORT void __cdecl setShort(unsigned short* p) { *p = 0xBEEF; }
EXPORT long __cdecl isNull(void* p) { return p == 0; }

/* ---- structures --------------------------------------------------------------------- */
EXPORT Point8 __cdecl makePoint(long x, long y) { Point8 p = {x, y}; return p; }
EXPORT Triple12 __stdcall makeTriple(long a) { Triple12 t = {a, a * 2, a * 3}; return t; }
EXPORT Triple12 __cdecl makeTripleCdecl(long a) { Triple12 t = {a, -a, 7}; return t; }
EXPORT void __stdcall fillPoint(Point8* p) { p->x = 10; p->y = 20; }
EXPORT long __cdecl sumPoint(Point8 p) { return p.x * 1000 + p.y; }
EXPORT long __stdcall sumTriple(long k, Triple12 t) { return k + t.a * 100 + t.b * 10 + t.c; }
EXPORT long __cdecl useNamed(Named* n) {
    long len = (long)strlen(n->name);
    *n->out = len;
    if (n->scale) *n->scale = *n->scale * len;
    return len;
}

/* ---- byte buffers ------------------------------------------------------------------------ */
EXPORT long __cdecl sumBytes(const unsigned char* p, long n) {
    long sum = 0;
    for (long i = 0; i < n; ++i) sum += p[i];
    return sum;
}
EXPORT void __stdcall scaleLongs(long* p, long n, long k) { for (long i = 0; i < n; ++i) p[i] *= k; }

/* ---- callbacks ------------------------------------------------------------------------- */
typedef long(__stdcall* LongFn)(long);
EXPORT long __stdcall increment(long v) { return v + 1; }
EXPORT long __cdecl applyTwice(LongFn f, long x) { return f(f(x)); }
EXPORT void* __cdecl incrementAddress(void) { return (void*)&increment; }
