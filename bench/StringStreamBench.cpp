// StringStream compress and uncompress of 50 MB against zlib's own one-call
// compress2/uncompress on the same data in the same run (goal: within 10%).
// Best-of-three wall-clock seconds.
#include "host/files/MemoryStream.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

double bestOfThree(const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main() {
    using paloma::host::MemoryStream;
    constexpr size_t kSize = 50u << 20;
    // Compressible but not trivial: words drawn from a small vocabulary.
    const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "epsilon ", "zeta ", "eta ", "theta\n"};
    std::vector<uint8_t> data;
    data.reserve(kSize + 16);
    std::mt19937 rng(3);
    while (data.size() < kSize) {
        const char* w = words[rng() % 8];
        while (*w)
            data.push_back(uint8_t(*w++));
    }
    data.resize(kSize);
    MemoryStream stream(data);

    std::optional<MemoryStream> packed;
    double ours = bestOfThree([&] { packed = stream.compress(6); });
    std::vector<uint8_t> zout;
    uLongf zlen = 0;
    double theirs = bestOfThree([&] {
        zout = std::vector<uint8_t>(compressBound(uLong(kSize)));
        zlen = uLongf(zout.size());
        compress2(zout.data(), &zlen, data.data(), uLong(kSize), 6);
    });
    std::optional<MemoryStream> unpacked;
    double oursIn = bestOfThree([&] { unpacked = packed->uncompress(); });
    // zlib is told the size; both sides make a fresh buffer each time.
    std::vector<uint8_t> back;
    double theirsIn = bestOfThree([&] {
        back = std::vector<uint8_t>(kSize);
        uLongf n = uLongf(back.size());
        uncompress(back.data(), &n, zout.data(), zlen);
    });
    bool ok = packed && unpacked && unpacked->content() == data && back == data;
    std::printf("| 50 MB             | StringStream s | zlib s | ratio |\n");
    std::printf("|-------------------|----------------|--------|-------|\n");
    std::printf("| compress (lvl 6)  | %14.3f | %6.3f | %5.2f |\n", ours, theirs, ours / theirs);
    std::printf("| uncompress        | %14.3f | %6.3f | %5.2f |\n", oursIn, theirsIn, oursIn / theirsIn);
    std::printf("check: round trip %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
