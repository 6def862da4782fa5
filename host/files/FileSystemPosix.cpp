// File-system operations on POSIX systems.
#include "host/files/FileSystem.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace paloma::host::fs {

namespace {

bool hasNul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

std::string baseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::optional<std::string> absolutePath(std::string_view path) {
    if (path.empty() || hasNul(path))
        return std::nullopt;
    std::string text(path);
    for (char& ch : text)
        if (ch == '\\')
            ch = '/';
    std::filesystem::path p(text);
    if (p.is_relative()) {
        std::error_code ec;
        auto cwd = std::filesystem::current_path(ec);
        if (ec)
            return std::nullopt;
        p = cwd / p;
    }
    std::string result = p.lexically_normal().string();
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    if (result.size() >= kMaxPath)
        return std::nullopt;
    return result;
}

size_t rootLength(std::string_view path) { return !path.empty() && path[0] == '/' ? 1 : 0; }

std::optional<uint32_t> attributes(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 && ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    uint32_t bits = 0;
    if (S_ISDIR(st.st_mode))
        bits |= kDirectory;
    if (!(st.st_mode & S_IWUSR))
        bits |= kReadOnly;
    std::string name = baseName(path);
    if (name.size() > 1 && name[0] == '.' && name != "..")
        bits |= kHidden;
    return bits ? bits : kNormal;
}

bool setAttributes(const std::string& path, uint32_t bits) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    if (bits & kReadOnly)
        mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return ::chmod(path.c_str(), mode) == 0;
}

bool createDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool copyFile(const std::string& from, const std::string& to) {
    FdCloser in{::open(from.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0)
        return false;
    struct stat st, target;
    if (::fstat(in.fd, &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    // A file copied onto itself would be emptied by the truncation below.
    if (::stat(to.c_str(), &target) == 0 && target.st_dev == st.st_dev && target.st_ino == st.st_ino)
        return false;
    FdCloser out{::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777)};
    if (out.fd < 0)
        return false;
    auto buffer = std::make_unique<char[]>(65536);
    for (;;) {
        ssize_t n = ::read(in.fd, buffer.get(), 65536);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out.fd, buffer.get() + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            done += w;
        }
    }
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }
bool removeDirectory(const std::string& path) { return ::rmdir(path.c_str()) == 0; }
bool moveEntry(const std::string& from, const std::string& to) {
    // Like the system's move on Windows: an existing destination is not replaced.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0)
        return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<int64_t> fileTime(const std::string& path, TimeKind kind) {
    if (kind == TimeKind::Created) {
        struct statx sx;
        if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
            return int64_t(sx.stx_btime.tv_sec) * 1000 + sx.stx_btime.tv_nsec / 1000000;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    // Without a birth time the last status change stands in for it.
    const struct timespec& t = kind == TimeKind::Accessed ? st.st_atim
                               : kind == TimeKind::Modified ? st.st_mtim
                                                           : st.st_ctim;
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool setFileTime(const std::string& path, TimeKind kind, int64_t ms) {
    if (kind == TimeKind::Created || !msInFileTimeRange(ms))
        return false; // the creation time cannot be set here
    struct timespec times[2];
    times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
    int64_t seconds = ms / 1000, rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    struct timespec& t = times[kind == TimeKind::Accessed ? 0 : 1];
    t.tv_sec = time_t(seconds);
    t.tv_nsec = long(rest * 1000000);
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::optional<uint64_t> fileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return uint64_t(st.st_size);
}

std::optional<uint64_t> usedSpace(const std::string& root) {
    struct statvfs sv;
    if (::statvfs(root.c_str(), &sv) != 0)
        return std::nullopt;
    uint64_t unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
    return uint64_t(sv.f_blocks) * unit - uint64_t(sv.f_bavail) * unit;
}

std::vector<Entry> listFolder(const std::string& folder, std::string_view pattern) {
    std::vector<Entry> entries;
    if (hasNul(pattern))
        return entries;
    std::string glob(pattern);
    if (glob == "*.*")
        glob = "*";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return entries;
    while (struct dirent* e = ::readdir(dir.get())) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (::fnmatch(glob.c_str(), name.c_str(), 0) != 0)
            continue;
        std::string full = folder.size() > 1 ? folder + "/" + name : folder + name;
        struct stat st;
        bool directory = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.push_back({std::move(name), directory});
    }
    // Listed in name order, as the usual file systems of Windows list them.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

std::string shortPath(const std::string& path) { return path; }

} // namespace paloma::host::fs
