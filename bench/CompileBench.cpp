// Compiler throughput: compiles generated 50,000-line scripts and reports
// lines per second. Three shapes: many small functions, one function of
// 50,000 lines (a pass quadratic in a function's instructions shows here),
// and top-level code of 50,000 lines.
#include "script/compiler/Compiler.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <string>

namespace {

constexpr int kLines = 50000;

// One of several statement shapes, each one line.
std::string statementLine(int i) {
    std::string n = std::to_string(i);
    switch (i % 10) {
    case 0: return "var v" + n + " = a + " + n + " * (b - 3) / 2;\n";
    case 1: return "if (x < " + n + ") { y = f(x, " + n + ", 'text'); } else { y = -x; }\n";
    case 2: return "for (var i = 0; i < 10; i++) { s += i; if (s > 100) break; }\n";
    case 3: return "o = {name: 'n" + n + "', value: " + n + ", list: [1, 2, 3, , 5]};\n";
    case 4: return "switch (k) { case 1: z = 1; break; case 2: z = 2; default: z = 0; }\n";
    case 5: return "try { risky(" + n + "); } catch (e if e == 1) { z = e; } catch (e) { z = 0; } finally { done(); }\n";
    case 6: return "for (var key in o) { if (key == 'name') continue; t[key] = o[key]; }\n";
    case 7: return "while (q && q.next) { q = q.next; c++; }\n";
    case 8: return "m = s.replace(/a+b/gi, \"x\\ty\") + obj.method(1, 2.5, #'c') + (n >>> 2);\n";
    default: return "with (w) { total += amount * rate; }\n";
    }
}

std::string manyFunctions() {
    std::string s;
    int line = 0;
    int fn = 0;
    while (line < kLines) {
        s += "function f" + std::to_string(fn++) + "(a, b, x, k, q, o) { var s = 0, y, z, t = {}, m, c = 0;\n";
        ++line;
        for (int i = 0; i < 18 && line < kLines - 1; ++i, ++line)
            s += statementLine(line);
        s += "return s; }\n";
        ++line;
    }
    return s;
}

std::string oneFunction() {
    std::string s = "function big(a, b, x, k, q, o) { var s = 0, y, z, t = {}, m, c = 0;\n";
    for (int line = 1; line < kLines - 1; ++line)
        s += statementLine(line);
    return s + "return s; }\n";
}

std::string topLevel() {
    std::string s;
    for (int line = 0; line < kLines; ++line)
        s += statementLine(line);
    return s;
}

void measure(const char* name, const std::string& source) {
    // Best of three runs, wall clock and processor time (the machine may be
    // shared, which only the first of the two shows).
    double best = 1e30;
    double bestCpu = 1e30;
    size_t codeBytes = 0;
    for (int run = 0; run < 3; ++run) {
        std::clock_t c0 = std::clock();
        auto t0 = std::chrono::steady_clock::now();
        quill::CompileResult r = quill::compileScript(source);
        auto t1 = std::chrono::steady_clock::now();
        std::clock_t c1 = std::clock();
        if (!r.ok) {
            std::printf("%s: compilation failed:\n%s", name, r.messages.c_str());
            return;
        }
        codeBytes = r.sections.code.size();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
        bestCpu = std::min(bestCpu, static_cast<double>(c1 - c0) / CLOCKS_PER_SEC);
    }
    std::printf("%-14s %6d lines  wall %8.1f ms %9.0f lines/s  cpu %8.1f ms %9.0f lines/s  (%zu code bytes)\n",
                name, kLines, best * 1000, kLines / best, bestCpu * 1000, kLines / bestCpu, codeBytes);
}

} // namespace

int main() {
    measure("functions", manyFunctions());
    measure("one function", oneFunction());
    measure("top level", topLevel());
    return 0;
}
