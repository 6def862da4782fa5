// Benchmark of the host class boundary: a host method call with two
// arguments (a class written with the class kit, the way every family
// writes its members) against script calls of the same arity: a method of a
// script object and a global script function. Each runs the same loop; an
// empty loop gives the loop's own cost, which is taken off before the ratio.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "host/ClassOrder.h"
#include "host/framework/HostClass.h"
#include "script/Quill.h"

using namespace paloma::host;

namespace {

using Clock = std::chrono::steady_clock;

struct Adder {
    int64_t calls = 0;
};

void add(Adder& adder, MemberCall& c) {
    auto a = c.number(1), b = c.number(2);
    if (!a || !b)
        return;
    ++adder.calls;
    c.result = integerResult(*a + *b);
}

constexpr Member kAdderMembers[] = {method<add>("add")};

void adderConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, quill::Value& result) {
    bindHandle(engine, cls, std::make_unique<Adder>(), result);
}

double runMs(quill::Engine& engine, const std::string& source) {
    auto compiled = quill::compileScript(source);
    if (!compiled.ok) {
        std::fprintf(stderr, "%s\n", compiled.messages.c_str());
        return -1;
    }
    auto t0 = Clock::now();
    if (!quill::runImage(engine, compiled.sections)) {
        std::fprintf(stderr, "%s\n", engine.errorText);
        return -1;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

} // namespace

int main() {
    auto engine = quill::createEngine(hostEngineOptions());
    registerHostClass(*engine, {.className = "Adder",
                                .members = kAdderMembers,
                                .construct = adderConstruct,
                                .destroyData = destroyHandle<Adder>});
    constexpr long n = 3000000;
    const std::string loop = "for (var i = 0; i < " + std::to_string(n) + "; i++) ";
    const std::string setup = "var h = new Adder(); var o = new Object(); o.add = function(a, b) { return a + b; };"
                              "function add(a, b) { return a + b; } var s = 0;";
    runMs(*engine, setup);
    // Warm-up, then the best of five runs of each.
    auto best = [&](const std::string& body) {
        double b = 1e300;
        for (int r = 0; r < 5; ++r) {
            double ms = runMs(*engine, loop + body);
            if (ms >= 0 && ms < b)
                b = ms;
        }
        return b;
    };
    double empty = best("s = i;");
    double host = best("s = h.add(i, 1);");
    double method = best("s = o.add(i, 1);");
    double function = best("s = add(i, 1);");
    auto perCall = [&](double ms) { return (ms - empty) * 1e6 / double(n); };
    std::printf("host call: %ld calls; loop alone %.1f ms\n", n, empty);
    std::printf("  host method h.add(i, 1)           %.1f ms  %.1f ns/call\n", host, perCall(host));
    std::printf("  script method o.add(i, 1)         %.1f ms  %.1f ns/call\n", method, perCall(method));
    std::printf("  script function add(i, 1)         %.1f ms  %.1f ns/call\n", function, perCall(function));
    std::printf("  ratio host / script method %.2f, host / script function %.2f (goal <= 1.5)\n",
                perCall(host) / perCall(method), perCall(host) / perCall(function));
    return 0;
}
