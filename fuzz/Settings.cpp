// Fuzz target: the runtime settings record ("Options" bytes or a decoded
// block). Whatever reads must write back and read again to the same record.
#include "app/RuntimeSettings.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    paloma::RuntimeSettings settings;
    if (!paloma::readRuntimeSettings({data, size}, settings))
        return 0;
    auto bytes = paloma::writeRuntimeSettings(settings);
    paloma::RuntimeSettings again;
    if (!paloma::readRuntimeSettings(bytes, again) || !(again == settings))
        std::abort();
    return 0;
}
