// Replays fuzz inputs without libFuzzer, so the sanitizer build runs every
// target as a test: each file of the seed corpus folder, then a fixed series
// of pseudo-random and mutated inputs (the same series on every run).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::vector<uint8_t>> seeds;
    if (argc > 1 && std::filesystem::is_directory(argv[1])) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
            std::ifstream in(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    for (const auto& s : seeds)
        LLVMFuzzerTestOneInput(s.data(), s.size());

    std::mt19937 rng(12345);
    LLVMFuzzerTestOneInput(nullptr, 0);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> input;
        if (!seeds.empty() && round % 2 == 0) {
            // Mutate a seed: flip bytes, cut it short, or splice in random bytes.
            input = seeds[rng() % seeds.size()];
            int edits = 1 + rng() % 8;
            for (int e = 0; e < edits && !input.empty(); ++e) {
                size_t at = rng() % input.size();
                switch (rng() % 4) {
                case 0: input[at] ^= uint8_t(1u << (rng() % 8)); break;
                case 1: input[at] = uint8_t(rng()); break;
                case 2: input.resize(at); break;
                default: input.insert(input.begin() + at, uint8_t(rng())); break;
                }
            }
        } else {
            input.resize(rng() % 512);
            for (auto& b : input)
                b = uint8_t(rng());
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%zu seeds and 2000 generated inputs replayed\n", seeds.size());
    return 0;
}
