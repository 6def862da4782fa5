// StringStream compress and uncompress of 50 MB against zlib's own one-call
// compress2/uncompress on the same data in the same run (goal: within 10%).
//
// Like with like: each side makes its output in fresh memory every round
// (never zero-filled ahead, so its pages are first touched by the work
// itself), and the previous round's output is freed outside the timing. zlib
// is told the inflated size and writes into a buffer of exactly that size;
// StringStream must find the size as it inflates, into the content of the
// stream it returns. Rounds alternate between the sides so load on the
// machine falls on both; the figure is the median wall-clock time.
#include "host/files/MemoryStream.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kRounds = 7;

double seconds(const std::function<void()>& run) {
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A buffer of `size` bytes left as the allocator gives it (not zero-filled).
std::unique_ptr<uint8_t[]> freshBuffer(size_t size) { return std::unique_ptr<uint8_t[]>(new uint8_t[size]); }

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

    std::vector<double> ours, theirs, oursIn, theirsIn;
    std::optional<MemoryStream> packed, unpacked;
    std::unique_ptr<uint8_t[]> zout, back;
    uLongf zlen = 0;
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
        packed.reset();
        ours.push_back(seconds([&] { packed = stream.compress(6); }));
        zout.reset();
        theirs.push_back(seconds([&] {
            zlen = compressBound(uLong(kSize));
            zout = freshBuffer(zlen);
            ok &= compress2(zout.get(), &zlen, data.data(), uLong(kSize), 6) == Z_OK;
        }));
        ok &= packed.has_value();
        if (!ok)
            break;
        unpacked.reset();
        oursIn.push_back(seconds([&] { unpacked = packed->uncompress(); }));
        back.reset();
        theirsIn.push_back(seconds([&] {
            back = freshBuffer(kSize);
            uLongf n = kSize;
            ok &= uncompress(back.get(), &n, zout.get(), zlen) == Z_OK && n == kSize;
        }));
        ok &= unpacked && unpacked->content() == data && std::memcmp(back.get(), data.data(), kSize) == 0;
        if (!ok)
            break;
    }
    if (!ok) {
        std::printf("check: round trip FAILED\n");
        return 1;
    }
    std::printf("| 50 MB, median of %d | StringStream s | zlib s | ratio |\n", kRounds);
    std::printf("|---------------------|----------------|--------|-------|\n");
    std::printf("| compress (lvl 6)    | %14.3f | %6.3f | %5.2f |\n", median(ours), median(theirs),
                median(ours) / median(theirs));
    std::printf("| uncompress          | %14.3f | %6.3f | %5.2f |\n", median(oursIn), median(theirsIn),
                median(oursIn) / median(theirsIn));
    std::printf("check: round trip ok\n");
    return 0;
}
