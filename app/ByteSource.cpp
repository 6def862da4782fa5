// Byte sources over a buffer and over a file.
#include "app/ByteSource.h"

#include <cstring>

namespace paloma {

bool MemorySource::read(uint64_t offset, std::span<uint8_t> out) {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
        return false;
    if (!out.empty())
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

bool FileSource::open(const std::filesystem::path& path) {
    file_.close();
    file_.clear();
    file_.open(path, std::ios::binary);
    if (!file_)
        return false;
    file_.seekg(0, std::ios::end);
    auto end = file_.tellg();
    if (end < 0)
        return false;
    size_ = uint64_t(end);
    return true;
}

bool FileSource::read(uint64_t offset, std::span<uint8_t> out) {
    if (!file_.is_open() || offset > size_ || out.size() > size_ - offset)
        return false;
    file_.clear();
    file_.seekg(std::streamoff(offset));
    file_.read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size()));
    return file_.gcount() == std::streamsize(out.size());
}

} // namespace paloma
