#pragma once
// The in-memory byte stream behind StringStream: a growable buffer with a
// read (get) position and a write (put) position that move independently,
// and an end flag set when a read runs out of bytes.
//
// Mode bits: kIn allows reads, kOut allows writes. A write at the put
// position overwrites what is there and extends the content past its end.
// Whole-content operations (length, crc, compress, uncompress, saving, and
// writing one stream into another) leave both positions and the flag alone.
//
// Contents never exceed kMaxLength bytes (what a 32-bit process can hold);
// requests beyond it fail instead of exhausting memory.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace paloma::host {

class MemoryStream {
public:
    static constexpr int kIn = 1;
    static constexpr int kOut = 2;
    static constexpr size_t kMaxLength = 0x7fffffff;

    explicit MemoryStream(int mode = kIn | kOut) : mode_(mode) {}
    MemoryStream(std::vector<uint8_t> content, int mode = kIn | kOut) : content_(std::move(content)), mode_(mode) {}

    const std::vector<uint8_t>& content() const { return content_; }
    size_t length() const { return content_.size(); }
    // Appends zero bytes up to `size`; a size at or below the length is ignored.
    bool extendTo(int64_t size);

    size_t getPos() const { return get_; }
    size_t putPos() const { return put_; }
    // Clear the end flag and move the position; a position beyond the end of
    // the content is refused (false) and the position stays.
    bool setGetPos(int64_t pos);
    bool setPutPos(int64_t pos);
    bool eof() const { return eof_; }

    // CRC-32 (zlib's polynomial) of the whole content.
    uint32_t crc() const;

    // Reads at the get position.
    int get(); // 0..255, or -1 at the end
    int16_t getShort();
    int32_t getLong();
    float getFloat();
    double getDouble();
    std::vector<uint8_t> read(size_t count); // up to `count` bytes
    std::string readLine();   // up to LF, without the CR LF or LF
    std::string readString(); // up to NUL, without it
    std::u16string readUnicodeString(); // up to a 0 unit, without it
    // Steps the get position back by one, replacing the byte there with
    // `byte` when given (the content must then be writable if it differs).
    bool unget(std::optional<uint8_t> byte = std::nullopt);

    // Writes at the put position.
    bool put(uint8_t byte);
    bool putShort(int64_t value);      // low 16 bits
    bool putFloat(double value);       // IEEE single
    bool writeLong(uint32_t value);    // 4 bytes
    bool writeDouble(double value);    // 8 bytes
    bool write(std::span<const uint8_t> bytes);
    bool writeUnicode(std::u16string_view units); // UTF-16LE, no terminator

    // A zlib stream (header and trailer) of the whole content at `level`
    // (-1 for zlib's default, 0..9); empty on a compression error.
    std::optional<MemoryStream> compress(int level = 6) const;
    // The inflated whole content, up to the end of its zlib stream; empty on
    // a data error or a stream that ends early.
    std::optional<MemoryStream> uncompress() const;

    bool saveToFile(const std::filesystem::path& path) const;
    static std::optional<MemoryStream> readFromFile(const std::filesystem::path& path);

private:
    // The next `count` bytes (fewer at the end, which sets the flag).
    std::span<const uint8_t> take(size_t count);

    std::vector<uint8_t> content_;
    size_t get_ = 0;
    size_t put_ = 0;
    bool eof_ = false;
    int mode_;
};

} // namespace paloma::host
