// File-system operations on Windows, through the ANSI entry points.
#include "host/files/FileSystem.h"

#include <windows.h>

#include <memory>


namespace paloma::host::fs {

namespace {

bool hasNul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

// Opens a file or a directory (backup semantics) for reading or writing its times.
HANDLE openForTimes(const std::string& path, bool write) {
    return CreateFileA(path.c_str(), write ? FILE_WRITE_ATTRIBUTES : FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

struct HandleCloser {
    HANDLE h;
    ~HandleCloser() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

} // namespace

std::optional<std::string> absolutePath(std::string_view path) {
    if (path.empty() || hasNul(path) || path.size() >= kMaxPath)
        return std::nullopt;
    std::string text(path);
    for (char& ch : text)
        if (ch == '/')
            ch = '\\';
    char buffer[MAX_PATH];
    DWORD n = GetFullPathNameA(text.c_str(), MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH)
        return std::nullopt;
    std::string result(buffer, n);
    while (result.size() > rootLength(result) && result.back() == '\\')
        result.pop_back();
    return result;
}

size_t rootLength(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':')
        return path.size() >= 3 && path[2] == '\\' ? 3 : 2;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // \\server\share\ .
        size_t server = path.find('\\', 2);
        if (server == std::string_view::npos)
            return path.size();
        size_t share = path.find('\\', server + 1);
        return share == std::string_view::npos ? path.size() : share + 1;
    }
    return !path.empty() && path[0] == '\\' ? 1 : 0;
}

std::optional<uint32_t> attributes(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return uint32_t(a);
}

bool setAttributes(const std::string& path, uint32_t bits) { return SetFileAttributesA(path.c_str(), bits) != 0; }
bool createDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }
bool copyFile(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }
bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
bool removeDirectory(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }
bool moveEntry(const std::string& from, const std::string& to) { return MoveFileA(from.c_str(), to.c_str()) != 0; }

std::optional<int64_t> fileTime(const std::string& path, TimeKind kind) {
    HandleCloser f{openForTimes(path, false)};
    if (f.h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    FILETIME times[3];
    if (!GetFileTime(f.h, &times[0], &times[1], &times[2]))
        return std::nullopt;
    const FILETIME& t = times[int(kind)];
    return fileTimeToMs(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime);
}

bool setFileTime(const std::string& path, TimeKind kind, int64_t ms) {
    if (!msInFileTimeRange(ms))
        return false;
    HandleCloser f{openForTimes(path, true)};
    if (f.h == INVALID_HANDLE_VALUE)
        return false;
    uint64_t v = msToFileTime(ms);
    FILETIME t{DWORD(v), DWORD(v >> 32)};
    return SetFileTime(f.h, kind == TimeKind::Created ? &t : nullptr, kind == TimeKind::Accessed ? &t : nullptr,
                       kind == TimeKind::Modified ? &t : nullptr) != 0;
}

std::optional<uint64_t> fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::optional<uint64_t> usedSpace(const std::string& root) {
    using Query = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    if (query) {
        ULARGE_INTEGER available, total, free;
        if (!query(root.c_str(), &available, &total, &free))
            return std::nullopt;
        return total.QuadPart - available.QuadPart;
    }
    DWORD sectors, bytes, freeClusters, clusters;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &freeClusters, &clusters))
        return std::nullopt;
    uint64_t cluster = uint64_t(sectors) * bytes;
    return uint64_t(clusters) * cluster - uint64_t(freeClusters) * cluster;
}

std::vector<Entry> listFolder(const std::string& folder, std::string_view pattern) {
    std::vector<Entry> entries;
    if (hasNul(pattern))
        return entries;
    std::string search = folder;
    if (search.empty() || search.back() != '\\')
        search += '\\';
    search += pattern;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(search.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        entries.push_back({std::move(name), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return entries;
}

std::string shortPath(const std::string& path) {
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return path;
    return std::string(buffer, n);
}

} // namespace paloma::host::fs
