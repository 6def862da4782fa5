// Benchmark of the value layer: array pushes and an indexed summing pass,
// many distinct property names on one object, and allocation of many small
// objects with collections. Prints one line per measurement.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "script/values/Array.h"
#include "script/values/Object.h"

using namespace quill;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void arrays() {
    Engine e;
    constexpr int64_t n = 1000000;
    Value arr = newArray(e);
    e.global(e.internName("arr")) = arr;
    auto t0 = Clock::now();
    for (int64_t i = 0; i < n; ++i)
        arrayPush(e, arr.asArray(), Value::integer(i));
    double push = msSince(t0);
    t0 = Clock::now();
    int64_t sum = 0;
    Value v;
    for (uint64_t i = 0; i < arr.asArray()->length; ++i)
        if (arrayGet(arr.asArray(), i, v))
            sum += v.asInteger();
    double pass = msSince(t0);
    std::printf("array: %lld pushes %.1f ms, summing pass %.1f ms (sum %lld)\n", static_cast<long long>(n), push,
                pass, static_cast<long long>(sum));
    // For scale on this machine: the same pushes into a plain vector of
    // (Value, sequence) pairs, the size of an element here.
    struct Plain {
        Value v;
        uint64_t seq;
    };
    t0 = Clock::now();
    std::vector<Plain> plain;
    for (int64_t i = 0; i < n; ++i)
        plain.push_back(Plain{Value::integer(i), static_cast<uint64_t>(i)});
    std::printf("  baseline: std::vector push_back of %lld elements %.1f ms\n", static_cast<long long>(n),
                msSince(t0));
}

void properties() {
    Engine e;
    constexpr int n = 100000;
    std::vector<std::string> names;
    names.reserve(n);
    for (int i = 0; i < n; ++i)
        names.push_back("property" + std::to_string(i));
    auto t0 = Clock::now();
    std::vector<SymbolId> ids;
    ids.reserve(n);
    for (const std::string& name : names)
        ids.push_back(e.internName(name));
    double intern = msSince(t0);
    ObjectRecord* o = newObject(e);
    e.global(e.internName("o")) = Value::object(o);
    t0 = Clock::now();
    for (int i = 0; i < n; ++i)
        objectPut(e, o, ids[i], Value::integer(i));
    double set = msSince(t0);
    t0 = Clock::now();
    int64_t sum = 0;
    Value v;
    for (int i = 0; i < n; ++i)
        if (objectGet(e, o, ids[i], v))
            sum += v.asInteger();
    double get = msSince(t0);
    std::printf("object: %d names interned %.1f ms, set %.1f ms, read %.1f ms (sum %lld)\n", n, intern, set, get,
                static_cast<long long>(sum));
}

void allocation() {
    Engine e;
    constexpr int n = 1000000;
    SymbolId x = e.internName("x");
    SymbolId keep = e.internName("keep");
    ObjectRecord* holder = newObject(e);
    e.global(keep) = Value::object(holder);
    auto t0 = Clock::now();
    int collections = 0;
    for (int i = 0; i < n; ++i) {
        ObjectRecord* o = newObject(e);
        objectPut(e, o, x, Value::integer(i));
        if (i % 1000 == 0)
            objectPut(e, holder, x, Value::object(o)); // a few survive each round
        if (i % 100 == 0 && e.collectIfNeeded())
            ++collections;
    }
    double ms = msSince(t0);
    std::printf("allocation: %d small objects %.1f ms, %d collections, %.1f MB from the system\n", n, ms,
                collections, static_cast<double>(e.heap.bytesFromSystem()) / (1024.0 * 1024.0));
}

} // namespace

int main() {
    arrays();
    properties();
    allocation();
    return 0;
}
