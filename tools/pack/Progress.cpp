// The progress line.
#include "tools/pack/Progress.h"

#include <algorithm>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace paloma::pack {

bool errorOutputIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr));
#else
    return isatty(fileno(stderr));
#endif
}

Progress::Progress(std::FILE* out, std::string verb, uint64_t total)
    : out_(out), verb_(std::move(verb)), total_(total), start_(std::chrono::steady_clock::now()), shown_(start_) {}

Progress::~Progress() { finish(); }

std::FILE* Progress::outputFor(uint64_t total, bool quiet) {
    return !quiet && total >= kProgressThreshold && errorOutputIsTerminal() ? stderr : nullptr;
}

void Progress::advance(uint64_t bytes) {
    done_ += bytes;
    show(false);
}

void Progress::finish() {
    if (finished_)
        return;
    finished_ = true;
    if (!out_)
        return;
    show(true);
    std::fputc('\n', out_);
    std::fflush(out_);
}

std::string Progress::line(uint64_t done, double seconds) const {
    char buf[128];
    double mb = 1024.0 * 1024.0;
    double rate = seconds > 0 ? done / mb / seconds : 0;
    std::snprintf(buf, sizeof buf, "%s: %.1f of %.1f MB (%.1f MB/s)", verb_.c_str(), done / mb, total_ / mb, rate);
    return buf;
}

void Progress::show(bool force) {
    if (!out_)
        return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - shown_ < std::chrono::milliseconds(200))
        return;
    shown_ = now;
    std::string text = line(done_, std::chrono::duration<double>(now - start_).count());
    // Spaces wipe what a longer earlier line left; every console knows them.
    size_t length = text.size();
    text.resize(std::max(length, lastLength_), ' ');
    lastLength_ = length;
    std::fprintf(out_, "\r%s", text.c_str());
    std::fflush(out_);
}

} // namespace paloma::pack
