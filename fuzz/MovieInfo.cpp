// Fuzz target: getMovieInfo's inspection of a movie file and of a
// projector's appended movie; the input is written as both.
#include "host/flash/FlashData.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("paloma-fuzz-movieinfo-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    for (const char* name : {"input.swf", "input.exe"}) {
        fs::path path = dir / name;
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
        if (auto info = paloma::host::readMovieInfo(path))
            if (info->rate < 0 || info->rate > 255 || info->version < 0 || info->version > 255)
                std::abort();
        fs::remove(path);
    }
    return 0;
}
