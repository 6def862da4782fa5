// Fuzz target: control extraction from untrusted installer bytes.
#include "app/NsisInstaller.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    paloma::findNsisFirstHeader({data, size});
    paloma::extractFirstOcxFromNsis({data, size});
    return 0;
}
