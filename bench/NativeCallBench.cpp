// Native calls against script calls: a registered two-argument DLL function
// (msvcrt's _rotl, cdecl) against a script function of the same arity, and
// Struct member reads. The native part runs in the Windows builds only.
#include <chrono>
#include <cstdio>
#include <string>

#include "host/ClassOrder.h"
#include "script/Quill.h"

namespace {

constexpr int kCount = 1000000;

// Seconds for running the loop body kCount times, the empty loop subtracted.
double timeLoop(quill::Engine& engine, const std::string& setup, const std::string& body) {
    auto seconds = [&](const std::string& b) {
        std::string source = setup + "\nfor (var i = 0; i < " + std::to_string(kCount) + "; i++) { " + b + " }";
        auto start = std::chrono::steady_clock::now();
        if (!quill::evalSource(engine, source)) {
            std::fprintf(stderr, "script failed: %s\n", engine.errorText);
            return 0.0;
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double empty = seconds(""), full = seconds(body);
    return full > empty ? full - empty : full;
}

void report(const char* what, double seconds) {
    std::printf("%-40s %12.0f per second (%.1f ns each)\n", what, kCount / seconds, seconds * 1e9 / kCount);
}

} // namespace

int main() {
    auto engine = quill::createEngine(paloma::host::hostEngineOptions());
    if (!engine)
        return 1;
    const std::string setup = "function add(a, b) { return a + b; } var x = 0;"
                              "struct { long x; long y; } POINT; var s = new Struct(POINT); s.x = 3;"
                              "dllimport \"msvcrt.dll\" cdecl long _rotl(long, long) as rotl;";
    double script = timeLoop(*engine, setup, "x = add(i, 1);");
    report("script function, two arguments", script);
#if defined(_WIN32)
    double native = timeLoop(*engine, setup, "x = rotl(i, 1);");
    report("native function, two arguments", native);
    std::printf("%-40s %12.2f script calls\n", "one native call costs", native / script);
#else
    std::printf("native function, two arguments: Windows builds only\n");
#endif
    report("Struct member reads", timeLoop(*engine, setup, "x = s.x;"));
    report("Struct member writes", timeLoop(*engine, setup, "s.y = i;"));
    return 0;
}
