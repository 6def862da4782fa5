// Fuzz target: movie headers and projector trailers from arbitrary bytes.
#include "app/MovieHeader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    if (auto header = paloma::readMovieHeader(bytes)) {
        if (!paloma::hasMovieSignature(bytes))
            std::abort();
    }
    if (auto movie = paloma::findAppendedMovie(bytes)) {
        if (movie->offset + movie->length + 8 != size)
            std::abort();
        (void)paloma::readMovieHeader(bytes.subspan(movie->offset, movie->length));
    }
    return 0;
}
