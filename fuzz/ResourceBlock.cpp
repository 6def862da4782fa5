// Fuzz target: the resource block reader, and the records read from a block.
#include "app/MovieList.h"
#include "app/PlayerInstaller.h"
#include "app/ResourceBlock.h"
#include "app/RuntimeSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    std::vector<uint8_t> plain;
    std::string message;
    if (!paloma::tryReadResourceBlock(bytes, plain, &message)) {
        if (message.empty())
            std::abort(); // every failure names its reason
        return 0;
    }
    uint32_t declared = size >= 8 ? uint32_t(data[4] | data[5] << 8 | data[6] << 16 | uint32_t(data[7]) << 24) : 0;
    if (plain.size() > declared)
        std::abort(); // never more than the plain size
    paloma::RuntimeSettings settings;
    paloma::readRuntimeSettings(plain, settings);
    paloma::MovieList list;
    paloma::readMovieList(plain, list);
    paloma::readPlayerInstallerRecord(plain);
    return 0;
}
