#pragma once
// The header of a Flash movie file (plain "FWS" or zlib-compressed "CWS") and
// the lookup of a movie appended to a projector executable.
//
// Layout of a movie's start: three signature bytes, a version byte, the
// uncompressed file length (32-bit little-endian), then - compressed from here
// on in a "CWS" file - the frame rectangle (a 5-bit field width n followed by
// xMin, xMax, yMin, yMax as signed n-bit fields, in twips), the frame rate as
// 8.8 fixed point and the frame count (both 16-bit little-endian).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace paloma {

struct MovieHeader {
    bool compressed = false;
    uint8_t version = 0;
    uint32_t fileLength = 0;
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0; // twips
    uint16_t frameRate = 0;                          // 8.8 fixed point
    uint16_t frameCount = 0;

    int width() const { return (xMax - xMin) / 20; }
    int height() const { return (yMax - yMin) / 20; }
    double framesPerSecond() const { return frameRate / 256.0; }
};

// True when the bytes start with "FWS" or "CWS".
bool hasMovieSignature(std::span<const uint8_t> bytes);

// Reads the header from the start of a movie; the bytes may stop anywhere
// after the header. Empty when the signature is wrong or the header is cut
// short or does not decompress.
std::optional<MovieHeader> readMovieHeader(std::span<const uint8_t> bytes);

struct AppendedMovie {
    size_t offset = 0;
    size_t length = 0;
};

// A projector carries its movie before an 8-byte trailer whose last 4 bytes
// give the movie's length L: the movie is the L bytes that end 8 bytes before
// the end of the file, and it must start with a movie signature.
std::optional<AppendedMovie> findAppendedMovie(std::span<const uint8_t> file);

} // namespace paloma
