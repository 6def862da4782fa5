// Benchmark of FileStream: sequential write and read of 100 MB in 64 KB
// blocks and in 4-byte integers, against C stdio doing the same in the same
// run. Blocks go through the script class itself (`write` of a 64 KB
// StringStream, `read(65536)`), so the figure holds everything a script
// pays but the loop; integers go through the stream layer under `write` and
// `getLong` (a script call per integer would measure the interpreter, not
// the file). Prints one line per measurement and the ratios.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/ClassOrder.h"
#include "host/files/BufferedFile.h"
#include "script/Quill.h"

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
    double readKept = 0; // blocks: each block left to the collector instead of closed
};

// Milliseconds of a script run (0 and a message when it fails).
double scriptMs(quill::Engine& engine, const std::string& source) {
    auto t0 = Clock::now();
    if (!quill::evalSource(engine, source)) {
        std::printf("script failed: %s\n", engine.errorText);
        return 0;
    }
    return msSince(t0);
}

Timing paloma(quill::Engine& engine, const std::string& path, bool blocks) {
    Timing t;
    if (blocks) {
        std::string name = "'" + path + "'", n = std::to_string(kTotal / kBlock);
        quill::evalSource(engine, "var block = new StringStream(); block.length = " + std::to_string(kBlock) +
                                      "; var f = new FileStream(" + name + ", 'w');");
        t.write = scriptMs(engine, "for (var i = 0; i < " + n + "; i++) f.write(block); f.flush();");
        // A script that closes each block gives its buffer back at once;
        // one that drops it holds it until the next collection, and the
        // collector does not count buffers outside its heap.
        std::string count = std::to_string(kBlock);
        auto readAll = [&](const std::string& body) {
            quill::evalSource(engine, "f.close(); f = new FileStream(" + name + ", 'r'); var got = 0;");
            double ms = scriptMs(engine, "for (var i = 0; i < " + n + "; i++) {" + body + "}");
            quill::Value got = engine.global(engine.internName("got"));
            if (!got.isInteger() || uint64_t(got.asInteger()) != kTotal)
                std::printf("(the script read %s bytes)\n", quill::valueToText(engine, got).c_str());
            return ms;
        };
        t.read = readAll("var b = f.read(" + count + "); got += b.length; b.close();");
        t.readKept = readAll("got += f.read(" + count + ").length;");
        quill::evalSource(engine, "f.close(); f = null; block = null;");
        engine.collectGarbage();
        return t;
    }
    {
        auto f = BufferedFile::openWithMode(path, "w");
        auto t0 = Clock::now();
        for (size_t i = 0; i < kIntegers; ++i)
            f->writeLong(uint32_t(i));
        f->flush();
        t.write = msSince(t0);
    }
    auto f = BufferedFile::openWithMode(path, "r");
    uint64_t sum = 0;
    auto t0 = Clock::now();
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
            // A fresh buffer per block, as each `read` gives a new stream.
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

void compare(quill::Engine& engine, const char* what, bool blocks) {
    std::string path = scratchPath("paloma-filestream-bench.bin");
    // Alternating rounds, the side that goes first alternating too, so that
    // both see the same load and neither gets a warmer cache or the other's
    // write-back more often; each figure is the median of its rounds.
    std::vector<double> writes, reads, kept, stdioWrites, stdioReads;
    for (int run = 0; run < kRounds; ++run) {
        Timing p, s;
        if (run % 2) {
            s = stdio(path, blocks);
            p = paloma(engine, path, blocks);
        } else {
            p = paloma(engine, path, blocks);
            s = stdio(path, blocks);
        }
        writes.push_back(p.write);
        reads.push_back(p.read);
        kept.push_back(p.readKept);
        stdioWrites.push_back(s.write);
        stdioReads.push_back(s.read);
    }
    std::remove(path.c_str());
    double w = median(writes), sw = median(stdioWrites), r = median(reads), sr = median(stdioReads);
    std::printf("%-10s write: FileStream %7.1f ms  stdio %7.1f ms  ratio %.2f\n", what, w, sw, w / sw);
    std::printf("%-10s read:  FileStream %7.1f ms  stdio %7.1f ms  ratio %.2f\n", what, r, sr, r / sr);
    if (blocks) {
        double k = median(kept);
        std::printf("%-10s read, blocks not closed: %7.1f ms  ratio %.2f\n", what, k, k / sr);
    }
}

} // namespace

int main() {
    auto engine = quill::createEngine(paloma::host::hostEngineOptions());
    if (!engine)
        return 1;
    std::printf("100 MB sequential, median of %d rounds\n", kRounds);
    compare(*engine, "64KB", true);
    compare(*engine, "int32", false);
    return 0;
}
