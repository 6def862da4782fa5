#pragma once
// Random-access bytes the archive reader works on: a file (the executable)
// or a buffer (tests, fuzzing). The Windows runtime may add a source over
// its own file handle.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

namespace paloma {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Fills `out` from `offset`; false (and nothing promised) when the range
    // reaches past the end or the read fails.
    virtual bool read(uint64_t offset, std::span<uint8_t> out) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, std::span<uint8_t> out) override;

private:
    std::span<const uint8_t> bytes_;
};

class FileSource : public ByteSource {
public:
    bool open(const std::filesystem::path& path);
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, std::span<uint8_t> out) override;

private:
    std::ifstream file_;
    uint64_t size_ = 0;
};

} // namespace paloma
