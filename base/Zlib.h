#pragma once
// Thin wrappers over zlib: one-call compression and decompression of a
// buffer, CRC-32, and an inflate stream that feeds its output to a sink in
// chunks. Results are zlib's own codes (0 is Z_OK), so callers can map them
// to their messages.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace paloma {

constexpr int kZlibOk = 0;
constexpr int kZlibStreamEnd = 1;
constexpr int kZlibStreamError = -2;
constexpr int kZlibDataError = -3;
constexpr int kZlibMemError = -4;
constexpr int kZlibBufError = -5;

// A zlib stream (RFC 1950) of data at the given level (0..9).
std::vector<uint8_t> zlibCompress(std::span<const uint8_t> data, int level = 9);

// Inflates a whole zlib stream into at most `capacity` bytes. On Z_OK `out`
// holds the data; any other code leaves `out` empty. Output that would not
// fit is Z_BUF_ERROR, as is a stream that ends early.
int zlibUncompress(std::span<const uint8_t> stream, size_t capacity, std::vector<uint8_t>& out);

// The largest output a deflate stream of `packed` bytes can produce; a
// capacity above it can never be filled.
size_t zlibInflateBound(size_t packed);

// CRC-32 with the zlib/IEEE polynomial, continuing from `crc`.
uint32_t crc32Of(std::span<const uint8_t> data, uint32_t crc = 0);

// Streaming inflate. feed() passes every chunk of output to the sink as it
// is produced; a sink that returns false stops the stream (feed then
// answers kZlibStreamError). finished() tells whether the stream's end was
// reached.
class InflateStream {
public:
    using Sink = std::function<bool(std::span<const uint8_t>)>;

    InflateStream();
    ~InflateStream();
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    int init(); // Z_OK or an error code
    int feed(std::span<const uint8_t> input, const Sink& sink);
    bool finished() const { return finished_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    bool finished_ = false;
};

} // namespace paloma
