#pragma once
// A C stream owned by a unique_ptr, and opening one in binary mode by path
// (wide paths on Windows, so any file name the system can hold works).

#include <cstdio>
#include <filesystem>
#include <memory>

namespace paloma {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reading ("rb") or writing, created or truncated ("wb").
inline File openBinaryFile(const std::filesystem::path& path, bool write) {
#ifdef _WIN32
    return File(_wfopen(path.c_str(), write ? L"wb" : L"rb"));
#else
    return File(std::fopen(path.c_str(), write ? "wb" : "rb"));
#endif
}

} // namespace paloma
