// Fuzz target: paloma-pack verify over a whole package, every reader it
// drives included (PE, resource blocks, records, identity, archive, inflate).
#include "tools/pack/Verifier.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto report = paloma::pack::verifyPackage({data, size});
    // A verdict either way; a sound package has its configuration.
    if (report.problem.empty() && report.resources < 4)
        std::abort();
    return 0;
}
