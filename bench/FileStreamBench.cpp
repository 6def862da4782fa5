// Benchmark of FileStream's file: sequential write and read of 100 MB in
// 64 KB blocks and in 4-byte integers, against C stdio doing the same in the
// same run. Prints one line per measurement and the ratios.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/files/BufferedFile.h"

using paloma::host::BufferedFile;

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kTotal = 100u << 20;
constexpr size_t kBlock = 64u << 10;
constexpr size_t kIntegers = kTotal / 4;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string scratchPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name;
}

struct Timing {
    double write = 0, read = 0;
};

Timing paloma(const std::string& path, bool blocks) {
    Timing t;
    std::vector<uint8_t> block(kBlock, 0x5a);
    {
        auto f = BufferedFile::openWithMode(path, "w");
        auto t0 = Clock::now();
        if (blocks)
            for (size_t done = 0; done < kTotal; done += kBlock)
                f->write(block);
        else
            for (size_t i = 0; i < kIntegers; ++i)
                f->writeLong(uint32_t(i));
        f->flush();
        t.write = msSince(t0);
    }
    auto f = BufferedFile::openWithMode(path, "r");
    uint64_t sum = 0;
    auto t0 = Clock::now();
    if (blocks)
        for (size_t done = 0; done < kTotal; done += kBlock)
            sum += f->read(kBlock).size();
    else
        for (size_t i = 0; i < kIntegers; ++i)
            sum += uint32_t(f->getLong());
    t.read = msSince(t0);
    if (sum == 0)
        std::printf("(nothing read)\n");
    return t;
}

Timing stdio(const std::string& path, bool blocks) {
    Timing t;
    std::vector<uint8_t> block(kBlock, 0x5a);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    auto t0 = Clock::now();
    if (blocks)
        for (size_t done = 0; done < kTotal; done += kBlock)
            std::fwrite(block.data(), 1, kBlock, f);
    else
        for (size_t i = 0; i < kIntegers; ++i) {
            uint32_t v = uint32_t(i);
            std::fwrite(&v, 4, 1, f);
        }
    std::fflush(f);
    t.write = msSince(t0);
    std::fclose(f);
    f = std::fopen(path.c_str(), "rb");
    uint64_t sum = 0;
    t0 = Clock::now();
    if (blocks)
        for (size_t done = 0; done < kTotal; done += kBlock) {
            // A fresh buffer per block, as FileStream's read makes one.
            std::vector<uint8_t> in(kBlock);
            sum += std::fread(in.data(), 1, kBlock, f);
        }
    else
        for (size_t i = 0; i < kIntegers; ++i) {
            uint32_t v = 0;
            std::fread(&v, 4, 1, f);
            sum += v;
        }
    t.read = msSince(t0);
    std::fclose(f);
    if (sum == 0)
        std::printf("(nothing read)\n");
    return t;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

constexpr int kRounds = 9;

void compare(const char* what, bool blocks) {
    std::string path = scratchPath("paloma-filestream-bench.bin");
    // Alternating rounds, the side that goes first alternating too, so that
    // both see the same load and neither gets a warmer cache or the other's
    // write-back more often; each figure is the median of its rounds.
    std::vector<double> writes, reads, stdioWrites, stdioReads;
    for (int run = 0; run < kRounds; ++run) {
        Timing p, s;
        if (run % 2) {
            s = stdio(path, blocks);
            p = paloma(path, blocks);
        } else {
            p = paloma(path, blocks);
            s = stdio(path, blocks);
        }
        writes.push_back(p.write);
        reads.push_back(p.read);
        stdioWrites.push_back(s.write);
        stdioReads.push_back(s.read);
    }
    std::remove(path.c_str());
    double w = median(writes), sw = median(stdioWrites), r = median(reads), sr = median(stdioReads);
    std::printf("%-10s write: FileStream %7.1f ms  stdio %7.1f ms  ratio %.2f\n", what, w, sw, w / sw);
    std::printf("%-10s read:  FileStream %7.1f ms  stdio %7.1f ms  ratio %.2f\n", what, r, sr, r / sr);
}

} // namespace

int main() {
    std::printf("100 MB sequential, median of %d rounds\n", kRounds);
    compare("64KB", true);
    compare("int32", false);
    return 0;
}
