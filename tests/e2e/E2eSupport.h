#pragma once
// Helpers of the end-to-end tests: build-tree paths as Windows paths,
// scratch folders, files, child processes and registry values.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// A path of the build machine ("/work/...") as the Windows side sees it.
inline std::wstring hostPath(const char* unixPath) {
    std::wstring w = L"Z:";
    for (const char* p = unixPath; *p; ++p)
        w += *p == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*p));
    return w;
}

inline bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool isFolder(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

inline std::vector<uint8_t> readFile(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return bytes;
    uint8_t buffer[65536];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    CloseHandle(f);
    return bytes;
}

inline bool writeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(f);
    return ok;
}

inline bool writeText(const std::wstring& path, const std::string& text) {
    return writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::string readText(const std::wstring& path) {
    auto b = readFile(path);
    return std::string(b.begin(), b.end());
}

// Names of the entries of a folder (without "." and "..").
inline std::vector<std::wstring> listFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring n = found.cFileName;
        if (n != L"." && n != L"..")
            names.push_back(n);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

inline void removeTree(const std::wstring& folder) {
    for (auto& name : listFolder(folder)) {
        std::wstring p = folder + L"\\" + name;
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (isFolder(p))
            removeTree(p);
        else
            DeleteFileW(p.c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

// A fresh empty folder below the system's temporary folder, removed with
// its content when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        path_ = std::wstring(temp) + L"paloma-" + name + L"-" + std::to_wstring(GetCurrentProcessId());
        removeTree(path_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { removeTree(path_); }
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Result of a child process run to its end.
struct RunResult {
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0;
};

// Runs `commandLine` with extra environment variables (NAME=value, replacing
// the inherited ones of the same name) and waits up to `timeoutMs`; a child
// still running then is ended.
inline RunResult runProcess(const std::wstring& commandLine, const std::vector<std::wstring>& environment = {},
                            DWORD timeoutMs = 60000, const std::wstring& workingFolder = {}) {
    // The inherited block, minus the names we set, plus ours.
    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (wchar_t* p = block; *p; p += wcslen(p) + 1) {
            std::wstring e = p;
            bool replaced = false;
            for (auto& mine : environment) {
                auto eq = mine.find(L'=');
                if (_wcsnicmp(e.c_str(), mine.c_str(), eq + 1) == 0)
                    replaced = true;
            }
            if (!replaced)
                entries.push_back(e);
        }
        FreeEnvironmentStringsW(block);
    }
    for (auto& mine : environment)
        entries.push_back(mine);
    std::wstring block;
    for (auto& e : entries)
        block += e + L'\0';
    block += L'\0';

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = commandLine;
    RunResult result;
    result.started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                    block.data(), workingFolder.empty() ? nullptr : workingFolder.c_str(), &si, &pi);
    if (!result.started)
        return result;
    result.finished = WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!result.finished)
        TerminateProcess(pi.hProcess, 99);
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

inline std::optional<std::vector<uint8_t>> registryBinary(const std::wstring& key, const wchar_t* value) {
    HKEY h;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<std::vector<uint8_t>> out;
    if (RegQueryValueExW(h, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_BINARY) {
        std::vector<uint8_t> bytes(size);
        if (RegQueryValueExW(h, value, nullptr, &type, bytes.data(), &size) == ERROR_SUCCESS)
            out = bytes;
    }
    RegCloseKey(h);
    return out;
}

inline std::optional<std::wstring> registryString(HKEY root, const std::wstring& key, const wchar_t* value) {
    HKEY h;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
    std::optional<std::wstring> out;
    if (RegQueryValueExW(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS &&
        type == REG_SZ)
        out = std::wstring(buffer);
    RegCloseKey(h);
    return out;
}

inline bool setRegistryBinary(const std::wstring& key, const wchar_t* value, const std::vector<uint8_t>& bytes) {
    HKEY h;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExW(h, value, 0, REG_BINARY, bytes.data(), DWORD(bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
}

inline void deleteRegistryTree(const std::wstring& key) {
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

} // namespace e2e
