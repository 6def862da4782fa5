// Fuzz target: an untrusted image is loaded into an engine and run. The run
// may fail, but must never crash; a hook ends runs that take too long.
#include <cstddef>
#include <cstdint>
#include <span>

#include "script/Quill.h"

namespace {

// Stops a run after a fixed number of polls.
int budgetHook(int, void* data) {
    auto* left = static_cast<int*>(data);
    return --*left <= 0 ? 1 : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto sections = quill::loadImage(std::span<const uint8_t>(data, size));
    if (!sections)
        return 0;
    // The tool and the shell check every function before running any.
    quill::checkImage(*sections);
    int budget = 8;
    quill::EngineOptions options;
    options.stackSize = 512;
    options.hook = budgetHook;
    options.hookData = &budget;
    auto engine = quill::createEngine(options);
    if (!engine)
        return 0;
    quill::runImage(*engine, *sections);
    // A second run of the same image object reuses its constants.
    quill::LoadedImage image(*sections);
    quill::runImage(*engine, image);
    quill::runImage(*engine, image);
    return 0;
}
