// The in-memory byte stream behind StringStream.
#include "host/files/MemoryStream.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/StdFile.h"
#include "base/Zlib.h" // crc32Of
#include "host/files/StreamLayout.h"

namespace paloma::host {

namespace {

constexpr size_t kPiece = 4096; // whole-content work goes in pieces of this size

// A path with a NUL in it names no file: the system would see only the part
// before it, another file.
File openFile(const std::filesystem::path& path, bool write) {
    if (path.empty() || path.native().find(std::filesystem::path::value_type(0)) != std::filesystem::path::string_type::npos)
        return File();
    return openBinaryFile(path, write);
}

} // namespace

bool MemoryStream::extendTo(int64_t size) {
    if (size < 0 || uint64_t(size) <= content_.size() || uint64_t(size) > kMaxLength)
        return false;
    // A size within the limit may still be more than the process can have
    // (a 32-bit one above all): refused like one past the limit.
    try {
        content_.resize(size_t(size), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool MemoryStream::setGetPos(int64_t pos) {
    eof_ = false;
    if (pos < 0 || uint64_t(pos) > content_.size())
        return false;
    get_ = size_t(pos);
    return true;
}

bool MemoryStream::setPutPos(int64_t pos) {
    eof_ = false;
    if (pos < 0 || uint64_t(pos) > content_.size())
        return false;
    put_ = size_t(pos);
    return true;
}

uint32_t MemoryStream::crc() const {
    uint32_t crc = 0;
    for (size_t at = 0; at < content_.size(); at += kPiece)
        crc = crc32Of(std::span(content_).subspan(at, std::min(kPiece, content_.size() - at)), crc);
    return crc;
}

std::span<const uint8_t> MemoryStream::take(size_t count) {
    if (!(mode_ & kIn))
        return {};
    size_t available = content_.size() - std::min(get_, content_.size());
    if (count > available) {
        count = available;
        eof_ = true;
    }
    std::span<const uint8_t> bytes(content_.data() + get_, count);
    get_ += count;
    return bytes;
}

int MemoryStream::get() {
    auto bytes = take(1);
    return bytes.empty() ? -1 : bytes[0];
}

int16_t MemoryStream::getShort() { return decodeShort(take(2)); }
int32_t MemoryStream::getLong() { return decodeLong(take(4)); }
float MemoryStream::getFloat() { return decodeFloat(take(4)); }
double MemoryStream::getDouble() { return decodeDouble(take(8)); }

std::vector<uint8_t> MemoryStream::read(size_t count) {
    auto bytes = take(count);
    return {bytes.begin(), bytes.end()};
}

std::string MemoryStream::readLine() {
    if (!(mode_ & kIn))
        return {};
    size_t start = std::min(get_, content_.size());
    auto begin = content_.begin() + start;
    auto lf = std::find(begin, content_.end(), uint8_t('\n'));
    auto bytes = take(size_t(lf - begin) + (lf == content_.end() ? 0 : 1));
    if (lf == content_.end())
        eof_ = true;
    std::string line(bytes.begin(), bytes.end());
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    return line;
}

std::string MemoryStream::readString() {
    if (!(mode_ & kIn))
        return {};
    size_t start = std::min(get_, content_.size());
    auto begin = content_.begin() + start;
    auto nul = std::find(begin, content_.end(), uint8_t(0));
    auto bytes = take(size_t(nul - begin) + (nul == content_.end() ? 0 : 1));
    if (nul == content_.end())
        eof_ = true;
    std::string text(bytes.begin(), bytes.end());
    if (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::u16string MemoryStream::readUnicodeString() {
    std::u16string text;
    if (!(mode_ & kIn))
        return text;
    for (;;) {
        auto bytes = take(2);
        if (bytes.empty())
            break;
        auto unit = char16_t(loadLittle(bytes));
        if (unit == 0)
            break;
        text += unit;
        if (bytes.size() < 2)
            break;
    }
    return text;
}

bool MemoryStream::unget(std::optional<uint8_t> byte) {
    eof_ = false;
    if (!(mode_ & kIn) || get_ == 0 || get_ > content_.size())
        return false;
    if (byte && content_[get_ - 1] != *byte) {
        if (!(mode_ & kOut))
            return false;
        content_[get_ - 1] = *byte;
    }
    --get_;
    return true;
}

bool MemoryStream::write(std::span<const uint8_t> bytes) {
    if (!(mode_ & kOut) || put_ > content_.size() || bytes.size() > kMaxLength - put_)
        return false;
    size_t end = put_ + bytes.size();
    if (end > content_.size())
        content_.resize(end);
    if (!bytes.empty())
        std::memmove(content_.data() + put_, bytes.data(), bytes.size());
    put_ = end;
    return true;
}

bool MemoryStream::put(uint8_t byte) { return write({&byte, 1}); }

bool MemoryStream::putShort(int64_t value) {
    uint8_t bytes[2];
    storeLittle(bytes, uint64_t(value), 2);
    return write(bytes);
}

bool MemoryStream::putFloat(double value) {
    uint8_t bytes[4];
    storeLittle(bytes, std::bit_cast<uint32_t>(float(value)), 4);
    return write(bytes);
}

bool MemoryStream::writeLong(uint32_t value) {
    uint8_t bytes[4];
    storeLittle(bytes, value, 4);
    return write(bytes);
}

bool MemoryStream::writeDouble(double value) {
    uint8_t bytes[8];
    storeLittle(bytes, std::bit_cast<uint64_t>(value), 8);
    return write(bytes);
}

bool MemoryStream::writeUnicode(std::u16string_view units) {
    std::vector<uint8_t> bytes(units.size() * 2);
    for (size_t i = 0; i < units.size(); ++i)
        storeLittle(&bytes[2 * i], units[i], 2);
    return write(bytes);
}

std::optional<MemoryStream> MemoryStream::compress(int level) const {
    z_stream z{};
    if (deflateInit(&z, level) != Z_OK)
        return std::nullopt;
    std::vector<uint8_t> out;
    uint8_t piece[kPiece];
    size_t at = 0;
    int rc = Z_OK;
    do {
        size_t n = std::min(kPiece, content_.size() - at);
        z.next_in = const_cast<Bytef*>(content_.data() + at);
        z.avail_in = uInt(n);
        at += n;
        int flush = at == content_.size() ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = piece;
            z.avail_out = sizeof piece;
            rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR)
                break;
            out.insert(out.end(), piece, piece + (sizeof piece - z.avail_out));
        } while (z.avail_out == 0);
    } while (rc != Z_STREAM_END && rc != Z_STREAM_ERROR);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        return std::nullopt;
    return MemoryStream(std::move(out));
}

namespace {

// Room for the inflated content once `filled` bytes of it came from `used` of
// the `inSize` input bytes: the whole at the ratio seen so far plus an eighth,
// and never less than half as much again (so growth stays geometric), up to
// one byte past the limit (reaching it tells the content is too long).
size_t inflatedRoom(size_t filled, size_t used, size_t inSize) {
    double whole = double(filled) / double(std::max<size_t>(used, 1)) * double(inSize);
    double room = std::max(whole + whole / 8, double(filled) + double(filled / 2));
    return size_t(std::min(room, double(MemoryStream::kMaxLength) + 1));
}

} // namespace

std::optional<MemoryStream> MemoryStream::uncompress() const {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    // The size is known only at the end. Output goes straight into the
    // result: its room is reserved ahead from the ratio seen so far (memory
    // reserved is not touched until written), and opened a step at a time, so
    // the zero fill that opening costs stays in cache until inflate overwrites
    // it. A wrong guess costs one more move of what is there.
    constexpr size_t kStep = 256 << 10;
    std::vector<uint8_t> out;
    size_t filled = 0; // out holds the inflated bytes, then the open step
    const size_t inSize = std::min<size_t>(content_.size(), UINT32_MAX);
    z.next_in = const_cast<Bytef*>(content_.data());
    z.avail_in = uInt(inSize);
    int rc = Z_OK;
    try {
        out.reserve(kStep);
        while (rc == Z_OK) {
            if (z.avail_out == 0) {
                if (filled > kMaxLength) {
                    rc = Z_MEM_ERROR; // the content would pass the limit
                    break;
                }
                if (filled == out.capacity()) {
                    size_t room = inflatedRoom(filled, inSize - z.avail_in, inSize);
                    try {
                        out.reserve(room);
                    } catch (const std::bad_alloc&) {
                        // The guess may be far above what is needed: grow
                        // by half before giving up.
                        out.reserve(inflatedRoom(filled, 1, 0));
                    }
                }
                size_t step = std::min(kStep, out.capacity() - filled);
                out.resize(filled + step);
                z.next_out = out.data() + filled;
                z.avail_out = uInt(step);
            }
            uInt room = z.avail_out;
            rc = inflate(&z, Z_NO_FLUSH);
            filled += room - z.avail_out;
            if (rc == Z_BUF_ERROR && z.avail_out == 0)
                rc = Z_OK; // only the step was full
        }
    } catch (const std::bad_alloc&) {
        rc = Z_MEM_ERROR; // more than the process can have
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END || filled > kMaxLength)
        return std::nullopt;
    out.resize(filled);
    // Give back room a wrong guess left unused (a copy, but only then).
    if (out.capacity() - filled > filled / 4 + kPiece)
        out.shrink_to_fit();
    return MemoryStream(std::move(out));
}

bool MemoryStream::saveToFile(const std::filesystem::path& path) const {
    File file = openFile(path, true);
    if (!file)
        return false;
    if (!content_.empty() && std::fwrite(content_.data(), 1, content_.size(), file.get()) != content_.size())
        return false;
    return std::fclose(file.release()) == 0;
}

std::optional<MemoryStream> MemoryStream::readFromFile(const std::filesystem::path& path) {
    File file = openFile(path, false);
    if (!file)
        return std::nullopt;
    std::vector<uint8_t> content;
    uint8_t piece[kPiece];
    size_t n;
    while ((n = std::fread(piece, 1, sizeof piece, file.get())) > 0) {
        if (n > kMaxLength - content.size())
            return std::nullopt;
        content.insert(content.end(), piece, piece + n);
    }
    if (std::ferror(file.get()))
        return std::nullopt;
    return MemoryStream(std::move(content));
}

} // namespace paloma::host
