#pragma once
// The file behind FileStream: a runtime-library buffered stream in binary
// mode, with the typed reads and writes of the stream classes (the byte
// layouts of StreamLayout.h).
//
// The runtime library requires a positioning call between a read and a
// following write (and back) on a stream open for update; this class makes
// that call itself whenever the direction changes, so scripts may mix reads
// and writes freely.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace paloma::host {

class BufferedFile {
public:
    // The existing file for reading and writing ("r+b").
    static std::unique_ptr<BufferedFile> openExisting(const std::string& path);
    // The file opened with a mode text: every `t` becomes `b`, and `b` is
    // appended when there is neither. Only the modes r, w, a with an
    // optional `+` are taken (anything else would be undefined for the
    // runtime library): null for others.
    static std::unique_ptr<BufferedFile> openWithMode(const std::string& path, std::string_view mode);
    // A new file named "~pl<n>.tmp" in the temporary folder (n the first
    // unused number from 1), open for update, deleted when closed.
    static std::unique_ptr<BufferedFile> openTemporary();
    // The binary mode text that openWithMode passes on, or nothing.
    static std::optional<std::string> binaryMode(std::string_view mode);

    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    const std::string& path() const { return path_; }
    bool temporary() const { return temporary_; }

    int get(); // 0..255, or -1 at the end
    int16_t getShort();
    int32_t getLong();
    float getFloat();
    double getDouble();
    // Up to `count` bytes (what remains when fewer do).
    std::vector<uint8_t> read(uint64_t count);
    std::string readLine();             // up to LF, without CR LF or LF
    std::string readString();           // up to NUL, without it
    std::u16string readUnicodeString(); // up to a 0 unit, without it
    // Pushes a byte back before the read position.
    bool unget(uint8_t byte);
    // Steps the position back by one byte.
    bool stepBack();

    bool put(uint8_t byte);
    bool putShort(int64_t value);
    bool putFloat(double value);
    bool writeLong(uint32_t value);
    bool writeDouble(double value);
    bool write(std::span<const uint8_t> bytes);
    bool write(std::string_view bytes) {
        return write(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    bool flush();

    std::optional<int64_t> position();
    bool seek(int64_t position);
    std::optional<int64_t> length();
    // Seeks to 0 and cuts the file to `size` bytes.
    bool truncate(int64_t size);
    bool eof() const;

private:
    BufferedFile(std::FILE* file, std::string path, bool temporary);
    // Reads up to `count` bytes into `out`; returns how many.
    size_t readBytes(uint8_t* out, size_t count);
    void beforeRead();
    void beforeWrite();

    enum class Last { None, Read, Write };
    std::FILE* file_;
    std::string path_;
    bool temporary_;
    Last last_ = Last::None;
};

} // namespace paloma::host
