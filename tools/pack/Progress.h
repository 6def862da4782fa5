#pragma once
// A progress line for long builds and extractions: "building: 12.5 of
// 48.0 MB (6.1 MB/s)", rewritten in place on the error output while the
// work runs. Shown only on a terminal, only for work of at least
// kProgressThreshold bytes, and never when asked to be quiet.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace paloma::pack {

constexpr uint64_t kProgressThreshold = 4u << 20;

// Whether the error output is a terminal.
bool errorOutputIsTerminal();

class Progress {
public:
    // `out` null: silent.
    Progress(std::FILE* out, std::string verb, uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // For a command: the error output when it is a terminal, the work is
    // large enough and not `quiet`; else nothing.
    static std::FILE* outputFor(uint64_t total, bool quiet);

    void advance(uint64_t bytes);
    // Writes the last line and ends it.
    void finish();

    // The line for `done` bytes after `seconds`.
    std::string line(uint64_t done, double seconds) const;

private:
    void show(bool force);

    std::FILE* out_;
    std::string verb_;
    uint64_t total_, done_ = 0;
    std::chrono::steady_clock::time_point start_, shown_;
    size_t lastLength_ = 0;
    bool finished_ = false;
};

} // namespace paloma::pack
