// The run folder and temporary file names.
#include "app/shell/RunFolder.h"

#include "app/TempPaths.h"
#include "base/WinText.h"
#include "host/framework/WinHandles.h"

#include <objbase.h>

#include <vector>

namespace paloma {

namespace {

std::string gRunFolder;
UniqueHandle gRunFolderLock;

std::optional<std::string> environmentValue(const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    if (n == 0)
        return std::nullopt;
    if (n >= 1024) // only its length matters: far too long to be used
        return std::string(n, '?');
    return narrow(std::wstring_view(buffer, n));
}

bool fileExists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::string temporaryDirectory() {
    wchar_t windows[MAX_PATH + 1] = {};
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    std::string windowsDir = (n > 0 && n <= MAX_PATH) ? narrow(std::wstring_view(windows, n)) : "C:\\WINDOWS";
    return chooseTempDirectory(environmentValue(L"TMP"), environmentValue(L"TEMP"), windowsDir);
}

int sweepStaleRunFolders(const std::string& temporaryDirectory) {
    std::wstring base = widen(temporaryDirectory);
    if (base.empty())
        return 0;
    if (base.back() != L'\\' && base.back() != L'/')
        base += L'\\';
    std::vector<std::wstring> stale;
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((base + L"{*}").c_str(), &found));
    if (!find)
        return 0;
    do {
        bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        if (folder && !link && isRunFolderName(narrow(std::wstring_view(found.cFileName))))
            stale.push_back(base + found.cFileName + L"\\");
    } while (FindNextFileW(find.get(), &found));
    find.reset();

    int deleted = 0;
    for (const std::wstring& folder : stale) {
        // Taken with sharing denied, the lock keeps a run that starts on
        // this folder meanwhile out; closing it deletes it, last.
        UniqueHandle lock(CreateFileW((folder + widen(kRunFolderLockName)).c_str(), GENERIC_READ | DELETE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
        if (!lock)
            continue; // a live run's folder, or not known to be one
        deleteTree(folder);
        lock.reset();
        if (RemoveDirectoryW(folder.c_str()))
            ++deleted;
    }
    return deleted;
}

bool createRunFolder() {
    sweepStaleRunFolders(temporaryDirectory());
    GUID guid;
    if (FAILED(CoCreateGuid(&guid)))
        return false;
    wchar_t text[64];
    int n = StringFromGUID2(guid, text, 64);
    if (n <= 1)
        return false;
    std::string folder = runFolderName(temporaryDirectory(), narrow(std::wstring_view(text, size_t(n - 1))));
    if (!CreateDirectoryW(widen(folder).c_str(), nullptr))
        return false;
    // The lock says the folder is in use; it carries the owner's process id
    // for whoever looks.
    UniqueHandle lock(CreateFileW(widen(folder + kRunFolderLockName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lock) {
        RemoveDirectoryW(widen(folder).c_str());
        return false;
    }
    std::string owner = std::to_string(GetCurrentProcessId()) + "\r\n";
    DWORD written = 0;
    WriteFile(lock.get(), owner.data(), DWORD(owner.size()), &written, nullptr);
    gRunFolderLock = std::move(lock);
    gRunFolder = folder;
    return true;
}

const std::string& runFolder() {
    return gRunFolder;
}

void deleteRunFolder() {
    if (gRunFolder.empty())
        return;
    std::wstring folder = widen(gRunFolder);
    if (HMODULE player = GetModuleHandleW((folder + L"flash.ocx").c_str()))
        FreeLibrary(player);
    gRunFolderLock.reset();
    deleteTree(folder);
    gRunFolder.clear();
}

bool deleteTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/')
        base += L'\\';
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((base + L"*").c_str(), &found));
    if (find) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = base + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(path.c_str(), found.dwFileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
            bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!isLink)
                    deleteTree(path);
                RemoveDirectoryW(path.c_str());
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find.get(), &found));
    }
    find.reset();
    RemoveDirectoryW(base.c_str());
    return GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> temporaryFileName(std::string_view suffix) {
    return findFreeTempFileName(temporaryDirectory(), GetTickCount(), suffix, fileExists);
}

} // namespace paloma
