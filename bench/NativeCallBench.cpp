// Native calls against script calls: a registered two-argument DLL function
// (msvcrt's _rotl, cdecl) against a script function of the same arity, and
// Struct member reads. The native part runs in the Windows builds only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

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

// The median of the values.
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    auto engine = quill::createEngine(paloma::host::hostEngineOptions());
    if (!engine)
        return 1;
    const std::string setup = "function add(a, b) { return a + b; } var x = 0;"
                              "struct { long x; long y; } POINT; var s = new Struct(POINT); s.x = 3;"
                              "dllimport \"msvcrt.dll\" cdecl long _rotl(long, long) as rotl;";
    // Rounds alternate the two loops, so that both see the same load; each
    // figure is the median of its rounds, the ratio the median of the rounds'.
    constexpr int kRounds = 7;
    std::vector<double> scripts, natives, ratios;
    for (int round = 0; round < kRounds; ++round) {
        double script = timeLoop(*engine, setup, "x = add(i, 1);");
        scripts.push_back(script);
#if defined(_WIN32)
        double native = timeLoop(*engine, setup, "x = rotl(i, 1);");
        natives.push_back(native);
        ratios.push_back(native / script);
#endif
    }
    std::printf("median of %d rounds\n", kRounds);
    report("script function, two arguments", median(scripts));
#if defined(_WIN32)
    report("native function, two arguments", median(natives));
    std::printf("%-40s %12.2f script calls\n", "one native call costs", median(ratios));
#else
    std::printf("native function, two arguments: Windows builds only\n");
#endif
    report("Struct member reads", timeLoop(*engine, setup, "x = s.x;"));
    report("Struct member writes", timeLoop(*engine, setup, "s.y = i;"));
    return 0;
}
