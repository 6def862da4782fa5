// zlib wrappers.
#include "base/Zlib.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace paloma {

static_assert(kZlibOk == Z_OK && kZlibStreamEnd == Z_STREAM_END && kZlibStreamError == Z_STREAM_ERROR &&
              kZlibDataError == Z_DATA_ERROR && kZlibMemError == Z_MEM_ERROR && kZlibBufError == Z_BUF_ERROR);

std::vector<uint8_t> zlibCompress(std::span<const uint8_t> data, int level) {
    uLongf size = compressBound(uLong(data.size()));
    std::vector<uint8_t> out(size);
    int rc = compress2(out.data(), &size, data.data(), uLong(data.size()), level);
    if (rc != Z_OK)
        return {};
    out.resize(size);
    return out;
}

size_t zlibInflateBound(size_t packed) {
    // Deflate never expands beyond about 1032:1; leave generous slack.
    if (packed > std::numeric_limits<size_t>::max() / 1032 - 1024)
        return std::numeric_limits<size_t>::max();
    return packed * 1032 + 1024;
}

int zlibUncompress(std::span<const uint8_t> stream, size_t capacity, std::vector<uint8_t>& out) {
    out.clear();
    // A capacity beyond what the stream can fill changes nothing but the
    // allocation, so hostile sizes do not turn into huge buffers.
    capacity = std::min(capacity, zlibInflateBound(stream.size()));
    std::vector<uint8_t> buffer(std::max<size_t>(capacity, 1));
    uLong destLen = uLong(capacity);
    uLong srcLen = uLong(stream.size());
    int rc = uncompress2(buffer.data(), &destLen, stream.data(), &srcLen);
    if (rc != Z_OK)
        return rc;
    buffer.resize(destLen);
    out = std::move(buffer);
    return Z_OK;
}

uint32_t crc32Of(std::span<const uint8_t> data, uint32_t crc) {
    uLong c = crc;
    size_t pos = 0;
    while (pos < data.size()) {
        uInt n = uInt(std::min<size_t>(data.size() - pos, 1u << 30));
        c = crc32(c, data.data() + pos, n);
        pos += n;
    }
    return uint32_t(c);
}

struct InflateStream::State {
    z_stream z{};
    bool open = false;
};

InflateStream::InflateStream() : state_(std::make_unique<State>()) {}

InflateStream::~InflateStream() {
    if (state_->open)
        inflateEnd(&state_->z);
}

int InflateStream::init() {
    if (state_->open)
        inflateEnd(&state_->z);
    state_->z = z_stream{};
    finished_ = false;
    int rc = inflateInit(&state_->z);
    state_->open = rc == Z_OK;
    return rc;
}

int InflateStream::feed(std::span<const uint8_t> input, const Sink& sink) {
    if (!state_->open)
        return Z_STREAM_ERROR;
    z_stream& z = state_->z;
    uint8_t out[4096];
    z.next_in = const_cast<Bytef*>(input.data());
    z.avail_in = uInt(input.size());
    while (!finished_) {
        z.next_out = out;
        z.avail_out = sizeof out;
        int rc = inflate(&z, Z_NO_FLUSH);
        size_t produced = sizeof out - z.avail_out;
        if (produced > 0 && !sink(std::span<const uint8_t>(out, produced)))
            return Z_STREAM_ERROR;
        if (rc == Z_STREAM_END) {
            finished_ = true;
            break;
        }
        if (rc == Z_NEED_DICT)
            return Z_DATA_ERROR;
        if (rc == Z_BUF_ERROR || (rc == Z_OK && z.avail_in == 0 && produced < sizeof out))
            break; // needs more input
        if (rc != Z_OK)
            return rc;
    }
    return Z_OK;
}

} // namespace paloma
