#pragma once
// The file-system operations behind Folder/File and Drive, one implementation
// per platform (FileSystemWin.cpp, FileSystemPosix.cpp). Paths are ANSI text
// (UTF-8 bytes on POSIX systems) with the platform's own separator.
//
// Times are milliseconds since 1970-01-01 00:00 UTC. Attributes use the
// system's file attribute bits; on POSIX systems the bits that carry over
// are read-only (no write permission), hidden (a name beginning with a dot),
// directory and normal (a plain file with none of the others).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paloma::host::fs {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
inline constexpr size_t kMaxPath = 260;
#else
inline constexpr char kSeparator = '/';
inline constexpr size_t kMaxPath = 4096;
#endif

inline constexpr uint32_t kReadOnly = 0x1;
inline constexpr uint32_t kHidden = 0x2;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kNormal = 0x80;

// The absolute, normalised form of a path: separators turned into the
// platform's own, `.` and `..` resolved, no trailing separator except on a
// root. Nothing when the path is empty, holds a NUL or is too long.
std::optional<std::string> absolutePath(std::string_view path);

// The length of the root at the start of an absolute path ("C:\", "\\server\share\", "/").
size_t rootLength(std::string_view path);

std::optional<uint32_t> attributes(const std::string& path);
bool setAttributes(const std::string& path, uint32_t attributes);
bool createDirectory(const std::string& path);
// Copies a file, overwriting the destination.
bool copyFile(const std::string& from, const std::string& to);
bool removeFile(const std::string& path);
// Removes an empty directory.
bool removeDirectory(const std::string& path);
bool moveEntry(const std::string& from, const std::string& to);

enum class TimeKind { Created, Accessed, Modified };
std::optional<int64_t> fileTime(const std::string& path, TimeKind kind);
bool setFileTime(const std::string& path, TimeKind kind, int64_t ms);

std::optional<uint64_t> fileSize(const std::string& path);
// Total size minus the free space available to the caller, of the volume
// holding `root`.
std::optional<uint64_t> usedSpace(const std::string& root);

struct Entry {
    std::string name; // without the folder
    bool directory;
};
// The entries of a folder whose names match a wildcard pattern (`*`, `?`;
// "*.*" and "*" match every name), without "." and "..".
std::vector<Entry> listFolder(const std::string& folder, std::string_view pattern);

// The short (8.3) form of a path; the path itself where there is none.
std::string shortPath(const std::string& path);

// Milliseconds since 1970 <-> the system's file time (100 ns units since 1601).
inline constexpr int64_t kFileTimeEpochOffset = 116444736000000000;
inline int64_t fileTimeToMs(uint64_t fileTime) { return (int64_t(fileTime) - kFileTimeEpochOffset) / 10000; }
// Dates from 1601 to about the year 30000 convert; others are refused.
inline bool msInFileTimeRange(int64_t ms) { return ms >= -11644473600000 && ms <= 900000000000000; }
inline uint64_t msToFileTime(int64_t ms) { return uint64_t(ms * 10000 + kFileTimeEpochOffset); }

} // namespace paloma::host::fs
